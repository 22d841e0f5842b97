#include "engine/ArchiveList.h"

#include <QFile>

namespace corvane {

void ArchiveList::DeleteTemporaries() {
    for (ArchiveListEntry& entry : m_entries) {
        if (entry.deleteAfter) {
            QFile::remove(entry.sourcePath);
            entry.deleteAfter = false;
        }
    }
}

}  // namespace corvane
