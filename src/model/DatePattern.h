#pragma once

// Date patterns in destination folders, archive names and FTP addresses: the tokens
// "#DD" (day), "#MM" (month), "#YY" (year, all digits), "#HH" (hour 0..23) and "#MIN"
// (minute), upper case, matched anywhere and any number of times. Day, month, hour and
// minute are written with two digits. Nothing else is a token and there is no escape.
//
// Every function is pure and returns its own string, so any thread may call them.

#include <QString>

#include "model/CalendarTime.h"
#include "model/TaskRecord.h"

namespace corvane {

// The text with every token replaced by the field of `moment`; the text unchanged when
// `moment` is null.
QString ExpandDatePattern(const QString& text, const CalendarTime* moment);

// The task's destination path with its tokens expanded and a trailing "/" appended
// unless the result is empty or already ends in "/" (an empty result means no
// destination). A "\" is an ordinary character here.
QString ResolvedDestFolder(const TaskRecord& task, const CalendarTime& moment);

// The task's archive name with its tokens expanded; nothing appended.
QString ResolvedArchiveName(const TaskRecord& task, const CalendarTime& moment);

// A dated task writes each backup to a new place (its destination path, or for ZIP
// its archive name, holds a date pattern): a restore must choose one from the history,
// and old ones may be pruned.
bool IsDatedTask(const TaskRecord& task);

// True when the text holds at least one token.
bool HoldsDatePattern(const QString& text);

// True when `text` is what `pattern` gives for some moment: every token stands for
// its digits (two, or any number for "#YY"), everything else for itself.
bool MatchesDatePattern(const QString& pattern, const QString& text);

}  // namespace corvane
