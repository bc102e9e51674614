# What an integrator gets from `cmake --install` and `cpack`: the module, the public headers,
# a CMake package and a pkg-config file to build a host against them, the docs, and on POSIX the
# platform runtime and the reference host commands. Every installed binary finds what it needs
# relative to itself, so an installation can be moved as a whole.
include(CMakePackageConfigHelpers)

set(QUENLO_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/QuenloConfext)

install(DIRECTORY include/quenlo DESTINATION ${QUENLO_INSTALL_INCLUDEDIR})
install(FILES README.md docs/protocol.md docs/platform-differences.md docs/deployment.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES examples/minimal-host/minimal_host.cpp examples/minimal-host/CMakeLists.txt
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/minimal-host)

if(WIN32)
  # The Windows zip: the DLL and the sample host side by side, as Windows finds a DLL next to
  # the program that loads it. Windows hosts take the platform from the SDK.
  install(TARGETS quenlo_confext minimal_host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
  install(DIRECTORY include/platform DESTINATION ${QUENLO_INSTALL_INCLUDEDIR})
  install(TARGETS quenlo_platform quenlo_confext quenlo_host_interface
          EXPORT QuenloConfextTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(EXPORT QuenloConfextTargets NAMESPACE QuenloConfext::
          DESTINATION ${QUENLO_INSTALL_CMAKEDIR})

  # The reference host commands find the runtime and the module in the library folder.
  file(RELATIVE_PATH bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  foreach(command confhost confserver)
    if(TARGET ${command})
      set_target_properties(${command} PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
      install(TARGETS ${command} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
  endforeach()

  # confserver as a system service: its unit, and its configuration file in the system's
  # configuration folder (/etc beside a /usr prefix, as the Debian package has it; PREFIX/etc
  # otherwise).
  install(FILES packaging/confserver.service DESTINATION lib/systemd/system)
  install(CODE "set(QUENLO_CONFSERVER_TOML \"${PROJECT_SOURCE_DIR}/packaging/confserver.toml\")")
  install(CODE [[
    if(CMAKE_INSTALL_PREFIX MATCHES "^(.*)/usr/?$")
      set(quenlo_etc "${CMAKE_MATCH_1}/etc")
    else()
      set(quenlo_etc "${CMAKE_INSTALL_PREFIX}/etc")
    endif()
    file(INSTALL "${QUENLO_CONFSERVER_TOML}" DESTINATION "${quenlo_etc}/quenlo")
  ]])

  configure_package_config_file(cmake/QuenloConfextConfig.cmake.in
    ${PROJECT_BINARY_DIR}/QuenloConfextConfig.cmake
    INSTALL_DESTINATION ${QUENLO_INSTALL_CMAKEDIR})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuenloConfextConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/QuenloConfextConfig.cmake
                ${PROJECT_BINARY_DIR}/QuenloConfextConfigVersion.cmake
          DESTINATION ${QUENLO_INSTALL_CMAKEDIR})

  # pkg-config: every path is relative to the .pc file itself, so a moved prefix still works.
  set(QUENLO_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  file(RELATIVE_PATH pkgconfig_to_prefix ${CMAKE_INSTALL_PREFIX}/${QUENLO_PKGCONFIG_DIR}
       ${CMAKE_INSTALL_PREFIX})
  string(REGEX REPLACE "/$" "" pkgconfig_to_prefix "${pkgconfig_to_prefix}")
  set(QUENLO_MODULE_FILE_NAME ${CMAKE_SHARED_LIBRARY_PREFIX}quenlo_confext${CMAKE_SHARED_LIBRARY_SUFFIX})
  configure_file(cmake/quenlo-confext.pc.in ${PROJECT_BINARY_DIR}/quenlo-confext.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/quenlo-confext.pc DESTINATION ${QUENLO_PKGCONFIG_DIR})
endif()

set(CPACK_PACKAGE_NAME quenlo-confext)
set(CPACK_PACKAGE_VENDOR Quenlo)
set(CPACK_PACKAGE_CONTACT "Quenlo developers <developers@quenlo.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Conference extension module adding voting and a meeting agenda to conference rooms")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_FILE_NAME}-win32)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The configuration file is the operator's once installed: an upgrade keeps their changes.
  file(WRITE ${PROJECT_BINARY_DIR}/debian/conffiles "/etc/quenlo/confserver.toml\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/conffiles)
endif()
include(CPack)
