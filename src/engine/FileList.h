#pragma once

// One record of a file list made by the folder walk. Filtered entries keep their place
// with an empty path; every consumer skips them.

#include <QString>
#include <vector>

namespace corvane {

enum FileListKind : int {
    kListFile = 0,
    kListFolder = 1,       // a folder with at least one listed entry
    kListEmptyFolder = 2,  // a folder with no listed entry
    kListLink = 3,         // a symbolic link, saved as the link itself, never followed
};

// Files and links are the leaves of a walk: filters look at their names, and a run
// saves them one by one; folders are made, never filtered.
inline bool IsFolderKind(int kind) {
    return kind == kListFolder || kind == kListEmptyFolder;
}

struct FileListEntry {
    QString path;  // full path, or the bare name when the walk was asked for names
    int kind = kListFile;

    bool operator==(const FileListEntry&) const = default;
};

using FileList = std::vector<FileListEntry>;

}  // namespace corvane
