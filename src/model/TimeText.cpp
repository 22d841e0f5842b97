#include "model/TimeText.h"

#include <QLocale>
#include <QRegularExpression>

namespace corvane {

QString ShortDateTimeText(const CalendarTime& time) {
    const QLocale locale = QLocale::system();
    const QDateTime dateTime = DateTimeFromCalendarTime(time);
    // Some locales' short time format shows seconds (C.UTF-8's "HH:mm:ss"): drop them.
    // The user's locale does not change while the program runs: work it out once.
    static const QString timeFormat = [&locale] {
        QString format = locale.timeFormat(QLocale::ShortFormat);
        format.remove(QRegularExpression(QStringLiteral("[:.]?s+")));
        return format.trimmed();
    }();
    return QStringLiteral("%1, %2").arg(locale.toString(dateTime.date(), QLocale::ShortFormat),
                                        locale.toString(dateTime.time(), timeFormat));
}

}  // namespace corvane
