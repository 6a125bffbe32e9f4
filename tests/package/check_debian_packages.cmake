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
  ./usr/lib/systemd/system/vandrel.service ./etc/vandrel/vandrel.json
  ./usr/share/man/man8/vandrel.8.gz ./usr/share/man/man1/vandrel-tail.1.gz
  ./usr/share/doc/vandrel/copyright ./usr/share/doc/vandrel/changelog.Debian.gz)

# What debhelper would do for the unit, with a version of Debian's form and a maintainer who
# can be reached.
run(fields dpkg-deb --field "${vandrel_deb}" Version Maintainer Description)
expect_in("${fields}" "the vandrel package's fields" "Version: ${VERSION}-" "Maintainer: ")
string(FIND "${fields}" "localhost" at)
if(NOT at EQUAL -1)
  message(FATAL_ERROR "the maintainer is at localhost:\n${fields}")
endif()
run(ignored dpkg-deb --control "${vandrel_deb}" "${WORK_DIR}/control")
foreach(script_and_calls
    "postinst|deb-systemd-helper enable;deb-systemd-invoke restart;deb-systemd-invoke start;if [ ! -e /etc/vandrel/relay.key ]; then;vandrel --generate-keys /etc/vandrel/relay"
    "prerm|deb-systemd-invoke stop"
    "postrm|daemon-reload;deb-systemd-helper purge;rm -f /etc/vandrel/relay.key")
  string(REPLACE "|" ";" parts "${script_and_calls}")
  list(POP_FRONT parts script)
  file(READ "${WORK_DIR}/control/${script}" text)
  expect_in("${text}" "the ${script} script" ${parts})
  run(ignored test -x "${WORK_DIR}/control/${script}")
endforeach()

# Stripped, and naming no directory of the machine that built them.
run(ignored dpkg-deb --extract "${vandrel_deb}" "${WORK_DIR}/root")
foreach(program vandrel vandrel-tail)
  set(binary "${WORK_DIR}/root/usr/bin/${program}")
  run(sections readelf --section-headers "${binary}")
  string(REGEX MATCH "\\.symtab|\\.debug_" unstripped "${sections}")
  if(unstripped)
    message(FATAL_ERROR "${program} is not stripped")
  endif()
endforeach()
# The packaged relay makes the pair as postinst asks, the secret key 0600 whatever the umask, and
# leaves an existing pair alone, as an upgrade must.
set(prefix "${WORK_DIR}/keys/relay")
file(MAKE_DIRECTORY "${WORK_DIR}/keys")
run(ignored sh -c "umask 022 && \"$0\" --generate-keys \"$1\""
  "${WORK_DIR}/root/usr/bin/vandrel" "${prefix}")
file(READ "${prefix}.key" secret_key)
run(modes stat -c "%a %n" "${prefix}.key" "${prefix}.pub")
expect_in("${modes}" "the key pair's modes" "600 ${prefix}.key" "644 ${prefix}.pub")
execute_process(COMMAND "${WORK_DIR}/root/usr/bin/vandrel" --generate-keys "${prefix}"
  RESULT_VARIABLE regenerated OUTPUT_QUIET ERROR_QUIET)
file(READ "${prefix}.key" kept_key)
if(regenerated EQUAL 0 OR NOT kept_key STREQUAL secret_key)
  message(FATAL_ERROR "an existing key pair was replaced (${regenerated})")
endif()
run(ignored test -d "${WORK_DIR}/root/etc/vandrel/clients")
file(READ "${WORK_DIR}/root/usr/lib/systemd/system/vandrel.service" unit)
expect_in("${unit}" "the unit" "LoadCredential=relay.key:/etc/vandrel/relay.key")

run(ignored dpkg-deb --extract "${libvandrel-dev_deb}" "${WORK_DIR}/root")
file(GLOB_RECURSE binaries "${WORK_DIR}/root/usr/bin/*" "${WORK_DIR}/root/usr/lib/*.a")
foreach(binary ${binaries})
  foreach(directory "${SOURCE_DIR}" "${BUILD_DIR}")
    file(STRINGS "${binary}" found REGEX "${directory}")
    if(found)
      message(FATAL_ERROR "${binary} names ${directory}: ${found}")
    endif()
  endforeach()
endforeach()
run(depends dpkg-deb --field "${vandrel_deb}" Depends)
expect_in("${depends}" "the vandrel package's dependencies" libzmq5 libcurl4 libhiredis0.14
  libjsoncpp25 libsystemd0 libc6)
file(READ "${WORK_DIR}/control/conffiles" conffiles)
expect_in("${conffiles}" "the configuration files" /etc/vandrel/vandrel.json)

run(contents dpkg-deb --contents "${libvandrel-dev_deb}")
execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH
  OUTPUT_VARIABLE multiarch OUTPUT_STRIP_TRAILING_WHITESPACE)
expect_in("${contents}" "the libvandrel-dev package"
  ./usr/include/vandrel/core/events_loop.h ./usr/include/vandrel/azmq/socket.hpp
  ./usr/include/vandrel/config/config.h
  ./usr/lib/${multiarch}/libzel-core.a ./usr/lib/${multiarch}/libzel-config.a
  ./usr/lib/${multiarch}/cmake/vandrel/vandrelConfig.cmake
  ./usr/share/doc/libvandrel-dev/copyright ./usr/share/doc/libvandrel-dev/changelog.Debian.gz)
string(FIND "${contents}" "/core/impl/" at)
if(NOT at EQUAL -1)
  message(FATAL_ERROR "the libvandrel-dev package holds implementation headers:\n${contents}")
endif()
run(depends dpkg-deb --field "${libvandrel-dev_deb}" Depends)
expect_in("${depends}" "the libvandrel-dev package's dependencies" libzmq3-dev cppzmq-dev
  libjsoncpp-dev libcurl4-openssl-dev libhiredis-dev libsystemd-dev)

find_program(systemd_analyze systemd-analyze)
if(systemd_analyze)
  # The unit names the installed program: verify a copy that names the one in the
  # unpacked package instead.
  file(READ "${WORK_DIR}/root/usr/lib/systemd/system/vandrel.service" unit)
  string(REPLACE "ExecStart=/usr/bin/vandrel " "ExecStart=${WORK_DIR}/root/usr/bin/vandrel "
    unit "${unit}")
  file(WRITE "${WORK_DIR}/vandrel.service" "${unit}")
  # The manual pages the unit names are looked up in the package.
  run(complaints ${CMAKE_COMMAND} -E env "MANPATH=${WORK_DIR}/root/usr/share/man"
    ${systemd_analyze} verify "${WORK_DIR}/vandrel.service")
  # An unknown or misspelt key is only a warning to systemd.
  if(NOT complaints STREQUAL "")
    message(FATAL_ERROR "systemd-analyze verify complains about the unit:\n${complaints}")
  endif()
else()
  message(STATUS "systemd-analyze not found: the unit is not verified")
endif()
