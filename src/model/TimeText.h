#pragma once

#include <QString>

#include "model/CalendarTime.h"

namespace corvane {

// A time as the program shows it in tips and lists: the date in the user's short date
// format and the time without seconds, joined by ", ".
QString ShortDateTimeText(const CalendarTime& time);

}  // namespace corvane
