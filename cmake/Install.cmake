# What `cmake --install` puts where, and the Debian package CPack makes of it.
# The package has no Preferences.prefs next to the programs: an installed game
# reads ~/.config/skirmora/Preferences.prefs, and the commented example goes
# with the documentation.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/skirmora)

install(TARGETS skirmora skirmora-host skirmora-join RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(program skirmora skirmora-host skirmora-join)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/${program}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/icon_${program}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps RENAME ${program}.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/net.skirmora.Skirmora.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/Preferences.prefs ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skirmora)
set(CPACK_PACKAGE_VENDOR "Skirmora developers")
set(CPACK_PACKAGE_CONTACT "Skirmora developers <maintainers@skirmora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "two-player biplane dogfight")
set(CPACK_PACKAGE_DESCRIPTION "A red and a blue biplane fly over a sky framed by clouds; \
players only steer and fire. Two players on one keyboard, one against the computer, or two over \
the network.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries are found from the programs themselves
# (dpkg-shlibdeps), so the list stays right when a dependency changes.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
