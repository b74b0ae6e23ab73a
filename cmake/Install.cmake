# What `cmake --install` puts where, and the Debian package CPack makes of it.
# The package has no Preferences.prefs next to the programs: an installed game
# reads ~/.config/skirmora/Preferences.prefs, and the commented example goes
# with the documentation.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/skirmora)

# Games go to <prefix>/games, as Debian keeps them.
install(TARGETS skirmora skirmora-host skirmora-join RUNTIME DESTINATION games)

# The manual pages and the changelog, compressed as Debian wants them
# (gzip -9, no name or time inside, so that builds stay reproducible).
find_program(GZIP gzip REQUIRED)
set(compressed)
foreach(source docs/skirmora.6 docs/skirmora-host.6 docs/skirmora-join.6 packaging/changelog)
  get_filename_component(name ${source} NAME)
  set(output ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${output}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
                     COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/${source} > ${output}
                     DEPENDS ${PROJECT_SOURCE_DIR}/${source} VERBATIM)
  list(APPEND compressed ${output})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
install(FILES ${CMAKE_BINARY_DIR}/packaging/skirmora.6.gz ${CMAKE_BINARY_DIR}/packaging/skirmora-host.6.gz
              ${CMAKE_BINARY_DIR}/packaging/skirmora-join.6.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
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
# Lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION "A red and a blue biplane fly over a sky framed by clouds;
players only steer and fire. Two players on one keyboard, one against the
computer (easy, normal or hard), or two over the network. Every match is
recorded and can be watched again.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries are found from the programs themselves
# (dpkg-shlibdeps), so the list stays right when a dependency changes.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
