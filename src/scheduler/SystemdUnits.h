#pragma once

// The two unit files of a task's job for a systemd user instance, and their name.

#include <QString>
#include <QStringList>

#include "model/TaskRecord.h"

namespace corvane {

// `text` escaped as systemd-escape does it without options: "/" becomes "-", a leading
// "." and every byte outside [A-Za-z0-9:_.] become "\xNN". Two texts never share an
// escaping.
QString SystemdEscape(const QString& text);

// The unit name, without ".timer"/".service", of the task's job: the escaped work item
// name, or for names too long for a unit its start and a digest of the whole name.
QString UnitBaseName(const QString& taskName);

// One word of ExecStart= as systemd reads it back exactly: in double quotes, with "\",
// """ escaped, "$" doubled and "%" doubled.
QString QuoteExecArgument(const QString& word);

// The .timer unit: OnCalendar= for each value, Persistent=true, and the task's name in a
// comment so the job can be listed by task.
QString TimerUnitText(const QString& taskName, const QStringList& calendars, const QString& rule);

// The .service unit: a oneshot start of `program "/NAME"` for at most 30 minutes (for a
// oneshot service the start is the whole run, so the limit is TimeoutStartSec=).
QString ServiceUnitText(const QString& taskName, const QString& program);

// The task name and rule written into a timer unit; empty when the text is not ours.
QString TaskNameOfTimer(const QString& timerText);
QString RuleOfTimer(const QString& timerText);

}  // namespace corvane
