#pragma once

// The folder chooser of the dialogs that ask for a local or network folder: Qt's file
// dialog in folder mode. A choice that is no folder of the file system (a system
// chooser may offer network places without a mount, or devices) is refused with
// "Cannot select this item, you can select only local or network folders".
//
// Main thread only.

#include <QFileDialog>
#include <QString>
#include <functional>

class QPushButton;

namespace corvane {

// Shows the chooser modally, titled `title`, starting at `start` (empty: the current
// folder), with `options` beside ShowDirsOnly; `prepare` may add to the dialog before it
// is shown. Answers the chosen folder, or a null string when the user cancelled or the
// choice was refused (the warning then was shown).
QString ChooseFolder(QWidget* parent, const QString& title, const QString& start,
                     QFileDialog::Options options = {},
                     const std::function<void(QFileDialog&)>& prepare = {});

// The dialogs that edit one folder: a "..." button (never the default, so Return in the
// field saves) and "Save" (the default), wired to `browse` and `save`, laid out as
// `above` (may be null), the field with "..." beside it, and "Save" below on the right.
struct FolderDialogButtons {
    QPushButton* browse = nullptr;
    QPushButton* save = nullptr;
};
FolderDialogButtons LayOutFolderDialog(QDialog& dialog, QWidget* above, QWidget* field,
                                       const std::function<void()>& browse,
                                       const std::function<void()>& save);

// The refusal ChooseFolder shows, for a folder that cannot serve for another reason.
void ShowNotAFolderWarning(QWidget* parent);

}  // namespace corvane
