#include "ui/CNumberSettingDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/SaveCancelButtons.h"

namespace corvane {

CNumberSettingDialog::CNumberSettingDialog(const NumberSetting& setting, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(setting.title);
    m_value = new QSpinBox(this);
    m_value->setObjectName(setting.objectName);
    m_value->setRange(0, setting.maximum);
    m_value->setSpecialValueText(setting.zeroText);
    m_value->setValue(setting.value);

    auto* form = new QFormLayout;
    form->addRow(setting.label, m_value);
    auto* note = new QLabel(setting.note, this);
    note->setWordWrap(true);

    QDialogButtonBox* buttons = SaveCancelButtons(*this);
    m_save = buttons->findChild<QPushButton*>(QStringLiteral("saveButton"));
    m_cancel = buttons->findChild<QPushButton*>(QStringLiteral("cancelButton"));
    auto store = setting.store;
    connect(this, &QDialog::accepted, this, [this, store] {
        m_value->interpretText();  // a value typed but not yet committed counts too
        store(m_value->value());
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

}  // namespace corvane
