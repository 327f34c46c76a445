# `cpack -G DEB` in the build folder (scripts/package.sh) makes a Debian
# package of the default install; its dependencies come from dpkg-shlibdeps.
set(RELAYDOCK_PACKAGE_CONTACT "Relaydock maintainers <relaydock@corvane.invalid>"
    CACHE STRING "Maintainer of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME relaydock)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT ${RELAYDOCK_PACKAGE_CONTACT})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "share destination agent that registers edited clips in a media library")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Relaydock receives the finished clips a video editor shares, tells the editor
where to write the movie and its FCPXML description, watches the export,
makes a thumbnail and registers each file as an asset in a library of the
Tessel media service. relaydock-share hands files to it from scripts.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${RELAYDOCK_BUILD_NUMBER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Wayland platform plugin is packaged apart from Qt GUI.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# One package of the default install: the stand-in service, excluded from
# it, stays out.
set(CPACK_MONOLITHIC_INSTALL ON)
include(CPack)
