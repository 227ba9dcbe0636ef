# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix thread model); the programs run under
# Wine on the build machine. Use: cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RECASTER_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RECASTER_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RECASTER_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RECASTER_MINGW_PREFIX}-windres)

# Libraries and headers come from the target's own root only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${RECASTER_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in, so that the executables run on a bare Windows without the compiler's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest and gtest discovery run the test programs through Wine, by a script that ends with each program
# whatever Wine started for it (cmake/run-under-wine.sh).
find_program(RECASTER_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/run-under-wine.sh ${RECASTER_WINE})
