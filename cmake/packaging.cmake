# The Debian package (scripts/package.sh): cpack -G DEB over the install rules.
set(CPACK_PACKAGE_NAME esp8266-console)
set(CPACK_PACKAGE_VENDOR "ESP8266 Console developers")
set(CPACK_PACKAGE_CONTACT "${CONSOLE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop console for ESP8266 Wi-Fi modules with AT firmware")
# Debian wants the long description in lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "A single window, with Simplified Chinese captions, for bringing up an ESP8266
module wired to the PC through a USB-serial adapter: it finds and opens the
module's serial port, shows everything the module says, sends what is typed,
offers buttons for the common AT commands, and runs a small TCP server that the
module can connect back to. The package also holds esp8266-sim, which stands in
for a module on a pseudo-terminal.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's platform plugins (X11, and native Wayland, without which a Wayland session shows the
# window through XWayland: blurry under fractional scaling) and its Chinese captions; Qt's own dialog
# buttons in Chinese.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-wayland, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# Directories the package shares with others (/usr, /usr/share/icons, ...) must stay 0755 and
# files 0644, whatever the umask of the build.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
