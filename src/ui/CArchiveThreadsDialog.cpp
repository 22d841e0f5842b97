#include "ui/CArchiveThreadsDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <thread>

#include "platform/UserSettings.h"
#include "ui/SaveCancelButtons.h"

namespace corvane {

CArchiveThreadsDialog::CArchiveThreadsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Archive threads"));
    m_threads = new QSpinBox(this);
    m_threads->setObjectName(QStringLiteral("archiveThreads"));
    m_threads->setRange(0, kMostThreads);
    // The same count the archive writer falls back to when the setting is 0.
    const int cores = std::max(1, int(std::thread::hardware_concurrency()));
    m_threads->setSpecialValueText(QStringLiteral("All cores (%1)").arg(cores));
    m_threads->setValue(UserSettings::ArchiveThreads());

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Threads compressing a ZIP archive:"), m_threads);
    auto* note = new QLabel(
        QStringLiteral("Used from the next archive on, by this window and by corvane-cli "
                       "runs without --threads."),
        this);
    note->setWordWrap(true);

    QDialogButtonBox* buttons = SaveCancelButtons(*this);
    m_save = buttons->findChild<QPushButton*>(QStringLiteral("saveButton"));
    m_cancel = buttons->findChild<QPushButton*>(QStringLiteral("cancelButton"));
    connect(this, &QDialog::accepted, this, [this] { Save(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

void CArchiveThreadsDialog::Save() {
    m_threads->interpretText();  // a count typed but not yet committed counts too
    UserSettings::SetArchiveThreads(m_threads->value());
}

}  // namespace corvane
