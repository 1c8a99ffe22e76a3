# Boost.Beast and Boost.Asio, header-only, from the system's package
# (scripts/deps.sh installs libboost1.81-dev). As for nlohmann-json, the
# cross build gets a folder that holds only a link to the library's folder,
# never /usr/include as a whole. Included as SYSTEM: the warnings stay on
# for the program's own code.
set(BRIDGE_BOOST_INCLUDE /usr/include CACHE PATH "The folder that holds boost/beast.hpp")
if(NOT EXISTS ${BRIDGE_BOOST_INCLUDE}/boost/beast.hpp)
  message(FATAL_ERROR "boost/beast.hpp is not in ${BRIDGE_BOOST_INCLUDE}: install libboost1.81-dev")
endif()
set(boost_folder ${CMAKE_BINARY_DIR}/boost-include)
file(MAKE_DIRECTORY ${boost_folder})
if(NOT EXISTS ${boost_folder}/boost)
  file(CREATE_LINK ${BRIDGE_BOOST_INCLUDE}/boost ${boost_folder}/boost SYMBOLIC)
endif()
add_library(boost_asio_headers INTERFACE)
target_include_directories(boost_asio_headers SYSTEM INTERFACE ${boost_folder})
# Asio without Boost's compiled libraries; one io_context thread each.
target_compile_definitions(boost_asio_headers INTERFACE BOOST_ASIO_NO_DEPRECATED BOOST_BEAST_USE_STD_STRING_VIEW
                                                          BOOST_ASIO_DISABLE_BOOST_COROUTINE)
if(WIN32)
  target_link_libraries(boost_asio_headers INTERFACE ws2_32 mswsock)
  # Beast's templates make more sections than a COFF object holds by default.
  target_compile_options(boost_asio_headers INTERFACE -Wa,-mbig-obj)
endif()
