# Installs the libraries with exported targets, for find_package(vandrel): the
# "development" component. Headers go under include/vandrel, where the generic
# folder names core/ and azmq/ cannot clash with other packages.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(vandrel_include_dir ${CMAKE_INSTALL_INCLUDEDIR}/vandrel)
set(vandrel_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vandrel)

install(TARGETS azmq config-parser core EXPORT vandrelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${vandrel_include_dir})
# The public headers only: those of core/impl/ are the library's own, and no public header
# includes one.
foreach(headers libs/cpp-libraries/azmq/include libs/cpp-libraries/core/src/include
                libs/cpp-libraries/config-parser/src/include)
  install(DIRECTORY ${headers}/ DESTINATION ${vandrel_include_dir} COMPONENT development
    PATTERN impl EXCLUDE)
endforeach()

install(EXPORT vandrelTargets NAMESPACE zel:: DESTINATION ${vandrel_cmake_dir}
  COMPONENT development)
configure_package_config_file(cmake/vandrelConfig.cmake.in
  "${CMAKE_CURRENT_BINARY_DIR}/vandrelConfig.cmake"
  INSTALL_DESTINATION ${vandrel_cmake_dir})
write_basic_package_version_file("${CMAKE_CURRENT_BINARY_DIR}/vandrelConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/vandrelConfig.cmake"
  "${CMAKE_CURRENT_BINARY_DIR}/vandrelConfigVersion.cmake" cmake/VandrelSourceDirectory.cmake
  DESTINATION ${vandrel_cmake_dir} COMPONENT development)
