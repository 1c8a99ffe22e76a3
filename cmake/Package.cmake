# The Windows release: the bridge, the decoder simulator and the record
# viewer, the sample feed, README and licence, in one zip (and in the
# installer, see Installer.cmake).
install(TARGETS TolvanDDE decoder_sim record_viewer RUNTIME DESTINATION .)
install(FILES tools/decoder_sim/sample_feed.txt app/TolvanDDE.ini README.md LICENSE DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME TolvanDDE)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(BRIDGE_PACKAGE_NAME TolvanDDE-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_FILE_NAME ${BRIDGE_PACKAGE_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(${CMAKE_CURRENT_LIST_DIR}/Installer.cmake)
include(CPack)

set(BRIDGE_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/package/${BRIDGE_PACKAGE_NAME}.zip)
