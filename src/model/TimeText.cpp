#include "model/TimeText.h"

#include <QLocale>

namespace corvane {

QString ShortDateTimeText(const CalendarTime& time) {
    const QLocale locale = QLocale::system();
    const QDateTime dateTime = DateTimeFromCalendarTime(time);
    return QStringLiteral("%1, %2").arg(locale.toString(dateTime.date(), QLocale::ShortFormat),
                                        locale.toString(dateTime.time(), QLocale::ShortFormat));
}

}  // namespace corvane
