#include "model/CalendarTime.h"

#include <chrono>

namespace corvane {
namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

constexpr quint64 kTicksPerMillisecond = 10000;
constexpr qint64 kSecondsPerDay = 86400;
constexpr int kMaxYear = 30827;

constexpr sys_days kEpoch1601 = sys_days{year{1601} / 1 / 1};

std::optional<year_month_day> DateOf(const CalendarTime& t) {
    const year_month_day date{year{t.year}, month{t.month}, day{t.day}};
    if (!date.ok() || t.year < 1601 || t.year > kMaxYear) {
        return std::nullopt;
    }
    return date;
}

}  // namespace

bool CalendarTime::IsValid() const {
    return DateOf(*this).has_value() && hour < 24 && minute < 60 && second < 60 &&
           milliseconds < 1000;
}

qint64 CalendarTime::WholeSeconds() const {
    const auto date = DateOf(*this);
    if (!date) {
        return 0;
    }
    const qint64 days = (sys_days{*date} - kEpoch1601).count();
    return days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

CalendarTime CurrentLocalTime() {
    return CalendarTimeFromDateTime(QDateTime::currentDateTime());
}

CalendarTime CalendarTimeFromDateTime(const QDateTime& dateTime) {
    const QDate d = dateTime.date();
    const QTime t = dateTime.time();
    CalendarTime result;
    result.year = static_cast<quint16>(d.year());
    result.month = static_cast<quint16>(d.month());
    result.dayOfWeek = static_cast<quint16>(d.dayOfWeek() % 7);  // Qt: Monday 1 .. Sunday 7
    result.day = static_cast<quint16>(d.day());
    result.hour = static_cast<quint16>(t.hour());
    result.minute = static_cast<quint16>(t.minute());
    result.second = static_cast<quint16>(t.second());
    result.milliseconds = static_cast<quint16>(t.msec());
    return result;
}

QDateTime DateTimeFromCalendarTime(const CalendarTime& time) {
    return QDateTime(QDate(time.year, time.month, time.day),
                     QTime(time.hour, time.minute, time.second, time.milliseconds));
}

quint64 ToFileTime(const CalendarTime& time) {
    if (!time.IsValid()) {
        return 0;
    }
    const quint64 milliseconds =
        static_cast<quint64>(time.WholeSeconds()) * 1000 + time.milliseconds;
    return milliseconds * kTicksPerMillisecond;
}

std::optional<CalendarTime> FromFileTime(quint64 fileTime) {
    const quint64 totalMilliseconds = fileTime / kTicksPerMillisecond;
    const quint64 totalSeconds = totalMilliseconds / 1000;
    const auto days = static_cast<qint64>(totalSeconds / kSecondsPerDay);
    constexpr qint64 kLastDay = (sys_days{year{kMaxYear} / 12 / 31} - kEpoch1601).count();
    if (days > kLastDay) {
        return std::nullopt;
    }
    const sys_days date = kEpoch1601 + std::chrono::days{days};
    const year_month_day ymd{date};
    const quint64 secondOfDay = totalSeconds % kSecondsPerDay;
    CalendarTime result;
    result.year = static_cast<quint16>(static_cast<int>(ymd.year()));
    result.month = static_cast<quint16>(static_cast<unsigned>(ymd.month()));
    result.day = static_cast<quint16>(static_cast<unsigned>(ymd.day()));
    result.dayOfWeek = static_cast<quint16>(std::chrono::weekday{date}.c_encoding());
    result.hour = static_cast<quint16>(secondOfDay / 3600);
    result.minute = static_cast<quint16>(secondOfDay / 60 % 60);
    result.second = static_cast<quint16>(secondOfDay % 60);
    result.milliseconds = static_cast<quint16>(totalMilliseconds % 1000);
    return result;
}

FileTimeHalves SplitFileTime(quint64 fileTime) {
    return {static_cast<qint32>(static_cast<quint32>(fileTime & 0xffffffffu)),
            static_cast<qint32>(static_cast<quint32>(fileTime >> 32))};
}

quint64 JoinFileTime(qint32 low, qint32 high) {
    return (static_cast<quint64>(static_cast<quint32>(high)) << 32) | static_cast<quint32>(low);
}

}  // namespace corvane
