#pragma once

// A calendar date and time as the task files store it: the broken-down fields of a
// local time, with no time zone attached. Stored in files as a "file time" (100 ns
// units since 1 January 1601) computed from the fields as they stand, without any
// time-zone conversion, split into two signed 32-bit halves.

#include <QDateTime>
#include <QtGlobal>
#include <optional>

namespace corvane {

struct CalendarTime {
    quint16 year = 0;
    quint16 month = 0;      // 1..12
    quint16 dayOfWeek = 0;  // 0 = Sunday
    quint16 day = 0;        // 1..31
    quint16 hour = 0;
    quint16 minute = 0;
    quint16 second = 0;
    quint16 milliseconds = 0;

    bool operator==(const CalendarTime&) const = default;

    // True when the fields name a real date and time from 1601 on.
    bool IsValid() const;

    // Seconds since 1601-01-01 00:00:00 of the fields, ignoring milliseconds; used to
    // order times "to the second".
    qint64 WholeSeconds() const;
};

// The current local date and time.
CalendarTime CurrentLocalTime();

// The fields of a QDateTime as they stand (its own time zone), and back again as a
// local QDateTime.
CalendarTime CalendarTimeFromDateTime(const QDateTime& dateTime);
QDateTime DateTimeFromCalendarTime(const CalendarTime& time);

// File time of the fields; 0 for fields that are not a valid time.
quint64 ToFileTime(const CalendarTime& time);
// Fields of a file time, day of week included; nothing when the value lies beyond the
// year 30827 (the largest year a calendar time can hold).
std::optional<CalendarTime> FromFileTime(quint64 fileTime);

// The stored halves: the low and high 32 bits, each as a signed 32-bit number.
struct FileTimeHalves {
    qint32 low = 0;
    qint32 high = 0;
};
FileTimeHalves SplitFileTime(quint64 fileTime);
quint64 JoinFileTime(qint32 low, qint32 high);

}  // namespace corvane
