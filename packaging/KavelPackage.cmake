# The Debian package, built with CPack from a tree configured for /usr
# (`make package` uses the "package" preset). The dependencies are named
# here rather than computed, so that the package needs no dpkg-dev to build;
# the package test checks that every library the programs link is provided
# by one of them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kavel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The KAVEL developers")
# The project has no contact address (the README says so); the maintainer
# field a package must carry names the project alone rather than invent one.
set(CPACK_PACKAGE_CONTACT "The KAVEL developers")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The KAVEL developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "chat client for QUARN chat servers, with a QUARN server")
set(CPACK_PACKAGE_DESCRIPTION
    "KAVEL is a desktop chat client for QUARN, a chat network with a line-based
protocol: local profiles, rooms in windows of their own with colours, links
and smileys, private chats, room logs, a code paster and plug-ins (among
them Tauschwerk, word replacement rules). The interface is German.
.
The package also holds quarnd, a small QUARN server with a paste service,
and a systemd unit to run it for a local network (not enabled).")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# The install already moved the debug information into .debug files, which
# the crash handler needs; a strip here would only lose the symbol tables.
set(CPACK_STRIP_FILES OFF)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(KAVEL_DEB_DEPENDS
    "libc6 (>= 2.36)"
    "libstdc++6 (>= 12)"
    "libgcc-s1"
    "libqt6core6 (>= 6.4)"
    "libqt6gui6 (>= 6.4)"
    "libqt6widgets6 (>= 6.4)"
    "libqt6multimedia6 (>= 6.4)"
    "libqt6dbus6 (>= 6.4)"
    "libqt6network6 (>= 6.4)"
    "libsqlite3-0"
    "libcrypt1"
    # TLS for the chat and the paste service, in both programs.
    "libssl3 (>= 3.0)"
    "libelf1"
    "libdw1"
    "libhunspell-1.7-0"
    # Qt's own dialog buttons and context menus in German.
    "qt6-translations-l10n")
list(JOIN KAVEL_DEB_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# quarnd colours the code on its paste pages with it when it is there.
# The input line's spell checking needs the German dictionary; without it
# the line works unchecked.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libjs-highlight.js, hunspell-de-de")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
# The service's settings are the admin's: an update must not overwrite them.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/conffiles "${CMAKE_INSTALL_FULL_SYSCONFDIR}/default/quarnd\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_BINARY_DIR}/conffiles
    ${CMAKE_CURRENT_SOURCE_DIR}/deb/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/deb/prerm
    ${CMAKE_CURRENT_SOURCE_DIR}/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
