#include "ui/CSelectTaskTypeDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/ModalDialogScope.h"

namespace corvane {
namespace {

QLabel* Explanation(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setContentsMargins(20, 0, 0, 8);
    return label;
}

}  // namespace

CSelectTaskTypeDialog::CSelectTaskTypeDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Select task type"));
    auto* layout = new QVBoxLayout(this);
    m_backup = new QRadioButton(QStringLiteral("Backup task"));
    m_backup->setObjectName(QStringLiteral("backupRadio"));
    m_backup->setChecked(true);
    auto* restore = new QRadioButton(QStringLiteral("Restore from a previous backup session"));
    restore->setObjectName(QStringLiteral("restoreRadio"));
    layout->addWidget(m_backup);
    layout->addWidget(Explanation(QStringLiteral(
        "You can back up your data on a local or external drive, Flash/USB, CD/DVD, FTP or "
        "network drive.")));
    layout->addWidget(restore);
    layout->addWidget(Explanation(QStringLiteral(
        "You can restore data from an existing backup copy. This mode is recommended only if "
        "you have lost your backup task parameters. Otherwise select a backup task in the main "
        "window and press the \"Restore\" button on the Tool bar.")));
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

CSelectTaskTypeDialog::Choice CSelectTaskTypeDialog::Chosen() const {
    return m_backup->isChecked() ? Choice::kBackup : Choice::kRestore;
}

bool CSelectTaskTypeDialog::Ask(QWidget* parent, Choice& choice) {
    ModalDialogScope modal;
    CSelectTaskTypeDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    choice = dialog.Chosen();
    return true;
}

}  // namespace corvane
