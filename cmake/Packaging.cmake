# Desktop integration (entries, icon, AppStream metainfo), documentation and the Debian package.
# Included from the top-level CMakeLists after the programs are defined.

set(VESK_APP_ID example.vesk_power.veskpanel)

install(FILES
    data/${VESK_APP_ID}.desktop
    data/${VESK_APP_ID}_classic.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${VESK_APP_ID}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The metainfo carries the release version, so it is configured from project(VERSION).
foreach(id ${VESK_APP_ID} ${VESK_APP_ID}_classic)
    configure_file(data/${id}.metainfo.xml.in ${CMAKE_CURRENT_BINARY_DIR}/data/${id}.metainfo.xml @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/data/${id}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endforeach()

install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The pages the README links to, beside it as in the source tree.
install(FILES
    docs/console.md docs/development.md docs/mqtt.md docs/simulator.md docs/speed.md docs/veskctl.md
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
# The lab tools' examples the "From a shell" page shows, ready to copy.
install(FILES docs/examples/labgrid-vesk.yaml docs/examples/pdudaemon.conf
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# One package holds both consoles and the simulated controller.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veskpanel)
set(CPACK_PACKAGE_VENDOR "VESK Power")
set(CPACK_PACKAGE_CONTACT "VESK Power <support@vesk-power.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Operator console for VESK eight-channel power controllers")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.vesk-power.example/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Operator console for VESK eight-channel power controllers
 Switches, times and configures the eight output channels of a VESK series
 power controller over a serial port at 9600 bit/s, and shows the channel
 states the controller reports as lamps.
 .
 Contains veskpanel (the full console), veskpanel-classic (the earlier build
 without the multi-channel area), veskctl (every operation from a shell, with
 exit codes for scripts), vesk-sim (a simulated controller on a
 pseudo-terminal, for trying the console without hardware) and vesk-mqtt
 (a daemon that owns the lines, shares them with the other programs and
 puts the controllers on an MQTT broker, with Home Assistant discovery; its
 systemd unit is installed but not enabled).")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The Qt libraries come from dpkg-shlibdeps; it cannot see what Qt loads at run time: the platform
# plugins (without them no window opens), a font with Chinese glyphs, and Qt's Chinese translations
# for the message box buttons.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei | fonts-arphic-uming, qt6-translations-l10n")
# The postinst creates vesk-mqtt's system user; it enables and starts nothing.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/postinst)
include(CPack)
