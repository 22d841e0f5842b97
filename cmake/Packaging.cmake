# The Debian package: `cpack -G DEB` in a build tree makes corvane_VERSION_ARCH.deb of
# what `cmake --install` puts in place, under /usr. scripts/package.sh does it from a
# Release build.

# Where the project's pages and files are published; the AppStream data points there.
set(CORVANE_HOMEPAGE "https://github.com/corvane/corvane")
set(CORVANE_RAW_FILES "https://raw.githubusercontent.com/corvane/corvane/main")
# Day of the release PROJECT_VERSION names; move it together with the version.
set(CORVANE_RELEASE_DATE "2026-12-07")

configure_file(${PROJECT_SOURCE_DIR}/data/io.github.corvane.Corvane.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/io.github.corvane.Corvane.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/io.github.corvane.Corvane.metainfo.xml
        DESTINATION share/metainfo)
install(FILES data/bash-completion/corvane-cli DESTINATION share/bash-completion/completions)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_CONTACT "Corvane developers <corvane@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop backup program: copies, ZIP archives, FTP")
# The summary above is the first line; these are the lines under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Corvane backs up folders and files to a local folder, a network share, a disc or\n"
    "an FTP server, copied as they are or packed into one ZIP archive, with date\n"
    "patterns, filters, schedules and mail notices. Backups can be estimated, compared\n"
    "with the live data and restored, even when the task list is lost. corvane-cli\n"
    "runs the same tasks from scripts and timers.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${CORVANE_HOMEPAGE})
# The runtime part of scripts/install-deps.sh: the libraries both programs link (Qt's
# Gui target links the window to GLX and OpenGL itself), the Qt plugins the window
# needs to open (platform) and to draw its icon (SVG), and dconf with the service that
# writes settings keys back on restore, and libsecret for passwords kept in the keyring.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libgcc-s1, libqt6core6 (>= 6.2), libqt6gui6 (>= 6.2), \
libqt6widgets6 (>= 6.2), libqt6network6 (>= 6.2), libqt6dbus6 (>= 6.2), \
libqt6multimedia6 (>= 6.2), libqt6svg6 (>= 6.2), qt6-qpa-plugins, libcurl4, \
libminizip1, zlib1g, libssl3, libglx0, libopengl0, libdconf1, libglib2.0-0, dconf-service, \
libsecret-1-0")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

include(CPack)
