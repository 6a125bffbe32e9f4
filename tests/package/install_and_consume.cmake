# Script mode: install from BUILD_DIR, then configure, build and run the
# consumer project in SOURCE_DIR against that installation. The consumer's record names its file
# from its project's top directory.
file(REMOVE_RECURSE "${WORK_DIR}")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${result}):\n${output}")
  endif()
  set(run_output "${output}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --component development --prefix "${WORK_DIR}/prefix"
    --config "${CONFIG}")
run(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}/build"
    "-DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix" "-DCMAKE_BUILD_TYPE=${CONFIG}")
run(${CMAKE_COMMAND} --build "${WORK_DIR}/build")
run(${CMAKE_COMMAND} -E env --unset=ZEL_LAUNCHED_BY_SYSTEMD "${WORK_DIR}/build/consumer")
if(NOT run_output MATCHES " /main\\.cpp:[0-9]+ consumer ran\n")
  message(FATAL_ERROR "The consumer's record does not name /main.cpp:\n${run_output}")
endif()
