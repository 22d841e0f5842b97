#include "scheduler/ScheduleCalendar.h"

#include <QDate>
#include <array>

namespace corvane {
namespace {

constexpr std::array<const char*, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr quint16 kAllDays = 0x7f;
constexpr quint16 kAllMonths = 0xfff;

bool HasTime(const TaskRecord& task) {
    return task.scheduleStart.hour < 24 && task.scheduleStart.minute < 60;
}

// The schedule names a time that can come: the mask of its mode is not empty and its
// day exists in some month.
bool CanFire(const TaskRecord& task) {
    if (!HasTime(task)) {
        return false;
    }
    switch (task.scheduleMode) {
        case kScheduleDaily:
            return true;
        case kScheduleWeekly:
            return (task.schedulePattern & kAllDays) != 0;
        case kScheduleMonthly:
            return (task.schedulePattern & kAllMonths) != 0 && task.scheduleDay >= 1 &&
                   task.scheduleDay <= 31;
        default:
            return false;
    }
}

// The months of the mask from `first` on, as 1-based numbers.
QList<int> MaskedMonths(quint16 mask, int first) {
    QList<int> months;
    for (int month = first; month <= 12; ++month) {
        if (mask & (1u << (month - 1))) {
            months.append(month);
        }
    }
    return months;
}

QString JoinNumbers(const QList<int>& numbers, bool twoDigits) {
    QStringList parts;
    for (const int n : numbers) {
        parts.append(twoDigits ? QString::asprintf("%02d", n) : QString::number(n));
    }
    return parts.join(QLatin1Char(','));
}

QStringList Names(quint16 mask, int count, const char* const* names) {
    QStringList parts;
    for (int i = 0; i < count; ++i) {
        if (mask & (1u << i)) {
            parts.append(QLatin1String(names[i]));
        }
    }
    return parts;
}

QStringList WeekdayNames(const TaskRecord& task) {
    return Names(task.schedulePattern & kAllDays, 7, kDayNames.data());
}

QString ClockText(const TaskRecord& task) {
    return QString::asprintf("%02d:%02d", task.scheduleStart.hour, task.scheduleStart.minute);
}

// One OnCalendar value over the given years, months and days ("*" for any).
QString Calendar(const TaskRecord& task, const QString& years, const QString& months,
                 const QString& days) {
    QString value;
    if (task.scheduleMode == kScheduleWeekly) {
        value = WeekdayNames(task).join(QLatin1Char(',')) + QLatin1Char(' ');
    }
    return value + years + QLatin1Char('-') + months + QLatin1Char('-') + days + QLatin1Char(' ') +
           ClockText(task) + QStringLiteral(":00");
}

}  // namespace

QStringList ScheduleCalendars(const TaskRecord& task, const QDate& today) {
    if (!CanFire(task)) {
        return {};
    }
    const bool monthly = task.scheduleMode == kScheduleMonthly;
    const quint16 monthMask = monthly ? task.schedulePattern & kAllMonths : kAllMonths;
    const QString day = monthly ? QString::asprintf("%02d", task.scheduleDay) : QStringLiteral("*");
    const QDate begin(task.scheduleStart.year, task.scheduleStart.month, task.scheduleStart.day);
    if (!begin.isValid() || begin <= today) {
        const QString months = monthMask == kAllMonths
                                   ? QStringLiteral("*")
                                   : JoinNumbers(MaskedMonths(monthMask, 1), true);
        return {Calendar(task, QStringLiteral("*"), months, day)};
    }
    // A begin date to come: its own month from that day on, the later months of its year,
    // then every following year. systemd has no "not before", so the years say it.
    const QString year = QString::number(begin.year());
    QStringList values;
    if (monthMask & (1u << (begin.month() - 1))) {
        const QString month = QString::asprintf("%02d", begin.month());
        if (!monthly) {
            values.append(Calendar(task, year, month, QString::asprintf("%02d..31", begin.day())));
        } else if (task.scheduleDay >= begin.day()) {
            values.append(Calendar(task, year, month, day));
        }
    }
    const QList<int> laterMonths = MaskedMonths(monthMask, begin.month() + 1);
    if (!laterMonths.isEmpty()) {
        values.append(Calendar(task, year, JoinNumbers(laterMonths, true), day));
    }
    values.append(Calendar(task, QString::number(begin.year() + 1) + QStringLiteral("/1"),
                           JoinNumbers(MaskedMonths(monthMask, 1), true), day));
    return values;
}

QString ScheduleCronFields(const TaskRecord& task) {
    if (!CanFire(task)) {
        return QString();
    }
    QString dayOfMonth = QStringLiteral("*");
    QString month = QStringLiteral("*");
    QString weekday = QStringLiteral("*");
    if (task.scheduleMode == kScheduleWeekly) {
        QList<int> days;
        for (int i = 0; i < 7; ++i) {
            if (task.schedulePattern & (1u << i)) {
                days.append(i);
            }
        }
        weekday = JoinNumbers(days, false);
    } else if (task.scheduleMode == kScheduleMonthly) {
        // Cron, like the schedule, simply never matches a day a month lacks.
        dayOfMonth = QString::number(task.scheduleDay);
        month = JoinNumbers(MaskedMonths(task.schedulePattern & kAllMonths, 1), false);
    }
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(task.scheduleStart.minute)
        .arg(task.scheduleStart.hour)
        .arg(dayOfMonth, month, weekday);
}

QString ScheduleRuleText(const TaskRecord& task) {
    if (!CanFire(task)) {
        return QString();
    }
    const QString at = QStringLiteral(" at ") + ClockText(task);
    if (task.scheduleMode == kScheduleWeekly) {
        return QStringLiteral("weekly on ") + WeekdayNames(task).join(QStringLiteral(", ")) + at;
    }
    if (task.scheduleMode == kScheduleMonthly) {
        return QStringLiteral("monthly on day %1 of %2")
                   .arg(task.scheduleDay)
                   .arg(Names(task.schedulePattern, 12, kMonthNames.data())
                            .join(QStringLiteral(", "))) +
               at;
    }
    return QStringLiteral("daily") + at;
}

QString CronFieldsRuleText(const QString& fields) {
    const QStringList parts = fields.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 5) {
        return QString();
    }
    TaskRecord task;
    task.scheduleStart.minute = static_cast<quint16>(parts[0].toUInt());
    task.scheduleStart.hour = static_cast<quint16>(parts[1].toUInt());
    task.scheduleMode = kScheduleDaily;
    const auto mask = [](const QString& list, int offset) {
        quint16 bits = 0;
        for (const QString& n : list.split(QLatin1Char(','))) {
            const int bit = n.toInt() - offset;
            if (bit >= 0 && bit < 12) {
                bits |= static_cast<quint16>(1u << bit);
            }
        }
        return bits;
    };
    if (parts[4] != QLatin1String("*")) {
        task.scheduleMode = kScheduleWeekly;
        task.schedulePattern = mask(parts[4], 0);
    } else if (parts[2] != QLatin1String("*")) {
        task.scheduleMode = kScheduleMonthly;
        task.scheduleDay = parts[2].toInt();
        task.schedulePattern = mask(parts[3], 1);
    }
    return ScheduleRuleText(task);
}

