#pragma once

// The new-task wizard: the source, destination, method and schedule pages as four
// steps over one draft task. "Next >" and "Finish" leave a step only when its checks
// pass; "< Previous" keeps what was typed (stored, not checked); "Cancel" creates
// nothing. The caller adds the finished draft to its task list.
//
// Main thread only.

#include <QDialog>
#include <QStringList>
#include <array>

#include "model/TaskRecord.h"

class QPushButton;
class QStackedWidget;

namespace corvane {

class CTaskPage;
class CSourcePage;

class CNewTaskWizard : public QDialog {
    Q_OBJECT

  public:
    // Starts from `draft` (NewTaskDraft); `droppedFiles` become the first source items.
    CNewTaskWizard(const TaskRecord& draft, const QStringList& droppedFiles,
                   QWidget* parent = nullptr);

    // After Finish: the new task, and whether a desktop launcher is wanted for it.
    const TaskRecord& Task() const { return m_draft; }
    bool DesktopIconWanted() const;

    int CurrentStep() const;

  private:
    void ShowStep(int step);
    void OnPrevious();
    void OnNext();

    TaskRecord m_draft;
    CSourcePage* m_sourcePage;
    std::array<CTaskPage*, 4> m_pages{};
    QStackedWidget* m_stack;
    QPushButton* m_previous;
    QPushButton* m_next;
    QPushButton* m_finish;
};

}  // namespace corvane
