# nlohmann-json, header-only, from the system's package (scripts/deps.sh
# installs it). The cross build must never see /usr/include as a whole (it
# holds the Linux C headers), so it gets a folder that holds only a link to
# the library's own folder.
set(BRIDGE_JSON_INCLUDE /usr/include CACHE PATH "The folder that holds nlohmann/json.hpp")
if(NOT EXISTS ${BRIDGE_JSON_INCLUDE}/nlohmann/json.hpp)
  message(FATAL_ERROR "nlohmann/json.hpp is not in ${BRIDGE_JSON_INCLUDE}: install nlohmann-json3-dev")
endif()
set(json_folder ${CMAKE_BINARY_DIR}/json-include)
file(MAKE_DIRECTORY ${json_folder})
if(NOT EXISTS ${json_folder}/nlohmann)
  file(CREATE_LINK ${BRIDGE_JSON_INCLUDE}/nlohmann ${json_folder}/nlohmann SYMBOLIC)
endif()
add_library(nlohmann_json_headers INTERFACE)
target_include_directories(nlohmann_json_headers SYSTEM INTERFACE ${json_folder})
