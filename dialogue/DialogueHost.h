#pragma once
// What the dialogue engine needs from the program that shows it: the window, the command
// line and the tests each implement this. All calls come on the user-interface thread.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellox {

// Colour of the status bar: the button face normally, red after an error.
enum class StatusColour { Normal, Red };

// The two label tables an information reply chooses between.
enum class LabelTable { Language0, Language_st_e2 };

// The information rows of StringGrid1 below its header row: entry 0 is grid row 1.
// Each row is (label, value). The header row belongs to the window and its language.
struct InfoGrid {
    std::vector<std::pair<std::string, std::string>> rows;
    bool visible = false;

    // Grid row count as the window counts it, header included.
    int row_count() const { return static_cast<int>(rows.size()) + 1; }
    bool operator==(const InfoGrid&) const = default;
};

class DialogueHost {
  public:
    virtual ~DialogueHost() = default;

    // StatusBar1: colour first, then the text of panel 0.
    virtual void set_status(std::string_view text, StatusColour colour) = 0;
    // A modal error box (error icon, one OK button).
    virtual void show_error_box(std::string_view text) = 0;

    // Memo4, the trace memo.
    virtual void trace_clear() = 0;
    virtual void trace_append(std::string_view line) = 0;
    virtual void trace_show() = 0;

    // Panel2, the working panel with the download button and the grid.
    virtual void set_panel_visible(bool visible) = 0;
    // StringGrid1 changed: its information rows and whether it is shown.
    virtual void show_grid(const InfoGrid& grid) = 0;

    // Copy the chosen table into Language_str.
    virtual void use_label_table(LabelTable table) = 0;
    // The label of information field `field` (0..5) from Language_str in the current
    // language: entry 13 + field.
    virtual std::string field_label(int field) = 0;

    // Handle everything pending: timer ticks, reply reports, user input. Waiting loops call
    // this on every pass.
    virtual void pump_messages() = 0;

    // True once the user has asked to close the program. A download then runs on to its end;
    // the host makes message boxes raised from then on return at once.
    virtual bool close_requested() const { return false; }
};

}  // namespace vellox
