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

# pkg_check_modules moves a module's "-isystem DIR" flags into its include directories when it
# asks pkg-config, but a configure that finds the answer in the cache leaves them among the
# compile options: every flag line changes and a second configure rebuilds everything that
# links the module. Moving them here on every configure gives each run the same flags.
function(vandrel_isystem_as_include_directories target)
  get_target_property(options ${target} INTERFACE_COMPILE_OPTIONS)
  if(NOT options)
    return()
  endif()
  set(kept "")
  set(directories "")
  set(next_is_directory FALSE)
  foreach(option IN LISTS options)
    if(next_is_directory)
      list(APPEND directories "${option}")
      set(next_is_directory FALSE)
    elseif(option STREQUAL "-isystem")
      set(next_is_directory TRUE)
    elseif(option MATCHES "^-isystem(.+)$")
      list(APPEND directories "${CMAKE_MATCH_1}")
    else()
      list(APPEND kept "${option}")
    endif()
  endforeach()
  set_target_properties(${target} PROPERTIES INTERFACE_COMPILE_OPTIONS "${kept}")
  set_property(TARGET ${target} APPEND PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${directories})
endfunction()

pkg_check_modules(ZMQ QUIET IMPORTED_TARGET GLOBAL libzmq)
vandrel_require(ZMQ_FOUND libzmq3-dev)

pkg_check_modules(CURL QUIET IMPORTED_TARGET GLOBAL libcurl)
vandrel_require(CURL_FOUND libcurl4-openssl-dev)

pkg_check_modules(HIREDIS QUIET IMPORTED_TARGET GLOBAL hiredis)
vandrel_require(HIREDIS_FOUND libhiredis-dev)

pkg_check_modules(SYSTEMD QUIET IMPORTED_TARGET GLOBAL libsystemd)
vandrel_require(SYSTEMD_FOUND libsystemd-dev)

foreach(module ZMQ CURL HIREDIS SYSTEMD)
  vandrel_isystem_as_include_directories(PkgConfig::${module})
endforeach()

find_package(cppzmq QUIET CONFIG)
vandrel_require(cppzmq_FOUND cppzmq-dev)

find_package(jsoncpp QUIET CONFIG)
vandrel_require(jsoncpp_FOUND libjsoncpp-dev)
