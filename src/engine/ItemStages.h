#pragma once

// The stages of a backup or restore run: one per item of the task, in the task's order.
// Each stage names itself on the progress label ("Stage 2/5, copy files") and hands the
// item to the run's step for its kind: files, contacts (all or one) or a registry key. A
// kind whose step the run leaves empty is passed over with a warning. Items of another
// kind get no stage number. Runs on the worker thread.

#include <QString>
#include <functional>
#include <vector>

#include "model/TaskRecord.h"

namespace corvane {

using ItemStage = std::function<void(const SourceItem&)>;

// The run's step for each kind of item; an empty one logs that the kind is not supported.
struct ItemStageSet {
    ItemStage files;     // a folder or a file
    ItemStage contacts;  // all contacts or one contact
    ItemStage registry;  // a registry key
};

// `verb` completes the label ("copy", "restore"); after each item the walk ends unless
// `mayGoOn` answers true.
void RunItemStages(const std::vector<SourceItem>& items, const QString& verb,
                   const ItemStageSet& stages, const std::function<bool()>& mayGoOn);

}  // namespace corvane
