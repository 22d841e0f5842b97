#pragma once

// The commands of corvane-cli that read a backup back: compare and restore.

#include <QString>
#include <cstdio>

namespace corvane {

struct RestoreOptions {
    int backup = 0;  // history entry, from 1; 0 when not given
    bool uncheckIdentical = false;
    bool uncheckNewer = false;
    bool yes = false;  // restore without asking
};

// `compare NAME [--backup N]`: one line per stored object, with the restore-data
// dialog's columns separated by tabs: status, source, archive name, file time, archive
// file time. Log lines go to `err`. Exit 0; 1 when the backup could not be read (no
// archive, a damaged one, no connection: the lines that could be made are printed);
// 2 for an unknown task or a dated task with several backups and no --backup (the
// history is printed then).
int CompareCommand(const QString& dataFolder, const QString& name, int backup, std::FILE* out,
                   std::FILE* err);

// `restore NAME [--backup N] [--uncheck-identical] [--uncheck-newer] [--yes]`: the
// restore through the run queue. Without --yes the list is printed and, on a terminal,
// "Restore checked items? [y/N]" is asked; without a terminal nothing is restored.
// Exit 0 when the run answered true, 1 otherwise (also when the user said no), 2 for the
// usage cases above and when the question could not be asked, 3 when another process
// holds the task list, 130 when stopped.
int RestoreCommand(const QString& dataFolder, const QString& name, const RestoreOptions& options,
                   std::FILE* out, std::FILE* err);

}  // namespace corvane
