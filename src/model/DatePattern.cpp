#include "model/DatePattern.h"

#include <QRegularExpression>

namespace corvane {
namespace {

const QRegularExpression& TokenExpression() {
    static const QRegularExpression expression(QStringLiteral("#(DD|MM|YY|HH|MIN)"));
    return expression;
}

}  // namespace

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

bool IsDatedTask(const TaskRecord& task) {
    return task.destination.path.contains(QLatin1Char('#')) ||
           (task.backupMode == kMethodZip && task.archiveName.contains(QLatin1Char('#')));
}

bool HoldsDatePattern(const QString& text) {
    return text.contains(TokenExpression());
}

bool MatchesDatePattern(const QString& pattern, const QString& text) {
    QString expression = QStringLiteral("\\A");
    qsizetype done = 0;
    QRegularExpressionMatchIterator tokens = TokenExpression().globalMatch(pattern);
    while (tokens.hasNext()) {
        const QRegularExpressionMatch token = tokens.next();
        expression += QRegularExpression::escape(pattern.mid(done, token.capturedStart() - done));
        expression += token.captured(1) == QLatin1String("YY") ? QStringLiteral("[0-9]+")
                                                               : QStringLiteral("[0-9]{2}");
        done = token.capturedEnd();
    }
    expression += QRegularExpression::escape(pattern.mid(done)) + QStringLiteral("\\z");
    return QRegularExpression(expression).match(text).hasMatch();
}

}  // namespace corvane
