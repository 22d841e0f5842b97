#pragma once

// The "Several backups found" dialog: a task whose backups go to dated places has one
// backup per history entry, and the user picks the one to restore. The lines, texts
// and the refusal come from BackupChoiceModel; this class only shows them.
//
// Main thread only. The dialog copies what it shows from the task when it is made.

#include <QDialog>

#include "model/TaskRecord.h"
#include "restore/BackupChoiceModel.h"

class QTreeWidget;

namespace corvane {

class CBackupChoiceDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CBackupChoiceDialog(const TaskRecord& task, QWidget* parent = nullptr);

    // The history index of the chosen line once the dialog was accepted; -1 before.
    int ChosenIndex() const { return m_chosen; }

    // Shows the dialog modally (under the modal-dialog flag). Answers the chosen history
    // index, or -1 when the user cancelled.
    static int Ask(QWidget* parent, const TaskRecord& task);

    // OK: without a selected line "You must select item from the list" is shown and the
    // dialog stays open.
    void accept() override;

  private:
    BackupChoiceModel m_model;
    QTreeWidget* m_list = nullptr;
    int m_chosen = -1;
};

}  // namespace corvane
