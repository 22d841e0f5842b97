#pragma once

// The stages of a backup or restore run: one per item of the task, in the task's order.
// Each stage names itself on the progress label ("Stage 2/5, copy files"); folders and
// files go to the run's own step, contacts and registry keys are passed over with a
// warning (this version has no store for them). Items of another kind get no stage
// number. Runs on the worker thread.

#include <QString>
#include <functional>
#include <vector>

#include "model/TaskRecord.h"

namespace corvane {

// `verb` completes the label ("copy", "restore"); `filesStage` handles a folder or file
// item; after each item the walk ends unless `mayGoOn` answers true.
void RunItemStages(const std::vector<SourceItem>& items, const QString& verb,
                   const std::function<void(const SourceItem&)>& filesStage,
                   const std::function<bool()>& mayGoOn);

}  // namespace corvane
