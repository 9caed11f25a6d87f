# SPDX-License-Identifier: Apache-2.0
# Installation and the two Debian packages: vantirokit-console (component "console": vkserver,
# vkcopydb, their help) and vantirokit-agent (component "agent": the workstation agent with its system
# service and what lets it onto the display and end logins, and the older per-user unit and
# autostart entry). tools/package.sh builds them; so does "cpack" in a configured build.
include(GNUInstallDirs)

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(_icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Man pages are compressed as Debian ships them; -n keeps the result the same from build to build.
set(VK_MAN_DIR ${CMAKE_BINARY_DIR}/man)
foreach(_page vkserver.1 vkcopydb.1 vantirokit-client.1)
    add_custom_command(OUTPUT ${VK_MAN_DIR}/${_page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${VK_MAN_DIR}
        COMMAND sh -c "sed 's/@VK_VERSION@/$2/g' \"$0\" | gzip -9n > \"$1\""
                ${_pkg}/man/${_page} ${VK_MAN_DIR}/${_page}.gz ${PROJECT_VERSION}
        DEPENDS ${_pkg}/man/${_page} VERBATIM)
    list(APPEND _manpages ${VK_MAN_DIR}/${_page}.gz)
endforeach()
add_custom_target(vk_manpages ALL DEPENDS ${_manpages})

# Who answers for the packages: set by whoever builds them for a cafe or a distribution. The
# default says so in its address; example.invalid can never reach anyone by mistake.
set(VK_MAINTAINER "Vantirokit packager <set-VK_MAINTAINER@example.invalid>" CACHE STRING
    "Maintainer of the Debian packages, as \"Name <address>\"")

# Each package's Debian changelog, from CHANGELOG.md (whose newest entry is this version), and
# its copyright file. We are the packages' upstream too (a native package, no Debian revision),
# so the changelog is changelog.gz: changelog.Debian.gz is for Debian's own changes on top of
# another upstream's.
set(VK_DEBIAN_CHANGELOG ${CMAKE_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${VK_DEBIAN_CHANGELOG}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/debian
    COMMAND ${_pkg}/debian/changelog.sh ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${VK_MAINTAINER}
            ${VK_DEBIAN_CHANGELOG}
    DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${_pkg}/debian/changelog.sh VERBATIM)
add_custom_target(vk_debian_changelog ALL DEPENDS ${VK_DEBIAN_CHANGELOG})
foreach(_component console agent)
    install(FILES ${_pkg}/debian/copyright ${VK_DEBIAN_CHANGELOG}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantirokit-${_component}
            COMPONENT ${_component})
endforeach()

# --- console ---
install(TARGETS vkserver vkcopydb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT console)
install(FILES ${_pkg}/vantirokit-console.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT console)
install(FILES ${_pkg}/icons/vantirokit-console.svg DESTINATION ${_icons} COMPONENT console)
install(FILES ${VK_MAN_DIR}/vkserver.1.gz ${VK_MAN_DIR}/vkcopydb.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT console)
install(DIRECTORY ${VK_HELP_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vantirokit/help
        COMPONENT console)

# --- agent ---
# Installed under a name of its own: a bare "client" in the system's program folder would say
# nothing about what it is. The guide, the unit and the man page use this name.
install(PROGRAMS $<TARGET_FILE:client> DESTINATION ${CMAKE_INSTALL_BINDIR}
        RENAME vantirokit-client COMPONENT agent)
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/vantirokit-client\")
    endif()" COMPONENT agent)
install(FILES ${_pkg}/vantirokit-agent.service DESTINATION lib/systemd/system COMPONENT agent)
install(FILES ${_pkg}/agent-system/60-vantirokit-agent.rules
        DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/rules.d COMPONENT agent)
install(PROGRAMS ${_pkg}/agent-system/x-access ${_pkg}/agent-system/system-setup
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vantirokit-agent COMPONENT agent)
install(FILES ${_pkg}/agent-system/60vantirokit-agent DESTINATION /etc/X11/Xsession.d
        COMPONENT agent)
install(FILES ${_pkg}/vantirokit-client.service DESTINATION lib/systemd/user COMPONENT agent)
install(FILES ${_pkg}/vantirokit-client.desktop DESTINATION /etc/xdg/autostart COMPONENT agent)
install(FILES ${_pkg}/icons/vantirokit-agent.svg DESTINATION ${_icons} COMPONENT agent)
install(FILES ${VK_MAN_DIR}/vantirokit-client.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT agent)
install(FILES ${VK_AGENT_DOC_DIR}/install-workstation.html ${VK_AGENT_DOC_DIR}/threat-model.html
        ${VK_AGENT_DOC_DIR}/style.css
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantirokit-agent COMPONENT agent)

# --- packages ---
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantirokit)
set(CPACK_PACKAGE_VENDOR "Vantirokit")
set(CPACK_PACKAGE_CONTACT "${VK_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL console agent)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries the programs link (Qt Charts among them) come from dpkg-shlibdeps; plugins loaded at run time are
# listed by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME vantirokit-console)
# The SQLite driver for a console's own file, the PostgreSQL one for a database shared by desks.
set(CPACK_DEBIAN_CONSOLE_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SUGGESTS "sqlite3")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_CONTROL_EXTRA ${_pkg}/debian/console/postinst)
# Summary, then the extended description; cpack indents its lines.
set(CPACK_COMPONENT_CONSOLE_DESCRIPTION
    "cyber cafe console: times and bills the cafe's workstations
The cashier's console of the Vantirokit cafe system (vkserver). It keeps the
cafe's SQLite database, starts, transfers and settles timed sessions priced by
usage category, keeps job work, members and their ledger, prints, previews and
exports bills and reports, and locks, unlocks, shuts down or restarts idle
workstations running the vantirokit-agent package. It can also serve the owner
a read-only web page of the workstations and the day's takings. Several
consoles can share one PostgreSQL database; vkcopydb moves a cafe's data into
it.")

set(CPACK_DEBIAN_AGENT_PACKAGE_NAME vantirokit-agent)
# xhost lets the agent's account onto the display; polkitd applies its rule.
set(CPACK_DEBIAN_AGENT_PACKAGE_RECOMMENDS "libcap2-bin, python3-xdg, x11-xserver-utils, polkitd")
# The autostart entry and the X session hook live in /etc: an administrator's edit of them
# survives upgrades.
set(CPACK_DEBIAN_AGENT_PACKAGE_CONTROL_EXTRA ${_pkg}/debian/agent/postinst
    ${_pkg}/debian/agent/prerm ${_pkg}/debian/agent/postrm ${_pkg}/debian/agent/conffiles)
set(CPACK_COMPONENT_AGENT_DESCRIPTION
    "cyber cafe workstation agent: locks the workstation between sessions
The agent of the Vantirokit cafe system that runs on every workstation. It
holds the workstation behind a full-screen lock screen, connects to the
cashier's console (vantirokit-console), unlocks when a session starts, shows
the time used, warns before the agreed time runs out and logs out
automatically. It runs as a system service under an account of its own, which
the customer can neither stop nor read, and ends the customer's login when a
session ends.")

include(CPack)
