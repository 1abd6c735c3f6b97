# Warnings for the project's own targets.
function(tamblor_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow=local -Wnon-virtual-dtor)
endfunction()
