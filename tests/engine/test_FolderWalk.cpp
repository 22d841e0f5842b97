#include "engine/FolderWalk.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <functional>

#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace corvane {

// Lets a failed comparison print the entries.
void PrintTo(const FileListEntry& entry, std::ostream* out) {
    *out << "{\"" << entry.path.toStdString() << "\", " << entry.kind << "}";
}

namespace {

using test::LogCapture;
using test::TempDir;

constexpr int kBoth = kListFolders | kListFiles;

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

void MakeFolder(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString();
}

void MakeFifo(const QString& path) {
    ASSERT_EQ(::mkfifo(Native(path).constData(), 0600), 0) << path.toStdString();
}

// A listening-capable socket file, as a running program leaves one.
void MakeSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = Native(path);
    ASSERT_LT(static_cast<size_t>(native.size()), sizeof address.sun_path);
    std::copy(native.begin(), native.end(), address.sun_path);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(fd);
    ASSERT_EQ(bound, 0) << path.toStdString();
}

void MakeLink(const QString& target, const QString& link) {
    ASSERT_EQ(::symlink(Native(target).constData(), Native(link).constData()), 0)
        << link.toStdString();
}

FileList Walk(const QString& folder, int what = kBoth, bool recursive = true,
              bool fullPaths = true) {
    FileList list;
    ListFolder(folder, list, what, recursive, fullPaths);
    return list;
}

FileList Sorted(FileList list) {
    std::sort(list.begin(), list.end(),
              [](const FileListEntry& a, const FileListEntry& b) { return a.path < b.path; });
    return list;
}

// The usual source: files at two depths, a folder with content and an empty one.
//   root/top.txt, root/a/x.txt, root/a/b/y.txt, root/a/b/c/ (empty), root/d/ (empty)
void MakeTree(const TempDir& dir) {
    dir.Write("root/top.txt", "t");
    dir.Write("root/a/x.txt", "x");
    dir.Write("root/a/b/y.txt", "y");
    MakeFolder(dir.File("root/a/b/c"));
    MakeFolder(dir.File("root/d"));
}

TEST(ListFolder, ListsFilesAndFoldersWithTheirKinds) {
    TempDir dir;
    MakeTree(dir);
    const QString root = dir.File("root");
    const FileList expected = {
        {root + "/a", kListFolder},          {root + "/a/b", kListFolder},
        {root + "/a/b/c", kListEmptyFolder}, {root + "/a/b/y.txt", kListFile},
        {root + "/a/x.txt", kListFile},      {root + "/d", kListEmptyFolder},
        {root + "/top.txt", kListFile},
    };
    EXPECT_EQ(Sorted(Walk(root)), expected);
}

TEST(ListFolder, ContentsComeBeforeTheirFolder) {
    TempDir dir;
    MakeTree(dir);
    // More entries per folder make any pre-order slip visible whatever the disk order.
    for (int i = 0; i < 20; ++i) {
        dir.Write(QString("root/a/b/f%1").arg(i), "f");
        dir.Write(QString("root/a/g%1").arg(i), "g");
    }
    const FileList list = Walk(dir.File("root"));
    ASSERT_EQ(list.size(), 47u);
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].kind == kListFile) {
            continue;
        }
        const QString inside = list[i].path + "/";
        for (size_t j = i + 1; j < list.size(); ++j) {
            EXPECT_FALSE(list[j].path.startsWith(inside))
                << list[j].path.toStdString() << " comes after its folder";
        }
    }
}

TEST(ListFolder, KeepsTheFileSystemOrder) {
    TempDir dir;
    for (int i = 0; i < 60; ++i) {
        dir.Write(QString("root/file%1.txt").arg(i), "x");
    }
    QStringList diskOrder;
    QDirIterator it(dir.File("root"), QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        diskOrder << it.next();
    }
    QStringList walked;
    for (const FileListEntry& entry : Walk(dir.File("root"))) {
        walked << entry.path;
    }
    EXPECT_EQ(walked, diskOrder);
}

