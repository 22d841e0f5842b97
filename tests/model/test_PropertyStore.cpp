#include "model/PropertyStore.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <csignal>
#include <functional>
#include <limits>

#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::FixturePath;
using test::ReadAll;
using test::TempDir;

std::string Std(const QString& text) {
    return text.toStdString();
}

// Names in the folder, to see that no temporary file stays behind.
QStringList FolderEntries(const QString& path) {
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// --- The exact form ---

TEST(PropertyStoreXml, OrdersNamesByTheirUtf8Bytes) {
    // U+FFFD sorts before U+1F600 in UTF-8, although its UTF-16 unit is above the
    // surrogate that starts U+1F600.
    // clang-format off
    const std::pair<const char*, const char*> smallerLarger[] = {
        {"Task10", "Task2"}, {"Task", "Task0"}, {"Main", "Task0"}, {"ZZ", "aa"},
        {"FTPPort", "archBurn"}, {"z", "\xc3\xa9"}, {"\xef\xbf\xbd", "\xf0\x9f\x98\x80"},
        {"\xee\x80\x80", "\xf0\x90\x80\x80"},
    };
    // clang-format on
    for (const auto& [smaller, larger] : smallerLarger) {
        EXPECT_TRUE(ByteOrderLess()(QString::fromUtf8(smaller), QString::fromUtf8(larger)))
            << smaller;
        EXPECT_FALSE(ByteOrderLess()(QString::fromUtf8(larger), QString::fromUtf8(smaller)))
            << smaller;
    }
}

TEST(PropertyStoreXml, WritesSectionsAndKeysInByteOrderWithoutDeclaration) {
    PropertyStore store;
    store.SetNumber("Task2", "taskName", 5);
    store.SetText("Task10", "taskName", "Ten");
    store.SetNumber("Main", "TasksCount", 3);
    store.SetText("Task0", "taskName", "Docs");
    store.SetNumber("Task0", "FTPPort", -21);
    store.SetText("Task0", "archBurn", QString::fromUtf8("a&b<c>d\"e'f\tg\nh\ri \xc3\xa9"));
    store.Value("Task0", "DeskShortcut");  // an empty value
    store.GetSection("Empty");

    const QByteArray expected =
        "<TasksList>"
        "<Empty/>"
        "<Main TasksCount=\"3\"/>"
        "<Task0 DeskShortcut=\"\" FTPPort=\"-21\" "
        "archBurn=\"a&amp;b&lt;c&gt;d&quot;e'f&#9;g&#10;h&#13;i \xc3\xa9\" taskName=\"Docs\"/>"
        "<Task10 taskName=\"Ten\"/>"
        "<Task2 taskName=\"5\"/>"
        "</TasksList>";
    TempDir dir;
    ASSERT_TRUE(store.SaveXml("TasksList", dir.File("tasks.bin")));
    EXPECT_EQ(ReadAll(dir.File("tasks.bin")), expected);
    EXPECT_EQ(PropertyStore().ToXml("GroupsData"), QByteArray("<GroupsData/>"));
}

struct RefusedCase {
    const char* label;
    QString root;
    QString section;
    QString key;
    QString value;
};

class RefusedStoreTest : public testing::TestWithParam<RefusedCase> {};

// What XML cannot carry is refused before anything is written, so an old file stays.
TEST_P(RefusedStoreTest, SaveFailsAndKeepsTheOldFile) {
    const RefusedCase& param = GetParam();
    PropertyStore store;
    store.SetText(param.section, param.key, param.value);
    TempDir dir;
    const QString path = dir.Write("tasks.bin", "<old/>");
    EXPECT_FALSE(store.SaveXml(param.root, path));
    EXPECT_FALSE(store.ErrorString().isEmpty());
    EXPECT_EQ(ReadAll(path), QByteArray("<old/>"));
    EXPECT_EQ(FolderEntries(dir.Path()), QStringList{"tasks.bin"});
}

INSTANTIATE_TEST_SUITE_P(
    Names, RefusedStoreTest,
    testing::Values(RefusedCase{"EmptyRoot", "", "S", "k", "v"},
                    RefusedCase{"RootWithBlank", "Tasks List", "S", "k", "v"},
                    RefusedCase{"SectionStartsWithDigit", "R", "1Task", "k", "v"},
                    RefusedCase{"EmptyKey", "R", "S", "", "v"},
                    RefusedCase{"KeyWithColon", "R", "S", "a:b", "v"},
                    RefusedCase{"KeyXmlns", "R", "S", "xmlns", "v"},
                    RefusedCase{"ControlCharacter", "R", "S", "k", QString(QChar(1))},
                    RefusedCase{"NonCharacter", "R", "S", "k", QString(QChar(0xFFFF))},
                    RefusedCase{"UnpairedSurrogate", "R", "S", "k", QString(QChar(0xD800))}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.label; });

// --- Round trips ---

TEST(PropertyStoreRoundTrip, TextsAndNumbersSurviveSaveLoadAndXmllint) {
    // clang-format off
    const char* const texts[] = {"", "plain", "a & b < c \" d > e ' f", "&amp; &#65; &lt;",
        "tab\there", "line\nbreak", "cr\rlf\r\n", "  blanks at both ends  ", "]]>",
        "Gr\xc3\xb6\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x98\x80", "C:\\Program Files\\x",
        "#YY_#MM_#DD"};
    // clang-format on
    PropertyStore store;
    for (size_t i = 0; i < std::size(texts); ++i) {
        store.SetText("Task0", QString("text%1").arg(i), QString::fromUtf8(texts[i]));
    }
    store.SetText(QString::fromUtf8("Gr\xc3\xb6\xc3\x9f"
                                    "e"),
                  QString::fromUtf8("\xc3\xa9t\xc3\xa9"), "x");
    store.SetNumber("Main", "low", std::numeric_limits<qint32>::min());
    store.SetNumber("Main", "high", std::numeric_limits<qint32>::max());
    store.SetText("Main", "empty", "");
    TempDir dir;
    ASSERT_TRUE(store.SaveXml("TasksList", dir.File("tasks.bin"))) << Std(store.ErrorString());
    PropertyStore loaded;
    ASSERT_TRUE(loaded.LoadXml(dir.File("tasks.bin"))) << Std(loaded.ErrorString());
    for (size_t i = 0; i < std::size(texts); ++i) {
        EXPECT_EQ(loaded.ReadText("Task0", QString("text%1").arg(i), "fallback"),
                  QString::fromUtf8(texts[i]));
    }
    EXPECT_EQ(loaded.ReadNumber("Main", "low", 0), std::numeric_limits<qint32>::min());
    EXPECT_EQ(loaded.ReadText("Main", "high"), QStringLiteral("2147483647"));
    // Empty text reads as 0; absent keys and sections give the fallback and make nothing.
    EXPECT_EQ(loaded.ReadNumber("Main", "empty", 99), 0);
    EXPECT_EQ(loaded.ReadNumber("Main", "missing", 99), 99);
    EXPECT_EQ(loaded.ReadText("Nowhere", "missing", "dflt"), QStringLiteral("dflt"));
    EXPECT_EQ(loaded.FindSection("Nowhere"), nullptr);

    if (QStandardPaths::findExecutable("xmllint").isEmpty()) {
        FAIL() << "xmllint is missing: apt-get install libxml2-utils";
    }
    const test::ToolResult xmllint = test::RunTool("xmllint", {"--noout", dir.File("tasks.bin")});
    EXPECT_EQ(xmllint.exitCode, 0) << Std(xmllint.output);
}

// --- C's atoi on text ---

TEST(PropertyStoreValues, TextConvertsToANumberLikeAtoi) {
    // Out of range: the low 32 bits of the 64-bit accumulation; (10^20 - 1) mod 2^64 is
    // 7766279631452241919, low 32 bits 1661992959. Full-width digits and the no-break
    // space are neither digits nor C spaces.
    // clang-format off
    const std::pair<const char*, qint32> cases[] = {
        {"21", 21}, {"-5", -5}, {"+7", 7}, {"  42", 42}, {"\t\n\v\f\r 8", 8}, {"12abc", 12},
        {"3.9", 3}, {"0x1A", 0}, {"abc", 0}, {"", 0}, {"-", 0}, {"- 5", 0}, {"+-5", 0},
        {"007", 7}, {"2147483647", 2147483647}, {"-2147483648", std::numeric_limits<qint32>::min()},
        {"2147483648", std::numeric_limits<qint32>::min()}, {"4294967297", 1}, {"-4294967295", 1},
        {"99999999999999999999", 1661992959}, {"\xef\xbc\x91", 0}, {"\xc2\xa0" "5", 0},
    };
    // clang-format on
    for (const auto& [text, expected] : cases) {
        PropertyStore store;
        store.SetText("S", "k", QString::fromUtf8(text));
        EXPECT_EQ(store.ReadNumber("S", "k", 12345), expected) << '"' << text << '"';
    }
}

// --- Numbered keys and sections ---

TEST(PropertyStoreNumbered, FindsCanonicalNumbersWithTextInRange) {
    PropertyStore store;
    for (const char* key :
         {"PrevBackup1DestFld", "PrevBackup2DestFld", "PrevBackup10DestFld", "PrevBackup0DestFld",
          "PrevBackup01DestFld", "PrevBackup+3DestFld", "PrevBackup-4DestFld", "PrevBackupDestFld",
          "PrevBackup5DestFldX", "PrevBackup6ArchName", "PrevBackup 7DestFld",
          "PrevBackup1e2DestFld", "PrevBackup99999999999999999999DestFld", "PrevBackup11DestFld",
          "XPrevBackup12DestFld", "PrevBackup2000000000DestFld", "PrevBackup2147483648DestFld"}) {
        store.SetText("Task0", key, "x");
    }
    store.SetNumber("Task0", "PrevBackup3DestFld", 1);  // not text

    using V = std::vector<qint64>;
    const QString prefix = "PrevBackup";
    const QString suffix = "DestFld";
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, suffix, 10), (V{1, 2, 10}));
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, suffix, 10, true), (V{0, 1, 2, 10}));
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, suffix, std::numeric_limits<qint64>::max()),
              (V{1, 2, 10, 11, 2000000000, 2147483648}));
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, suffix, 0), V{});
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, suffix, -1, true), V{});
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, "ArchName", 10), (V{6}));
    EXPECT_EQ(store.NumberedKeys("Missing", prefix, suffix, 10), V{});

    for (const char* name : {"Main", "Task0", "Task1", "Task2", "Task10", "Task010", "Task-1",
                             "Task", "TaskX", "Task3a", "Item0", "Task1999999999"}) {
        store.GetSection(name);
    }
    EXPECT_EQ(store.NumberedSections("Task", 10), (V{0, 1, 2, 10}));
    EXPECT_EQ(store.NumberedSections("Task", 1999999999), (V{0, 1, 2, 10, 1999999999}));
    EXPECT_EQ(store.NumberedSections("Task", -1), V{});
}

