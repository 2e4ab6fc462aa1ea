#include "cli/CliHost.h"

#include "cli/CliEventLoop.h"
#include "cli/InfoLabels.h"
#include "dialogue/DeviceDialogue.h"

namespace vellox::cli {

void CliHost::set_status(std::string_view text, StatusColour colour) {
    // Errors are told by their box; the empty text and "No HID device" belong to the window's
    // idle states, the result line reports success, and the session itself says when another
    // program keeps a query back.
    if (colour == StatusColour::Red || text.empty() || text == "No HID device" ||
        text == "Download OK!" || text == DeviceBusyText) {
        return;
    }
    progress_.phase(text);
}

void CliHost::show_error_box(std::string_view text) { show_message_box(text); }

void CliHost::show_message_box(std::string_view text) {
    messages_.emplace_back(text);
    say(text);
}

void CliHost::gauge_set_max(std::int32_t max) {
    progress_.gauge_max(max > 0 ? static_cast<std::uint32_t>(max) : 0);
}

void CliHost::gauge_set_progress(std::int32_t progress) {
    progress_.gauge_progress(progress > 0 ? static_cast<std::uint32_t>(progress) : 0);
}

std::string CliHost::field_label(int field) { return std::string(info_label(table_, field)); }

void CliHost::pump_messages() {
    if (loop_ != nullptr) loop_->pump();
}

void CliHost::say(std::string_view line) {
    progress_.finish();
    err_ << line << '\n' << std::flush;
}

}  // namespace vellox::cli
