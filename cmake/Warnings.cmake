# Warnings for the project's own targets. GCC's -Wshadow=local (a local hiding
# another local or a parameter) has no clang counterpart: clang's -Wshadow also
# flags locals that hide members and globals. The clang (fuzzing) build leaves
# shadowing to the GCC builds.
function(tamblor_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wnon-virtual-dtor)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -Wshadow=local)
    endif()
endfunction()
