#pragma once

// "Save" and "Cancel" of a dialog (objects "saveButton" and "cancelButton"), wired to
// its accept() and reject().

#include <QDialog>
#include <QDialogButtonBox>

namespace corvane {

QDialogButtonBox* SaveCancelButtons(QDialog& dialog);

}  // namespace corvane
