# A Debian package from the install rules: `cpack -G DEB` in the build folder (scripts/package)
# makes vistrel_<version>_<arch>.deb. The libraries it needs are found by dpkg-shlibdeps; the
# programs and files it runs or shows are named here.
set(CPACK_PACKAGE_NAME vistrel)
set(CPACK_PACKAGE_VENDOR "The Vistrel developers")
set(CPACK_PACKAGE_CONTACT "The Vistrel developers <developers@vistrel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screen recorder with lossless cut and merge")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Vistrel records the whole screen into MP4 files, with sound from the microphone, from the "
    "computer's own output, from both or without sound, and never loses a recording to a crash. "
    "Two small editors cut a recording to a span and merge recordings into one file, without "
    "re-encoding.")
set(CPACK_PACKAGE_HOMEPAGE_URL https://vistrel.org)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ffmpeg is the media tool; Carlito stands in for the window's Calibri; Qt's platform plugins
# are loaded at run time, so no library dependency names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, fonts-crosextra-carlito, qt6-qpa-plugins")
# The help pages open in the desktop's browser through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
