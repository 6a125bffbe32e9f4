cmake_minimum_required(VERSION 3.25)
# Configures SOURCE_DIR into WORK_DIR twice and compares, between the two, every file a build
# rule depends on: each target's compile flags, rules and link line, and every file the
# configure step generates for the build (outside CMake's own CMakeFiles folders). A file the
# second configure rewrote is one the next build would act on.
file(REMOVE_RECURSE "${WORK_DIR}")

function(configure)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}" -G "${GENERATOR}"
      -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
      -DVANDREL_SANITIZER=${SANITIZER} -DVANDREL_BUILD_TESTS=ON -DVANDREL_BUILD_BENCHMARKS=ON
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "configuring ${SOURCE_DIR} failed:\n${output}")
  endif()
endfunction()

# Each file the build reads, with the time it was last written.
function(build_inputs out)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${WORK_DIR}" "${WORK_DIR}/*")
  set(inputs "")
  foreach(file IN LISTS files)
    get_filename_component(name "${file}" NAME)
    if(name MATCHES "^(flags\\.make|build\\.make|link\\.txt|compiler_depend\\.ts|build\\.ninja)$"
       OR (NOT file MATCHES "(^|/)CMakeFiles/" AND NOT name MATCHES "(^Makefile|^CMakeCache\\.txt$|\\.cmake)$"
           AND NOT file MATCHES "^Testing/"))
      file(TIMESTAMP "${WORK_DIR}/${file}" written "%s.%f" UTC)
      list(APPEND inputs "${file} ${written}")
    endif()
  endforeach()
  set(${out} "${inputs}" PARENT_SCOPE)
endfunction()

configure()
build_inputs(first)
list(LENGTH first count)
if(count LESS 50)
  message(FATAL_ERROR "only ${count} build inputs found in ${WORK_DIR}: the comparison means nothing")
endif()
configure()
build_inputs(second)

set(rewritten "")
foreach(entry IN LISTS second)
  if(NOT entry IN_LIST first)
    string(REGEX REPLACE " [0-9.]+$" "" file "${entry}")
    string(APPEND rewritten "\n  ${file}")
  endif()
endforeach()
if(rewritten)
  message(FATAL_ERROR "a second configure rewrote what the build reads:${rewritten}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "${count} build inputs unchanged by a second configure")
