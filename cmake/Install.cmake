# Installation: `cmake --install` puts the program, its bundled peripheral modules, the manual,
# the examples, a desktop entry and the icon where a Linux desktop expects them:
#
#   bin/tervik                                 the program
#   lib/tervik/libtervik_*.so                   the bundled peripheral modules
#   share/doc/tervik/Manual.pdf, examples/      the manual and the example map and listing
#   include/tervik/tervik_plugin.h             the module interface, for writing modules
#   share/applications/tervik.desktop           the desktop entry
#   share/icons/hicolor/scalable/apps/tervik.svg
#
# The program finds the manual and the modules from its own folder, so the installed tree can be
# moved as a whole (any prefix, DESTDIR staging).
include(GNUInstallDirs)

set(TERVIK_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/tervik")
set(TERVIK_INSTALL_PLUGINDIR "${CMAKE_INSTALL_LIBDIR}/tervik")

# The manual lookup (platform/Documents.cpp) falls back to the documentation folder, given
# relative to the program's folder.
file(RELATIVE_PATH tervik_doc_from_bin "/${CMAKE_INSTALL_BINDIR}" "/${TERVIK_INSTALL_DOCDIR}")
target_compile_definitions(tervik_platform_qt PRIVATE TERVIK_DOC_FROM_BIN="${tervik_doc_from_bin}")

# A map names a module by its file name; when no file of that name is next to the map, in the
# working directory or next to the program, the name goes to the system loader, which searches
# the program's RUNPATH. Pointing it at the module folder lets an installed program find its
# bundled modules without any change to the search order the build tree uses.
file(RELATIVE_PATH tervik_plugins_from_bin "/${CMAKE_INSTALL_BINDIR}" "/${TERVIK_INSTALL_PLUGINDIR}")
set_target_properties(tervik PROPERTIES INSTALL_RPATH "$ORIGIN/${tervik_plugins_from_bin}")

install(TARGETS tervik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tervik_terminal tervik_timer tervik_gpio
        LIBRARY DESTINATION ${TERVIK_INSTALL_PLUGINDIR})
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Manual.pdf DESTINATION ${TERVIK_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/plugins/tervik_plugin.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tervik)
install(FILES ${PROJECT_SOURCE_DIR}/examples/default.map ${PROJECT_SOURCE_DIR}/examples/counter.lst
        DESTINATION ${TERVIK_INSTALL_DOCDIR}/examples)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tervik.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/ui/resources/tervik.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
