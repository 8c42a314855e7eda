# 32-bit x86 with SSE2 doing all double arithmetic (never the x87 unit), built
# with the multilib compiler on an x86-64 machine. Its programs run through
# qemu-i386, since the build machines' kernels need not execute 32-bit code.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# Debian's gcc-multilib would link /usr/include/asm to the x86-64 kernel
# headers (which serve both widths), but it conflicts with the AArch64 cross
# compiler; a link of our own in the build tree does the same.
set(G729A_I386_INCLUDE ${CMAKE_BINARY_DIR}/i386-include)
if(NOT EXISTS ${G729A_I386_INCLUDE}/asm)
  file(MAKE_DIRECTORY ${G729A_I386_INCLUDE})
  file(CREATE_LINK /usr/include/x86_64-linux-gnu/asm ${G729A_I386_INCLUDE}/asm SYMBOLIC)
endif()
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse -idirafter ${G729A_I386_INCLUDE}")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse -idirafter ${G729A_I386_INCLUDE}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
