#pragma once

// Finding the task parameter files that backups leave beside their data, and turning
// one of them into a restore task: what the new-restore wizard does when the task list
// no longer holds the task (local and network folders here; FTP folders in
// restore/FtpTaskFinder.h, whose files ReadRestoreTask reads the same way).
//
// A parameter file comes from a backup medium that anybody may have written. Its item
// paths decide where a restore writes, so a restore task is only built from a file
// whose folder and file items name absolute places without ".." components (see
// ReadRestoreTask).
//
// Plain functions without shared state; callable from any thread.

#include <QString>
#include <vector>

#include "model/TaskRecord.h"
#include "restore/SafePath.h"
#include "transport/FtpEndpoint.h"

namespace corvane {

// One task parameter file found in a folder.
struct FoundTask {
    QString path;         // the file
    QString folder;       // the folder it was found in, as the caller named it
    QString name;         // its "taskName", never empty
    QString listLine;     // "Task "<name>" in <folder>", the line of the wizard's list
    RemoteAccess access;  // what reading a remote `path` needs beyond its address
};

// The wizard's list line of a task found in a folder.
QString FoundTaskLine(const QString& name, const QString& folder);

// Every regular file directly in `folder` (sub-folders are not searched) whose name
// matches "*.tsk" without regard to case and whose task name is not empty, ordered by
// file name (without regard to case, then exactly). A folder that does not exist or
// cannot be read gives an empty list.
std::vector<FoundTask> FindStoredTasks(const QString& folder);

// The first place of the task that a restore must not trust, or a null string when
// there is none. Looked at: the archive name (a plain file name: no "/", no "..", no
// control character), the path of each folder and file item (must pass
// IsSafeRestorePath) and the name in archive of each folder, file and registry item
// (must be relative and without a ".." component, as the stored copy is looked up
// below the destination folder by it).
QString UnsafeItemPath(const TaskRecord& task);

// True when `path` (absolute) is a place of the system rather than of a user: "/"
// itself and any name directly in it; /home, /media and /mnt themselves (not what lies
// in them); and everything in or below /bin, /boot, /dev, /etc, /lib*, /opt, /proc,
// /root, /run, /sbin, /snap, /srv, /sys, /usr, /var and /lost+found.
bool IsSystemPath(const QString& path);

// The path of the first folder or file item that a restore would write into a system
// place (IsSystemPath), or a null string. A task file from a backup medium that names
// such a place is only turned into a restore task when the user chose the target
// folder (or, in the window, agreed when asked).
QString SystemFolderItemPath(const TaskRecord& task);

// Builds the restore task of the parameter file at `path` (ReadTaskParameterFile):
// false when the file cannot be read, and false with the log line "  Error: unsafe
// path '<path>' in task file <file>" when UnsafeItemPath finds a place. On false the
// task must not be used. A `path` that is an "ftp://" address (as FindFtpStoredTasks
// gives it) is downloaded from the server; the log names it without its password.
bool ReadRestoreTask(TaskRecord& task, const QString& path, const RemoteAccess& access = {});

// The same for a caller that reports the refusal itself (the command line): false with
// `unsafe` set to the place UnsafeItemPath found, and nothing logged about it; false
// with `unsafe` null when the file cannot be read.
bool ReadRestoreTask(TaskRecord& task, const QString& path, QString& unsafe,
                     const RemoteAccess& access = {});

// Points a folder or file item at another folder: a folder item's path becomes
// `folder` with a final "/", a file item's path becomes `folder`, "/" and the file's
// name as before. False, with the item unchanged, for an index outside the list, for
// other kinds of item (the wizard says "You cannot change settings of this item."),
// for a folder that is not absolute, and for a file item without a file name.
bool RedirectItem(TaskRecord& task, int itemIndex, const QString& folder);

// Redirects every folder and file item into `folder` (the command line's choice for
// the whole task); other items keep their places. False, with nothing changed, when
// the folder is not absolute or a file item has no file name.
bool RedirectAllItems(TaskRecord& task, const QString& folder);

// Icons of the wizard's item list (the task tree's image strip).
enum StepTwoIcon : int {
    kStepIconContact = 3,
    kStepIconAllContacts = 4,
    kStepIconRegistryKey = 5,
    kStepIconFile = 6,
    kStepIconFolder = 7,
};

// One line of the wizard's item list.
struct StepTwoLine {
    int itemIndex = 0;      // the item's index in the task
    QString pathInArchive;  // "Path in archive" column
    QString sourcePath;     // "Source path" column: where the item is restored
    int icon = 0;           // a StepTwoIcon
};

// The item list of a restore task, one line per item in order; items of unknown kinds
// get no line.
std::vector<StepTwoLine> StepTwoLines(const TaskRecord& task);

}  // namespace corvane
