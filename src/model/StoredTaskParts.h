#pragma once

// The parts of a task that the task list file and the task parameter files store in
// the same keys: the source items ("itemsCount", "SrcDataType%d", ...) and the backup
// history ("PrevBackupsNmb", "PrevBackup%dDestFld", ...). Numbered keys count from 1.

#include <QString>

#include "model/PropertyStore.h"
#include "model/TaskRecord.h"

namespace corvane {

void WriteSourceItems(PropertyStore& store, const QString& section, const TaskRecord& task);
void WriteHistory(PropertyStore& store, const QString& section, const TaskRecord& task);

// Append to task.items the stored items of kinds 1, 3, 4, 5 and 6, in key order; items
// of any other kind are dropped. The loop is bounded by the keys the section holds, so
// a huge stored count costs nothing.
void ReadSourceItems(const PropertyStore& store, const QString& section, TaskRecord& task);
// Append to task.history the stored entries that have their folder and both time
// halves; the archive name is read only for ZIP tasks (method 2), so the task's method
// must be set first.
void ReadHistory(const PropertyStore& store, const QString& section, TaskRecord& task);

// Time pairs as "<name>Lo"/"<name>Hi" file-time halves.
void WriteTimePair(PropertyStore& store, const QString& section, const QString& name,
                   const CalendarTime& time);
// The time of a pair when both halves are present and make a valid time.
std::optional<CalendarTime> ReadTimePair(const PropertyStore& store, const QString& section,
                                         const QString& name);

}  // namespace corvane
