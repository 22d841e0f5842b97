#include "restore/SafePath.h"

#include <QList>

#include "log/Log.h"
#include "model/FileName.h"

namespace corvane {

bool HasParentComponent(QStringView path) {
    for (const QStringView component : path.split(u'/')) {
        if (component == u"..") {
            return true;
        }
    }
    return false;
}

bool IsSafeRestorePath(const QString& path) {
    return path.startsWith(u'/') && !HasParentComponent(path);
}

bool IsSafeEntryName(const QString& name) {
    QString path = name;
    path.replace(u'\\', u'/');
    if (path.isEmpty() || path.startsWith(u'/') || path.contains(QChar(0))) {
        return false;
    }
    // "C:x" names the current folder of drive C on the system the archive came from;
    // such a name is no path below the target.
    const char16_t first = path[0].unicode();
    if (path.size() >= 2 && path[1] == u':' &&
        ((first >= u'A' && first <= u'Z') || (first >= u'a' && first <= u'z'))) {
        return false;
    }
    return !HasParentComponent(path);
}

void LogUnsafePath(const QString& name) {
    Log("  Error: unsafe path '%s' skipped", qUtf8Printable(FileNameForDisplay(name)));
}

}  // namespace corvane
