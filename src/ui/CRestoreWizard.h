#pragma once

// The new-restore wizard: step 1/2 finds the task files that backups left in a local
// or network folder or an FTP folder and lets the user pick one task; step 2/2 shows its
// items with the place each is restored to, where folders and files can be pointed at
// another folder (double-click). The result is a restore task for the task list.
//
// Main thread only.

#include <QWidget>

#include "model/TaskRecord.h"

namespace corvane {

// Runs the wizard modally (under the modal-dialog flag). True with `restoreTask` (a
// task of the restore type, its items possibly redirected) when the user finished it;
// false when cancelled or the chosen file could not be read.
bool RunRestoreWizard(QWidget* parent, TaskRecord& restoreTask);

}  // namespace corvane
