#pragma once

// The pending content of a ZIP run: what the stages collected for the archive step.
// Names in the archive use "/" as separator; a name ending in "/" is a folder entry.

#include <QString>
#include <vector>

#include "engine/StoredFiles.h"

namespace corvane {

struct ArchiveListEntry {
    QString sourcePath;
    QString nameInArchive;
    bool deleteAfter = false;  // a temporary file a stage made for the archive
    bool link = false;         // a symbolic link, stored as a link entry, never followed

    bool operator==(const ArchiveListEntry&) const = default;
};

class ArchiveList {
  public:
    void Add(const QString& sourcePath, const QString& nameInArchive, bool deleteAfter) {
        if (!nameInArchive.endsWith(QLatin1Char('/'))) {
            CountStoredFile();
        }
        m_entries.push_back({sourcePath, nameInArchive, deleteAfter});
    }
    void AddLink(const QString& sourcePath, const QString& nameInArchive) {
        CountStoredFile();
        m_entries.push_back({sourcePath, nameInArchive, false, true});
    }
    // Deletes every temporary source file from disk and clears its flag.
    void DeleteTemporaries();

    const std::vector<ArchiveListEntry>& Entries() const { return m_entries; }
    bool IsEmpty() const { return m_entries.empty(); }
    size_t Size() const { return m_entries.size(); }

  private:
    std::vector<ArchiveListEntry> m_entries;
};

}  // namespace corvane
