#pragma once
// What the operator sees. On a terminal (standard error) one line per active device, redrawn
// in place below the lines that stay: a line per finished device and the counts, which go to
// standard output. Without a terminal there is no redrawn part; with --json event lines take
// the place of the lines on standard output.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vellox::cli {

class StationDisplay {
  public:
    enum class Mode { Terminal, Lines, Json };

    StationDisplay(Mode mode, std::ostream& out, std::ostream& err)
        : mode_(mode), out_(out), err_(err) {}
    ~StationDisplay() { clear(); }
    StationDisplay(const StationDisplay&) = delete;
    StationDisplay& operator=(const StationDisplay&) = delete;

    Mode mode() const { return mode_; }

    // The active devices' lines, drawn again when they changed or after a line that stays
    // (terminal only).
    void set_active(std::vector<std::string> lines);
    // A line that stays, on standard output (text modes).
    void result(std::string_view text);
    // A line that stays, on standard error (every mode: warnings must reach the operator).
    void note(std::string_view text);
    // A JSON line on standard output (--json).
    void event(std::string_view json);

  private:
    void clear();
    void draw();

    Mode mode_;
    std::ostream& out_;
    std::ostream& err_;
    std::vector<std::string> active_;
    std::size_t drawn_ = 0;
};

}  // namespace vellox::cli
