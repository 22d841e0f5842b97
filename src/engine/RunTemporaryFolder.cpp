#include "engine/RunTemporaryFolder.h"

#include <stdlib.h>

#include <QDir>

#include "log/Log.h"
#include "model/FileName.h"
#include "platform/DataFolder.h"

namespace corvane {

RunTemporaryFolder::~RunTemporaryFolder() {
    if (!m_path.isEmpty()) {
        QDir(m_path).removeRecursively();
    }
}

bool RunTemporaryFolder::Create(const QString& prefix) {
    const QString folder = ResolveDataFolder() + QLatin1String("/tmp");
    if (m_path.isEmpty() && EnsureFolder(folder)) {
        // mkdtemp makes the folder with mode 0700 under a name no other file has.
        QByteArray pattern = FileNameToBytes(folder + QLatin1Char('/') + prefix) + "XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = FileNameFromBytes(pattern);
            return true;
        }
    }
    Log("  Error: cannot create a temporary folder in %s",
        qUtf8Printable(FileNameForDisplay(folder)));
    return false;
}

}  // namespace corvane
