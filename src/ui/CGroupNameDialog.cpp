#include "ui/CGroupNameDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

#include "ui/ModalDialogScope.h"

namespace corvane {

CGroupNameDialog::CGroupNameDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Enter group name:"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Enter group name:"), this);
    m_field = new QLineEdit(QStringLiteral("Group"), this);
    m_field->setObjectName(QStringLiteral("groupName"));
    label->setBuddy(m_field);
    m_field->selectAll();
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CGroupNameDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CGroupNameDialog::reject);
    layout->addWidget(label);
    layout->addWidget(m_field);
    layout->addWidget(buttons);
}

void CGroupNameDialog::accept() {
    const QString name = m_field->text().trimmed();
    if (name.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("Group name cannot be empty"));
        m_field->setFocus();
        return;
    }
    m_name = name;
    QDialog::accept();
}

bool CGroupNameDialog::Ask(QWidget* parent, QString& name) {
    ModalDialogScope modal;
    CGroupNameDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    name = dialog.Name();
    return true;
}

}  // namespace corvane
