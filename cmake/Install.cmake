# What `cmake --install` lays out under the prefix, and so what the Debian package holds:
#   bin/parvane-cli, bin/parvane
#   share/man/man1/parvane-cli.1.gz, share/man/man1/parvane.1.gz
#   share/applications/parvane.desktop
#   share/icons/hicolor/scalable/apps/parvane.svg and .../<N>x<N>/apps/parvane.png
#   share/doc/parvane/copyright, share/doc/parvane/api.md, share/doc/parvane/examples/parvane-cli.service
# Included from the top-level CMakeLists.txt after the program folders, so that each rule can ask
# whether its program is part of this build: the console is optional (PARVANE_BUILD_CONSOLE, or no
# Qt on a server), and its desktop entry, icons and manual page go with it.

include(GNUInstallDirs)

set(PARVANE_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(PARVANE_PACKAGING_OUTPUT_DIR ${CMAKE_BINARY_DIR}/packaging)
# The console's icon is drawn once, as SVG; the bitmap sizes that menus and docks ask for are
# rendered from it at build time, so the SVG stays the only source.
set(PARVANE_ICON_SVG ${CMAKE_SOURCE_DIR}/src/console/resources/parvane.svg)
set(PARVANE_ICON_SIZES 16 32 48 64 128 256)
# The package is called parvane; GNUInstallDirs would name the folder after the CMake project.
set(PARVANE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/parvane)

# Manual pages carry the project version; Debian wants them compressed, and man reads them so.
function(parvane_install_manual_page program)
  set(page ${PARVANE_PACKAGING_OUTPUT_DIR}/man/${program}.1)
  configure_file(${PARVANE_PACKAGING_DIR}/man/${program}.1 ${page} @ONLY)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND gzip -9 -n -c ${page} > ${page}.gz
    DEPENDS ${page}
    COMMENT "Compressing the manual page ${program}.1")
  add_custom_target(${program}_manual_page ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# The licence in the form Debian reads (/usr/share/doc/<package>/copyright, machine-readable), made
# from LICENSE so that the text has one source. Debian calls the MIT licence "Expat".
file(READ ${CMAKE_SOURCE_DIR}/LICENSE PARVANE_LICENSE_TEXT)
string(REGEX REPLACE "\n+$" "" PARVANE_LICENSE_TEXT "${PARVANE_LICENSE_TEXT}")
string(REGEX REPLACE "\n\n" "\n.\n" PARVANE_LICENSE_TEXT "${PARVANE_LICENSE_TEXT}")
string(REGEX REPLACE "\n" "\n " PARVANE_LICENSE_TEXT "${PARVANE_LICENSE_TEXT}")
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" PARVANE_COPYRIGHT_LINE "${PARVANE_LICENSE_TEXT}")
set(PARVANE_COPYRIGHT_HOLDERS "${CMAKE_MATCH_1}")
configure_file(${PARVANE_PACKAGING_DIR}/copyright.in ${PARVANE_PACKAGING_OUTPUT_DIR}/copyright @ONLY)
install(FILES ${PARVANE_PACKAGING_OUTPUT_DIR}/copyright DESTINATION ${PARVANE_INSTALL_DOCDIR})
# The control interface's reference, which both manual pages point to; both programs serve it.
install(FILES ${CMAKE_SOURCE_DIR}/docs/api.md DESTINATION ${PARVANE_INSTALL_DOCDIR})

if(TARGET parvane-cli)
  install(TARGETS parvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  parvane_install_manual_page(parvane-cli)
  # An example rather than an installed unit: a test server listening on port 502 of every
  # address is something to switch on deliberately, so the package does not start or enable it.
  install(FILES ${PARVANE_PACKAGING_DIR}/parvane-cli.service
    DESTINATION ${PARVANE_INSTALL_DOCDIR}/examples)
endif()

if(TARGET parvane)
  install(TARGETS parvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  parvane_install_manual_page(parvane)
  install(FILES ${PARVANE_PACKAGING_DIR}/parvane.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

  install(FILES ${PARVANE_ICON_SVG}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  find_program(PARVANE_RSVG_CONVERT rsvg-convert)
  if(PARVANE_RSVG_CONVERT)
    set(rendered_icons)
    foreach(size IN LISTS PARVANE_ICON_SIZES)
      set(png ${PARVANE_PACKAGING_OUTPUT_DIR}/icons/${size}x${size}/parvane.png)
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PARVANE_PACKAGING_OUTPUT_DIR}/icons/${size}x${size}
        COMMAND ${PARVANE_RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${PARVANE_ICON_SVG}
        DEPENDS ${PARVANE_ICON_SVG}
        COMMENT "Rendering the ${size}x${size} icon")
      list(APPEND rendered_icons ${png})
      install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(parvane_icons ALL DEPENDS ${rendered_icons})
  else()
    message(WARNING "rsvg-convert (Debian package librsvg2-bin) not found: only the SVG icon "
      "will be installed. scripts/install-deps.sh installs it.")
  endif()
endif()

if(PARVANE_BUILD_TESTS)
  add_subdirectory(tests/package)
endif()
