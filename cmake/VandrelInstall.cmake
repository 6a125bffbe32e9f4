# Installs the libraries with exported targets, for find_package(vandrel).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS azmq config-parser core EXPORT vandrelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY libs/cpp-libraries/azmq/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY libs/cpp-libraries/core/src/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY libs/cpp-libraries/config-parser/src/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT vandrelTargets NAMESPACE zel:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vandrel)
configure_package_config_file(cmake/vandrelConfig.cmake.in
  "${CMAKE_CURRENT_BINARY_DIR}/vandrelConfig.cmake"
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vandrel)
write_basic_package_version_file("${CMAKE_CURRENT_BINARY_DIR}/vandrelConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/vandrelConfig.cmake"
  "${CMAKE_CURRENT_BINARY_DIR}/vandrelConfigVersion.cmake"
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vandrel)
