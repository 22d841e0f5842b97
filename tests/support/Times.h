#pragma once

#include <gtest/gtest.h>
#include <sys/time.h>

#include <QFile>
#include <QString>

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

// Sets a file's access and modification times to `seconds` since the epoch.
inline void SetMtime(const QString& path, qint64 seconds) {
    const struct timeval times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0) << path.toStdString();
}

}  // namespace corvane::test
