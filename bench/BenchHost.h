#pragma once
// The benchmark's host of the dialogue and download engines: no window, a gauge that counts
// its repaints the way the window's gauge decides them, status changes with their times, and
// a pump that runs the handed-over reports and a 10 ms tick by the steady clock.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialogue/DialogueHost.h"
#include "firmware/DownloadHost.h"

class PumpedHidDispatcher;

namespace vellox::bench {

class BenchHost : public DialogueHost, public DownloadHost {
  public:
    using Clock = std::chrono::steady_clock;

    struct Phase {
        std::string text;  // the status text that began it
        Clock::time_point start;
        std::int64_t cpu_ns;  // process CPU time at its start
        int repaints = 0;     // gauge repaints while it was the current phase
    };

    explicit BenchHost(PumpedHidDispatcher& dispatcher) : dispatcher_(dispatcher) {}

    // When a pass finds no handoff, wait up to 1 ms for one (as the command line does after a
    // send) rather than go straight on.
    // Called once per elapsed tick.
    void set_tick_handler(std::function<void()> handler) { on_tick_ = std::move(handler); }
    void set_file(std::filesystem::path file) { file_ = std::move(file); }

    const std::vector<Phase>& phases() const { return phases_; }
    const std::string& status() const { return status_; }
    const std::vector<std::string>& errors() const { return errors_; }

    static std::int64_t cpu_now_ns();

    // DialogueHost
    void set_status(std::string_view text, StatusColour colour) override;
    void show_error_box(std::string_view text) override { errors_.emplace_back(text); }
    void trace_clear() override {}
    void trace_append(std::string_view) override {}
    void trace_show() override {}
    void set_panel_visible(bool) override {}
    void show_grid(const InfoGrid&) override {}
    void use_label_table(LabelTable) override {}
    std::string field_label(int) override { return "field"; }
    void pump_messages() override;

    // DownloadHost
    void gauge_set_visible(bool visible) override { gauge_visible_ = visible; }
    void gauge_set_max(std::int32_t max) override;
    void gauge_set_progress(std::int32_t progress) override;
    std::optional<std::filesystem::path> choose_file(const FileDialogSettings&) override {
        return file_;
    }
    void show_message_box(std::string_view text) override { errors_.emplace_back(text); }

  private:
    int percent() const;
    void repaint();

    PumpedHidDispatcher& dispatcher_;
    std::function<void()> on_tick_;
    Clock::time_point next_tick_ = Clock::now() + std::chrono::milliseconds(10);
    std::optional<std::filesystem::path> file_;
    std::string status_;
    std::vector<Phase> phases_;
    std::vector<std::string> errors_;
    bool gauge_visible_ = false;
    std::int32_t gauge_max_ = 100;
    std::int32_t gauge_progress_ = 0;
};

}  // namespace vellox::bench
