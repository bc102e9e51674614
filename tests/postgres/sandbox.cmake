# A PostgreSQL server of the caller's own (tests and benchmarks of the PostgreSQL store): one
# cluster in a temporary folder, loopback, a free port, stopped by PID.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/../xmpp/sandbox.cmake)
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBPQXX REQUIRED IMPORTED_TARGET libpqxx)
add_library(postgres_sandbox STATIC ${CMAKE_CURRENT_LIST_DIR}/postgres_server.cpp)
target_include_directories(postgres_sandbox PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(postgres_sandbox PUBLIC xmpp_sandbox PkgConfig::LIBPQXX)
