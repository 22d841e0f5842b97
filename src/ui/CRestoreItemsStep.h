#pragma once

// Step 2/2 of the new-restore wizard: the items of the chosen task with the place each
// is restored to ("Path in archive" / "Source path", lines from StepTwoLines). A
// double-click on a folder or file line points the item at another folder
// (RedirectItem); other lines say they cannot be changed. Next refuses nothing but asks
// before a task that restores into a place of the system is accepted.
//
// Main thread only. The task outlives the dialog; it is changed in place.

#include <QDialog>

#include "model/TaskRecord.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace corvane {

class CRestoreItemsStep : public QDialog {
    Q_OBJECT

  public:
    explicit CRestoreItemsStep(TaskRecord& task, QWidget* parent = nullptr);

    void accept() override;

  protected:
    // Keeps the "Source path" column at the list's width less the first column.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FillList();
    void ChangeItem(QTreeWidgetItem* line);

    TaskRecord& m_task;
    QTreeWidget* m_list = nullptr;
};

}  // namespace corvane
