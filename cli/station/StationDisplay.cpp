#include "cli/station/StationDisplay.h"

namespace vellox::cli {

void StationDisplay::clear() {
    if (drawn_ == 0) return;
    // Back to the first line of the block, and everything below it away.
    err_ << "\x1b[" << drawn_ << "F\x1b[J" << std::flush;
    drawn_ = 0;
}

void StationDisplay::draw() {
    for (const std::string& line : active_) err_ << line << "\x1b[K\n";
    err_ << std::flush;
    drawn_ = active_.size();
}

void StationDisplay::set_active(std::vector<std::string> lines) {
    if (mode_ != Mode::Terminal || (lines == active_ && drawn_ == active_.size())) return;
    active_ = std::move(lines);
    clear();
    draw();
}

void StationDisplay::result(std::string_view text) {
    if (mode_ == Mode::Json) return;
    clear();
    // The block comes back with the next set_active(), which knows the device is done.
    out_ << text << '\n' << std::flush;
}

void StationDisplay::note(std::string_view text) {
    // Standard error is for people in every mode: --json readers lose nothing by it.
    clear();
    err_ << text << '\n' << std::flush;
}

void StationDisplay::event(std::string_view json) {
    if (mode_ != Mode::Json) return;
    out_ << json << '\n' << std::flush;
}

}  // namespace vellox::cli
