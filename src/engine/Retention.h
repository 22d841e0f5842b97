#pragma once

// Retention: a dated task keeps only its newest backups. Each backup beyond the number
// the task keeps is deleted from where it was written, exactly as its history entry
// records it, then its entry leaves the history. When anything about an entry is in
// doubt (it does not lie where the task's destination puts dated backups, another kept
// entry shares its folder, the destination cannot be reached) the backup is kept and a
// warning logged: deleting too little can be repaired, deleting too much cannot.
//
// Runs on the thread that runs the task (the worker after a backup, the command line
// for a prune); the caller saves the task list afterwards.

#include <QString>
#include <vector>

#include "model/TaskRecord.h"

namespace corvane {

class RemoteSession;

// The history entries to delete now, as indexes into the history, oldest first: those
// beyond the task's newest `keepLast` by time. Empty for a task that is not dated or
// keeps all (0). The entry `justWritten` (-1: none) always counts as kept.
std::vector<int> BackupsBeyondKeep(const TaskRecord& task, int justWritten);

// The place of a history entry as a person reads it (an FTP password shown as "***").
QString BackupPlaceText(const BackupHistoryEntry& entry);

// Deletes the backups BackupsBeyondKeep names, oldest first, each logged
// "  Removing old backup %s..."; one that cannot be deleted logs a warning and stays in
// the history. The destination must be reachable: `ftp` is the connected session of an
// FTP destination (its folder is restored afterwards), a network share is connected.
// False when any backup stayed.
bool PruneOldBackups(TaskRecord& task, RemoteSession* ftp, int justWritten);

// The same outside a run: reaches the destination (FTP session or network share),
// prunes and releases it. False when it cannot be reached or any backup stayed.
bool PruneTaskNow(TaskRecord& task);

}  // namespace corvane
