#pragma once
// The command line as the engines' host: status texts become progress lines, error boxes
// become messages on standard error, trace lines go to standard error when asked for, and
// pumping messages runs the command line's event loop.

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/ProgressOutput.h"
#include "dialogue/DialogueHost.h"
#include "firmware/DownloadHost.h"

namespace vellox::cli {

class CliEventLoop;

class CliHost : public DialogueHost, public DownloadHost {
  public:
    CliHost(ProgressOutput& progress, std::ostream& err) : progress_(progress), err_(err) {}

    void set_event_loop(CliEventLoop* loop) { loop_ = loop; }

    void set_status(std::string_view text, StatusColour colour) override;
    void show_error_box(std::string_view text) override;
    void trace_clear() override {}
    // The dialogue traces only when --trace switched its trace on.
    void trace_append(std::string_view line) override { say(line); }
    void trace_show() override {}
    void set_panel_visible(bool) override {}
    void show_grid(const InfoGrid&) override {}
    void use_label_table(LabelTable table) override { table_ = table; }
    std::string field_label(int field) override;
    void pump_messages() override;

    void gauge_set_visible(bool visible) override { progress_.gauge_visible(visible); }
    void gauge_set_max(std::int32_t max) override;
    void gauge_set_progress(std::int32_t progress) override;
    // The file dialog's answer is the IMAGE of the command line.
    std::optional<std::filesystem::path> choose_file(const FileDialogSettings&) override {
        return image_;
    }
    void show_message_box(std::string_view text) override;

    void set_image(std::filesystem::path image) { image_ = std::move(image); }

    // Every message shown in a box, in order.
    const std::vector<std::string>& messages() const { return messages_; }

    // Writes one line to standard error, ending a redrawing progress line first.
    void say(std::string_view line);

  private:
    ProgressOutput& progress_;
    std::ostream& err_;
    CliEventLoop* loop_ = nullptr;
    LabelTable table_ = LabelTable::Language0;
    std::optional<std::filesystem::path> image_;
    std::vector<std::string> messages_;
};

}  // namespace vellox::cli
