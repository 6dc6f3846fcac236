# Installation and packaging. `cmake --install` puts in place (paths below the prefix):
#
#   bin/tervik, bin/tervik-as, bin/tervik-run,   the window and the command-line tools
#   bin/tervik-rom
#   lib/<multiarch>/tervik/libtervik_*.so        the bundled peripheral modules (lib/tervik where
#                                                the system has no multiarch folders)
#   include/tervik/tervik_plugin.h               the module interface, with
#   lib/<multiarch>/pkgconfig/tervik-plugin.pc   `pkg-config --cflags tervik-plugin` and
#   lib/cmake/TervikPlugin/                      find_package(TervikPlugin) (Tervik::plugin)
#   share/tervik/examples/                       every example: map, sources and listings
#   share/doc/tervik/                            Manual.pdf, README.md, copyright (the licence),
#                                                changelog.gz, the module SDK's example sources
#   share/doc-base/tervik                        the manual's registration with doc-base
#   share/man/man1/*.1.gz                        a page per program, made from its --help
#   share/man/man5/tervik-{map,lst,sym,session}.5.gz  the file formats
#   share/applications/org.tervik.Tervik.desktop the desktop entry
#   share/metainfo/org.tervik.Tervik.metainfo.xml  AppStream metadata
#   share/mime/packages/org.tervik.Tervik.xml    the file types of sources, listings, maps, symbols
#   share/icons/hicolor/{scalable,NxN}/apps/     the icon, SVG and PNG
#
# The programs find the manual, the modules and the examples from their own folder, so the
# installed tree can be moved as a whole (any prefix, DESTDIR staging). `cpack -G DEB` packages
# the same tree for /usr.
#
# In a build without windows (TERVIK_BUILD_UI off) the tools, the modules and the module
# interface are installed all the same.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TERVIK_HOMEPAGE "https://tervik.example.org" CACHE STRING
    "The project's homepage, for the package, the AppStream metadata and pkg-config")
set(TERVIK_MAINTAINER "The Tervik developers <tervik@example.org>" CACHE STRING
    "The maintainer of the Debian package")

