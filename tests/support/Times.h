#pragma once

#include "model/CalendarTime.h"

namespace corvane::test {

// A calendar time from its fields (the day of the week left 0).
inline CalendarTime MakeTime(int year, int month, int day, int hour = 0, int minute = 0,
                             int second = 0, int milliseconds = 0) {
    CalendarTime time;
    time.year = static_cast<quint16>(year);
    time.month = static_cast<quint16>(month);
    time.day = static_cast<quint16>(day);
    time.hour = static_cast<quint16>(hour);
    time.minute = static_cast<quint16>(minute);
    time.second = static_cast<quint16>(second);
    time.milliseconds = static_cast<quint16>(milliseconds);
    return time;
}

}  // namespace corvane::test
