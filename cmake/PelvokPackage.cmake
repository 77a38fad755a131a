# The Debian package (cpack -G DEB in the release build): what `cmake --install` installs,
# under /usr. Its Depends come from the libraries the program links (dpkg-shlibdeps, of
# dpkg-dev): with the window built in, Qt 6 is one of them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelvok)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Pelvok developers <pelvok@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "RADIUS NAS simulator")
set(CPACK_PACKAGE_DESCRIPTION
  "Pelvok stands in for the access equipment in front of a RADIUS server: it plays timed\n\
sessions (Access-Request, Accounting Start and Stop) from simulation files or by hand,\n\
retransmits and drops as a NAS does, and logs every packet through a RADIUS dictionary.\n\
It runs as an interactive Qt program, as a systemd service, or headless for scripts.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://pelvok.example.org")
# Installed with DESTDIR and the real prefix, so the files made while installing (the unit)
# name /usr and not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