set(TERVIK_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/tervik")
# The modules are architecture-dependent: on a multiarch system (Debian) they go into the
# architecture's library folder, as Debian's policy wants for a package's private libraries. That
# folder is also not one the dynamic linker's cache covers, so a package needs no ldconfig call.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(TERVIK_INSTALL_ARCHLIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}")
else()
  set(TERVIK_INSTALL_ARCHLIBDIR "${CMAKE_INSTALL_LIBDIR}")
endif()
set(TERVIK_INSTALL_PLUGINDIR "${TERVIK_INSTALL_ARCHLIBDIR}/tervik")
set(TERVIK_INSTALL_EXAMPLESDIR "${CMAKE_INSTALL_DATAROOTDIR}/tervik/examples")
set(TERVIK_APP_ID "org.tervik.Tervik")

# ---- The programs and the modules ----

# A map names a module by its file name; when no file of that name is next to the map, in the
# working directory or next to the program, the name goes to the system loader, which searches
# the program's RUNPATH. Pointing it at the module folder lets the installed window and runner
# find the bundled modules without any change to the search order the build tree uses.
file(RELATIVE_PATH tervik_plugins_from_bin "/${CMAKE_INSTALL_BINDIR}" "/${TERVIK_INSTALL_PLUGINDIR}")
# Every command-line tool; a new one is added here (and gets a man page below).
set(TERVIK_TOOLS tervik-as tervik-run tervik-rom)
set(TERVIK_PROGRAMS ${TERVIK_TOOLS})
if(TERVIK_BUILD_UI)
  list(PREPEND TERVIK_PROGRAMS tervik)
endif()
set_target_properties(${TERVIK_PROGRAMS} PROPERTIES INSTALL_RPATH "$ORIGIN/${tervik_plugins_from_bin}")
install(TARGETS ${TERVIK_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tervik_terminal tervik_timer tervik_gpio tervik_sevenseg tervik_display
        LIBRARY DESTINATION ${TERVIK_INSTALL_PLUGINDIR})

# ---- The module interface: header, pkg-config file, CMake package ----

install(FILES ${PROJECT_SOURCE_DIR}/plugins/tervik_plugin.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tervik)
# The .pc file names the module folder, which is the architecture's, so it goes into that
# architecture's pkgconfig folder, where a cross-compiling pkg-config looks for it too.
# The .pc file carries absolute paths, so it is written at install time for the prefix of that
# install (cmake --install --prefix, or /usr under CPack), straight into the staging tree: a file
# in the build folder would be shared by two installs running at once.
set(TERVIK_PC_PREFIX "@TERVIK_PC_PREFIX@")  # kept for the install step
configure_file(${PROJECT_SOURCE_DIR}/packaging/tervik-plugin.pc.in
               ${CMAKE_BINARY_DIR}/packaging/tervik-plugin.pc.in @ONLY)
install(CODE "
  set(TERVIK_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(tervik_pc \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TERVIK_INSTALL_ARCHLIBDIR}/pkgconfig/tervik-plugin.pc\")
  message(STATUS \"Installing: \${tervik_pc}\")
  configure_file(\"${CMAKE_BINARY_DIR}/packaging/tervik-plugin.pc.in\" \"\${tervik_pc}\" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${tervik_pc}\")
")
set(TERVIK_PLUGIN_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/tervik")
set(tervik_cmake_dir "${CMAKE_INSTALL_LIBDIR}/cmake/TervikPlugin")
configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/packaging/TervikPluginConfig.cmake.in
  ${CMAKE_BINARY_DIR}/packaging/TervikPluginConfig.cmake
  INSTALL_DESTINATION ${tervik_cmake_dir}
  PATH_VARS TERVIK_PLUGIN_INCLUDEDIR TERVIK_INSTALL_PLUGINDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/TervikPluginConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${CMAKE_BINARY_DIR}/packaging/TervikPluginConfig.cmake
              ${CMAKE_BINARY_DIR}/packaging/TervikPluginConfigVersion.cmake
        DESTINATION ${tervik_cmake_dir})

# ---- Examples and documents ----

# Every file of examples/: the default map, the sources and their listings.
file(GLOB tervik_example_files LIST_DIRECTORIES false CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/examples/*)
install(FILES ${tervik_example_files} DESTINATION ${TERVIK_INSTALL_EXAMPLESDIR})
# The licence is in copyright, in Debian's machine-readable form.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
        DESTINATION ${TERVIK_INSTALL_DOCDIR})
# The module SDK's example sources, which the manual's SDK chapter walks through.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/manual/sdk/
        DESTINATION ${TERVIK_INSTALL_DOCDIR}/sdk)

# Man pages, made from each program's --help and --version by help2man (the window answers both
# without a display).
find_program(TERVIK_HELP2MAN help2man)
find_program(TERVIK_GZIP gzip)
# gzip -n leaves out the file's name and time, so that two builds give the same bytes.
function(tervik_gzip source target)
  string(REGEX REPLACE "\\.gz$" "" plain ${target})
  add_custom_command(
    OUTPUT ${target}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND ${TERVIK_GZIP} -9nf ${plain}
    DEPENDS ${source}
    VERBATIM)
endfunction()
set(tervik_man_pages)
function(tervik_man_page program summary)
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${TERVIK_HELP2MAN} --no-info --no-discard-stderr --section=1 --name=${summary}
            --version-string=${PROJECT_VERSION}
            --include=${PROJECT_SOURCE_DIR}/packaging/man/${program}.h2m
            --output=${page} $<TARGET_FILE:${program}>
    COMMAND ${TERVIK_GZIP} -9nf ${page}
    DEPENDS ${program} ${PROJECT_SOURCE_DIR}/packaging/man/${program}.h2m
    COMMENT "Writing the man page of ${program}"
    VERBATIM)
  set(tervik_man_pages ${tervik_man_pages} ${page}.gz PARENT_SCOPE)
endfunction()
if(TERVIK_HELP2MAN AND TERVIK_GZIP)
  if(TERVIK_BUILD_UI)
    tervik_man_page(tervik "emulator and debugger for the Tervik CPU")
  endif()
  tervik_man_page(tervik-as "assembler for the Tervik CPU")
  tervik_man_page(tervik-run "run Tervik CPU programs without a window")
  tervik_man_page(tervik-rom "write Tervik CPU programs as ROM images for FPGA tools")
  # The file formats' pages (section 5) are written by hand.
  set(tervik_man5_pages)
  foreach(format map lst sym session)
    set(page ${CMAKE_BINARY_DIR}/man/tervik-${format}.5.gz)
    tervik_gzip(${PROJECT_SOURCE_DIR}/packaging/man/tervik-${format}.5 ${page})
    list(APPEND tervik_man5_pages ${page})
  endforeach()
  set(tervik_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  tervik_gzip(${PROJECT_SOURCE_DIR}/packaging/debian/changelog ${tervik_changelog})
  add_custom_target(tervik_man_pages ALL
                    DEPENDS ${tervik_man_pages} ${tervik_man5_pages} ${tervik_changelog})
  install(FILES ${tervik_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${tervik_man5_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)
  install(FILES ${tervik_changelog} DESTINATION ${TERVIK_INSTALL_DOCDIR})
else()
  message(WARNING "help2man (or gzip) not found: the man pages are not made nor installed. "
                  "Install the Debian package help2man.")
endif()

# ---- The window's documents and desktop integration ----

if(TERVIK_BUILD_UI)
  # The manual lookup (platform/Documents.cpp) falls back to the documentation folder, given
  # relative to the program's folder.
  file(RELATIVE_PATH tervik_doc_from_bin "/${CMAKE_INSTALL_BINDIR}" "/${TERVIK_INSTALL_DOCDIR}")
  target_compile_definitions(tervik_platform_qt PRIVATE TERVIK_DOC_FROM_BIN="${tervik_doc_from_bin}")
  # The first-start workspace is filled from the examples folder, found the same way. The build
  # tree gets a copy of examples/ at the same place relative to its bin folder.
  file(RELATIVE_PATH tervik_examples_from_bin "/${CMAKE_INSTALL_BINDIR}"
       "/${TERVIK_INSTALL_EXAMPLESDIR}")
  target_compile_definitions(tervik_app PRIVATE
                             TERVIK_EXAMPLES_FROM_BIN="${tervik_examples_from_bin}")
  set(tervik_build_examples ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${tervik_examples_from_bin})
  set(tervik_build_example_copies)
  foreach(example IN LISTS tervik_example_files)
    get_filename_component(name ${example} NAME)
    add_custom_command(
      OUTPUT ${tervik_build_examples}/${name}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${tervik_build_examples}
      COMMAND ${CMAKE_COMMAND} -E copy ${example} ${tervik_build_examples}/${name}
      DEPENDS ${example}
      VERBATIM)
    list(APPEND tervik_build_example_copies ${tervik_build_examples}/${name})
  endforeach()
  add_custom_target(tervik_build_examples ALL DEPENDS ${tervik_build_example_copies})

  # The manual, wherever the manual target writes it (tools/manualpdf may give its path).
  if(NOT TERVIK_MANUAL_PDF)
    set(TERVIK_MANUAL_PDF ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Manual.pdf)
  endif()
  install(FILES ${TERVIK_MANUAL_PDF} DESTINATION ${TERVIK_INSTALL_DOCDIR} RENAME Manual.pdf)

  install(FILES ${PROJECT_SOURCE_DIR}/packaging/${TERVIK_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/${TERVIK_APP_ID}.mime.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/mime/packages RENAME ${TERVIK_APP_ID}.xml)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/tervik.doc-base
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc-base RENAME tervik)
  # The screenshot the metadata points at; its size is written into the metadata.
  set(TERVIK_SCREENSHOT ${PROJECT_SOURCE_DIR}/packaging/screenshots/main-window.png)
  file(READ ${TERVIK_SCREENSHOT} tervik_png_header LIMIT 24 HEX)
  string(SUBSTRING ${tervik_png_header} 32 8 tervik_width_hex)
  string(SUBSTRING ${tervik_png_header} 40 8 tervik_height_hex)
  math(EXPR TERVIK_SCREENSHOT_WIDTH "0x${tervik_width_hex}")
  math(EXPR TERVIK_SCREENSHOT_HEIGHT "0x${tervik_height_hex}")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${TERVIK_APP_ID}.metainfo.xml.in
                 ${CMAKE_BINARY_DIR}/packaging/${TERVIK_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${TERVIK_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
  install(FILES ${PROJECT_SOURCE_DIR}/ui/resources/tervik.svg
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
  foreach(size IN LISTS TERVIK_ICON_SIZES)
    install(FILES ${TERVIK_ICON_DIR}/${size}x${size}/tervik.png
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()

# ---- The Debian package: cpack -G DEB in the build folder ----

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tervik)
set(CPACK_PACKAGE_VENDOR "The Tervik developers")
set(CPACK_PACKAGE_CONTACT "${TERVIK_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "emulator and debugger for the Tervik CPU")
# The extended description, wrapped below 80 columns as Debian's tools show it (CPack puts a blank
# before each line).
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A desktop emulator and debugger for the Tervik CPU, a 32-bit processor with\n"
    "fixed 32-bit instruction words and word-addressed memory, with peripherals as\n"
    "plug-in modules (a terminal, a timer and a GPIO port come with it).\n"
    "Includes the assembler tervik-as, the headless runner tervik-run, the ROM\n"
    "image writer tervik-rom, example programs, the processor manual and the\n"
    "module interface (pkg-config tervik-plugin).")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TERVIK_HOMEPAGE}")
# The shared libraries the programs and modules link against (Qt, PCRE2, the C and C++
# libraries) become the dependencies, with their versions, through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Strips what Debian's own packaging strips beyond the debug symbols (the compiler's .comment and
# .note sections), in the staged tree just before it is packed.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/StripSections.cmake)
include(CPack)
