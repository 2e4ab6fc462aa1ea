#include "cli/WindowsArguments.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace vellox::cli {

std::vector<std::string> windows_arguments() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; argv != nullptr && i < argc; ++i) {
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<std::size_t>(n > 1 ? n - 1 : 0), '\0');
        if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), n, nullptr, nullptr);
        args.push_back(std::move(arg));
    }
    if (argv != nullptr) ::LocalFree(argv);
    return args;
}

}  // namespace vellox::cli
