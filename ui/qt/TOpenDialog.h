#pragma once
// Open-file dialog settings, kept apart from the dialog itself so that the choice of a file
// can be answered without a real modal loop where that is needed.

#include <QString>

class QWidget;

namespace vellox {

class TOpenDialog {
  public:
    QString Title;
    // Pairs of description and pattern separated by '|', as in "bin file(*.bin)|*.bin".
    QString Filter;
    bool HideReadOnly = false;
    bool PathMustExist = false;
    bool FileMustExist = false;
    bool EnableSizing = false;
    QString FileName;
    // Folder the dialog starts in; empty for the toolkit's default.
    QString InitialDir;

    // The filter in the form the Qt dialogs take ("bin file (*.bin)").
    QString QtFilter() const;

    // Runs the modal dialog; on acceptance stores the choice in FileName and returns true.
    bool Execute(QWidget* parent);
};

}  // namespace vellox
