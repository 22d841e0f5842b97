#include "ui/CMethodPage.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/CDatePatternDialog.h"
#include "ui/TaskPageCheck.h"

namespace corvane {
namespace {

QComboBox* FilterCombo(const QStringList& presets, const QString& name) {
    auto* combo = new QComboBox;
    combo->setObjectName(name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(presets);
    return combo;
}

// An empty filter shows its "everything" preset.
void ShowFilter(QComboBox* combo, const QString& filter, const QStringList& presets) {
    combo->setEditText(filter.isEmpty() ? presets.front() : filter);
}

QLineEdit* PasswordField(const QString& name) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setEchoMode(QLineEdit::Password);
    return field;
}

}  // namespace

CMethodPage::CMethodPage(TaskRecord& draft, bool inSheet, QWidget* parent)
    : CTaskPage(draft, inSheet, parent) {
    auto* layout = new QVBoxLayout(this);
    m_copyRadio = new QRadioButton(QStringLiteral("Copy files as they are"));
    m_copyRadio->setObjectName(QStringLiteral("copyRadio"));
    m_zipRadio = new QRadioButton(QStringLiteral("Create ZIP archive"));
    m_zipRadio->setObjectName(QStringLiteral("zipRadio"));
    layout->addWidget(m_copyRadio);
    layout->addWidget(m_zipRadio);

    m_archiveControls = new QWidget;
    auto* archive = new QGridLayout(m_archiveControls);
    archive->setContentsMargins(0, 0, 0, 0);
    m_archiveName = new QLineEdit;
    m_archiveName->setObjectName(QStringLiteral("archiveNameEdit"));
    auto* pattern = new QPushButton(QStringLiteral("Set date pattern..."));
    pattern->setObjectName(QStringLiteral("datePatternButton"));
    archive->addWidget(new QLabel(QStringLiteral("Archive name: (date pattern allowed)")), 0, 0, 1,
                       3);
    archive->addWidget(m_archiveName, 1, 0, 1, 2);
    archive->addWidget(pattern, 1, 2);
    archive->addWidget(
        new QLabel(QStringLiteral(
            "Date pattern: #DD - day, #MM - month, #YY - year, #HH - hour, #MIN - minute")),
        2, 0, 1, 3);
    m_level = new QSlider(Qt::Horizontal);
    m_level->setObjectName(QStringLiteral("levelSlider"));
    m_level->setRange(0, 9);
    m_level->setTickPosition(QSlider::TicksBelow);
    archive->addWidget(new QLabel(QStringLiteral("Compression:")), 3, 0);
    archive->addWidget(new QLabel(QStringLiteral("Low (more quick)")), 4, 0);
    archive->addWidget(m_level, 4, 1);
    archive->addWidget(new QLabel(QStringLiteral("High (more slowly)")), 4, 2);
    m_password = PasswordField(QStringLiteral("archivePasswordEdit"));
    m_passwordAgain = PasswordField(QStringLiteral("archivePasswordAgainEdit"));
    archive->addWidget(new QLabel(QStringLiteral("Password:")), 5, 0);
    archive->addWidget(m_password, 5, 1, 1, 2);
    archive->addWidget(new QLabel(QStringLiteral("Confirm password:")), 6, 0);
    archive->addWidget(m_passwordAgain, 6, 1, 1, 2);
    m_cipher = new QComboBox;
    m_cipher->setObjectName(QStringLiteral("cipherCombo"));
    m_cipher->addItem(QStringLiteral("AES-256 (recommended)"), int(kCipherAes256));
    m_cipher->addItem(QStringLiteral("Traditional ZIP (opens in any tool)"),
                      int(kCipherTraditional));
    archive->addWidget(new QLabel(QStringLiteral("Encryption:")), 7, 0);
    archive->addWidget(m_cipher, 7, 1, 1, 2);
    layout->addWidget(m_archiveControls);

    auto* filters = new QFormLayout;
    m_include = FilterCombo(IncludeFilterPresets(), QStringLiteral("includeCombo"));
    m_exclude = FilterCombo(ExcludeFilterPresets(), QStringLiteral("excludeCombo"));
    filters->addRow(QStringLiteral("Include files:"), m_include);
    filters->addRow(QStringLiteral("Exclude files:"), m_exclude);
    layout->addLayout(filters);
    layout->addStretch(1);

    connect(m_copyRadio, &QRadioButton::clicked, this, [this] {
        m_method = kMethodCopy;
        m_archiveControls->hide();
    });
    connect(m_zipRadio, &QRadioButton::clicked, this, [this] { ChooseZip(); });
    connect(pattern, &QPushButton::clicked, this, [this] { SetDatePattern(); });
    // Without a password nothing is encrypted: the choice waits for one.
    connect(m_password, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_cipher->setEnabled(!text.isEmpty()); });
}

QString CMethodPage::PasswordAgain() const {
    return m_passwordAgain->text();
}

QString CMethodPage::StepTitle() const {
    return QStringLiteral("New backup wizard, step 3/4");
}

QString CMethodPage::TabLabel() const {
    return QStringLiteral("Compressing and filters");
}

void CMethodPage::Load() {
    const MethodInput input = MethodInputOf(Draft());
    m_method = input.method;
    const bool zip = input.method != kMethodCopy;
    (zip ? m_zipRadio : m_copyRadio)->setChecked(true);
    m_archiveControls->setVisible(zip);
    m_archiveName->setText(input.archiveName);
    m_level->setValue(input.level);
    m_password->setText(input.password);
    m_passwordAgain->setText(input.passwordAgain);
    m_cipher->setCurrentIndex(std::max(0, m_cipher->findData(int(input.cipher))));
    m_cipher->setEnabled(!input.password.isEmpty());
    ShowFilter(m_include, input.includeFilter, IncludeFilterPresets());
    ShowFilter(m_exclude, input.excludeFilter, ExcludeFilterPresets());
}

MethodInput CMethodPage::Input() const {
    MethodInput input;
    input.method = m_method;
    input.archiveName = m_archiveName->text();
    input.level = m_level->value();
    input.includeFilter = m_include->currentText();
    input.excludeFilter = m_exclude->currentText();
    input.password = m_password->text();
    input.passwordAgain = m_passwordAgain->text();
    input.cipher = m_cipher->currentData().toInt();
    return input;
}

void CMethodPage::Store() {
    StoreMethodPage(Draft(), Input());
}

bool CMethodPage::Leave() {
    Store();
    DraftProblem problem;
    return ShowCheckResult(*this, CheckMethodPage(Input(), &problem), problem);
}

void CMethodPage::FocusField(DraftField field) {
    switch (field) {
        case DraftField::kIncludeFilter:
            m_include->setFocus();
            break;
        case DraftField::kExcludeFilter:
            m_exclude->setFocus();
            break;
        default:
            m_password->setFocus();
            break;
    }
}

void CMethodPage::ChooseZip() {
    m_method = kMethodZip;
    m_archiveName->setText(ProposedArchiveName(m_archiveName->text(), Draft().name));
    m_archiveControls->show();
}

void CMethodPage::SetDatePattern() {
    QString archiveName;
    if (CDatePatternDialog::Ask(this, m_archiveName->text(), ArchiveBaseName(Draft().name),
                                archiveName)) {
        m_archiveName->setText(archiveName);
    }
}

}  // namespace corvane
