# The targets a host builds with, under the names the installed package gives them, so that the
# example host builds the same way inside this build and against an installation.

# Everything a host compiles and links against: the interface headers and the platform that
# serves them (the POSIX runtime here, COM and OLE automation on Windows). The module itself is
# loaded at run time, never linked.
add_library(quenlo_host_interface INTERFACE)
set_target_properties(quenlo_host_interface PROPERTIES EXPORT_NAME host)
target_include_directories(quenlo_host_interface INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${QUENLO_INSTALL_INCLUDEDIR}>)
if(WIN32)
  target_link_libraries(quenlo_host_interface INTERFACE ole32 oleaut32 uuid)
else()
  target_link_libraries(quenlo_host_interface INTERFACE quenlo_platform ${CMAKE_DL_LIBS})
endif()
add_library(QuenloConfext::host ALIAS quenlo_host_interface)
add_library(QuenloConfext::module ALIAS quenlo_confext)
