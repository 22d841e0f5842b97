#pragma once

// The DOS date and time that ZIP headers carry: local time in two-second steps, years
// 1980 to 2107, packed as (date << 16) | time.

#include <QtGlobal>
#include <ctime>

namespace corvane {

// The packed DOS date and time of a moment (seconds since the epoch), in local time.
// Odd seconds are rounded down (59 is stored as 58). Moments before 1980 are stored as
// 1980-01-01 00:00:00, moments after 2107 as 2107-12-31 23:59:58.
quint32 DosDateTimeFromUnix(time_t seconds);

// The moment a packed DOS date and time names when read as local time; -1 when the
// fields are no valid date (month 0, day 0, hour 24, ...).
time_t UnixFromDosDateTime(quint32 dosDateTime);

}  // namespace corvane
