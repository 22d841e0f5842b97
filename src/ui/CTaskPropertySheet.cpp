#include "ui/CTaskPropertySheet.h"

#include <QTabWidget>
#include <QVBoxLayout>

#include "app/TaskDraft.h"
#include "ui/CDestinationPage.h"
#include "ui/CMethodPage.h"
#include "ui/CSchedulePage.h"
#include "ui/CSourcePage.h"
#include "ui/SaveCancelButtons.h"

namespace corvane {

CTaskPropertySheet::CTaskPropertySheet(const TaskRecord& task, QWidget* parent)
    : QDialog(parent), m_copy(task) {
    setWindowTitle(QStringLiteral("Task settings"));
    m_sourcePage = new CSourcePage(m_copy, true);
    m_methodPage = new CMethodPage(m_copy, true);
    m_pages = {m_sourcePage, new CDestinationPage(m_copy, true), m_methodPage,
               new CSchedulePage(m_copy, true)};
    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("taskTabs"));
    for (CTaskPage* page : m_pages) {
        page->Load();
        m_tabs->addTab(page, page->TabLabel());
    }
    m_sourcePage->SetDesktopIconWanted(!task.desktopShortcut.isEmpty());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(SaveCancelButtons(*this));
}

bool CTaskPropertySheet::DesktopIconWanted() const {
    return m_sourcePage->DesktopIconWanted();
}

void CTaskPropertySheet::accept() {
    for (CTaskPage* page : m_pages) {
        page->Store();
    }
    DraftProblem problem;
    if (!CheckTaskSettings(m_copy, m_methodPage->PasswordAgain(), &problem)) {
        ShowDraftProblem(this, problem);
        m_tabs->setCurrentIndex(problem.page);
        m_pages[static_cast<size_t>(problem.page)]->FocusField(problem.field);
        return;
    }
    QDialog::accept();
}

}  // namespace corvane
