# The relay as a system service, the "service" component (the programs, the
# systemd unit, the default configuration), and the Debian packages of both
# components, built with cpack.
include(VandrelManPages)
set(VANDREL_EXEC_PATH ${CMAKE_INSTALL_FULL_BINDIR}/vandrel)
set(VANDREL_CONFIG_PATH ${CMAKE_INSTALL_FULL_SYSCONFDIR}/vandrel/vandrel.json)
# Made by the package's postinst, which names it too.
set(VANDREL_KEY_PATH ${CMAKE_INSTALL_FULL_SYSCONFDIR}/vandrel/relay.key)
configure_file(packaging/vandrel.service.in "${CMAKE_CURRENT_BINARY_DIR}/vandrel.service" @ONLY)
configure_file(packaging/conffiles.in "${CMAKE_CURRENT_BINARY_DIR}/conffiles" @ONLY)

install(FILES "${CMAKE_CURRENT_BINARY_DIR}/vandrel.service" DESTINATION lib/systemd/system
  COMPONENT service)
# /etc, not /usr/etc, when the prefix is /usr: an absolute path.
install(FILES etc/vandrel.json DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/vandrel
  COMPONENT service)
# Where the administrator puts the public key of each client the relay is to admit.
install(DIRECTORY DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/vandrel/clients COMPONENT service)

# Each package's copyright and Debian changelog, where Debian keeps them.
set(VANDREL_DEBIAN_RELEASE 1)
set(vandrel_debian_version "${PROJECT_VERSION}-${VANDREL_DEBIAN_RELEASE}")
file(STRINGS packaging/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^vandrel \\(${vandrel_debian_version}\\) ")
  message(FATAL_ERROR "packaging/changelog must begin with an entry for ${vandrel_debian_version}, "
                      "the version of the packages: ${changelog_head}")
endif()
set(changelog_gz "${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz")
add_custom_command(OUTPUT "${changelog_gz}"
  COMMAND ${GZIP_EXECUTABLE} -9nc "${PROJECT_SOURCE_DIR}/packaging/changelog" > "${changelog_gz}"
  DEPENDS packaging/changelog
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS "${changelog_gz}")
foreach(component_package service:vandrel development:libvandrel-dev)
  string(REPLACE ":" ";" pair "${component_package}")
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES packaging/copyright "${changelog_gz}"
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

# Whoever builds the packages for others names themselves here.
set(VANDREL_MAINTAINER "vandrel maintainers <maintainers@users.noreply.c-seed-da81749c.example>"
  CACHE STRING "The Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vandrel)
set(CPACK_PACKAGE_VENDOR "vandrel developers")
set(CPACK_PACKAGE_CONTACT "${VANDREL_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL service development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VANDREL_DEBIAN_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Maintainer scripts 0755 and control files 0644, whatever the checkout's modes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME vandrel)
set(CPACK_DEBIAN_SERVICE_PACKAGE_SECTION net)
set(CPACK_DEBIAN_SERVICE_DESCRIPTION "relay of a family of services' debug messages over ZeroMQ
vandrel binds a ZeroMQ PULL socket and a PUB socket and republishes every
frame that arrives, unchanged and in order. The services of the family push
their log records to it; any number of subscribers read them, filtering by
prefix.
.
This package holds the relay, its systemd unit and default configuration
(loopback endpoints), and vandrel-tail, which prints what a relay publishes.
It makes the relay's CURVE key pair in /etc/vandrel on installation.")
# The unit is handled as debhelper would: enabled and started on installation,
# restarted on upgrade, stopped on removal. The configuration is a conffile, so
# that an upgrade keeps local edits.
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
  "${CMAKE_CURRENT_BINARY_DIR}/conffiles;${PROJECT_SOURCE_DIR}/packaging/postinst;${PROJECT_SOURCE_DIR}/packaging/prerm;${PROJECT_SOURCE_DIR}/packaging/postrm")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvandrel-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "libraries to build services of the vandrel family
The runtime library (logger, events loops over Boost.Asio, signals, timers,
ZeroMQ sockets and topic streams, UDP, TCP, an HTTP client and a Redis client)
and the configuration-document library, as static libraries with their
headers and a CMake package: find_package(vandrel) gives zel::core and
zel::config-parser.")
# Static libraries: what find_package(vandrel) needs comes from these.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libboost1.81-dev, libzmq3-dev, cppzmq-dev, \
libjsoncpp-dev, libcurl4-openssl-dev, libhiredis-dev, libsystemd-dev")

include(CPack)
