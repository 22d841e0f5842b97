#include "model/PropertyStore.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <csignal>
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

// U+FFFD sorts before U+1F600 in UTF-8, although its UTF-16 unit is above the surrogate
// that starts U+1F600.
TEST(PropertyStoreXml, WritesSectionsAndKeysInUtf8ByteOrderWithoutDeclaration) {
    PropertyStore store;
    store.SetNumber("Main", "\xf0\x9f\x98\x80", 2);
    store.SetNumber("Main", QString(QChar(0xFFFD)), 1);
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
        "<Main TasksCount=\"3\" \xef\xbf\xbd=\"1\" \xf0\x9f\x98\x80=\"2\"/>"
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

// clang-format off
INSTANTIATE_TEST_SUITE_P(Names, RefusedStoreTest, testing::Values(
    RefusedCase{"EmptyRoot", "", "S", "k", "v"}, RefusedCase{"Blank", "Tasks List", "S", "k", "v"},
    RefusedCase{"SectionDigit", "R", "1Task", "k", "v"}, RefusedCase{"EmptyKey", "R", "S", "", "v"},
    RefusedCase{"KeyColon", "R", "S", "a:b", "v"}, RefusedCase{"KeyXmlns", "R", "S", "xmlns", "v"},
    RefusedCase{"ControlCharacter", "R", "S", "k", QString(QChar(1))},
    RefusedCase{"NonCharacter", "R", "S", "k", QString(QChar(0xFFFF))},
    RefusedCase{"UnpairedSurrogate", "R", "S", "k", QString(QChar(0xD800))}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.label; });
// clang-format on

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
    // An absent section gives the fallback and is not made by reading.
    EXPECT_EQ(loaded.ReadText("Nowhere", "missing", "dflt"), QStringLiteral("dflt"));
    EXPECT_EQ(loaded.FindSection("Nowhere"), nullptr);

    ASSERT_FALSE(QStandardPaths::findExecutable("xmllint").isEmpty())
        << "xmllint is missing: apt-get install libxml2-utils";
    const test::ToolResult xmllint = test::RunTool("xmllint", {"--noout", dir.File("tasks.bin")});
    EXPECT_EQ(xmllint.exitCode, 0) << Std(xmllint.output);
}

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
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, "ArchName", 10), (V{6}));

    for (const char* name : {"Main", "Task0", "Task1", "Task2", "Task10", "Task010", "Task-1",
                             "Task", "TaskX", "Task3a", "Item0", "Task1999999999"}) {
        store.GetSection(name);
    }
    EXPECT_EQ(store.NumberedSections("Task", 10), (V{0, 1, 2, 10}));
    EXPECT_EQ(store.NumberedSections("Task", 1999999999), (V{0, 1, 2, 10, 1999999999}));
    EXPECT_EQ(store.NumberedSections("Task", -1), V{});
}

// A task with a long backup history: many numbered keys in one element. A stored count of two
// thousand million must not make a reader loop that often: this test would run for minutes if the
// limit were walked.
TEST(PropertyStoreNumbered, ManyKeysLoadAndAHugeLimitCostsNoTime) {
    constexpr int kKeys = 40000;
    QByteArray data = "<TasksList><Task0";
    for (int i = 1; i <= kKeys; ++i) {
        data +=
            " PrevBackup" + QByteArray::number(i) + "DestFld=\"/b/" + QByteArray::number(i) + "\"";
    }
    PropertyStore store;
    ASSERT_TRUE(store.LoadXmlData(data + "/></TasksList>")) << Std(store.ErrorString());
    EXPECT_EQ(store.FindSection("Task0")->size(), static_cast<std::size_t>(kKeys));
    const std::vector<qint64> numbers =
        store.NumberedKeys("Task0", "PrevBackup", "DestFld", 2000000000);
    ASSERT_EQ(numbers.size(), static_cast<std::size_t>(kKeys));
    EXPECT_EQ(numbers.back(), kKeys);
}

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
        {"utf8-bom.xml", "Task0", "taskName", kGreeting},
        {"utf16be-bom.xml", "Task0", "taskName", kGreeting},
        {"utf16le-no-bom.xml", "Task0", "taskName", kGreeting},
        {"latin1-declared.xml", "Task0", "taskName", "caf\xc3\xa9"},
        // A repeated key keeps its first value; a repeated section its last element whole.
        {"duplicate-attribute.xml", "Main", "TasksCount", "1", 1},
        {"duplicate-attribute.xml", "Main", "other", "x", 1},
        {"duplicate-section.xml", "Task0", "taskName", "second"},
        {"duplicate-section.xml", "Task0", "destPath", nullptr},
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

// A save replaces the file whole with mode 0600 (or the mode asked for) whatever the
// umask, or fails, leaves the old file as it was and no temporary beside it.
TEST(PropertyStoreSave, ReplacesWholeOrLeavesTheOldFile) {
    enum Place { kNew, kOld, kOverFolder, kMissingFolder };
    // clang-format off
    const struct {
        Place place;
        mode_t umask;
        bool saves;
        bool worldReadable;  // save with mode 0644
        bool diskFull;       // every write past a few bytes fails, for root too
    } cases[] = {{kNew, 0, true, false, false}, {kNew, 077, true, false, false},
                 {kNew, 077, true, true, false}, {kOld, 022, true, false, false},
                 {kOld, 022, false, false, true}, {kOverFolder, 022, false, false, false},
                 {kMissingFolder, 022, false, false, false}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "place " << c.place << ", umask " << c.umask);
        TempDir dir;
        const QString path =
            dir.File(c.place == kMissingFolder ? "no/folder/tasks.bin" : "tasks.bin");
        if (c.place == kOld) {
            ::chmod(QFile::encodeName(dir.Write("tasks.bin", "<old/>")).constData(), 0644);
        } else if (c.place == kOverFolder) {
            dir.Write("tasks.bin/inside.txt", "keep");
        }
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
        const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        const bool saved = store.SaveXml(
            "TasksList", path,
            c.worldReadable ? owner | QFileDevice::ReadGroup | QFileDevice::ReadOther : owner);
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
            EXPECT_EQ(FolderEntries(folder), QStringList{"tasks.bin"});
        } else {
            EXPECT_FALSE(store.ErrorString().isEmpty());
            EXPECT_EQ(ReadAll(path), before);
            EXPECT_EQ(FolderEntries(folder), entriesBefore);
        }
    }
}

}  // namespace
}  // namespace corvane
