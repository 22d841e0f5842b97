#include "sources/VCard21Value.h"

namespace corvane {

QString EscapeVCardValue(QStringView value) {
    QString escaped;
    escaped.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == QLatin1Char('\r')) {
            if (i + 1 < value.size() && value[i + 1] == QLatin1Char('\n')) {
                ++i;
            }
            escaped += QLatin1String("\\n");
        } else if (c == QLatin1Char('\n')) {
            escaped += QLatin1String("\\n");
        } else if (c == QLatin1Char('\\') || c == QLatin1Char(';') || c == QLatin1Char(',')) {
            escaped += QLatin1Char('\\');
            escaped += c;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

QString UnescapeVCardValue(QStringView escaped) {
    QString value;
    value.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const QChar c = escaped[i];
        if (c != QLatin1Char('\\') || i + 1 == escaped.size()) {
            value += c;
            continue;
        }
        const QChar next = escaped[i + 1];
        if (next == QLatin1Char('n') || next == QLatin1Char('N')) {
            value += QLatin1Char('\n');
            ++i;
        } else if (next == QLatin1Char('\\') || next == QLatin1Char(';') ||
                   next == QLatin1Char(',')) {
            value += next;
            ++i;
        } else {
            value += c;
        }
    }
    return value;
}

QString JoinVCardParts(const QStringList& values) {
    qsizetype used = values.size();
    while (used > 0 && values[used - 1].isEmpty()) {
        --used;
    }
    QString joined;
    for (qsizetype i = 0; i < used; ++i) {
        if (i > 0) {
            joined += QLatin1Char(';');
        }
        joined += EscapeVCardValue(values[i]);
    }
    return joined;
}

QStringList SplitVCardParts(QStringView escaped, qsizetype count) {
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= escaped.size() && parts.size() < count; ++i) {
        if (i == escaped.size() || escaped[i] == QLatin1Char(';')) {
            parts << UnescapeVCardValue(escaped.sliced(start, i - start));
            start = i + 1;
        } else if (escaped[i] == QLatin1Char('\\') && i + 1 < escaped.size()) {
            ++i;  // the escaped character never splits
        }
    }
    while (parts.size() < count) {
        parts << QString();
    }
    return parts;
}

}  // namespace corvane
