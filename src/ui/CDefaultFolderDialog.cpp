#include "ui/CDefaultFolderDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/UserSettings.h"

namespace corvane {

CDefaultFolderDialog::CDefaultFolderDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Select folder, where backups will be placed by default"));
    m_path = new QLineEdit(UserSettings::DefaultBackupFolder(), this);
    m_path->setObjectName(QStringLiteral("defaultFolder"));
    m_path->setMinimumWidth(320);
    m_browse = new QPushButton(QStringLiteral("..."), this);
    m_browse->setAutoDefault(false);
    m_browse->setMaximumWidth(m_browse->fontMetrics().horizontalAdvance("...") + 24);
    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setDefault(true);
    connect(m_browse, &QPushButton::clicked, this, &CDefaultFolderDialog::Browse);
    connect(m_save, &QPushButton::clicked, this, &CDefaultFolderDialog::Save);

    auto* field = new QHBoxLayout;
    field->addWidget(m_path, 1);
    field->addWidget(m_browse);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(field);
    layout->addLayout(buttons);
}

void CDefaultFolderDialog::Browse() {
    QFileDialog chooser(this, QStringLiteral("Select folder where data will be placed"),
                        m_path->text());
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly, true);
    if (chooser.exec() != QDialog::Accepted) {
        return;
    }
    // A system chooser may offer places that are no folder of the file system (network
    // locations without a mount, devices): only a folder of the file system is taken.
    const QString chosen = chooser.selectedFiles().value(0);
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir()) {
        QMessageBox::information(
            this, QStringLiteral("Warning"),
            QStringLiteral(
                "Cannot select this item, you can select only local or network folders"));
        return;
    }
    m_path->setText(chosen);
    m_path->setFocus();
}

void CDefaultFolderDialog::Save() {
    UserSettings::SetDefaultBackupFolder(m_path->text());
    accept();
}

}  // namespace corvane
