#pragma once

// The main view: the task tree with its groups, tasks and item rows, and the commands
// that act on it (new group, delete, drag and drop, start, stop, restore, estimate,
// the shutdown toggle). It owns the run queue; the frame hosts it as its central widget
// and puts its actions into the menus and the toolbar.
//
// Main thread only. The task list and the observer are the caller's and outlive the
// view. The task list and the group list are saved after every change and when the view
// is destroyed.

#include <QAction>
#include <QString>
#include <QTreeWidget>
#include <memory>

#include "app/RunObserver.h"
#include "app/RunQueue.h"
#include "app/TaskTree.h"
#include "model/TaskList.h"

namespace corvane {

// The commands of the view, each one QAction with the menu text, the status-bar prompt
// and the short text (tool tip and toolbar label) of the main menu.
enum class ViewCommand {
    kNewTask,
    kNewGroup,
    kModify,
    kDelete,
    kStartTask,
    kStartAll,
    kStop,
    kRestore,
    kEstimate,
    kShutdownWhenComplete,
};

class CTarnisView : public QTreeWidget {
    Q_OBJECT

  public:
    // Loads the tasks and the tree from `dataFolder`.
    CTarnisView(TaskList& tasks, const QString& dataFolder, RunObserver& observer,
                QWidget* parent = nullptr);
    ~CTarnisView() override;

    // The action of a command; its enabled and checked states are kept current.
    QAction* Action(ViewCommand command) const;

    RunQueue& Queue();
    TaskTree& Tree();

    // A task named on the command line or handed over by another program: queued for
    // backup (Error line when no task has that name).
    void RunTaskByName(const QString& name);

    // Saves the task list and the group list now; false when the task list file could
    // not be written.
    bool Save();

    // Called by the frame when a run has ended: saves the tasks (their history changed)
    // and refreshes that task's tip.
    void OnRunFinished(int taskIndex, RunOutcome outcome);

  private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace corvane
