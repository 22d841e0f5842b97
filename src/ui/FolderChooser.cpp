#include "ui/FolderChooser.h"

#include <QFileInfo>
#include <QMessageBox>

namespace corvane {

QString ChooseFolder(QWidget* parent, const QString& title, const QString& start,
                     QFileDialog::Options options,
                     const std::function<void(QFileDialog&)>& prepare) {
    QFileDialog chooser(parent, title, start);
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOptions(options | QFileDialog::ShowDirsOnly);
    if (prepare) {
        prepare(chooser);
    }
    if (chooser.exec() != QDialog::Accepted) {
        return QString();
    }
    const QString chosen = chooser.selectedFiles().value(0);
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir()) {
        ShowNotAFolderWarning(parent);
        return QString();
    }
    return chosen;
}

void ShowNotAFolderWarning(QWidget* parent) {
    QMessageBox::information(
        parent, QStringLiteral("Warning"),
        QStringLiteral("Cannot select this item, you can select only local or network folders"));
}

}  // namespace corvane
