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
#include <QMimeData>
#include <QString>
#include <QStringList>
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

    // Puts a task just added to the task list where the new-task wizard places it: into
    // the selected group, or the group of the selected task or item row, else at the end
    // of the top level. The new entry is selected and made visible, and both files are
    // saved. The caller adds the task while no run is active (the worker reads the list).
    QTreeWidgetItem* PlaceNewTask(int taskIndex);

    // After a task has changed: its entries get their label, image, item rows and tip
    // again, and the task list is saved.
    void RefreshTask(int taskIndex);

    // The tree entry an item of this view shows, and the item of an entry; null when
    // there is none. Items are made afresh when the tree changes: keep entries, not items.
    TreeEntry* EntryOf(const QTreeWidgetItem* item) const;
    QTreeWidgetItem* ItemOf(const TreeEntry* entry) const;

    // What a drag of a task entry carries; null for a group, an item row or no item.
    // The caller owns the answer.
    QMimeData* MakeDragData(const QTreeWidgetItem* item) const;

    // The files and folders of the last drop of files onto the tree, offered to the
    // new-task wizard as the new task's source items.
    const QStringList& DroppedFiles() const;

  protected:
    // Drag and drop: a task entry is moved onto a group or the top level; files dropped
    // from outside are collected for a new task.
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The Delete key deletes the selected task or group.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace corvane
