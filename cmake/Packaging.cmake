# The Debian package, built by `cpack` in a configured build folder (scripts/package.sh does it
# from a Release build). It holds whatever cmake/Install.cmake installs.

set(PARVANE_PACKAGE_MAINTAINER "Parvane developers <parvane@example.org>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME parvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${PARVANE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Modbus/TCP test server with an operator console")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME parvane)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${PARVANE_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack puts the summary on the Description line and indents this text below it as the extended
# description, turning the empty line into the paragraph break ".".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Parvane plays the part of a Modbus/TCP server (slave) so that the developer
of a Modbus/TCP client can point the client at it and watch, request by
request, what the client sends and what it gets back. It holds 65,536 coils
and 65,536 holding registers in memory and answers function codes 1, 3, 5,
6, 15, 16, 22 and 23, serving up to four clients at once.

parvane is the desktop program: an event log, per-connection statistics and
hex dumps, a data grid, and dialogs to edit values, narrow the address
ranges and switch function codes off to provoke exception responses.
parvane-cli is the same server without a window, logging to standard
output, for test rigs and services; an example systemd unit runs it on
port 502 without root.")

# dpkg-shlibdeps reads the programs' shared libraries: libc6, libstdc++6, libgcc-s1 for both, and
# libqt6core6, libqt6gui6 and libqt6widgets6 for the console, each with its minimum version.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET parvane)
  # The Qt libraries alone cannot open a window: the X11 and Wayland platform plugins are a
  # separate package that libqt6gui6 only recommends.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  # The console's windows are laid out in Liberation Sans and its hex dumps in Liberation Mono;
  # without them Qt substitutes faces of other widths and the dialogs' text may be clipped.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mbpoll")

include(CPack)
