// The station's command lines for its Windows workers: plain text, so checked on every system;
// on Windows also read back by the system's own parser.
#include <gtest/gtest.h>

#include "cli/station/windows/WindowsCommandLine.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "cli/station/windows/WinHandle.h"
#endif

using vellox::cli::quote_windows_argument;
using vellox::cli::windows_command_line;

TEST(WindowsCommandLine, QuotesOnlyWhatNeedsItAndEscapesBackslashesOnlyBeforeAQuote) {
    const struct {
        const char* argument;
        const char* quoted;
    } cases[] = {
        {"download", "download"},
        {"", "\"\""},
        {"C:\\fw\\image.bin", "C:\\fw\\image.bin"},
        {"C:\\Program Files\\fw.bin", "\"C:\\Program Files\\fw.bin\""},
        {"tab\there", "\"tab\there\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"a\\\"b", "\"a\\\\\\\"b\""},
        // Trailing backslashes in a quoted argument would escape the closing quote.
        {"C:\\dir with space\\", "\"C:\\dir with space\\\\\""},
        {"C:\\dir\\", "C:\\dir\\"},
        {"Prüfstand 固件.bin", "\"Prüfstand 固件.bin\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(quote_windows_argument(c.argument), c.quoted) << c.argument;
    EXPECT_EQ(windows_command_line({"C:\\Vellox dir\\vellox-cli.exe", "--json", "a b"}),
              "\"C:\\Vellox dir\\vellox-cli.exe\" --json \"a b\"");
}

#ifdef _WIN32
TEST(WindowsCommandLine, CommandLineToArgvWGivesEveryArgumentBack) {
    const std::vector<std::string> argv{"C:\\Vellox dir\\vellox-cli.exe",
                                        "--json",
                                        "",
                                        "a b",
                                        "say \"hi\"",
                                        "a\\\"b",
                                        "C:\\dir with space\\",
                                        "\\\\server\\share\\x",
                                        "\\\"",
                                        "Prüfstand 固件.bin",
                                        "tab\tx"};
    const std::wstring line = vellox::cli::wide_text(windows_command_line(argv));
    int argc = 0;
    wchar_t** parsed = ::CommandLineToArgvW(line.c_str(), &argc);
    ASSERT_NE(parsed, nullptr);
    std::vector<std::string> back;
    for (int i = 0; i < argc; ++i) back.push_back(vellox::cli::utf8_text(parsed[i]));
    ::LocalFree(parsed);
    EXPECT_EQ(back, argv);
}
#endif
