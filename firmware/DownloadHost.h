#pragma once
// What the download procedure needs from its host beyond the dialogue's host: the gauge, the
// file choice and the plain message box. The window, the command line and the tests each
// implement it.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace vellox {

// The open-file dialog of a download.
struct FileDialogSettings {
    std::string_view title = "Open File";
    std::string_view filter = "bin file(*.bin)";
    std::string_view pattern = "*.bin";
    bool hideReadOnly = true;
    bool pathMustExist = true;
    bool fileMustExist = true;
    bool resizable = true;
};

class DownloadHost {
  public:
    virtual ~DownloadHost() = default;

    // Gauge1.
    virtual void gauge_set_visible(bool visible) = 0;
    virtual void gauge_set_max(std::int32_t max) = 0;
    virtual void gauge_set_progress(std::int32_t progress) = 0;

    // The file the user picks; nullopt when the dialog is cancelled or cannot be shown.
    virtual std::optional<std::filesystem::path> choose_file(const FileDialogSettings& dialog) = 0;
    // A plain message box: the text and an OK button.
    virtual void show_message_box(std::string_view text) = 0;
};

}  // namespace vellox
