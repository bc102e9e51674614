# Fails unless the Windows module exports exactly LoadConferenceExtension (undecorated), takes
# COM and OLE automation from the system (ole32, oleaut32) and needs no other DLL of ours or of
# the compiler's runtime: the real platform, not a stand-in, serves it. Its PE header must ask
# for Windows 6.0 (Vista), the oldest that has everything it imports, and a Release build
# carries no debug sections.
# Usage: cmake -DOBJDUMP=<objdump> -DMODULE=<path of the built DLL> [-DRELEASE=ON]
#        -P check_windows_module.cmake
cmake_policy(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -h -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${MODULE}")
endif()

# The export names follow the table's heading, one "[ index] name" line each, up to a blank line.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([^\n]+\n)*)" table "${dump}")
string(REGEX MATCHALL "\\][ \t]+[^ \t\n]+\n" exported "${CMAKE_MATCH_1}")
list(TRANSFORM exported REPLACE "^\\][ \t]+([^ \t\n]+)\n$" "\\1")
if(NOT exported STREQUAL "LoadConferenceExtension")
  message(FATAL_ERROR "exported symbols: ${exported}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imported "${dump}")
list(TRANSFORM imported REPLACE "^DLL Name: " "")
list(TRANSFORM imported TOLOWER)
foreach(required ole32.dll oleaut32.dll)
  if(NOT required IN_LIST imported)
    message(FATAL_ERROR "${MODULE} does not import ${required}; imports: ${imported}")
  endif()
endforeach()
set(system_dlls kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll advapi32.dll)
foreach(dll IN LISTS imported)
  if(NOT dll IN_LIST system_dlls AND NOT dll MATCHES "^api-ms-win-")
    message(FATAL_ERROR "${MODULE} imports ${dll}, which is not part of the system")
  endif()
endforeach()

foreach(field MajorOSystemVersion MajorSubsystemVersion)
  if(NOT dump MATCHES "${field}[ \t]+6\n")
    string(REGEX MATCH "${field}[^\n]*" found "${dump}")
    message(FATAL_ERROR "${MODULE}: ${found}, expected 6 (Windows Vista)")
  endif()
endforeach()
foreach(field MinorOSystemVersion MinorSubsystemVersion)
  if(NOT dump MATCHES "${field}[ \t]+0\n")
    string(REGEX MATCH "${field}[^\n]*" found "${dump}")
    message(FATAL_ERROR "${MODULE}: ${found}, expected 0 (Windows Vista)")
  endif()
endforeach()
if(RELEASE AND dump MATCHES "[ \t]\.debug_[a-z_]+")
  message(FATAL_ERROR "${MODULE} carries debug sections (${CMAKE_MATCH_0}) in a Release build")
endif()
