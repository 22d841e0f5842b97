#include "engine/DosTime.h"

namespace corvane {

namespace {

constexpr int kFirstYear = 1980;
constexpr int kLastYear = 2107;  // 7 bits of years from 1980

quint32 Pack(int year, int month, int day, int hour, int minute, int second) {
    const quint32 date = quint32(((year - kFirstYear) << 9) | (month << 5) | day);
    const quint32 time = quint32((hour << 11) | (minute << 5) | (second / 2));
    return (date << 16) | time;
}

}  // namespace

quint32 DosDateTimeFromUnix(time_t seconds) {
    struct tm local = {};
    // localtime_r does not re-read the zone settings on every call, which matters when
    // it runs once per archive entry.
    if (localtime_r(&seconds, &local) == nullptr) {
        return Pack(kFirstYear, 1, 1, 0, 0, 0);
    }
    const int year = local.tm_year + 1900;
    if (year < kFirstYear) {
        return Pack(kFirstYear, 1, 1, 0, 0, 0);
    }
    if (year > kLastYear) {
        return Pack(kLastYear, 12, 31, 23, 59, 58);
    }
    // A leap second (tm_sec 60) is kept inside the minute.
    const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
    return Pack(year, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, second);
}

time_t UnixFromDosDateTime(quint32 dosDateTime) {
    const int date = int(dosDateTime >> 16);
    const int time = int(dosDateTime & 0xFFFF);
    const int month = (date >> 5) & 0x0F;
    const int day = date & 0x1F;
    const int hour = time >> 11;
    const int minute = (time >> 5) & 0x3F;
    const int second = (time & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) {
        return -1;
    }
    struct tm local = {};
    local.tm_year = kFirstYear + (date >> 9) - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;  // let the zone rules decide, as for any local wall-clock time
    const time_t result = mktime(&local);
    // mktime normalises 31 February into March; such a field set is no valid date.
    if (local.tm_mday != day || local.tm_mon != month - 1) {
        return -1;
    }
    return result;
}

}  // namespace corvane
