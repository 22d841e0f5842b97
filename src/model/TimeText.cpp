#include "model/TimeText.h"

#include <QLocale>
#include <QRegularExpression>

namespace corvane {

QString ShortDateTimeText(const CalendarTime& time) {
    const QLocale locale = QLocale::system();
    const QDateTime dateTime = DateTimeFromCalendarTime(time);
    // Some locales' short time format shows seconds (C.UTF-8's "HH:mm:ss"): drop them.
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("[:.]?s+")));
    return QStringLiteral("%1, %2").arg(locale.toString(dateTime.date(), QLocale::ShortFormat),
                                        locale.toString(dateTime.time(), timeFormat.trimmed()));
}

}  // namespace corvane
