#pragma once
// The window as the engines' host: status bar, error and message boxes, Memo4, Panel2, the
// information grid, the label tables, Gauge1, the file dialog and message pumping, each
// mapped onto the window's hooks. Also where the window's activation after its own message
// boxes comes from.

#include "dialogue/DialogueHost.h"
#include "firmware/DownloadHost.h"

namespace vellox {

class MainFormLogic;

class MainFormHost final : public DialogueHost, public DownloadHost {
  public:
    explicit MainFormHost(MainFormLogic& form) : form_(form) {}

    void set_status(std::string_view text, StatusColour colour) override;
    void show_error_box(std::string_view text) override;
    void trace_clear() override;
    void trace_append(std::string_view line) override;
    void trace_show() override;
    void set_panel_visible(bool visible) override;
    void show_grid(const InfoGrid& grid) override;
    void use_label_table(LabelTable table) override;
    std::string field_label(int field) override;
    void pump_messages() override;
    bool close_requested() const override;

    void gauge_set_visible(bool visible) override;
    void gauge_set_max(std::int32_t max) override;
    void gauge_set_progress(std::int32_t progress) override;
    std::optional<std::filesystem::path> choose_file(const FileDialogSettings& dialog) override;
    void show_message_box(std::string_view text) override;

  private:
    MainFormLogic& form_;
};

}  // namespace vellox