// A task with a long backup history: many numbered keys in one element and many
// sections. A stored count of two thousand million must not make a reader loop that
// often: this test would run for minutes if the limit were walked.
TEST(PropertyStoreNumbered, ManyKeysLoadAndAHugeLimitCostsNoTime) {
    constexpr int kKeys = 40000;
    QByteArray data = "<TasksList><Task0";
    for (int i = 1; i <= kKeys; ++i) {
        data +=
            " PrevBackup" + QByteArray::number(i) + "DestFld=\"/b/" + QByteArray::number(i) + "\"";
    }
    data += " PrevBackup1DestFld=\"repeated\"/>";
    for (int i = 1; i <= kKeys / 10; ++i) {
        data += "<Item" + QByteArray::number(i) + " Name=\"g\"/>";
    }
    PropertyStore store;
    ASSERT_TRUE(store.LoadXmlData(data + "</TasksList>")) << Std(store.ErrorString());
    EXPECT_EQ(store.FindSection("Task0")->size(), static_cast<std::size_t>(kKeys));
    EXPECT_EQ(store.ReadText("Task0", "PrevBackup1DestFld"), QStringLiteral("/b/1"));
    EXPECT_EQ(store.AllSections().size(), static_cast<std::size_t>(kKeys / 10 + 1));
    const std::vector<qint64> numbers =
        store.NumberedKeys("Task0", "PrevBackup", "DestFld", 2000000000);
    ASSERT_EQ(numbers.size(), static_cast<std::size_t>(kKeys));
    EXPECT_EQ(numbers.back(), kKeys);
}

