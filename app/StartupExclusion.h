#pragma once
// The start-up exclusion test: the program does not start while a top-level window of class
// "TMainForm1" titled "Quillet" exists. Plain C++ over the platform's window system.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vellox {

inline constexpr std::string_view kExclusionClass = "TMainForm1";
inline constexpr std::string_view kExclusionTitle = "Quillet";

struct TopLevelWindow {
    std::uint32_t id = 0;
    std::string className;  // the class part of WM_CLASS
    std::string title;      // _NET_WM_NAME, or WM_NAME where that is missing
};

// The top-level windows of an X display (nullptr: the default display), mapped or not, so
// hidden and minimised ones too. Behind a reparenting window manager these are the client
// windows inside the frames. Empty when no display can be reached (no X server, Wayland
// without X).
std::vector<TopLevelWindow> ListTopLevelWindows(const char* display = nullptr);

// Whether a top-level window with exactly this class and title exists.
bool TopLevelWindowExists(std::string_view className, std::string_view title,
                          const char* display = nullptr);

// The test the program entry applies before any window exists.
bool ExclusionWindowExists();

}  // namespace vellox
