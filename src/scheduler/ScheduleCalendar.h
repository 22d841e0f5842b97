#pragma once

// The times of a task's schedule in the forms the system schedulers read: systemd's
// OnCalendar= expressions and the five time fields of a crontab line, and the same rule
// in words for listings.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "model/TaskRecord.h"

namespace corvane {

// The OnCalendar= values of the task's schedule (several values mean "any of them");
// empty when the schedule names no time that can ever come (mode 0, an empty day or
// month mask, a day outside 1..31, an hour or minute out of range). A begin date after
// `today` restricts the values so that nothing fires before it.
QStringList ScheduleCalendars(const TaskRecord& task, const QDate& today);

// "MIN HOUR DAY MONTH WEEKDAY" for crontab; empty as above. Cron has no begin date.
QString ScheduleCronFields(const TaskRecord& task);

// "daily at 07:30", "weekly on Mon, Fri at 07:30", "monthly on day 31 of Jan, Mar at 07:30".
QString ScheduleRuleText(const TaskRecord& task);

// The same words read back from crontab time fields; empty when they are not ours.
QString CronFieldsRuleText(const QString& fields);

// The first time after `now` that crontab time fields as ScheduleCronFields writes them
// (one minute, one hour, "*" or lists of numbers) fire, as cron reads them (day of month
// and week day both restricted: either matches); invalid when they do not fire within
// the next four years. Cron cannot say this itself, so listings compute it.
QDateTime NextCronRun(const QString& fields, const QDateTime& now);

}  // namespace corvane
