#include "engine/FolderWalk.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/FileName.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::TempDir;

constexpr int kBoth = kListFolders | kListFiles;

FileList Walk(const QString& folder, int what = kBoth, bool recursive = true,
              bool fullPaths = true) {
    FileList list;
    ListFolder(folder, list, what, recursive, fullPaths);
    return list;
}

// Each entry as "path kind" (F file, D folder, E empty folder), the root cut off, sorted.
QStringList Shown(const FileList& list, const QString& root) {
    QStringList shown;
    for (const FileListEntry& entry : list) {
        shown << QString(entry.path).remove(root + "/") + " " + "FDEL"[entry.kind];
    }
    shown.sort();
    return shown;
}

// root/top.txt, root/a/x.txt, root/a/b/y z.txt, root/a/b/c/ (empty), root/Grüße/ (empty)
struct WalkCase {
    int what;
    bool recursive, fullPaths;
    const char* shown;  // joined with ", "
};

class ListFolderTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(ListFolderTest, ListsWhatWasAskedWithTheKinds) {
    TempDir dir;
    dir.Write("root/top.txt", "t");
    dir.Write("root/a/x.txt", "x");
    dir.Write("root/a/b/y z.txt", "y");
    QDir().mkpath(dir.File("root/a/b/c"));
    QDir().mkpath(dir.File("root/Grüße"));
    const WalkCase& c = GetParam();
    // A trailing "/" on the folder gives the same single-slash paths.
    for (const QString& root : {dir.File("root"), dir.File("root/")}) {
        EXPECT_EQ(Shown(Walk(root, c.what, c.recursive, c.fullPaths), dir.File("root")),
                  QString::fromUtf8(c.shown).split(", "));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Asks, ListFolderTest,
    ::testing::Values(WalkCase{kBoth, true, true,
                               "Grüße E, a D, a/b D, a/b/c E, a/b/y z.txt F, a/x.txt F, top.txt F"},
                      WalkCase{kBoth, true, false,
                               "Grüße E, a D, b D, c E, top.txt F, x.txt F, y z.txt F"},
                      WalkCase{kBoth, false, true, "Grüße E, a D, top.txt F"},
                      WalkCase{kListFiles, true, true, "a/b/y z.txt F, a/x.txt F, top.txt F"},
                      WalkCase{kListFolders, true, true, "Grüße E, a D, a/b D, a/b/c E"},
                      // What the folder-tree copy asks at each level.
                      WalkCase{kListFolders, false, false, "Grüße E, a D"}));

TEST(ListFolder, ContentsComeBeforeTheirFolder) {
    TempDir dir;
    // Many entries per folder make any pre-order slip visible whatever the disk order.
    for (int i = 0; i < 20; ++i) {
        dir.Write(QString("root/a/b/f%1").arg(i), "f");
        dir.Write(QString("root/a/g%1").arg(i), "g");
    }
    const FileList list = Walk(dir.File("root"));
    ASSERT_EQ(list.size(), 42u);
    for (size_t i = 0; i < list.size(); ++i) {
        for (size_t j = i + 1; IsFolderKind(list[i].kind) && j < list.size(); ++j) {
            EXPECT_FALSE(list[j].path.startsWith(list[i].path + "/"))
                << list[j].path.toStdString() << " comes after its folder";
        }
    }
}

TEST(ListFolder, AppendsToTheListAndIgnoresWhatIsNoFolder) {
    TempDir dir;
    FileList list = {{"earlier", kListFile}};
    ListFolder(dir.Write("root/one.txt", "1").chopped(8), list, kBoth, true, true);
    for (const QString& nothing : {dir.File("missing"), QString(), dir.File("root/one.txt")}) {
        ListFolder(nothing, list, kBoth, true, true);
        EXPECT_FALSE(FolderHasVisibleEntries(nothing));
    }
    EXPECT_EQ(list, (FileList{{"earlier", kListFile}, {dir.File("root/one.txt"), kListFile}}));
}

const QByteArray kSignature = "Signature: 8a477f597d28d172789f06886806bc55";

// Only a regular CACHEDIR.TAG that starts with the exact signature marks a cache folder.
// A restore or compare walks the stored copy as it lies, quietly: the cache rule describes
// what a backup leaves out, and a temporary left by a killed run is no part of the copy.
struct CacheCase {
    QByteArray tag;
    int what;
    bool tagOnly;
    size_t entries;  // the tag, sub/blob.bin, sub, the temporary, the folder
};

class CacheFolder : public ::testing::TestWithParam<CacheCase> {};

TEST_P(CacheFolder, KeepsOnlyItsValidTag) {
    TempDir dir;
    LogCapture log;
    dir.Write("root/cache/CACHEDIR.TAG", GetParam().tag);
    dir.Write("root/cache/sub/blob.bin", "b");
    dir.Write("root/cache/.blob.bin.corvane-Ab3dE9", "cut off by a kill");
    const QString cache = dir.File("root/cache");
    const FileList tagOnly = {{cache + "/CACHEDIR.TAG", kListFile}, {cache, kListFolder}};
    const FileList list = Walk(dir.File("root"), GetParam().what);
    EXPECT_EQ(list == tagOnly, GetParam().tagOnly);
    EXPECT_EQ(list.size(), GetParam().entries);
    EXPECT_EQ(log.Texts(), GetParam().tagOnly ? QStringList{"  Cache folder " + cache +
                                                            ": only its CACHEDIR.TAG is saved"}
                                              : QStringList());
}

INSTANTIATE_TEST_SUITE_P(Signatures, CacheFolder,
                         ::testing::Values(CacheCase{kSignature + "\n# x", kBoth, true, 2},
                                           CacheCase{kSignature, kBoth, true, 2},
                                           CacheCase{kSignature.chopped(1), kBoth, false, 5},
                                           CacheCase{"s" + kSignature.mid(1), kBoth, false, 5},
                                           CacheCase{kSignature, kBoth | kListStoredCopy, false,
                                                     4}));

// What a folder holds decides its kind and FolderHasVisibleEntries alike: anything but
// FIFOs and sockets counts, dot-entries and links (even dangling ones) included.
TEST(ListFolder, WhatAFolderHoldsDecidesItsKind) {
    TempDir dir;
    const QString root = dir.File("root");
    for (const char* folder : {"nothing", "fifo", "sub/sub", "dot/.git", "link", "dangling"}) {
        QDir().mkpath(root + "/" + folder);
    }
    ASSERT_EQ(::mkfifo(FileNameToBytes(root + "/fifo/p").constData(), 0600), 0);
    ASSERT_EQ(::symlink("/", FileNameToBytes(root + "/link/l").constData()), 0);
    ASSERT_EQ(::symlink("gone", FileNameToBytes(root + "/dangling/l").constData()), 0);
    const QStringList kinds = {"dangling D", "dot D", "fifo E", "link D", "nothing E", "sub D"};
    for (const QString& kind : kinds) {
        EXPECT_EQ(FolderHasVisibleEntries(root + "/" + kind.chopped(2)), kind.endsWith('D'))
            << kind.toStdString();
    }
    // Recursive walks learn the kind while walking, flat walks by looking inside.
    for (const bool recursive : {true, false}) {
        const QStringList shown = Shown(Walk(root, kListFolders, recursive), root);
        EXPECT_EQ(shown.filter(QRegularExpression("^[a-z]+ [DE]$")), kinds) << recursive;
    }
}

}  // namespace
}  // namespace corvane
