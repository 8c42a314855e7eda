# The C library and the two Debian packages built from it:
#   libg729a1     the shared library (libg729a.so.1), with its shlibs;
#   libg729a-dev  the header, the static library, the link libg729a.so,
#                 g729a.pc, the CMake package config and the g729a(3) page.
# Included from cmake/install.cmake before CPack.
include(CMakePackageConfigHelpers)

set(G729A_CMAKE_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/g729a)
set(G729A_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS g729a_shared EXPORT g729aTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
                NAMELINK_COMPONENT library_dev)
install(TARGETS g729a_static EXPORT g729aTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library_dev)
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

install(FILES ${CMAKE_SOURCE_DIR}/docs/c-api.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libg729a-dev COMPONENT library_dev)

get_target_property(G729A_LIBRARY_SOVERSION g729a_shared SOVERSION)
g729a_debian_package(COMPONENT library PACKAGE libg729a${G729A_LIBRARY_SOVERSION} SECTION libs
  DESCRIPTION
  "G.729 Annex A speech codec library\nlibg729a encodes 16-bit linear PCM at 8 kHz into G.729A frames (8 kbit/s,\n10 ms) and decodes them, concealing lost frames and filling discontinuous\ntransmission gaps with comfort noise. This package holds the shared library.")
g729a_debian_package(COMPONENT library_dev PACKAGE libg729a-dev SECTION libdevel DEPENDS library
  MANPAGES ${CMAKE_SOURCE_DIR}/docs/g729a.3 DESCRIPTION
  "G.729 Annex A speech codec library (development files)\nThe C header, the static library, the pkg-config file (g729a), the CMake\npackage config (find_package(g729a), target g729a::g729a) and the\ng729a(3) manual page for building programs with libg729a.")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

if(G729A_BUILD_TESTS AND TARGET g729a)
  add_test(NAME library_install
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/library_install_test.sh ${CMAKE_BINARY_DIR}
                   ${CMAKE_SOURCE_DIR}/data/speech/librivox_austen_8k.raw)
endif()
