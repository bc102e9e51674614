# Fails unless the module exports exactly LoadConferenceExtension.
# Usage: cmake -DNM=<nm> -DMODULE=<path of the built module> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[0-9a-fA-F]+ [TDBRVW] [^\n]+" exported "${symbols}")
list(TRANSFORM exported REPLACE "^[0-9a-fA-F]+ [TDBRVW] " "")
list(REMOVE_ITEM exported _init _fini)
if(NOT exported STREQUAL "LoadConferenceExtension")
  message(FATAL_ERROR "exported symbols: ${exported}")
endif()
