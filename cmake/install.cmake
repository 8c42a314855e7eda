# Where things go when installed, and the two Debian packages built from that:
#   codec-g729a  the module, in the switch's module folder;
#   g729a-tools  the g729a tool with its manual page and its private copy of
#                the switch stand-in, depending on codec-g729a.
include(GNUInstallDirs)

set(G729A_MODULE_DIR "lib/corvane/modules" CACHE STRING
    "Folder the switch loads modules from (relative to the install prefix, or absolute)")
set(G729A_TOOL_LIBDIR "lib/g729a" CACHE STRING
    "Private folder of the tool's stand-in library (relative to the install prefix)")

install(TARGETS codec_g729a LIBRARY DESTINATION ${G729A_MODULE_DIR} COMPONENT module)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/codec-g729a
        COMPONENT module)

if(TARGET g729a)
  install(TARGETS g729a RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  install(TARGETS corvane_standin LIBRARY DESTINATION ${G729A_TOOL_LIBDIR} COMPONENT tools)
  install(FILES ${CMAKE_SOURCE_DIR}/tool/g729a.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT tools)
  install(FILES ${CMAKE_SOURCE_DIR}/tool/README.md ${CMAKE_SOURCE_DIR}/data/speech/NOTICE
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/g729a-tools COMPONENT tools)

  # The installed tool finds the stand-in and the module relative to itself,
  # so a tree installed or copied under any prefix works for every user.
  cmake_path(ABSOLUTE_PATH G729A_TOOL_LIBDIR BASE_DIRECTORY /prefix OUTPUT_VARIABLE lib_abs)
  cmake_path(ABSOLUTE_PATH G729A_MODULE_DIR BASE_DIRECTORY /prefix OUTPUT_VARIABLE module_abs)
  file(RELATIVE_PATH lib_from_bin /prefix/${CMAKE_INSTALL_BINDIR} ${lib_abs})
  file(RELATIVE_PATH module_from_bin /prefix/${CMAKE_INSTALL_BINDIR} ${module_abs})
  if(IS_ABSOLUTE "${G729A_MODULE_DIR}")
    set(module_from_bin "${G729A_MODULE_DIR}")
  endif()
  set_target_properties(g729a PROPERTIES INSTALL_RPATH "$ORIGIN/${lib_from_bin}")
  target_compile_definitions(g729a_tool_core PRIVATE
    G729A_MODULE_FROM_BIN="${module_from_bin}"
    G729A_TOOL_VERSION="${PROJECT_VERSION}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME codec-g729a)
set(CPACK_PACKAGE_VENDOR "codec_g729a")
set(CPACK_PACKAGE_CONTACT "codec_g729a maintainers <codec-g729a@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL module tools)
list(APPEND CPACK_COMPONENTS_ALL ${G729A_GST_COMPONENT})  # gst/CMakeLists.txt, when built
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_MODULE_PACKAGE_NAME codec-g729a)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME g729a-tools)
set(CPACK_COMPONENT_MODULE_DESCRIPTION
    "G.729 Annex A codec module for the Corvane switch\n The codec_g729a.so module offers the lintog729 and g729tolin translators\n (16-bit linear PCM at 8 kHz to G.729A frames and back, Annex B comfort\n noise understood).")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "g729a command-line tool for the codec_g729a module\n Transcodes audio files and RTP captures through the installed codec\n module and checks it against the published test sequences.")
set(CPACK_COMPONENT_TOOLS_DEPENDS module)
include(${CMAKE_CURRENT_LIST_DIR}/install_library.cmake)
include(CPack)

if(G729A_BUILD_TESTS AND TARGET g729a)
  add_test(NAME install_tree COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh
                                     ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
endif()
