#include "ui/CDefaultFolderDialog.h"

#include <QLineEdit>
#include <QPushButton>

#include "platform/UserSettings.h"
#include "ui/FolderChooser.h"

namespace corvane {

CDefaultFolderDialog::CDefaultFolderDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Select folder, where backups will be placed by default"));
    m_path = new QLineEdit(UserSettings::DefaultBackupFolder(), this);
    m_path->setObjectName(QStringLiteral("defaultFolder"));
    m_path->setMinimumWidth(320);
    const FolderDialogButtons buttons = LayOutFolderDialog(
        *this, nullptr, m_path, [this] { Browse(); }, [this] { Save(); });
    m_browse = buttons.browse;
    m_save = buttons.save;
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
