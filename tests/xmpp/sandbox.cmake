# A Prosody of the caller's own, the programs it starts, and bare XMPP clients: what the XMPP
# tests, the meeting conductor and the XMPP benchmark share. Free of the test framework, so that
# the benchmarks can use it in a build without tests.
include_guard(GLOBAL)
add_library(xmpp_sandbox STATIC
  ${CMAKE_CURRENT_LIST_DIR}/child_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prosody_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/terminal_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_client.cpp)
target_include_directories(xmpp_sandbox PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(xmpp_sandbox PUBLIC quenlo_xmpp)
