# Runs confhost with ARGUMENTS (blank-separated; standard input from INPUT when given; after
# "--module MODULE" when MODULE is defined, even as an empty text) and
# compares what it prints with the EXPECTED transcript, or matches it against EXPECTED_REGEX.
# With EXPECTED_ERROR instead, the run must fail with that one-line message (a regular
# expression) on its error output; EXPECTED_REGEX, when also given, must match what it printed.
separate_arguments(arguments UNIX_COMMAND "${ARGUMENTS}")
if(NOT DEFINED INPUT)
  set(INPUT /dev/null)
endif()
# An empty list element would vanish from an unquoted expansion: --module "${MODULE}" is
# spelled out so that an empty MODULE reaches confhost as an empty argument.
if(DEFINED MODULE)
  execute_process(
    COMMAND ${CONFHOST} --module "${MODULE}" ${arguments}
    INPUT_FILE ${INPUT} OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
else()
  execute_process(
    COMMAND ${CONFHOST} ${arguments}
    INPUT_FILE ${INPUT} OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
endif()

if(DEFINED EXPECTED_ERROR)
  if(status EQUAL 0)
    message(FATAL_ERROR "confhost succeeded; expected it to fail with: ${EXPECTED_ERROR}")
  endif()
  if(NOT errors MATCHES "^confhost: ${EXPECTED_ERROR}\n$")
    message(FATAL_ERROR "confhost failed with: ${errors}expected one line: ${EXPECTED_ERROR}")
  endif()
  if(DEFINED EXPECTED_REGEX AND NOT output MATCHES "${EXPECTED_REGEX}")
    message(FATAL_ERROR "the output does not match ${EXPECTED_REGEX}:\n${output}")
  endif()
  return()
endif()

if(NOT status EQUAL 0)
  message(FATAL_ERROR "confhost failed (${status}): ${errors}")
endif()
if(DEFINED EXPECTED_REGEX)
  if(NOT output MATCHES "${EXPECTED_REGEX}")
    message(FATAL_ERROR "the output does not match ${EXPECTED_REGEX}:\n${output}")
  endif()
  return()
endif()
file(READ ${EXPECTED} expected)
if(NOT output STREQUAL expected)
  get_filename_component(name ${EXPECTED} NAME_WE)
  set(actual ${CMAKE_CURRENT_BINARY_DIR}/${name}.actual)
  file(WRITE ${actual} "${output}")
  execute_process(COMMAND diff -u ${EXPECTED} ${actual})
  message(FATAL_ERROR "the transcript differs from ${EXPECTED} (actual: ${actual})")
endif()
