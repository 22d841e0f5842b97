#include "model/DatePattern.h"

namespace corvane {

QString ExpandDatePattern(const QString& text, const CalendarTime* moment) {
    if (moment == nullptr) {
        return text;
    }
    // Each replacement writes digits only, so no replacement makes a new token and the
    // order of the passes does not matter for the result.
    QString result = text;
    result.replace(QStringLiteral("#DD"), QString::asprintf("%.2d", int{moment->day}));
    result.replace(QStringLiteral("#MM"), QString::asprintf("%.2d", int{moment->month}));
    result.replace(QStringLiteral("#YY"), QString::asprintf("%d", int{moment->year}));
    result.replace(QStringLiteral("#HH"), QString::asprintf("%.2d", int{moment->hour}));
    result.replace(QStringLiteral("#MIN"), QString::asprintf("%.2d", int{moment->minute}));
    return result;
}

QString ResolvedDestFolder(const TaskRecord& task, const CalendarTime& moment) {
    QString folder = ExpandDatePattern(task.destination.path, &moment);
    if (!folder.isEmpty() && !folder.endsWith(u'/')) {
        folder += u'/';
    }
    return folder;
}

QString ResolvedArchiveName(const TaskRecord& task, const CalendarTime& moment) {
    return ExpandDatePattern(task.archiveName, &moment);
}

}  // namespace corvane
