# The Debian package, built from a Release build with `cpack -G DEB`:
# komaslate-utility_<version>_<arch>.deb with everything the install rules
# place under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME komaslate-utility)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KomaSlate Project")
set(CPACK_PACKAGE_CONTACT "KomaSlate Project <komaslate@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "exchange pixel-art drawings with KomaSlate on iPhone")
# Set here so that CMake's generic text is never used; lines shorter than
# 80 characters, CPack indents them and writes the empty line as " .".
set(CPACK_PACKAGE_DESCRIPTION "\
KomaSlate Utility is the desktop companion of KomaSlate, the palette-based
pixel-art drawing app for iPhone and iPod touch. The program listens on TCP
port 3210, the app connects to it over the local network, and the window
lists the drawings stored in the app with their thumbnails, sizes and dates.
Drawings are downloaded, verified by their MD5 digest, as 8-bit palette PNG
images or layered KOM files; PNG, KOM and KOMA2 files are uploaded within
the app's limits; drawings are deleted. The interface is Japanese.

The package also holds komaslate-tool, which inspects and converts drawings
and backs them up from the app or sends files to it from the command line,
and komaslate-devicesim, a stand-in for the app to try the window without a
phone.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "KomaSlate Project <komaslate@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Qt 6, libpng and zlib are computed from the programs by dpkg-shlibdeps
# (package dpkg-dev); the rest are loaded at run time: the Japanese font of
# the windows, Qt's Japanese texts and Qt's platform plugins (xcb, wayland).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-translations-l10n, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
