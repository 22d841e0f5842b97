#include "ui/CDefaultFolderDialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/UserSettings.h"
#include "ui/FolderChooser.h"

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
    const QString chosen = ChooseFolder(
        this, QStringLiteral("Select folder where data will be placed"), m_path->text());
    if (chosen.isNull()) {
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
