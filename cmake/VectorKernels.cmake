# Instruction-set flags of the processor-specific vector kernel builds. Only
# these translation units get them; the rest of the library stays portable,
# and the builds are selected at run time from CPUID (Audio/Vector/VecKernels.cpp).
set(TAMBLOR_VEC_DIR ${CMAKE_SOURCE_DIR}/Audio/Vector)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|x86|X86|i[3-6]86)$")
    if(MSVC)
        set_source_files_properties(${TAMBLOR_VEC_DIR}/VecKernelsAVX2.cpp PROPERTIES COMPILE_OPTIONS "/arch:AVX2")
    else()
        set_source_files_properties(${TAMBLOR_VEC_DIR}/VecKernelsAVX2.cpp PROPERTIES COMPILE_OPTIONS "-mavx2;-mfma;${TAMBLOR_AVX_EXTRA_OPTIONS}")
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
            set_source_files_properties(${TAMBLOR_VEC_DIR}/VecKernelsSSE2.cpp PROPERTIES COMPILE_OPTIONS "-msse2")
        endif()
    endif()
endif()
# Their instruction-set flags differ from the library's precompiled header.
set_source_files_properties(${TAMBLOR_VEC_DIR}/VecKernelsAVX2.cpp ${TAMBLOR_VEC_DIR}/VecKernelsSSE2.cpp
                            PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