// --- Loading ---

struct LoadCase {
    const char* file;
    const char* section;
    const char* key;
    const char* text;  // UTF-8; nullptr: the key is absent
    size_t sections = 2;
};

TEST(PropertyStoreLoad, ReadsEncodingsAndKeepsTheRulesForRepeatedNames) {
    const char* const kGreeting =
        "Gr\xc3\xb6\xc3\x9f"
        "e \xe2\x82\xac \xf0\x9f\x98\x80";
    const LoadCase cases[] = {
        {"utf16le-bom.xml", "Task0", "taskName", kGreeting},
        {"utf16be-bom.xml", "Task0", "taskName", kGreeting},
        {"utf16le-no-bom.xml", "Task0", "taskName", kGreeting},
        {"utf8-bom.xml", "Task0", "taskName", kGreeting},
        {"utf8-bom.xml", "Task0", "destPath", "/backup/#YY"},
        {"latin1-declared.xml", "Task0", "taskName", "caf\xc3\xa9"},
        // A repeated key keeps its first value; a repeated section its last element whole.
        {"duplicate-attribute.xml", "Main", "TasksCount", "1", 1},
        {"duplicate-attribute.xml", "Main", "other", "x", 1},
        {"duplicate-section.xml", "Task0", "taskName", "second"},
        {"duplicate-section.xml", "Task0", "destPath", nullptr},
        {"duplicate-section.xml", "Main", "TasksCount", "1"},
        // Only section elements count: no root attributes, nested elements, text, CDATA
        // or default attributes of the document type. Literal line breaks and tabs in a
        // value become blanks; the same characters written as references stay.
        {"other-nodes.xml", "Main", "TasksCount", "2"},
        {"other-nodes.xml", "Main", "Extra", nullptr},
        {"other-nodes.xml", "Task0", "taskName", "single quoted"},
        {"other-nodes.xml", "Task0", "destPath", "line one line two tabbed \tkept\nkept"},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.key);
        PropertyStore store;
        ASSERT_TRUE(store.LoadXml(FixturePath(QString("property-store/") + c.file)))
            << Std(store.ErrorString());
        EXPECT_EQ(store.HasText(c.section, c.key), c.text != nullptr);
        EXPECT_EQ(store.ReadText(c.section, c.key, "absent"),
                  c.text ? QString::fromUtf8(c.text) : "absent");
        EXPECT_EQ(store.AllSections().size(), c.sections);
    }
}

