#include "ui/CContactsFolderDialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/ContactStore.h"
#include "ui/FolderChooser.h"

namespace corvane {
namespace {

// The address books beside the default one: the sub-folders of its parent folder.
QStringList AddressBookFolders() {
    const QDir books(QFileInfo(ContactStore::DefaultFolder()).path());
    QStringList folders;
    for (const QString& name : books.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        folders << books.filePath(name);
    }
    return folders;
}

}  // namespace

CContactsFolderDialog::CContactsFolderDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Select folder, where contacts are kept"));
    m_folder = new QComboBox(this);
    m_folder->setObjectName(QStringLiteral("contactsFolder"));
    m_folder->setEditable(true);
    m_folder->setInsertPolicy(QComboBox::NoInsert);
    m_folder->setMinimumWidth(320);
    m_folder->addItems(AddressBookFolders());
    m_folder->setEditText(ContactStore::ConfiguredFolder());
    auto* label = new QLabel(QStringLiteral("&Address book (a folder of vCard files):"), this);
    label->setBuddy(m_folder);

    const FolderDialogButtons buttons = LayOutFolderDialog(
        *this, label, m_folder, [this] { Browse(); }, [this] { Save(); });
    m_browse = buttons.browse;
    m_save = buttons.save;
}

void CContactsFolderDialog::Browse() {
    const QString chosen =
        ChooseFolder(this, QStringLiteral("Select folder of contacts"), m_folder->currentText());
    if (chosen.isNull()) {
        return;
    }
    m_folder->setEditText(chosen);
    m_folder->setFocus();
}

void CContactsFolderDialog::Save() {
    // A final "/" would make the same folder look like another one to the tree and the
    // "Contacts folder" item.
    QString folder = m_folder->currentText().trimmed();
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) {
        folder.chop(1);
    }
    ContactStore::SetConfiguredFolder(folder);
    accept();
}

}  // namespace corvane
