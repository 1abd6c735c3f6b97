# The libFuzzer build: the library and everything linked into the fuzz targets
# carry the coverage instrumentation; only the targets link the fuzzer's main.
if(TAMBLOR_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "TAMBLOR_FUZZ needs clang: configure with CC=clang CXX=clang++")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
    # Build-time tools are instrumented too and need the coverage runtime.
    add_link_options(-fsanitize=fuzzer-no-link)
endif()
