#include "hid/windows/SystemLibrary.h"

namespace vellox::windows {

bool loader_has_search_flags() {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    return kernel != nullptr && ::GetProcAddress(kernel, "AddDllDirectory") != nullptr;
}

HMODULE load_system_library(const wchar_t* name, SystemFolderRule rule) {
    if (rule == SystemFolderRule::Detect) {
        rule =
            loader_has_search_flags() ? SystemFolderRule::SearchFlag : SystemFolderRule::FullPath;
    }
    if (rule == SystemFolderRule::SearchFlag) {
        return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    wchar_t folder[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        if (n != 0) ::SetLastError(ERROR_BUFFER_OVERFLOW);
        return nullptr;
    }
    // The altered search order makes the library's own imports resolve from its folder too.
    const std::wstring path = std::wstring(folder, n) + L"\\" + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

std::string system_error_text(std::uint32_t error) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", n);
    if (buffer != nullptr) ::LocalFree(buffer);
    // The system's texts end with a full stop and a line break: one line is wanted.
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    std::string out;
    if (!text.empty()) {
        const int size = ::WideCharToMultiByte(
            CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        out.resize(static_cast<std::size_t>(size > 0 ? size : 0));
        if (size > 0) {
            ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                  out.data(), size, nullptr, nullptr);
        }
        out += ' ';
    }
    return out + "(error " + std::to_string(error) + ")";
}

}  // namespace vellox::windows
