#include "ui/TMainFormHost.h"

#include "ui/SystemLook.h"
#include "ui/TMainForm.h"

namespace vellox {
namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr std::string_view NoDevice = "No HID device";

}  // namespace

void TMainFormHost::set_status(std::string_view text, StatusColour colour) {
    form_.StatusBar1.setColor(colour == StatusColour::Red ? QColor(Qt::red) : BtnFaceColor());
    // With no supported device listed, a device that is present but may not be opened is
    // worth telling apart from no device at all.
    QString details;
    const QString shown = text == NoDevice ? form_.NoDeviceText(&details) : FromUtf8(text);
    form_.StatusBar1.setPanelText(0, shown);
    form_.StatusBar1.setToolTip(details);
}

void TMainFormHost::show_error_box(std::string_view text) {
    // Raised after the close request, the box counts as answered at once.
    if (form_.closeRequested()) return;
    form_.ExecuteErrorBox(FromUtf8(text));
    // Focus comes back to the window from the program's own box: its activation.
    if (!form_.closeRequested()) form_.FormActivate();
}

void TMainFormHost::show_message_box(std::string_view text) {
    if (form_.closeRequested()) return;
    form_.ExecuteMessageBox(FromUtf8(text));
    if (!form_.closeRequested()) form_.FormActivate();
}

void TMainFormHost::trace_clear() { form_.Memo4.clear(); }

void TMainFormHost::trace_append(std::string_view line) {
    form_.Memo4.appendPlainText(FromUtf8(line));
}

void TMainFormHost::trace_show() { form_.Memo4.show(); }

void TMainFormHost::set_panel_visible(bool visible) { form_.Panel2.setVisible(visible); }

void TMainFormHost::show_grid(const InfoGrid& grid) {
    TStringGrid& g = form_.StringGrid1;
    // Row 0 is the header and keeps the texts the language switch put there.
    g.setRowCount(grid.row_count());
    for (std::size_t i = 0; i < grid.rows.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        g.setCells(0, row, FromUtf8(grid.rows[i].first));
        g.setCells(1, row, FromUtf8(grid.rows[i].second));
    }
    g.setVisible(grid.visible);
}

void TMainFormHost::use_label_table(LabelTable table) {
    form_.Language_str.CopyFrom(table == LabelTable::Language_st_e2 ? form_.Language_st_e2
                                                                    : form_.Language0);
}

std::string TMainFormHost::field_label(int field) {
    return form_.text(static_cast<std::size_t>(13 + field)).toStdString();
}

void TMainFormHost::pump_messages() { form_.PumpMessages(); }

bool TMainFormHost::close_requested() const { return form_.closeRequested(); }

void TMainFormHost::gauge_set_visible(bool visible) { form_.Gauge1.setVisible(visible); }

void TMainFormHost::gauge_set_max(std::int32_t max) { form_.Gauge1.setMaxValue(max); }

void TMainFormHost::gauge_set_progress(std::int32_t progress) {
    form_.Gauge1.setProgress(progress);
}

std::optional<std::filesystem::path> TMainFormHost::choose_file(
    const FileDialogSettings& /*dialog*/) {
    // The dialog's settings are those of OpenFlashfile, which match the engine's.
    if (form_.closeRequested()) return std::nullopt;
    const std::optional<QString> chosen = form_.ExecuteOpenFlashfile();
    // Closing the file dialog is no activation of the window.
    if (!chosen || chosen->isEmpty()) return std::nullopt;
    return std::filesystem::path(chosen->toStdString());
}

}  // namespace vellox
