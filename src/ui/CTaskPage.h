#pragma once

// One of the four task pages (sources, destination, method, schedule). The same page
// is a step of the new-task wizard and a tab of the task settings sheet; both give it
// the task copy they work on (the draft), which the page reads on Load and writes on
// Store. Nothing reaches the real task before the wizard's Finish or the sheet's Save.
//
// Main thread only. The draft outlives the page.

#include <QWidget>

#include "app/TaskDraft.h"
#include "model/TaskRecord.h"

namespace corvane {

class CTaskPage : public QWidget {
    Q_OBJECT

  public:
    // `inSheet` is true for a tab of the settings sheet, false for a wizard step.
    CTaskPage(TaskRecord& draft, bool inSheet, QWidget* parent = nullptr)
        : QWidget(parent), m_draft(draft), m_inSheet(inSheet) {}

    // The wizard's window title while this page is its step ("New backup wizard, step
    // 2/4") and the sheet's tab label ("Destination").
    virtual QString StepTitle() const = 0;
    virtual QString TabLabel() const = 0;

    // Fills the controls from the draft.
    virtual void Load() = 0;
    // Writes the controls into the draft as the page does on leaving; refuses nothing.
    virtual void Store() = 0;
    // The wizard's Next (or Finish) on this page: Store, then the page's checks. On a
    // problem the message box is shown, the focus moved to the field, and false answered.
    virtual bool Leave() = 0;
    // Puts the focus on the control of a field of this page (after a sheet check).
    virtual void FocusField(DraftField field) = 0;

  protected:
    TaskRecord& Draft() { return m_draft; }
    const TaskRecord& Draft() const { return m_draft; }
    bool InSheet() const { return m_inSheet; }

  private:
    TaskRecord& m_draft;
    bool m_inSheet;
};

// Shows a page's problem as the program shows every page message: the problem's title,
// or the program's name without an icon when it has none; else the information icon.
void ShowDraftProblem(QWidget* parent, const DraftProblem& problem);

}  // namespace corvane
