# An XMPP server of the caller's own (Prosody or ejabberd), confserver attached to it, the other
# programs they start, and bare XMPP clients: what the XMPP tests, the meeting conductor and the
# XMPP benchmarks share. Free of the test framework, so that the benchmarks can use it in a build
# without tests.
include_guard(GLOBAL)
add_library(xmpp_sandbox STATIC
  ${CMAKE_CURRENT_LIST_DIR}/child_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/confserver_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ejabberd_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prosody_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/terminal_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_client.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xmpp_server.cpp)
target_include_directories(xmpp_sandbox PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(xmpp_sandbox PUBLIC quenlo_xmpp)
target_compile_definitions(xmpp_sandbox PRIVATE QUENLO_CONFSERVER_PATH="$<TARGET_FILE:confserver>")
# Whatever starts confserver through this needs it built.
add_dependencies(xmpp_sandbox confserver)
