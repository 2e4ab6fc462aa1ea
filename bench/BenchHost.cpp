#include "bench/BenchHost.h"

#include <algorithm>
#include <ctime>

#include "hid/PumpedHidDispatcher.h"

namespace vellox::bench {

std::int64_t BenchHost::cpu_now_ns() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

void BenchHost::set_status(std::string_view text, StatusColour) {
    if (text == status_) return;
    status_ = text;
    phases_.push_back(Phase{status_, Clock::now(), cpu_now_ns(), 0});
}

void BenchHost::pump_messages() {
    // As the window's event loop: run what is handed over, never block.
    dispatcher_.run_pending();
    const auto now = Clock::now();
    if (now >= next_tick_) {
        next_tick_ += std::chrono::milliseconds(10);
        // A stall is not replayed, as a window's timer does not replay missed periods.
        if (now >= next_tick_) next_tick_ = now + std::chrono::milliseconds(10);
        if (on_tick_) on_tick_();
    }
}

// The window's gauge (minimum 0): the whole percentage of the progress, 0 for an empty range.
int BenchHost::percent() const {
    if (gauge_max_ <= 0) return 0;
    return static_cast<int>(std::int64_t{gauge_progress_} * 100 / gauge_max_);
}

void BenchHost::repaint() {
    // A hidden gauge paints nothing.
    if (gauge_visible_ && !phases_.empty()) ++phases_.back().repaints;
}

void BenchHost::gauge_set_max(std::int32_t max) {
    // A new range always repaints, as the window's gauge does.
    if (max == gauge_max_) return;
    gauge_max_ = max;
    if (gauge_progress_ > max) gauge_progress_ = max;
    repaint();
}

void BenchHost::gauge_set_progress(std::int32_t progress) {
    const int before = percent();
    progress = std::clamp(progress, 0, gauge_max_);
    if (progress == gauge_progress_) return;
    gauge_progress_ = progress;
    // Only a new whole percentage is repainted.
    if (percent() != before) repaint();
}

}  // namespace vellox::bench
