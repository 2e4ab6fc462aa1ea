# cmake -DBANNER=banner.png -DVERSION=x.y.z -P BannerVersion.cmake
# The banner shows the program's version and is drawn once and committed, so the build stops
# when it was drawn for another version than the project's. Its PNG carries the version it
# shows as the text chunk "Version" (uncompressed).
file(READ "${BANNER}" png HEX)
string(LENGTH "Version_${VERSION}" length)
math(EXPR length "${length}" OUTPUT_FORMAT HEXADECIMAL)
string(SUBSTRING "0000000${length}" 0 -1 length)
string(REPLACE "0x" "" length "${length}")
string(LENGTH "${length}" digits)
math(EXPR skip "${digits} - 8")
string(SUBSTRING "${length}" ${skip} 8 length)
string(HEX "tEXtVersion" key)
string(HEX "${VERSION}" value)
if(NOT png MATCHES "${length}${key}00${value}")
  message(FATAL_ERROR "${BANNER} was drawn for another version than ${VERSION}; "
                      "redraw the artwork: cmake --build <build dir> --target artwork")
endif()
