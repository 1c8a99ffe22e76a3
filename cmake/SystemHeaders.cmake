# A header-only library from the system's packages, as an INTERFACE target.
# The cross build must never see /usr/include as a whole (it holds the Linux
# C headers), so the target gets a folder of its own that holds only a link
# to the library's folder; it is included as SYSTEM, so that the warnings
# stay on for the program's own code only.
#   system_headers(TARGET ROOT FOLDER PROBE PACKAGE)
# ROOT/FOLDER is the library's folder, ROOT/PROBE must exist, PACKAGE is the
# Debian package that brings it (scripts/deps.sh installs it).
function(system_headers target root folder probe package)
  if(NOT EXISTS ${root}/${probe})
    message(FATAL_ERROR "${probe} is not in ${root}: install ${package}")
  endif()
  set(links ${CMAKE_BINARY_DIR}/${target}-include)
  file(MAKE_DIRECTORY ${links})
  if(NOT EXISTS ${links}/${folder})
    file(CREATE_LINK ${root}/${folder} ${links}/${folder} SYMBOLIC)
  endif()
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${links})
endfunction()