TEST(ListFolder, NamesOnlyAndNotRecursive) {
    TempDir dir;
    MakeTree(dir);
    const QString root = dir.File("root");

    const FileList namesOnly = {
        {"a", kListFolder}, {"b", kListFolder},   {"c", kListEmptyFolder}, {"d", kListEmptyFolder},
        {"top.txt", 0},     {"x.txt", kListFile}, {"y.txt", kListFile},
    };
    EXPECT_EQ(Sorted(Walk(root, kBoth, true, false)), namesOnly);

    const FileList topLevel = {{root + "/a", kListFolder},
                               {root + "/d", kListEmptyFolder},
                               {root + "/top.txt", kListFile}};
    EXPECT_EQ(Sorted(Walk(root, kBoth, false, true)), topLevel);
}

TEST(ListFolder, WhatSelectsFilesOrFolders) {
    TempDir dir;
    MakeTree(dir);
    const QString root = dir.File("root");

    const FileList files = {{root + "/a/b/y.txt", kListFile},
                            {root + "/a/x.txt", kListFile},
                            {root + "/top.txt", kListFile}};
    EXPECT_EQ(Sorted(Walk(root, kListFiles)), files);

    const FileList folders = {{root + "/a", kListFolder},
                              {root + "/a/b", kListFolder},
                              {root + "/a/b/c", kListEmptyFolder},
                              {root + "/d", kListEmptyFolder}};
    EXPECT_EQ(Sorted(Walk(root, kListFolders)), folders);

    // What the folder-tree copy asks at each level.
    const FileList names = {{"a", kListFolder}, {"d", kListEmptyFolder}};
    EXPECT_EQ(Sorted(Walk(root, kListFolders, false, false)), names);
}

TEST(ListFolder, FolderWithTrailingSlashGivesSingleSlashes) {
    TempDir dir;
    MakeTree(dir);
    const QString root = dir.File("root");
    EXPECT_EQ(Sorted(Walk(root + "/")), Sorted(Walk(root)));
}

TEST(ListFolder, AppendsToTheListAndIgnoresMissingFolders) {
    TempDir dir;
    dir.Write("root/one.txt", "1");
    FileList list = {{"earlier", kListFile}};
    ListFolder(dir.File("root"), list, kBoth, true, true);
    ListFolder(dir.File("missing"), list, kBoth, true, true);
    ListFolder(QString(), list, kBoth, true, true);
    ListFolder(dir.File("root/one.txt"), list, kBoth, true, true);  // a file, not a folder
    const FileList expected = {{"earlier", kListFile}, {dir.File("root/one.txt"), kListFile}};
    EXPECT_EQ(list, expected);
}

// Only a regular CACHEDIR.TAG that starts with the exact signature marks a cache folder.
class CacheFolder : public ::testing::TestWithParam<std::pair<QByteArray, bool>> {};

TEST_P(CacheFolder, KeepsOnlyItsValidTag) {
    TempDir dir;
    LogCapture log;
    dir.Write("root/cache/CACHEDIR.TAG", GetParam().first);
    dir.Write("root/cache/sub/blob.bin", "b");
    const QString cache = dir.File("root/cache");
    const FileList tagOnly = {{cache + "/CACHEDIR.TAG", kListFile}, {cache, kListFolder}};
    EXPECT_EQ(Walk(dir.File("root")) == tagOnly, GetParam().second);
    EXPECT_EQ(log.Texts().contains("  Cache folder " + cache + ": only its CACHEDIR.TAG is saved"),
              GetParam().second);
}

