#include "engine/ArchiveList.h"

#include <unistd.h>

#include "model/FileName.h"

namespace corvane {

void ArchiveList::DeleteTemporaries() {
    for (ArchiveListEntry& entry : m_entries) {
        if (entry.deleteAfter) {
            ::unlink(FileNameToBytes(entry.sourcePath).constData());
            entry.deleteAfter = false;
        }
    }
}

}  // namespace corvane
