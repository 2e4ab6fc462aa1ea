#pragma once
// Shows the download's progress: on a terminal one line that redraws itself with the phase
// text and the gauge's percentage; otherwise one line per phase; with --json one event line
// per phase and per change of the percentage.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace vellox::cli {

class ProgressOutput {
  public:
    enum class Mode { Terminal, Lines, Json };

    // Text modes write to `err`; Json writes its event lines to `out`. `escapes`: the terminal
    // understands ESC [K (not a Windows 7 console, nor the classic Windows 10/11 one), else a
    // redrawn line is cleared with spaces.
    ProgressOutput(Mode mode, std::ostream& out, std::ostream& err, bool escapes = true)
        : mode_(mode), out_(out), err_(err), escapes_(escapes) {}

    void phase(std::string_view text);
    void gauge_visible(bool visible);
    void gauge_max(std::uint32_t max);
    void gauge_progress(std::uint32_t value);
    // Ends a redrawing line so that whatever follows starts on a fresh line.
    void finish();

    Mode mode() const { return mode_; }

  private:
    int percent() const;
    void show();

    Mode mode_;
    std::ostream& out_;
    std::ostream& err_;
    std::string phase_;
    bool gauge_visible_ = false;
    std::uint32_t max_ = 100;
    std::uint32_t value_ = 0;
    bool progress_fresh_ = false;
    int shown_percent_ = -1;
    bool line_open_ = false;
    bool escapes_;
    std::size_t shown_length_ = 0;  // of the line drawn last, for clearing it with spaces
};

}  // namespace vellox::cli
