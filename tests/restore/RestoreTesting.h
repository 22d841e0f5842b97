#pragma once

// What the restore tests share: the live tree they back up, damage and bring back, a
// restore record in one line, a folder's tree as text, and the answers a restore's
// questions get.

#include <QDir>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <vector>

#include "model/FileName.h"
#include "restore/RestoreRun.h"
#include "support/TempDir.h"
#include "support/Times.h"

namespace corvane::test {

inline const QStringList kDocsFiles = {"Docs/a.txt", "Docs/sub/b.txt", "Docs/sub/c.txt",
                                       "Docs/empty.txt", "single.cfg"};

// Below dir/live: Docs/a.txt "alpha", Docs/sub/b.txt "beta", Docs/sub/c.txt (`cSize`
// bytes), an empty Docs/empty.txt, the empty folder Docs/nothing and single.cfg
// "setting=1", every file modified at `time`.
inline void WriteDocsTree(const TempDir& dir, qint64 time, qsizetype cSize) {
    const QByteArray contents[] = {"alpha", "beta", QByteArray(cSize, 'c'), "", "setting=1"};
    for (qsizetype i = 0; i < kDocsFiles.size(); ++i) {
        SetMtime(dir.Write("live/" + kDocsFiles[i], contents[i]), time);
    }
    QDir().mkpath(dir.File("live/Docs/nothing"));
}

// The items of the task that backs the tree up: the folder "Docs", the file "single.cfg".
inline std::vector<SourceItem> DocsItems(const TempDir& dir) {
    return {MakePathItem(dir.File("live/Docs/"), kItemFolder, "Docs"),
            MakePathItem(dir.File("live/single.cfg"), kItemFile, "single.cfg")};
}

inline RestoreItem Item(const QString& source, const QString& archive,
                        std::optional<qint64> sourceTime, std::optional<qint64> archiveTime,
                        quint64 sourceSize, quint64 archiveSize) {
    RestoreItem item;
    item.sourceName = source;
    item.archiveName = archive;
    item.sourceTime = sourceTime;
    item.archiveTime = archiveTime;
    item.sourceSize = sourceSize;
    item.archiveSize = archiveSize;
    return item;
}

// Everything below `root`, sorted: "folder/", "file=content", "link->target".
inline QStringList TreeOf(const QString& root) {
    namespace fs = std::filesystem;
    QStringList tree;
    const fs::path base(FileNameToBytes(root).toStdString());
    std::error_code missing;  // a folder that is not there holds nothing
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(base, missing)) {
        const std::string relative = entry.path().lexically_relative(base).native();
        QString line = FileNameForDisplay(FileNameFromBytes(relative));
        if (entry.is_symlink()) {
            line += "->" + QString::fromStdString(fs::read_symlink(entry.path()).native());
        } else if (entry.is_directory()) {
            line += '/';
        } else {
            std::ifstream in(entry.path(), std::ios::binary);
            line +=
                '=' + QString::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
        }
        tree << line;
    }
    tree.sort();
    return tree;
}

// Answers a restore's questions as a test tells it to, and remembers what it was shown.
class ScriptedQuestions : public RestoreQuestions {
  public:
    int ChooseBackupCopy(const TaskRecord&) override {
        ++copyQuestions;
        return copyAnswer;
    }
    bool ChooseRestoreItems(std::vector<RestoreItem>& items) override {
        seen = items;
        if (edit) {
            edit(items);
        }
        return accept;
    }
    void RequestStop() override { stop = true; }

    int copyAnswer = 0;
    int copyQuestions = 0;
    bool accept = true;
    std::function<void(std::vector<RestoreItem>&)> edit;  // changes the checks, say
    std::vector<RestoreItem> seen;
    std::atomic<bool> stop{false};
};

}  // namespace corvane::test
