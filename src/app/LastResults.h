#pragma once

// The last result of each task's backup run: how and when it ended, and when a run of it
// last stored anything. Kept in "<data>/CorvResults.txt", apart from the task list, so
// that a scheduled corvane-cli run and the window never write over each other's task
// edits; keyed by the task's OID. The file is replaced whole (temporary name, rename) and
// each update reads, changes and writes it under an advisory lock on
// "<data>/CorvResults.lock", so two processes that end runs at once both keep theirs.
//
// Any thread; every call reads or writes the file itself.

#include <QDateTime>
#include <QString>
#include <map>

namespace corvane {

enum class RunResult { kDone, kNothingToDo, kFailed, kStopped };

// "done", "nothing to do", "failed", "stopped".
QString RunResultText(RunResult result);

struct LastRunResult {
    RunResult result = RunResult::kDone;
    QDateTime ended;
    // The end of the latest run that stored anything; invalid when none did yet.
    QDateTime lastDone;
    // The end of the first run recorded for the task.
    QDateTime firstEnded;
};

// Every task's entry, by OID; empty when the file is missing or unreadable (a line that
// cannot be read is passed over).
std::map<qint32, LastRunResult> ReadLastResults(const QString& dataFolder);

// Records a run of the task `oid` that ended at `ended`; answers its entry as it was
// before (a default entry with invalid times when there was none) in `previous`. False
// (with a log line) when the file cannot be written.
[[nodiscard]] bool RecordLastResult(const QString& dataFolder, qint32 oid, RunResult result,
                                    const QDateTime& ended, LastRunResult* previous);

}  // namespace corvane
