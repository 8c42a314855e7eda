# Where things go when installed, and the Debian packages built from that
# (each through g729a_debian_package below):
#   codec-g729a  the module, in the switch's module folder;
#   g729a-tools  the g729a tool with its manual page and its private copy of
#                the switch stand-in, depending on codec-g729a.
include(GNUInstallDirs)

# The Debian packages' project settings.
set(G729A_PACKAGE_MAINTAINER "codec_g729a maintainers <maintainers@codec-g729a.org>" CACHE STRING
    "Maintainer field of the Debian packages (name <address>)")
set(G729A_PACKAGE_COPYRIGHT "2026 codec_g729a maintainers" CACHE STRING
    "Copyright line of the packages' copyright files")
set(G729A_PACKAGE_LICENSE "BSD-2-Clause" CACHE STRING
    "Licence of the project in the packages' copyright files (a paragraph of cmake/copyright.in)")
set(G729A_PACKAGE_RELEASE "1" CACHE STRING "Debian revision of the packages (version-REVISION)")
set(G729A_PACKAGE_VERSION "${PROJECT_VERSION}-${G729A_PACKAGE_RELEASE}")

# g729a_debian_package(COMPONENT <install component> PACKAGE <Debian name>
#                      DESCRIPTION <summary line\nextended lines> [SECTION <section>]
#                      [DEPENDS <component>...] [MANPAGES <page file>...])
# Makes an install component a Debian package and gives it what every
# package holds: the machine-readable copyright file, changelog.Debian.gz
# and its manual pages compressed (lintian-clean; CPack strips the binaries).
# Every component calls it; the CPack settings are written once, at the end
# of the top-level folder, from what the calls recorded.
function(g729a_debian_package)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "COMPONENT;PACKAGE;DESCRIPTION;SECTION" "DEPENDS;MANPAGES")
  if(NOT arg_COMPONENT OR NOT arg_PACKAGE OR NOT arg_DESCRIPTION OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "g729a_debian_package: COMPONENT, PACKAGE and DESCRIPTION, and nothing else unnamed")
  endif()
  set(out ${CMAKE_BINARY_DIR}/debian/${arg_PACKAGE})
  set(doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/${arg_PACKAGE})
  configure_file(${G729A_CMAKE_DIR}/copyright.in ${out}/copyright @ONLY)
  set(package ${arg_PACKAGE})
  set(version ${G729A_PACKAGE_VERSION})
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${G729A_CMAKE_DIR}/changelog.in ${out}/changelog.Debian @ONLY)
  execute_process(COMMAND gzip -9nf ${out}/changelog.Debian COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${out}/copyright ${out}/changelog.Debian.gz DESTINATION ${doc}
          COMPONENT ${arg_COMPONENT})

  set(pages)
  foreach(page IN LISTS arg_MANPAGES)
    cmake_path(ABSOLUTE_PATH page BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
    cmake_path(GET page FILENAME name)
    cmake_path(GET page EXTENSION LAST_ONLY section)
    string(SUBSTRING "${section}" 1 1 section)
    add_custom_command(OUTPUT ${out}/man/${name}.gz
                       COMMAND ${CMAKE_COMMAND} -E copy ${page} ${out}/man/${name}
                       COMMAND gzip -9nf ${out}/man/${name}
                       DEPENDS ${page} VERBATIM)
    install(FILES ${out}/man/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section}
            COMPONENT ${arg_COMPONENT})
    list(APPEND pages ${out}/man/${name}.gz)
  endforeach()
  if(pages)
    add_custom_target(${arg_PACKAGE}_man_pages ALL DEPENDS ${pages})
  endif()

  string(TOUPPER ${arg_COMPONENT} upper)
  set_property(GLOBAL APPEND PROPERTY G729A_DEB_COMPONENTS ${arg_COMPONENT})
  set_property(GLOBAL PROPERTY G729A_DEB_${upper}_PACKAGE ${arg_PACKAGE})
  set_property(GLOBAL PROPERTY G729A_DEB_${upper}_DESCRIPTION "${arg_DESCRIPTION}")
  set_property(GLOBAL PROPERTY G729A_DEB_${upper}_SECTION "${arg_SECTION}")
  set_property(GLOBAL PROPERTY G729A_DEB_${upper}_DEPENDS "${arg_DEPENDS}")
