#include "engine/RunTemporary.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "log/Log.h"
#include "model/FileName.h"
#include "platform/DataFolder.h"

namespace corvane {

RunTemporary::~RunTemporary() {
    Remove();
}

bool RunTemporary::Create(const QString& prefix) {
    Remove();
    const QString folder = ResolveDataFolder() + QLatin1String("/tmp");
    if (EnsureFolder(folder)) {
        // mkstemp makes the file with mode 0600 under a name no other file has.
        QByteArray pattern = FileNameToBytes(folder + QLatin1Char('/') + prefix) + "XXXXXX";
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            m_path = FileNameFromBytes(pattern);
            return true;
        }
    }
    Log("  Error: cannot create a temporary file in %s",
        qUtf8Printable(FileNameForDisplay(folder)));
    return false;
}

void RunTemporary::Remove() {
    if (!m_path.isEmpty()) {
        ::unlink(FileNameToBytes(m_path).constData());
        m_path.clear();
    }
}

}  // namespace corvane
