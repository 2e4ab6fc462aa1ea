# 32-bit Windows, as shipped:
#   cmake --preset win32   (build-windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# Tests run under 32-bit wine: natively where the kernel runs 32-bit programs, otherwise in a
# QEMU guest (scripts/test.d/30-windows.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