// Every file in property-store/broken must fail to load and leave the store empty.
TEST(PropertyStoreLoad, BrokenAndMissingFilesFailAndEmptyTheStore) {
    TempDir dir;
    QStringList paths = {dir.File("missing.xml"), dir.Path(),
                         FixturePath("property-store/doctype-entity-in-value.xml")};
    const QString broken = FixturePath("property-store/broken");
    const QStringList brokenFiles = FolderEntries(broken);
    EXPECT_EQ(brokenFiles.size(), 39) << "a fixture went missing";
    for (const QString& name : brokenFiles) {
        paths << broken + '/' + name;
    }
    for (const QString& path : paths) {
        SCOPED_TRACE(Std(path));
        PropertyStore store;
        store.SetText("Before", "k", "v");
        EXPECT_FALSE(store.LoadXml(path));
        EXPECT_TRUE(store.IsEmpty());
        EXPECT_FALSE(store.ErrorString().isEmpty());
    }
    PropertyStore store;
    EXPECT_FALSE(store.LoadXml(dir.File("missing.xml")));
    EXPECT_EQ(store.LastLoad().state, FileLoad::State::kMissing);
    EXPECT_FALSE(store.LoadXml(dir.Path()));
    EXPECT_EQ(store.LastLoad().state, FileLoad::State::kDamaged);
    // A good load replaces what the store held.
    store.SetText("Old", "k", "v");
    ASSERT_TRUE(store.LoadXmlData("<R><New k=\"1\"/></R>"));
    EXPECT_EQ(store.FindSection("Old"), nullptr);
    EXPECT_TRUE(store.ErrorString().isEmpty());
}

// A file nested three million levels deep took 888 MB to load: nesting beyond what a
// store could use is refused where it starts, at the cost of reading that far.
TEST(PropertyStoreLoad, DeepNestingIsRefusedWhereItStarts) {
    for (const int depth : {PropertyStore::kMaxNesting, PropertyStore::kMaxNesting + 1, 3000000}) {
        PropertyStore store;
        EXPECT_EQ(store.LoadXmlData(QByteArray("<a>").repeated(depth) +
                                    QByteArray("</a>").repeated(depth)),
                  depth <= 256);
        EXPECT_EQ(
            Std(store.LastLoad().error),
            depth <= 256 ? "" : "elements nested deeper than 256 levels at line 1, column 769");
    }
}

