# The Windows installer, made with NSIS (makensis) from installer/TolvanDDE.nsi:
# the files of the release zip, installed per user. Built by the "package"
# target after the zip (a CPack post-build script) and by the "installer"
# target alone.
set(BRIDGE_INSTALLER ${CMAKE_BINARY_DIR}/package/TolvanDDE-${PROJECT_VERSION}-win64-setup.exe)
set(BRIDGE_INSTALLER_SCRIPT ${CMAKE_BINARY_DIR}/make-installer.cmake)
# The version resource wants four numbers: 1.31 becomes 1.31.0.0.
string(REGEX MATCHALL "[0-9]+" numbers "${PROJECT_VERSION}")
list(APPEND numbers 0 0 0)
list(SUBLIST numbers 0 4 numbers)
list(JOIN numbers "." version4)

file(GENERATE OUTPUT ${BRIDGE_INSTALLER_SCRIPT} CONTENT "\
find_program(MAKENSIS makensis)
if(NOT MAKENSIS)
  message(FATAL_ERROR \"makensis is missing: install NSIS (Debian: apt-get install nsis, or run scripts/deps.sh).\")
endif()
file(MAKE_DIRECTORY \"${CMAKE_BINARY_DIR}/package\")
string(TIMESTAMP started \"%s\")
execute_process(COMMAND \"\${MAKENSIS}\" -V2
  \"-DVERSION=${PROJECT_VERSION}\" \"-DVERSION4=${version4}\"
  \"-DOUTFILE=${BRIDGE_INSTALLER}\"
  \"-DBRIDGE_EXE=$<TARGET_FILE:TolvanDDE>\"
  \"-DSIM_EXE=$<TARGET_FILE:decoder_sim>\"
  \"-DVIEWER_EXE=$<TARGET_FILE:record_viewer>\"
  \"-DSOURCE_DIR=${PROJECT_SOURCE_DIR}\"
  \"${PROJECT_SOURCE_DIR}/installer/TolvanDDE.nsi\"
  COMMAND_ERROR_IS_FATAL ANY)
string(TIMESTAMP ended \"%s\")
math(EXPR seconds \"\${ended} - \${started}\")
file(SIZE \"${BRIDGE_INSTALLER}\" size)
message(STATUS \"Installer: ${BRIDGE_INSTALLER} (\${size} bytes, \${seconds} s)\")
")

add_custom_target(installer
  COMMAND ${CMAKE_COMMAND} -P ${BRIDGE_INSTALLER_SCRIPT}
  DEPENDS TolvanDDE decoder_sim record_viewer ${PROJECT_SOURCE_DIR}/installer/TolvanDDE.nsi
  COMMENT "Building the installer with NSIS"
  VERBATIM)
set(CPACK_POST_BUILD_SCRIPTS ${BRIDGE_INSTALLER_SCRIPT})
