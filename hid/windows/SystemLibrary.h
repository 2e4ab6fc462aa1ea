#pragma once
// Loads a library that is not a protected system library (HID.dll, SetupApi.dll, UxTheme.dll,
// WINMM.dll) from the system folder only: a search by bare name tries the program's folder
// first, where a planted copy (beside an image file, or in the zip) would run inside the
// program.

#include <windows.h>

#include <cstdint>
#include <string>

namespace vellox::windows {

enum class SystemFolderRule {
    Detect,      // the search flag where the loader has it, else the full path
    SearchFlag,  // LOAD_LIBRARY_SEARCH_SYSTEM32
    FullPath,    // GetSystemDirectoryW's folder, LOAD_WITH_ALTERED_SEARCH_PATH
};

// `name` is a plain file name ("hid.dll"). Null on failure, with GetLastError() set.
HMODULE load_system_library(const wchar_t* name, SystemFolderRule rule = SystemFolderRule::Detect);

// Whether the loader takes LOAD_LIBRARY_SEARCH_SYSTEM32: it came with AddDllDirectory (Windows 8,
// and Windows 7 with its loader update); an older loader fails the flag as an invalid parameter.
bool loader_has_search_flags();

// One line for a user: the system's text for `error` and its number.
std::string system_error_text(std::uint32_t error);

}  // namespace vellox::windows
