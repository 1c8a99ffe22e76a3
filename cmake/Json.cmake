# nlohmann-json, header-only, from the system's package.
include(${CMAKE_CURRENT_LIST_DIR}/SystemHeaders.cmake)
set(BRIDGE_JSON_INCLUDE /usr/include CACHE PATH "The folder that holds nlohmann/json.hpp")
system_headers(nlohmann_json_headers ${BRIDGE_JSON_INCLUDE} nlohmann nlohmann/json.hpp nlohmann-json3-dev)
