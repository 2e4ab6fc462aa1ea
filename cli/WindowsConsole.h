#pragma once
// The Windows console as vellox-cli needs it: UTF-8 output (messages and arguments are UTF-8)
// and, where the console has it, escape-sequence processing for the progress line. Both are
// settings of the user's console that outlive the program, so they are put back at exit on
// every path: the object's end, exit(), and restore_console() before an abrupt end.

namespace vellox::cli {

class WindowsConsole {
  public:
    WindowsConsole();
    ~WindowsConsole();
    WindowsConsole(const WindowsConsole&) = delete;
    WindowsConsole& operator=(const WindowsConsole&) = delete;

    // Standard error understands ESC [K (a Windows 7 console and the classic Windows 10/11
    // one print it as text).
    bool escapes() const { return escapes_; }

  private:
    bool escapes_ = true;
};

// Puts the code page and the console mode back as they were found; once, from any thread.
void restore_console();

}  // namespace vellox::cli
