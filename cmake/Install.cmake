# What `cmake --install` and the package put where. The stand-in Tessel
# service is a component of its own that only an explicit
# `cmake --install build --component stand-in-service` installs.
set(_res ${CMAKE_SOURCE_DIR}/resources)

configure_file(${_res}/${RELAYDOCK_APP_ID}.metainfo.xml.in
               ${RELAYDOCK_PACKAGING_DIR}/${RELAYDOCK_APP_ID}.metainfo.xml @ONLY)
foreach(_page relaydock relaydock-share)
  configure_file(${_res}/man/${_page}.1.in ${RELAYDOCK_PACKAGING_DIR}/man/${_page}.1 @ONLY)
endforeach()

# relaydock-share is the share client (how scripts hand files to the agent)
# under a name that says whose it is.
install(TARGETS relaydock relaydock-share RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT agent)
install(FILES ${_res}/${RELAYDOCK_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT agent)
install(FILES ${RELAYDOCK_PACKAGING_DIR}/${RELAYDOCK_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT agent)
install(FILES ${_res}/images/relaydock.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${RELAYDOCK_APP_ID}.svg COMPONENT agent)
foreach(_size ${RELAYDOCK_ICON_SIZES})
  install(FILES ${RELAYDOCK_PACKAGING_DIR}/icons/${_size}x${_size}/${RELAYDOCK_APP_ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps
          COMPONENT agent)
endforeach()
install(FILES ${RELAYDOCK_PACKAGING_DIR}/man/relaydock.1
              ${RELAYDOCK_PACKAGING_DIR}/man/relaydock-share.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT agent)
install(FILES ${RELAYDOCK_BUILD_DATA_DIR}/Acknowledgements_Relaydock.pdf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/relaydock COMPONENT agent)
# Debian looks for a package's notices here.
install(FILES ${RELAYDOCK_PACKAGING_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/relaydock COMPONENT agent)

install(TARGETS tessel-service RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT stand-in-service EXCLUDE_FROM_ALL)
install(FILES $<TARGET_FILE_DIR:tessel-service>/corvane DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT stand-in-service EXCLUDE_FROM_ALL)
