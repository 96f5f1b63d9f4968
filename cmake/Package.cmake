# The Debian package of `make package`: the install rules of app/ and data/
# packed by CPack's DEB generator, with the run-time dependencies computed by
# dpkg-shlibdeps from the program's libraries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME perchly)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Perchly developers")
set(CPACK_PACKAGE_CONTACT "The Perchly developers <feedback@perchly.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch web chat rooms for the people you care about")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Perchly watches public web chat-room pages for the arrival of the people you\n"
    "care about. It fetches one listed page per tick, strips the mark-up and looks\n"
    "for every selected nickname. A hit plays a sound and shows a box that names\n"
    "the person. The user interface is Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://perchly.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries: Qt's Chinese texts for the standard buttons, a font
# that has the Chinese characters of the whole window, and the certificate
# authorities that https sites are verified against.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk, ca-certificates")
# F1, the prompt file and the links are handed to the desktop's opener; without
# it Perchly can only say that nothing could open them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
