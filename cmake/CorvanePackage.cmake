# The Debian package: `cpack -G DEB` (scripts/package) turns what
# `cmake --install` puts under /usr into corvane_<version>_<arch>.deb.
#
# The install rules write paths from CMAKE_INSTALL_PREFIX into files (the menu
# entry's Exec line), so CPack installs with DESTDIR into its staging folder
# and the prefix stays the real /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "finds pictures whose pixels are identical")
set(CPACK_PACKAGE_DESCRIPTION
  "Corvane finds the pictures in a folder whose pixels are identical, whatever \
their sizes, types and names, and lets you send the extra copies to the trash, \
delete them or move them away. With \"Also find the same photo saved \
differently\" it also finds the same photo re-saved, resized or converted to \
another type, proves each such copy by measuring it, and names the best copy. \
corvane-find does the same searches on the command line and reports in text, \
JSON or CSV.")
set(CPACK_PACKAGE_CONTACT "Corvane developers <corvane@localhost>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends comes from dpkg-shlibdeps over the installed programs; Qt's X11
# platform plugin and its JPEG and GIF readers ship in libqt6gui6, which it
# finds. The recommended packages are not linked: the metric-compatible fonts
# the window's "Arial" resolves to, and xdg-open behind "Show in folder".
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