endfunction()

# The CPack settings of every package recorded above (a macro: CPack reads
# the top-level folder's variables).
macro(g729a_write_packages)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME codec-g729a)
  set(CPACK_PACKAGE_VENDOR "codec_g729a")
  set(CPACK_PACKAGE_CONTACT "${G729A_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${G729A_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_RELEASE "${G729A_PACKAGE_RELEASE}")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # `cpack` run anywhere writes into the build folder, never the source tree.
  set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION comm)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  get_property(CPACK_COMPONENTS_ALL GLOBAL PROPERTY G729A_DEB_COMPONENTS)
  foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    string(TOUPPER ${component} upper)
    get_property(CPACK_DEBIAN_${upper}_PACKAGE_NAME GLOBAL PROPERTY G729A_DEB_${upper}_PACKAGE)
    get_property(CPACK_COMPONENT_${upper}_DESCRIPTION GLOBAL PROPERTY G729A_DEB_${upper}_DESCRIPTION)
    get_property(CPACK_COMPONENT_${upper}_DEPENDS GLOBAL PROPERTY G729A_DEB_${upper}_DEPENDS)
    get_property(section GLOBAL PROPERTY G729A_DEB_${upper}_SECTION)
    if(section)
      set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION ${section})
    endif()
  endforeach()
  include(CPack)
endmacro()
set(G729A_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL g729a_write_packages)

set(G729A_MODULE_DIR "lib/corvane/modules" CACHE STRING
    "Folder the switch loads modules from (relative to the install prefix, or absolute)")
set(G729A_TOOL_LIBDIR "lib/g729a" CACHE STRING
    "Private folder of the tool's stand-in library (relative to the install prefix)")

install(TARGETS codec_g729a LIBRARY DESTINATION ${G729A_MODULE_DIR} COMPONENT module)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/codec-g729a
        COMPONENT module)
g729a_debian_package(COMPONENT module PACKAGE codec-g729a DESCRIPTION
  "G.729 Annex A codec module for the Corvane switch\nThe codec_g729a.so module offers the lintog729 and g729tolin translators\n(16-bit linear PCM at 8 kHz to G.729A frames and back, Annex B comfort\nnoise understood).")

if(TARGET g729a)
  install(TARGETS g729a RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  install(TARGETS corvane_standin LIBRARY DESTINATION ${G729A_TOOL_LIBDIR} COMPONENT tools)
  install(FILES ${CMAKE_SOURCE_DIR}/tool/README.md ${CMAKE_SOURCE_DIR}/data/speech/NOTICE
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/g729a-tools COMPONENT tools)
  g729a_debian_package(COMPONENT tools PACKAGE g729a-tools DEPENDS module
    MANPAGES ${CMAKE_SOURCE_DIR}/tool/g729a.1 DESCRIPTION
    "g729a command-line tool for the codec_g729a module\nTranscodes audio files and RTP captures through the installed codec\nmodule and checks it against the published test sequences.")

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

# Further components' install rules and packages, one include line each
# (after g729a_debian_package is defined, before the packages are written).
include(${CMAKE_CURRENT_LIST_DIR}/install_library.cmake)
if(G729A_GST_COMPONENT)  # gst/CMakeLists.txt, when the plugin is built
  g729a_debian_package(COMPONENT ${G729A_GST_COMPONENT} PACKAGE gstreamer1.0-g729a SECTION sound
                       DEPENDS library DESCRIPTION "${G729A_GST_DESCRIPTION}")
endif()

if(G729A_BUILD_TESTS AND TARGET g729a)
  add_test(NAME install_tree COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh
                                     ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
endif()
