# The C library and the two Debian packages built from it:
#   libg729a1     the shared library (libg729a.so.1), with its shlibs;
#   libg729a-dev  the header, the static library, the link libg729a.so,
#                 g729a.pc, the CMake package config and the g729a(3) page.
# Included from cmake/install.cmake before CPack.
include(CMakePackageConfigHelpers)
get_target_property(G729A_LIBRARY_SOVERSION g729a_shared SOVERSION)

# Debian's multiarch folder (lib/x86_64-linux-gnu), which the dynamic
# loader, pkg-config and CMake search under /usr and /usr/local alike.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(G729A_LIBRARY_DIR_DEFAULT lib/${CMAKE_LIBRARY_ARCHITECTURE})
else()
  set(G729A_LIBRARY_DIR_DEFAULT ${CMAKE_INSTALL_LIBDIR})
endif()
set(G729A_LIBRARY_DIR ${G729A_LIBRARY_DIR_DEFAULT} CACHE STRING
    "Folder of libg729a, g729a.pc and its CMake package (relative to the install prefix)")
set(G729A_CMAKE_CONFIG_DIR ${G729A_LIBRARY_DIR}/cmake/g729a)
set(G729A_PKGCONFIG_DIR ${G729A_LIBRARY_DIR}/pkgconfig)

install(TARGETS g729a_shared EXPORT g729aTargets
        LIBRARY DESTINATION ${G729A_LIBRARY_DIR} COMPONENT library
                NAMELINK_COMPONENT library_dev)
install(TARGETS g729a_static EXPORT g729aTargets
        ARCHIVE DESTINATION ${G729A_LIBRARY_DIR} COMPONENT library_dev)
install(FILES ${CMAKE_SOURCE_DIR}/include/g729a/g729a.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/g729a COMPONENT library_dev)

# pkg-config: paths relative to the .pc file, so a tree installed under any
# prefix (or moved) still describes itself.
cmake_path(ABSOLUTE_PATH G729A_PKGCONFIG_DIR BASE_DIRECTORY /prefix OUTPUT_VARIABLE pc_abs)
file(RELATIVE_PATH G729A_PC_PREFIX_FROM_PCDIR ${pc_abs} /prefix)
string(REGEX REPLACE "/$" "" G729A_PC_PREFIX_FROM_PCDIR "${G729A_PC_PREFIX_FROM_PCDIR}")
configure_file(${CMAKE_SOURCE_DIR}/src/library/g729a.pc.in ${CMAKE_BINARY_DIR}/g729a.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/g729a.pc DESTINATION ${G729A_PKGCONFIG_DIR}
        COMPONENT library_dev)

# CMake: find_package(g729a) gives g729a::g729a.
install(EXPORT g729aTargets NAMESPACE g729a:: DESTINATION ${G729A_CMAKE_CONFIG_DIR}
        COMPONENT library_dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/src/library/g729aConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/g729aConfig.cmake
                              INSTALL_DESTINATION ${G729A_CMAKE_CONFIG_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/g729aConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/g729aConfig.cmake ${CMAKE_BINARY_DIR}/g729aConfigVersion.cmake
        DESTINATION ${G729A_CMAKE_CONFIG_DIR} COMPONENT library_dev)

# The reference beside the manual page (g729a_debian_package compresses that).
install(FILES ${CMAKE_SOURCE_DIR}/docs/c-api.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libg729a-dev COMPONENT library_dev)

g729a_debian_package(COMPONENT library PACKAGE libg729a${G729A_LIBRARY_SOVERSION} SECTION libs
  DESCRIPTION
  "G.729 Annex A speech codec library\nlibg729a encodes 16-bit linear PCM at 8 kHz into G.729A frames (8 kbit/s,\n10 ms) and decodes them, concealing lost frames and filling discontinuous\ntransmission gaps with comfort noise. This package holds the shared library.")
g729a_debian_package(COMPONENT library_dev PACKAGE libg729a-dev SECTION libdevel DEPENDS library
  MANPAGES ${CMAKE_SOURCE_DIR}/docs/g729a.3 DESCRIPTION
  "G.729 Annex A speech codec library (development files)\nThe C header, the static library, the pkg-config file (g729a), the CMake\npackage config (find_package(g729a), target g729a::g729a) and the\ng729a(3) manual page for building programs with libg729a.")
# The shlibs file, and dpkg's trigger that refreshes the dynamic loader's
# cache. CPack also writes postinst and postrm scripts that call ldconfig
# themselves for any library under /usr/lib; lintian is told that those are
# known and harmless.
set(G729A_LIBRARY_CONTROL ${CMAKE_BINARY_DIR}/libg729a-control)
file(WRITE ${G729A_LIBRARY_CONTROL}/shlibs
     "libg729a ${G729A_LIBRARY_SOVERSION} libg729a${G729A_LIBRARY_SOVERSION} (>= ${PROJECT_VERSION})\n")
file(WRITE ${G729A_LIBRARY_CONTROL}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
    ${G729A_LIBRARY_CONTROL}/shlibs ${G729A_LIBRARY_CONTROL}/triggers)
file(WRITE ${G729A_LIBRARY_CONTROL}/libg729a${G729A_LIBRARY_SOVERSION}
     "# CPack's postinst and postrm call ldconfig beside the ldconfig trigger.\n"
     "libg729a${G729A_LIBRARY_SOVERSION}: maintscript-calls-ldconfig [postinst]\n"
     "libg729a${G729A_LIBRARY_SOVERSION}: maintscript-calls-ldconfig [postrm]\n")
install(FILES ${G729A_LIBRARY_CONTROL}/libg729a${G729A_LIBRARY_SOVERSION}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT library)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# libg729a.a (g729a::g729a_static, pkg-config --static) links the C++
# runtime, which a C toolchain alone lacks. The one of the GCC the packages
# are built with (Debian's default): another version's sits in a folder that
# GCC does not search.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  string(REGEX MATCH "^[0-9]+" G729A_GCC_MAJOR "${CMAKE_CXX_COMPILER_VERSION}")
  set(CPACK_DEBIAN_LIBRARY_DEV_PACKAGE_DEPENDS "libstdc++-${G729A_GCC_MAJOR}-dev")
else()
  set(CPACK_DEBIAN_LIBRARY_DEV_PACKAGE_DEPENDS "libstdc++-dev")
endif()

# Not in sanitizer builds: the consumer programs are built as a user builds
# them, without the sanitizer runtime an instrumented library needs first.
if(G729A_BUILD_TESTS AND TARGET g729a AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  add_test(NAME library_install
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/library_install_test.sh ${CMAKE_BINARY_DIR}
                   ${CMAKE_SOURCE_DIR}/data/speech/librivox_austen_8k.raw)
endif()
