# Cross-builds Corvane for 64-bit Windows with the MinGW-w64 toolchain (Debian:
# g++-mingw-w64-x86-64-posix). Point CMAKE_PREFIX_PATH at a Qt 5.15 built for MinGW-w64:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DCMAKE_PREFIX_PATH=/path/to/Qt/5.15/mingw81_64 -DCORVANE_BUILD_TESTS=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(toolchain_prefix x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${toolchain_prefix}-g++-posix ${toolchain_prefix}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${toolchain_prefix}-gcc-posix ${toolchain_prefix}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${toolchain_prefix}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${toolchain_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
