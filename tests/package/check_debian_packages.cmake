# Script mode: builds the Debian packages of BUILD_DIR with cpack into WORK_DIR
# and checks what each holds and depends on, and that systemd accepts the unit.
file(REMOVE_RECURSE "${WORK_DIR}")

function(run output_variable)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${result}):\n${output}")
  endif()
  set(${output_variable} "${output}" PARENT_SCOPE)
endfunction()

function(expect_in text what)
  foreach(item ${ARGN})
    string(FIND "${text}" "${item}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${what} lacks '${item}':\n${text}")
    endif()
  endforeach()
endfunction()

run(ignored cpack --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK_DIR}")

foreach(package vandrel libvandrel-dev)
  file(GLOB deb "${WORK_DIR}/${package}_*.deb")
  list(LENGTH deb count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one ${package} package in ${WORK_DIR}, found: ${deb}")
  endif()
  set(${package}_deb "${deb}")
endforeach()

run(contents dpkg-deb --contents "${vandrel_deb}")
expect_in("${contents}" "the vandrel package" ./usr/bin/vandrel ./usr/bin/vandrel-tail
  ./usr/lib/systemd/system/vandrel.service ./etc/vandrel/vandrel.json)
run(depends dpkg-deb --field "${vandrel_deb}" Depends)
expect_in("${depends}" "the vandrel package's dependencies" libzmq5 libcurl4 libhiredis0.14
  libjsoncpp25 libsystemd0 libc6)
run(ignored dpkg-deb --control "${vandrel_deb}" "${WORK_DIR}/control")
file(READ "${WORK_DIR}/control/conffiles" conffiles)
expect_in("${conffiles}" "the configuration files" /etc/vandrel/vandrel.json)

run(contents dpkg-deb --contents "${libvandrel-dev_deb}")
execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH
  OUTPUT_VARIABLE multiarch OUTPUT_STRIP_TRAILING_WHITESPACE)
expect_in("${contents}" "the libvandrel-dev package"
  ./usr/include/vandrel/core/events_loop.h ./usr/include/vandrel/azmq/socket.hpp
  ./usr/include/vandrel/config/config.h
  ./usr/lib/${multiarch}/libzel-core.a ./usr/lib/${multiarch}/libzel-config.a
  ./usr/lib/${multiarch}/cmake/vandrel/vandrelConfig.cmake)
run(depends dpkg-deb --field "${libvandrel-dev_deb}" Depends)
expect_in("${depends}" "the libvandrel-dev package's dependencies" libzmq3-dev cppzmq-dev
  libjsoncpp-dev libcurl4-openssl-dev libhiredis-dev libsystemd-dev)

find_program(systemd_analyze systemd-analyze)
if(systemd_analyze)
  # The unit names the installed program: verify a copy that names the one in the
  # unpacked package instead.
  run(ignored dpkg-deb --extract "${vandrel_deb}" "${WORK_DIR}/root")
  file(READ "${WORK_DIR}/root/usr/lib/systemd/system/vandrel.service" unit)
  string(REPLACE "ExecStart=/usr/bin/vandrel " "ExecStart=${WORK_DIR}/root/usr/bin/vandrel "
    unit "${unit}")
  file(WRITE "${WORK_DIR}/vandrel.service" "${unit}")
  run(complaints ${systemd_analyze} verify "${WORK_DIR}/vandrel.service")
  # An unknown or misspelt key is only a warning to systemd.
  if(NOT complaints STREQUAL "")
    message(FATAL_ERROR "systemd-analyze verify complains about the unit:\n${complaints}")
  endif()
else()
  message(STATUS "systemd-analyze not found: the unit is not verified")
endif()
