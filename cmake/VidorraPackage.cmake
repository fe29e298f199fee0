# The Debian package: `cpack -G DEB` in a build folder. The libraries it needs are computed by
# dpkg-shlibdeps; what the program needs without linking to it is listed here.
set(CPACK_PACKAGE_NAME vidorra)
set(CPACK_PACKAGE_VERSION ${VIDORRA_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvale")
set(CPACK_PACKAGE_CONTACT "Orvale <vidorra@orvale.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "preview and record video from capture devices")
set(CPACK_PACKAGE_DESCRIPTION
  "Vidorra previews and records video from DV camcorders, webcams and analogue capture or TV
cards, with sound from the camcorder or a separate audio device. It records AVI files (the
source's own stream, DV type 1, DV type 2, or re-encoded to DV PAL or NTSC), cuts a running
recording into a new file without a gap, starts and stops recordings at programmed times of
day, and grabs still images (single or by intervallometer, BMP or JPEG). Its window is in
French.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Fonts with the metrics of those the window was laid out with (sans serif texts, slab serif
# clock); the Qt platform plugins, without which no window opens.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, fonts-roboto-slab, qt6-qpa-plugins")
# Wayland windows; the user's video and pictures folders.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, xdg-user-dirs")

set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/\\\\.cache/")
include(CPack)
