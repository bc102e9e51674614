# Runs confhost with ARGUMENTS (blank-separated) and compares what it prints with the EXPECTED
# transcript; with EXPECTED_ERROR instead, the run must fail with that message (a regular
# expression) on its error output.
separate_arguments(arguments UNIX_COMMAND "${ARGUMENTS}")
execute_process(
  COMMAND ${CONFHOST} ${arguments}
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)

if(DEFINED EXPECTED_ERROR)
  if(status EQUAL 0)
    message(FATAL_ERROR "confhost succeeded; expected it to fail with: ${EXPECTED_ERROR}")
  endif()
  if(NOT errors MATCHES "^confhost: ${EXPECTED_ERROR}\n$")
    message(FATAL_ERROR "confhost failed with: ${errors}expected one line: ${EXPECTED_ERROR}")
  endif()
  return()
endif()

if(NOT status EQUAL 0)
  message(FATAL_ERROR "confhost failed (${status}): ${errors}")
endif()
file(READ ${EXPECTED} expected)
if(NOT output STREQUAL expected)
  get_filename_component(name ${EXPECTED} NAME_WE)
  set(actual ${CMAKE_CURRENT_BINARY_DIR}/${name}.actual)
  file(WRITE ${actual} "${output}")
  execute_process(COMMAND diff -u ${EXPECTED} ${actual})
  message(FATAL_ERROR "the transcript differs from ${EXPECTED} (actual: ${actual})")
endif()
