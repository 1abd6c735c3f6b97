# Precompiled headers: the standard library headers that most of our sources
# include (and GoogleTest for the tests) are parsed once per target instead of
# once per source. This takes about a fifth off each compile of a clean tree,
# which is how CI builds. With a compiler launcher (ccache) they stay off: a
# cache keeps whole compiles, and a precompiled header would defeat it.
set(TAMBLOR_PRECOMPILED_STD
    <algorithm> <array> <atomic> <cmath> <cstdint> <cstring> <functional> <map> <memory>
    <mutex> <optional> <span> <string> <string_view> <unordered_map> <utility> <vector>)

function(tamblor_precompiled_headers target)
    if(CMAKE_CXX_COMPILER_LAUNCHER OR TAMBLOR_NO_PCH)
        return()
    endif()
    target_precompile_headers(${target} PRIVATE ${TAMBLOR_PRECOMPILED_STD} ${ARGN})
endfunction()
