# Boost.Beast and Boost.Asio, header-only, from the system's package.
include(${CMAKE_CURRENT_LIST_DIR}/SystemHeaders.cmake)
set(BRIDGE_BOOST_INCLUDE /usr/include CACHE PATH "The folder that holds boost/beast.hpp")
system_headers(boost_asio_headers ${BRIDGE_BOOST_INCLUDE} boost boost/beast.hpp libboost1.81-dev)
# Asio without Boost's compiled libraries.
target_compile_definitions(boost_asio_headers INTERFACE BOOST_ASIO_NO_DEPRECATED BOOST_BEAST_USE_STD_STRING_VIEW
                                                          BOOST_ASIO_DISABLE_BOOST_COROUTINE)
if(WIN32)
  target_link_libraries(boost_asio_headers INTERFACE ws2_32 mswsock)
  # Beast's templates make more sections than a COFF object holds by default.
  target_compile_options(boost_asio_headers INTERFACE -Wa,-mbig-obj)
endif()
