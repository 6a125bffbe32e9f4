# Warnings for the project's own targets; dependencies keep theirs.
function(vandrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
