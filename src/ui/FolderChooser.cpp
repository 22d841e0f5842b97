#include "ui/FolderChooser.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

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

FolderDialogButtons LayOutFolderDialog(QDialog& dialog, QWidget* above, QWidget* field,
                                       const std::function<void()>& browse,
                                       const std::function<void()>& save) {
    FolderDialogButtons buttons{new QPushButton(QStringLiteral("..."), &dialog),
                                new QPushButton(QStringLiteral("Save"), &dialog)};
    buttons.browse->setAutoDefault(false);
    buttons.browse->setMaximumWidth(buttons.browse->fontMetrics().horizontalAdvance("...") + 24);
    buttons.save->setDefault(true);
    QObject::connect(buttons.browse, &QPushButton::clicked, &dialog, browse);
    QObject::connect(buttons.save, &QPushButton::clicked, &dialog, save);

    auto* fieldRow = new QHBoxLayout;
    fieldRow->addWidget(field, 1);
    fieldRow->addWidget(buttons.browse);
    auto* saveRow = new QHBoxLayout;
    saveRow->addStretch(1);
    saveRow->addWidget(buttons.save);
    auto* layout = new QVBoxLayout(&dialog);
    if (above != nullptr) {
        layout->addWidget(above);
    }
    layout->addLayout(fieldRow);
    layout->addLayout(saveRow);
    return buttons;
}

}  // namespace corvane
