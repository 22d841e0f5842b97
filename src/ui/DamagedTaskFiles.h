#pragma once

// What the window does when the task list or the group list of its data folder exists
// but cannot be read: it says why and offers to start with an empty list. Accepting
// first moves each damaged file aside (TaskFiles: "<file>.damaged-YYYYMMDD-HHMMSS"),
// so nothing the user had is written over; declining leaves every file as it is.
//
// Main thread; the caller holds the data folder's lock.

#include <QString>

namespace corvane {

struct TaskFilesLoad;

// The message box's text for the damaged files of `load`.
QString DamagedTaskFilesText(const TaskFilesLoad& load);

// True when the files of `dataFolder` can be used: none is damaged, or the user chose
// to start afresh and every damaged file was moved aside. False when the user declined,
// or a file could not be moved (said in a warning box); the program then ends.
bool AcceptDamagedTaskFiles(const QString& dataFolder);

}  // namespace corvane