// --- Saving ---

// A save replaces the file whole with mode 0600 (or the mode asked for), or fails,
// leaves the old file as it was and no temporary beside it.
struct SaveCase {
    const char* label;
    mode_t umask;
    std::function<QString(const TempDir&)> prepare;  // answers the path to save to
    bool saves;
    bool worldReadable = false;  // save with mode 0644
    bool diskFull = false;       // every write past a few bytes fails, for root too
};

class PropertyStoreSaveTest : public testing::TestWithParam<SaveCase> {};

TEST_P(PropertyStoreSaveTest, ReplacesWholeOrLeavesTheOldFile) {
    const SaveCase& c = GetParam();
    TempDir dir;
    const QString path = c.prepare(dir);
    const QString folder = QFileInfo(path).path();
    const QByteArray before = ReadAll(path);
    const QStringList entriesBefore = FolderEntries(folder);
    PropertyStore store;
    store.SetText("Main", "k", QString(1000, u'x'));

    const mode_t oldMask = ::umask(c.umask);
    struct rlimit oldLimit {};
    ::getrlimit(RLIMIT_FSIZE, &oldLimit);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (c.diskFull) {
        struct rlimit small = oldLimit;
        small.rlim_cur = 16;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    const QFileDevice::Permissions permissions =
        c.worldReadable ? QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ReadGroup | QFileDevice::ReadOther
                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const bool saved = store.SaveXml("TasksList", path, permissions);
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    ::umask(oldMask);

    ASSERT_EQ(saved, c.saves) << Std(store.ErrorString());
    if (saved) {
        EXPECT_EQ(ReadAll(path),
                  "<TasksList><Main k=\"" + QByteArray(1000, 'x') + "\"/></TasksList>");
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.worldReadable ? 0644u : 0600u);
        EXPECT_EQ(FolderEntries(folder), QStringList{QFileInfo(path).fileName()});
    } else {
        EXPECT_FALSE(store.ErrorString().isEmpty());
        EXPECT_EQ(ReadAll(path), before);
        EXPECT_EQ(FolderEntries(folder), entriesBefore);
    }
}

QString NewFile(const TempDir& dir) {
    return dir.File("tasks.bin");
}
QString OldFile(const TempDir& dir) {
    const QString path = dir.Write("tasks.bin", "<old/>");
    ::chmod(QFile::encodeName(path).constData(), 0644);
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PropertyStoreSaveTest,
    testing::Values(
        SaveCase{"NewFileUmask0", 0, NewFile, true},
        SaveCase{"NewFileUmask077", 077, NewFile, true},
        SaveCase{"NewFileWorldReadable", 077, NewFile, true, true},
        SaveCase{"ReplacedWorldReadableFile", 022, OldFile, true},
        SaveCase{"DiskFullMidWrite", 022, OldFile, false, false, true},
        SaveCase{"OverAFolder", 022,
                 [](const TempDir& dir) {
                     dir.Write("tasks.bin/inside.txt", "keep");
                     return dir.File("tasks.bin");
                 },
                 false},
        SaveCase{"IntoMissingFolder", 022,
                 [](const TempDir& dir) { return dir.File("no/such/folder/tasks.bin"); }, false}),
    [](const testing::TestParamInfo<SaveCase>& info) { return info.param.label; });

TEST(PropertyStoreSave, SaveIntoReadOnlyFolderFailsAndKeepsOldFile) {
    TempDir dir;
    const QString folder = dir.File("ro");
    const QString path = dir.Write("ro/tasks.bin", "<old/>");
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0500), 0);
    struct Restore {
        QByteArray folder;
        ~Restore() { ::chmod(folder.constData(), 0700); }
    } restore{QFile::encodeName(folder)};
    if (::access(restore.folder.constData(), W_OK) == 0) {
        GTEST_SKIP() << "this user may write into read-only folders (root)";
    }
    PropertyStore store;
    store.SetText("Main", "k", "v");
    EXPECT_FALSE(store.SaveXml("TasksList", path));
    EXPECT_EQ(ReadAll(path), QByteArray("<old/>"));
    EXPECT_EQ(FolderEntries(folder), QStringList{"tasks.bin"});
}

}  // namespace
}  // namespace corvane
