#include "ui/CRestoreWizard.h"

#include "restore/TaskFinder.h"
#include "ui/CRestoreFindStep.h"
#include "ui/CRestoreItemsStep.h"
#include "ui/ModalDialogScope.h"
#include "ui/WaitCursor.h"

namespace corvane {

bool RunRestoreWizard(QWidget* parent, TaskRecord& restoreTask) {
    const ModalDialogScope modal;
    CRestoreFindStep find(parent);
    if (find.exec() != QDialog::Accepted) {
        return false;
    }
    // The record starts with the defaults of a new task; reading makes it a restore
    // task, as the command line's add-restore-task makes it.
    TaskRecord task;
    bool read = false;
    {
        const WaitCursor wait;
        read = ReadRestoreTask(task, find.Chosen().path, find.Chosen().access);
    }
    if (!read) {
        return false;  // the reason is in the log
    }
    CRestoreItemsStep items(task, parent);
    if (items.exec() != QDialog::Accepted) {
        return false;
    }
    restoreTask = std::move(task);
    return true;
}

}  // namespace corvane
