#include "restore/RestoreStatus.h"

#include <QDateTime>

#include "model/CalendarTime.h"
#include "model/TimeText.h"

namespace corvane {

bool IsRegistryOrContactLine(const RestoreItem& item) {
    const QString& source = item.sourceName;
    return source.startsWith(QLatin1String("HKEY_")) ||
           source.startsWith(QLatin1String("Contact:")) ||
           source.startsWith(QLatin1String("Contacts: all"));
}

RestoreStatus StatusOf(const RestoreItem& item) {
    if (IsRegistryOrContactLine(item)) {
        return RestoreStatus::kNone;
    }
    if (item.sourceName.isEmpty()) {
        return RestoreStatus::kDeleted;
    }
    // A side without a time (a stored copy that could not be read) compares as time 0.
    const qint64 sourceTime = item.sourceTime.value_or(0);
    const qint64 archiveTime = item.archiveTime.value_or(0);
    if (item.sameLink.value_or(item.sourceSize == item.archiveSize && sourceTime == archiveTime)) {
        return RestoreStatus::kIdentical;
    }
    if (sourceTime > archiveTime) {
        return RestoreStatus::kNewer;
    }
    if (sourceTime < archiveTime) {
        return RestoreStatus::kOlder;
    }
    return RestoreStatus::kNone;
}

QString StatusText(RestoreStatus status) {
    switch (status) {
        case RestoreStatus::kIdentical:
            return QStringLiteral("identical");
        case RestoreStatus::kNewer:
            return QStringLiteral("newer");
        case RestoreStatus::kOlder:
            return QStringLiteral("older");
        case RestoreStatus::kDeleted:
            return QStringLiteral("deleted");
        case RestoreStatus::kNone:
            break;
    }
    return QString();
}

QString SourceColumnText(const RestoreItem& item) {
    return item.sourceName.isEmpty() ? QStringLiteral("file not found") : item.sourceName;
}

QString TimeColumnText(const std::optional<qint64>& time) {
    if (!time) {
        return QString();
    }
    return ShortDateTimeText(CalendarTimeFromDateTime(QDateTime::fromSecsSinceEpoch(*time)));
}

}  // namespace corvane
