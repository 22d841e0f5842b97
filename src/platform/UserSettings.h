#pragma once

// The user's settings that belong to no task, kept where the program has always kept
// them: section and value names of QSettings("Tarnis", "Tarnis"), which on Linux is
// ~/.config/Tarnis/Tarnis.conf (under $XDG_CONFIG_HOME when set).
//
// Main thread only.

#include <QSize>
#include <QString>
#include <QStringList>

namespace corvane {

class UserSettings {
  public:
    // "Main"/"ShutdownWhenComplete", default off.
    static bool ShutdownWhenComplete();
    static void SetShutdownWhenComplete(bool on);

    // "Main"/"DefBackupsFolder": the destination offered to a new task, stored as the
    // user typed it (no check), empty by default.
    static QString DefaultBackupFolder();
    static void SetDefaultBackupFolder(const QString& folder);

    // "Main"/"ContactsFolder": the address book (a vdir) the user picked, empty when none.
    // Unlike the other values it may be read on any thread: the contacts stages of a run
    // read it on the worker.
    static QString ContactsFolder();
    // "Main"/"ArchiveThreads": how many threads deflate a ZIP run; 0 (the default, and
    // any value that is no positive number) stands for the number of cores. Any thread.
    static int ArchiveThreads();
    // Stores 0 for "the number of cores"; a negative count is stored as 0.
    static void SetArchiveThreads(int threads);
    static void SetContactsFolder(const QString& folder);
    // "Main"/"IdleNoticeDays": after how many days without a run that stored anything a
    // run that finds nothing to do raises a desktop notice; 0 = never, default 7 (also
    // for a value that is no number of 0 or more). Any thread.
    static int IdleNoticeDays();
    static void SetIdleNoticeDays(int days);

    // "HistoryPaths"/"Combo0".."Combo9": the destinations typed last, newest first, read
    // up to the first empty or missing value.
    static QStringList PathHistory();
    // Puts the trimmed path at the top of the history, drops an older equal entry and
    // everything beyond the tenth, and writes the list back (removing the values of the
    // indexes that follow it). An empty path changes nothing.
    static void RememberPath(const QString& path);

    // "Dialogs"/<dialog>: the size a resizable dialog had when it was last closed. An
    // invalid QSize when none was stored or the stored value is no usable size.
    static QSize DialogSize(const QString& dialog);
    static void SetDialogSize(const QString& dialog, QSize size);
};

}  // namespace corvane
