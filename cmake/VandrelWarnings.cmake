# Warnings for the project's own targets; dependencies keep theirs. CI makes them errors.
option(VANDREL_WARNINGS_AS_ERRORS "Fail the build on a warning in the project's own code" OFF)

function(vandrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra
    $<$<BOOL:${VANDREL_WARNINGS_AS_ERRORS}>:-Werror>)
endfunction()
