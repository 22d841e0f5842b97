#include "ui/CNewTaskWizard.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "ui/CDestinationPage.h"
#include "ui/CMethodPage.h"
#include "ui/CSchedulePage.h"
#include "ui/CSourcePage.h"

namespace corvane {

CNewTaskWizard::CNewTaskWizard(const TaskRecord& draft, const QStringList& droppedFiles,
                               QWidget* parent)
    : QDialog(parent), m_draft(draft) {
    m_sourcePage = new CSourcePage(m_draft, false);
    m_pages = {m_sourcePage, new CDestinationPage(m_draft, false), new CMethodPage(m_draft, false),
               new CSchedulePage(m_draft, false)};
    m_stack = new QStackedWidget;
    for (CTaskPage* page : m_pages) {
        page->Load();
        m_stack->addWidget(page);
    }
    if (!droppedFiles.isEmpty()) {
        m_sourcePage->AddPaths(droppedFiles);
    }

    m_previous = new QPushButton(QStringLiteral("< Previous"));
    m_previous->setObjectName(QStringLiteral("previousButton"));
    m_next = new QPushButton(QStringLiteral("Next >"));
    m_next->setObjectName(QStringLiteral("nextButton"));
    m_finish = new QPushButton(QStringLiteral("Finish"));
    m_finish->setObjectName(QStringLiteral("finishButton"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {m_previous, m_next, m_finish, cancel}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_stack, 1);
    layout->addLayout(buttons);

    connect(m_previous, &QPushButton::clicked, this, [this] { OnPrevious(); });
    connect(m_next, &QPushButton::clicked, this, [this] { OnNext(); });
    connect(m_finish, &QPushButton::clicked, this, [this] { OnNext(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    ShowStep(0);
}

bool CNewTaskWizard::DesktopIconWanted() const {
    return m_sourcePage->DesktopIconWanted();
}

int CNewTaskWizard::CurrentStep() const {
    return m_stack->currentIndex();
}

void CNewTaskWizard::ShowStep(int step) {
    m_stack->setCurrentIndex(step);
    setWindowTitle(m_pages[static_cast<size_t>(step)]->StepTitle());
    const bool last = step + 1 == static_cast<int>(m_pages.size());
    m_previous->setEnabled(step > 0);
    m_next->setVisible(!last);
    m_finish->setVisible(last);
}

void CNewTaskWizard::OnPrevious() {
    const int step = CurrentStep();
    if (step > 0) {
        m_pages[static_cast<size_t>(step)]->Store();
        ShowStep(step - 1);
    }
}

void CNewTaskWizard::OnNext() {
    const int step = CurrentStep();
    if (!m_pages[static_cast<size_t>(step)]->Leave()) {
        return;
    }
    if (step + 1 < static_cast<int>(m_pages.size())) {
        ShowStep(step + 1);
    } else {
        accept();
    }
}

}  // namespace corvane
