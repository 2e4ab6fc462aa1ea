#pragma once
// The main window's layout, toolkit-free: every control with its parent, place, size, state at
// start-up, caption, tooltip, font and glyph, plus the window's own settings. The Qt window and
// the Win32 window both build themselves from this table and only create and draw.

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vellox::layout {

// A colour by its channels.
struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kRed{255, 0, 0};

enum class FontFace {
    Sans,  // "MS Sans Serif"
    Song,  // "宋体"
};

// A font by face and character height in pixels; 0 means the window's font.
struct FontStyle {
    FontFace face = FontFace::Sans;
    int pixelHeight = 0;
};

// The families to ask for, best first: the layout's own face, then the nearest ones that
// Linux desktops and wine's font set have, a CJK face among them for Chinese text.
std::span<const std::string_view> font_families(FontFace face);

enum class ControlKind {
    SpeedButton,     // flat button with an optional glyph
    TwoStateButton,  // a speed button that stays down until clicked again (ReadBtn)
    Gauge,           // TGauge
    Picture,         // Image1
    Memo,            // multi-line text
    Panel,           // container without bevel
    StringGrid,      // StringGrid1
    ListBox,         // DevListBox
    PushButton,      // language_button
    StatusBar,       // StatusBar1
};

enum class Glyph { None, Banner, Write, Query, Read };

struct ControlEntry {
    std::string_view name;
    ControlKind kind;
    std::string_view parent;  // empty: the window itself
    int left, top, width, height;
    bool visible;  // at start-up
    std::string_view caption;
    std::string_view tooltip;
    FontStyle font;
    Glyph glyph;
    int glyphSize;  // pixels, square; 0: the glyph's own size
};

// The window.
inline constexpr std::string_view kWindowClass = "TMainForm";
inline constexpr std::string_view kWindowTitle = "Vellox";
inline constexpr int kClientWidth = 800;
inline constexpr int kClientHeight = 450;
inline constexpr FontStyle kWindowFont{FontFace::Sans, 10};
// Its frame: fixed in size (a single border), with the system menu and a minimise box but no
// maximise box, centred on the screen's work area at start; the button face fills it behind
// the controls.
struct WindowFrame {
    bool fixedSize;
    bool minimiseBox;
    bool maximiseBox;
    bool centred;
    bool buttonFaceBackground;
};
inline constexpr WindowFrame kWindowFrame{true, true, false, true, true};

struct Point {
    int x = 0, y = 0;
};
// The top-left corner that centres a width × height rectangle in an area.
Point centred_in(int areaLeft, int areaTop, int areaWidth, int areaHeight, int width, int height);

// The controls in their parent's child order, which is also their stacking order (a later one
// lies above), but that windowless controls lie beneath every windowed sibling (see
// stacking_order). The language tables are plain tables, not controls (see LanguageTable).
// clang-format off
inline constexpr std::array<ControlEntry, 12> kControls{{
    {"ReadBtn",         ControlKind::TwoStateButton, "",       216, -105,   81,  22, false, "Read",            "",               {},                    Glyph::None,   0},
    {"Gauge1",          ControlKind::Gauge,          "",         0,    4,  200,  39, false, "",                "",               {FontFace::Sans, 21},  Glyph::None,   0},
    {"Image1",          ControlKind::Picture,        "",         0,    0,  800, 115, true,  "",                "",               {},                    Glyph::Banner, 0},
    {"Memo4",           ControlKind::Memo,           "",         0,  360, 1201, 172, false, "Memo4",           "",               {FontFace::Song, 16},  Glyph::None,   0},
    {"Panel2",          ControlKind::Panel,          "",         0,  115,  800, 294, false, "",                "",               {},                    Glyph::None,   0},
    {"READ_car",        ControlKind::SpeedButton,    "Panel2", 192,    8,   88,  39, false, "&READ",           "Read from chip", {},                    Glyph::Read,   0},
    {"Write_car",       ControlKind::SpeedButton,    "Panel2",   8,    0,  129,  73, true,  "&Write",          "Write to chip",  {},                    Glyph::Write, 32},
    {"Verify",          ControlKind::SpeedButton,    "Panel2", 104,    8,   88,  39, false, "&Query",          "Verify chip",    {},                    Glyph::Query,  0},
    {"StringGrid1",     ControlKind::StringGrid,     "Panel2",   0,   94,  800, 200, false, "",                "",               {FontFace::Sans, 17},  Glyph::None,   0},
    {"DevListBox",      ControlKind::ListBox,        "Panel2",  83,   34,   38,  23, false, "",                "",               {},                    Glyph::None,   0},
    {"language_button", ControlKind::PushButton,     "Panel2", 296,    8,   81,  41, false, "language_button", "",               {},                    Glyph::None,   0},
    {"StatusBar1",      ControlKind::StatusBar,      "",         0,  409,  800,  41, true,  "",                "",               {},                    Glyph::None,   0},
}};
// clang-format on

// The control of that name; an unknown name is a programming error and aborts.
const ControlEntry& control(std::string_view name);

// Whether a control of this kind is drawn on its parent rather than being a window of its own
// (speed buttons, Image1, Gauge1).
bool windowless(ControlKind kind);
// Every control from the bottom of its parent's stacking order to the top: the windowless
// ones, then the windowed ones, each in table order. Raising each in turn above its siblings
// leaves that order.
std::vector<std::string_view> stacking_order();

// StringGrid1: 2 × 2 cells, the first row and column fixed, lines between all cells, whole-row
// selection, not editable.
inline constexpr int kGridColumns = 2;
inline constexpr int kGridRows = 2;
inline constexpr int kGridDefaultColWidth = 360;
inline constexpr int kGridRowHeight = 24;

// StatusBar1: a single panel with its text centred, which reaches the bar's right edge as the
// last panel of a status bar does; its font is set to 16 points by FormCreate.
inline constexpr int kStatusPanelWidth = 100;
inline constexpr bool kStatusPanelCentred = true;
inline constexpr std::string_view kStatusInitialText = "Idle";
inline constexpr int kStatusFontPoints = 16;

// Memo4: scroll bars in both directions, always shown, and lines never wrapped.
inline constexpr bool kMemoScrollBars = true;
inline constexpr bool kMemoWordWrap = false;

// Timer1 and Timer2.
inline constexpr std::chrono::milliseconds kTimerInterval{10};

}  // namespace vellox::layout
