#include "sources/VCard21Value.h"

#include "platform/VCardLine.h"

namespace corvane {

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
        joined += EscapeVCardText(values[i]);
    }
    return joined;
}

QStringList SplitVCardParts(const QString& escaped, qsizetype count) {
    QStringList parts = SplitVCardComponents(escaped);
    parts.resize(count);
    return parts;
}

}  // namespace corvane
