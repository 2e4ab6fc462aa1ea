#pragma once
// Opens a file for binary reading by its path as the system names files: narrow on POSIX, wide
// on Windows. One source file per system, chosen by the build.

#include <cstdio>
#include <filesystem>

namespace vellox {

// Null when the file cannot be opened.
std::FILE* open_image_file(const std::filesystem::path& path);

}  // namespace vellox
