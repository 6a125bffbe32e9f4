# The manual pages, rendered from their scdoc sources and compressed as Debian
# wants them; installed with the service.
find_program(SCDOC_EXECUTABLE scdoc)
vandrel_require(SCDOC_EXECUTABLE scdoc)
find_program(GZIP_EXECUTABLE gzip REQUIRED)

set(vandrel_man_pages)
foreach(page vandrel.8 vandrel-tail.1)
  set(source "${PROJECT_SOURCE_DIR}/doc/${page}.scd")
  set(output "${PROJECT_BINARY_DIR}/doc/${page}.gz")
  # -n leaves the time and name out of the archive, so that the same source gives the same file.
  add_custom_command(OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${PROJECT_BINARY_DIR}/doc"
    COMMAND ${SCDOC_EXECUTABLE} < "${source}" > "${PROJECT_BINARY_DIR}/doc/${page}"
    COMMAND ${GZIP_EXECUTABLE} -9nf "${PROJECT_BINARY_DIR}/doc/${page}"
    DEPENDS "${source}"
    COMMENT "Rendering the manual page ${page}"
    VERBATIM)
  string(REGEX MATCH "[0-9]$" section "${page}")
  install(FILES "${output}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT service)
  list(APPEND vandrel_man_pages "${output}")
endforeach()
add_custom_target(man_pages ALL DEPENDS ${vandrel_man_pages})
