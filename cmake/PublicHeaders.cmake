# Every public header must compile on its own, as a host's first include: one source file per
# header, holding nothing but that include, built by the target public_headers_alone. It is kept
# out of the default build; the test public_headers_compile_alone builds it, so that a header
# that leans on another being included first fails the test suite.
file(GLOB_RECURSE public_headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/include
     ${PROJECT_SOURCE_DIR}/include/*.h)
set(header_sources "")
foreach(header ${public_headers})
  string(MAKE_C_IDENTIFIER ${header} name)
  set(source ${CMAKE_BINARY_DIR}/public_headers/${name}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "#include <${header}>\n")
  list(APPEND header_sources ${source})
endforeach()
add_library(public_headers_alone OBJECT EXCLUDE_FROM_ALL ${header_sources})
target_include_directories(public_headers_alone PRIVATE ${PROJECT_SOURCE_DIR}/include)
add_test(NAME public_headers_compile_alone
         COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target public_headers_alone)
set_tests_properties(public_headers_compile_alone PROPERTIES RESOURCE_LOCK build_folder)
