# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix thread model, for std::thread),
# linked statically so that the programs run on a bare Windows or under Wine without any DLL beside them.
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
# CLI11 is header-only: its headers are taken from the Linux package (see mingw/CLI11Config.cmake).
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw)

# Nothing of the Windows build needs Qt, HDF5, Google Benchmark or libFuzzer.
set(KESTRUN_BUILD_UI OFF CACHE BOOL "" FORCE)
set(KESTRUN_BUILD_BENCH OFF CACHE BOOL "" FORCE)
set(KESTRUN_HDF5 OFF CACHE BOOL "" FORCE)