// A restore or compare walks the stored copy as it lies: the cache rule describes what a
// backup leaves out, and its line would mislead there; a temporary left by a killed run
// is no part of the copy.
TEST(CacheFolder, StoredCopyIsWalkedWholeAndQuietly) {
    TempDir dir;
    LogCapture log;
    dir.Write("root/cache/CACHEDIR.TAG", "Signature: 8a477f597d28d172789f06886806bc55");
    dir.Write("root/cache/blob.bin", "b");
    dir.Write("root/cache/.blob.bin.corvane-Ab3dE9", "cut off by a kill");
    EXPECT_EQ(Walk(dir.File("root"), kBoth | kListStoredCopy).size(), 3u);
    EXPECT_TRUE(log.Texts().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Signatures, CacheFolder,
    ::testing::Values(std::pair{QByteArray("Signature: 8a477f597d28d172789f06886806bc55\n# x"),
                                true},
                      std::pair{QByteArray("Signature: 8a477f597d28d172789f06886806bc55"), true},
                      std::pair{QByteArray("Signature: 8a477f597d28d172789f06886806bc5"), false},
                      std::pair{QByteArray("signature: 8a477f597d28d172789f06886806bc55"), false}));

TEST(ListFolder, NonAsciiAndBlankNames) {
    TempDir dir;
    dir.Write("root/Grüße aus Köln/naïve résumé.txt", "r");
    dir.Write("root/日本語 ファイル.txt", "j");
    dir.Write("root/emoji 😀.txt", "e");
    const QString root = dir.File("root");
    const FileList expected = {
        {root + QString("/Grüße aus Köln"), kListFolder},
        {root + QString("/Grüße aus Köln/naïve résumé.txt"), kListFile},
        {root + QString("/emoji 😀.txt"), kListFile},
        {root + QString("/日本語 ファイル.txt"), kListFile},
    };
    EXPECT_EQ(Sorted(Walk(root)), expected);
}

// What a folder holds decides its kind and FolderHasVisibleEntries alike.
struct VisibilityCase {
    const char* name;
    std::function<void(const TempDir&, const QString&)> fill;
    bool visible;
};

class FolderVisibility : public ::testing::TestWithParam<VisibilityCase> {};

TEST_P(FolderVisibility, DecidesKindAndAnswer) {
    TempDir dir;
    const QString folder = dir.File("root/probe");
    MakeFolder(folder);
    dir.Write("target.txt", "t");
    MakeFolder(dir.File("target-folder"));
    GetParam().fill(dir, folder);

    EXPECT_EQ(FolderHasVisibleEntries(folder), GetParam().visible);
    const int kind = GetParam().visible ? kListFolder : kListEmptyFolder;
    const FileListEntry entry{folder, kind};
    // Recursive walks learn the kind while walking, flat walks by looking inside.
    for (const bool recursive : {true, false}) {
        const FileList list = Walk(dir.File("root"), kListFolders, recursive);
        ASSERT_FALSE(list.empty());
        EXPECT_EQ(list.back(), entry) << "recursive " << recursive;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderVisibility,
    ::testing::Values(
        VisibilityCase{"Nothing", [](const TempDir&, const QString&) {}, false},
        VisibilityCase{"File",
                       [](const TempDir& d, const QString&) { d.Write("root/probe/f", ""); }, true},
        VisibilityCase{"EmptySubfolder",
                       [](const TempDir&, const QString& f) { MakeFolder(f + "/sub"); }, true},
        VisibilityCase{"OnlyDotEntries",
                       [](const TempDir& d, const QString& f) {
                           d.Write("root/probe/.h", "");
                           MakeFolder(f + "/.git");
                       },
                       true},
        VisibilityCase{"OnlyFifoAndSocket",
                       [](const TempDir&, const QString& f) {
                           MakeFifo(f + "/fifo");
                           MakeSocket(f + "/sock");
                       },
                       false},
        VisibilityCase{
            "OnlyFolderLink",
            [](const TempDir& d, const QString& f) { MakeLink(d.File("target-folder"), f + "/l"); },
            true},
        VisibilityCase{
            "OnlyDanglingLink",
            [](const TempDir& d, const QString& f) { MakeLink(d.File("gone"), f + "/l"); }, true},
        VisibilityCase{
            "OnlyFileLink",
            [](const TempDir& d, const QString& f) { MakeLink(d.File("target.txt"), f + "/l"); },
            true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FolderHasVisibleEntries, MissingOrEmptyPathIsFalse) {
    TempDir dir;
    EXPECT_FALSE(FolderHasVisibleEntries(dir.File("missing")));
    EXPECT_FALSE(FolderHasVisibleEntries(QString()));
}

}  // namespace
}  // namespace corvane
