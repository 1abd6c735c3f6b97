# Shared part of the MinGW-w64 toolchain files (TAMBLOR_MINGW_TRIPLE is set).
set(CMAKE_C_COMPILER ${TAMBLOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAMBLOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAMBLOR_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${TAMBLOR_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${TAMBLOR_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "Ranlib")

# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TAMBLOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime is linked in, so that modules and programs import system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
