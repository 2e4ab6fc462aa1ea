#include "ui/qt/TOpenDialog.h"

#include <QFileDialog>
#include <QStringList>

namespace vellox {

QString TOpenDialog::QtFilter() const {
    const QStringList parts = Filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString pattern = parts[i + 1].trimmed();
        // Qt reads the patterns from the last parenthesised group of the description.
        if (description.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')'))) {
            description.chop(pattern.size() + 2);
        }
        filters << description.trimmed() + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

bool TOpenDialog::Execute(QWidget* parent) {
    QFileDialog dialog(parent, Title, InitialDir, QtFilter());
    dialog.setFileMode(FileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setSizeGripEnabled(EnableSizing);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    FileName = chosen.front();
    return true;
}

}  // namespace vellox
