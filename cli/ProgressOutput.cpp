#include "cli/ProgressOutput.h"

#include <string>

#include "cli/Json.h"

namespace vellox::cli {

int ProgressOutput::percent() const {
    if (!gauge_visible_ || !progress_fresh_ || max_ == 0) return -1;
    const std::uint64_t value = value_ > max_ ? max_ : value_;
    return static_cast<int>(value * 100 / max_);
}

void ProgressOutput::show() {
    const int pct = percent();
    switch (mode_) {
        case Mode::Terminal: {
            std::string line = phase_;
            if (pct >= 0) line += ' ' + std::to_string(pct) + '%';
            // Clears what a longer earlier text left on the line.
            err_ << '\r' << line;
            if (escapes_) {
                err_ << "\x1b[K";
            } else if (shown_length_ > line.size()) {
                err_ << std::string(shown_length_ - line.size(), ' ');
            }
            err_ << std::flush;
            shown_length_ = line.size();
            line_open_ = true;
            break;
        }
        case Mode::Lines:
            break;  // only phases get a line
        case Mode::Json:
            if (pct < 0) break;
            out_ << json_text({{"event", "progress"}, {"phase", phase_}, {"percent", pct}}) << '\n'
                 << std::flush;
            break;
    }
    shown_percent_ = pct;
}

void ProgressOutput::phase(std::string_view text) {
    if (text == phase_) return;
    phase_ = text;
    if (mode_ == Mode::Lines) {
        err_ << phase_ << '\n' << std::flush;
    } else if (mode_ == Mode::Json) {
        out_ << json_text({{"event", "phase"}, {"text", phase_}}) << '\n' << std::flush;
    }
    // The gauge still holds the last phase's value until the new phase moves it.
    progress_fresh_ = false;
    if (mode_ == Mode::Terminal) show();
    shown_percent_ = -1;
}

void ProgressOutput::gauge_visible(bool visible) {
    gauge_visible_ = visible;
    if (percent() != shown_percent_) show();
}

void ProgressOutput::gauge_max(std::uint32_t max) {
    max_ = max;
    if (percent() != shown_percent_) show();
}

void ProgressOutput::gauge_progress(std::uint32_t value) {
    value_ = value;
    progress_fresh_ = true;
    if (percent() != shown_percent_) show();
}

void ProgressOutput::finish() {
    if (line_open_) err_ << '\n' << std::flush;
    line_open_ = false;
    shown_length_ = 0;
}

}  // namespace vellox::cli
