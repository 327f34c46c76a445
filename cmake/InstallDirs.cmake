# Where the installed agent and its files go (GNUInstallDirs), and where the
# agent looks for its data: relative to its own executable, so that a package
# or a prefix anywhere works, and the build tree mirrors the same layout.
include(GNUInstallDirs)

set(RELAYDOCK_APP_ID com.corvane.Relaydock)
file(RELATIVE_PATH RELAYDOCK_DATA_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/relaydock)
get_filename_component(RELAYDOCK_BUILD_DATA_DIR
                       ${CMAKE_BINARY_DIR}/bin/${RELAYDOCK_DATA_FROM_BIN} ABSOLUTE)
# Files made at build time for the install: metainfo, man pages, icons, the
# package's copyright text.
set(RELAYDOCK_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
set(RELAYDOCK_ICON_SIZES 48 128 256)
