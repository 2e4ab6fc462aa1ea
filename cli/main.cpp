#include <iostream>
#include <string>
#include <vector>

#include "cli/VelloxCli.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "cli/WindowsArguments.h"
#include "cli/WindowsConsole.h"

int main() {
    // Messages are UTF-8, like the arguments; the console is put back as found at the end.
    const vellox::cli::WindowsConsole console;
    // The station starts this same program for each device.
    std::wstring self(32768, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    std::string path(self.size() * 3, '\0');
    path.resize(static_cast<std::size_t>(
        ::WideCharToMultiByte(CP_UTF8, 0, self.data(), static_cast<int>(self.size()), path.data(),
                              static_cast<int>(path.size()), nullptr, nullptr)));
    vellox::cli::set_worker_program(path);
    return vellox::cli::run_cli(
        vellox::cli::windows_arguments(),
        {std::cout, std::cerr, ::_isatty(_fileno(stderr)) != 0, console.escapes()});
}
#else
#include <unistd.h>

#include <filesystem>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    // The station starts this same program for each device.
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    vellox::cli::set_worker_program(!ec ? self.string() : argc > 0 ? argv[0] : "");
    return vellox::cli::run_cli(args, {std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1});
}
#endif
