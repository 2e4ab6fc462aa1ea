# 64-bit Windows: the same code at 64 bits; it makes the demo's sample image under wine64.
#   cmake --preset win64   (build-win64)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