QDateTime NextCronRun(const QString& fields, const QDateTime& now) {
    const QStringList parts = fields.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    bool minuteOk = false;
    bool hourOk = false;
    const int minute = parts.size() == 5 ? parts[0].toInt(&minuteOk) : -1;
    const int hour = parts.size() == 5 ? parts[1].toInt(&hourOk) : -1;
    const QTime time(hour, minute);
    if (!minuteOk || !hourOk || !time.isValid()) {
        return QDateTime();
    }
    // "*" matches every value; a list matches its numbers (week day 7 is Sunday too).
    const auto matches = [](const QString& field, int value) {
        if (field == QLatin1String("*")) {
            return true;
        }
        for (const QString& number : field.split(QLatin1Char(','))) {
            const int n = number.toInt();
            if (n == value || (value == 0 && n == 7)) {
                return true;
            }
        }
        return false;
    };
    const bool dayRestricted = parts[2] != QLatin1String("*");
    const bool weekDayRestricted = parts[4] != QLatin1String("*");
    constexpr int kDaysToSearch = 4 * 366;
    for (int offset = 0; offset <= kDaysToSearch; ++offset) {
        const QDate date = now.date().addDays(offset);
        const bool byDay = matches(parts[2], date.day());
        const bool byWeekDay = matches(parts[4], date.dayOfWeek() % 7);
        const bool dayMatches =
            dayRestricted && weekDayRestricted ? byDay || byWeekDay : byDay && byWeekDay;
        const QDateTime candidate(date, time);
        if (dayMatches && matches(parts[3], date.month()) && candidate > now) {
            return candidate;
        }
    }
    return QDateTime();
}

}  // namespace corvane
