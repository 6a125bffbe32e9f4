# Finds the system libraries; a missing one stops the configure step and names
# the Debian package that provides it.
include(CMakeFindDependencyMacro)

macro(vandrel_require found package)
  if(NOT ${found})
    message(FATAL_ERROR "Missing dependency: install the Debian package '${package}' "
                        "(scripts/install-deps.sh installs every one).")
  endif()
endmacro()

find_package(Threads REQUIRED)

find_package(Boost 1.81 QUIET CONFIG)
vandrel_require(Boost_FOUND libboost1.81-dev)

find_package(PkgConfig QUIET)
vandrel_require(PKG_CONFIG_FOUND pkg-config)

pkg_check_modules(ZMQ QUIET IMPORTED_TARGET GLOBAL libzmq)
vandrel_require(ZMQ_FOUND libzmq3-dev)

pkg_check_modules(CURL QUIET IMPORTED_TARGET GLOBAL libcurl)
vandrel_require(CURL_FOUND libcurl4-openssl-dev)

pkg_check_modules(HIREDIS QUIET IMPORTED_TARGET GLOBAL hiredis)
vandrel_require(HIREDIS_FOUND libhiredis-dev)

pkg_check_modules(SYSTEMD QUIET IMPORTED_TARGET GLOBAL libsystemd)
vandrel_require(SYSTEMD_FOUND libsystemd-dev)

find_package(cppzmq QUIET CONFIG)
vandrel_require(cppzmq_FOUND cppzmq-dev)

find_package(jsoncpp QUIET CONFIG)
vandrel_require(jsoncpp_FOUND libjsoncpp-dev)
