#include "ui/MainFormHost.h"

#include "ui/MainFormLogic.h"

namespace vellox {
namespace {

constexpr std::string_view NoDevice = "No HID device";

}  // namespace

void MainFormHost::set_status(std::string_view text, StatusColour colour) {
    // With no supported device listed, a device that is present but may not be opened is
    // worth telling apart from no device at all.
    std::string details;
    const std::string shown = text == NoDevice ? form_.NoDeviceText(&details) : std::string(text);
    form_.SetStatusBar(shown, colour == StatusColour::Red, details);
}

void MainFormHost::show_error_box(std::string_view text) {
    // Raised after the close request, the box counts as answered at once.
    if (form_.closeRequested()) return;
    form_.RunErrorBox(text);
    // Focus comes back to the window from the program's own box: its activation.
    if (!form_.closeRequested()) form_.FormActivate();
}

void MainFormHost::show_message_box(std::string_view text) {
    if (form_.closeRequested()) return;
    form_.RunMessageBox(text);
    if (!form_.closeRequested()) form_.FormActivate();
}

void MainFormHost::trace_clear() { form_.ClearMemo4(); }

void MainFormHost::trace_append(std::string_view line) { form_.AppendMemo4(line); }

void MainFormHost::trace_show() { form_.SetMemo4Visible(); }

void MainFormHost::set_panel_visible(bool visible) { form_.SetPanel2Visible(visible); }

void MainFormHost::show_grid(const InfoGrid& grid) { form_.SetGridRows(grid.rows, grid.visible); }

void MainFormHost::use_label_table(LabelTable table) {
    form_.Language_str.CopyFrom(table == LabelTable::Language_st_e2 ? form_.Language_st_e2
                                                                    : form_.Language0);
}

std::string MainFormHost::field_label(int field) {
    return std::string(form_.LanguageText(static_cast<std::size_t>(13 + field)));
}

void MainFormHost::pump_messages() { form_.RunPendingMessages(); }

bool MainFormHost::close_requested() const { return form_.closeRequested(); }

void MainFormHost::gauge_set_visible(bool visible) { form_.SetGaugeVisible(visible); }

void MainFormHost::gauge_set_max(std::int32_t max) { form_.SetGaugeMax(max); }

void MainFormHost::gauge_set_progress(std::int32_t progress) { form_.SetGaugeProgress(progress); }

std::optional<std::filesystem::path> MainFormHost::choose_file(
    const FileDialogSettings& /*dialog*/) {
    // The window's dialog has the same settings as the engine's.
    if (form_.closeRequested()) return std::nullopt;
    std::optional<std::filesystem::path> chosen = form_.RunOpenFlashfile();
    // Closing the file dialog is no activation of the window.
    if (!chosen || chosen->empty()) return std::nullopt;
    return chosen;
}

}  // namespace vellox
