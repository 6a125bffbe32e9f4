# The relay as a system service, the "service" component (the programs, the
# systemd unit, the default configuration), and the Debian packages of both
# components, built with cpack.
set(VANDREL_EXEC_PATH ${CMAKE_INSTALL_FULL_BINDIR}/vandrel)
set(VANDREL_CONFIG_PATH ${CMAKE_INSTALL_FULL_SYSCONFDIR}/vandrel/vandrel.json)
configure_file(packaging/vandrel.service.in "${CMAKE_CURRENT_BINARY_DIR}/vandrel.service" @ONLY)
configure_file(packaging/conffiles.in "${CMAKE_CURRENT_BINARY_DIR}/conffiles" @ONLY)

install(FILES "${CMAKE_CURRENT_BINARY_DIR}/vandrel.service" DESTINATION lib/systemd/system
  COMPONENT service)
# /etc, not /usr/etc, when the prefix is /usr: an absolute path.
install(FILES etc/vandrel.json DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/vandrel
  COMPONENT service)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vandrel)
set(CPACK_PACKAGE_VENDOR "vandrel developers")
set(CPACK_PACKAGE_CONTACT "vandrel developers <vandrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "relay of a family of services' debug messages over ZeroMQ")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL service development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME vandrel)
set(CPACK_DEBIAN_SERVICE_PACKAGE_SECTION net)
set(CPACK_COMPONENT_SERVICE_DESCRIPTION
  "relay of debug messages over ZeroMQ, as a systemd service, with vandrel-tail to watch it")
# Marked as a configuration file, so that an upgrade keeps local edits.
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_BINARY_DIR}/conffiles")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvandrel-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
  "headers, static libraries and CMake package of the runtime and configuration libraries")
# Static libraries: what find_package(vandrel) needs comes from these.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libboost1.81-dev, libzmq3-dev, cppzmq-dev, \
libjsoncpp-dev, libcurl4-openssl-dev, libhiredis-dev, libsystemd-dev")

include(CPack)
