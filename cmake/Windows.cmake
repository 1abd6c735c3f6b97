# Windows builds (MinGW-w64 cross compilers, see cmake/mingw-*.cmake): the
# libraries the system needs, linked statically, and the build-time tools,
# which run on the build machine and come from a native build tree.

# zlib: Debian's libz-mingw-w64-dev, the static archive.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# LZ4 has no MinGW package: its library sources come from Debian's lz4 source
# package, fetched by scripts/setup.sh into .deps/ (never kept in the repository).
set(TAMBLOR_LZ4_SOURCE_DIR ${CMAKE_SOURCE_DIR}/.deps/lz4/lib
    CACHE PATH "Folder with LZ4's lz4.c and lz4.h")
if(NOT EXISTS ${TAMBLOR_LZ4_SOURCE_DIR}/lz4.c)
    message(FATAL_ERROR "LZ4 sources not found in ${TAMBLOR_LZ4_SOURCE_DIR} (run scripts/setup.sh)")
endif()
add_library(tamblor_lz4 STATIC ${TAMBLOR_LZ4_SOURCE_DIR}/lz4.c)
target_include_directories(tamblor_lz4 SYSTEM PUBLIC ${TAMBLOR_LZ4_SOURCE_DIR})
target_compile_options(tamblor_lz4 PRIVATE -w)
set(TAMBLOR_LZ4_LIBRARY tamblor_lz4)

# Windows 7 and later; M_PI and friends from <cmath>.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 _USE_MATH_DEFINES)
# The system libraries of the Win32 backend (shell folders, windows, timers).
set(TAMBLOR_SYSTEM_LIBRARIES shell32 ole32 user32 gdi32 comdlg32 ntdll)

# GCC keeps the stack 16-byte aligned on Windows, so 32-byte AVX spills must
# not use aligned moves.
set(TAMBLOR_AVX_EXTRA_OPTIONS -Wa,-muse-unaligned-vector-move)

# The build-time tools of a native build tree (scripts/windows-build.sh
# builds them there first).
set(TAMBLOR_HOST_TOOLS_DIR "" CACHE PATH "Native build tree holding tamblor-defc, tamblor-bankc and tamblor-embed")
foreach(tool tamblor-defc:DefCompiler tamblor-bankc:BankCompiler tamblor-embed:ResourceEmbed)
    string(REPLACE ":" ";" parts ${tool})
    list(GET parts 0 name)
    list(GET parts 1 dir)
    set(location ${TAMBLOR_HOST_TOOLS_DIR}/Tools/${dir}/${name})
    if(NOT EXISTS ${location})
        message(FATAL_ERROR "${location} not found: build it natively and set TAMBLOR_HOST_TOOLS_DIR")
    endif()
    add_executable(${name} IMPORTED GLOBAL)
    set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${location})
endforeach()
