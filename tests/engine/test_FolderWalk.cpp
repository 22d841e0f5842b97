#include "engine/FolderWalk.h"

#include <QDir>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <functional>

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

// What a folder holds decides its kind and FolderHasVisibleEntries alike: anything but
// FIFOs and sockets counts, dot-entries and links (even dangling ones) included.
void MakeSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = FileNameToBytes(path);
    std::copy(native.begin(), native.end(), address.sun_path);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

struct VisibilityCase {
    const char* name;
    std::function<void(const QString& probe)> fill;
    bool visible;
};

class FolderVisibility : public ::testing::TestWithParam<VisibilityCase> {};

TEST_P(FolderVisibility, DecidesKindAndAnswer) {
    TempDir dir;
    const QString folder = dir.File("root/probe");
    QDir().mkpath(folder);
    GetParam().fill(folder);
    EXPECT_EQ(FolderHasVisibleEntries(folder), GetParam().visible);
    const FileListEntry entry{folder, GetParam().visible ? kListFolder : kListEmptyFolder};
    // Recursive walks learn the kind while walking, flat walks by looking inside.
    for (const bool recursive : {true, false}) {
        const FileList list = Walk(dir.File("root"), kListFolders, recursive);
        ASSERT_FALSE(list.empty());
        EXPECT_TRUE(list.back() == entry) << "recursive " << recursive;
    }
}

void Link(const char* target, const QString& link) {
    EXPECT_EQ(::symlink(target, FileNameToBytes(link).constData()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderVisibility,
    ::testing::Values(
        VisibilityCase{"Nothing", [](const QString&) {}, false},
        VisibilityCase{"EmptySubfolder", [](const QString& f) { QDir().mkpath(f + "/sub"); }, true},
        VisibilityCase{"OnlyDotFolder", [](const QString& f) { QDir().mkpath(f + "/.git"); }, true},
        VisibilityCase{"OnlyFifoAndSocket",
                       [](const QString& f) {
                           ::mkfifo(FileNameToBytes(f + "/fifo").constData(), 0600);
                           MakeSocket(f + "/sock");
                       },
                       false},
        VisibilityCase{"OnlyFolderLink", [](const QString& f) { Link("/", f + "/l"); }, true},
        VisibilityCase{"OnlyDanglingLink", [](const QString& f) { Link("gone", f + "/l"); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane
