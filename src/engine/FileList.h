#pragma once

// One record of a file list made by the folder walk. Filtered entries keep their place
// with an empty path; every consumer skips them.

#include <QString>
#include <vector>

namespace corvane {

enum FileListKind : int {
    kListFile = 0,
    kListFolder = 1,       // a folder with at least one visible entry
    kListEmptyFolder = 2,  // a folder with no visible entry
};

struct FileListEntry {
    QString path;  // full path, or the bare name when the walk was asked for names
    int kind = kListFile;

    bool operator==(const FileListEntry&) const = default;
};

using FileList = std::vector<FileListEntry>;

}  // namespace corvane
