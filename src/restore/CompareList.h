#pragma once

// The list a compare shows: every stored object of one backup of a task beside the
// live object it came from, built as a restore builds it, but without a question and
// without writing anything.

#include <vector>

#include "model/RestoreItem.h"
#include "model/TaskRecord.h"

namespace corvane {

// Appends the records of every item of the task's backup to `list`. For a dated task
// `chosen` is the index into its history (see UseHistoryEntry); other tasks compare
// their one destination. An FTP destination is reached with one session for the whole
// list. Answers false when the server could not be reached or an item's backup could
// not be read (the log says why); the records that could be made are in `list` then.
[[nodiscard]] bool BuildCompareList(const TaskRecord& task, int chosen,
                                    std::vector<RestoreItem>& list);

}  // namespace corvane
