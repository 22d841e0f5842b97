#include "model/PropertyStore.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <limits>
#include <set>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace corvane {
namespace {

using test::FixturePath;
using test::ReadAll;
using test::TempDir;

std::string Std(const QString& text) {
    return text.toStdString();
}

// Saves and loads again through a real file.
PropertyStore RoundTrip(const PropertyStore& store) {
    TempDir dir;
    const QString path = dir.File("store.xml");
    EXPECT_TRUE(store.SaveXml(QStringLiteral("Root"), path)) << Std(store.ErrorString());
    PropertyStore loaded;
    EXPECT_TRUE(loaded.LoadXml(path)) << Std(loaded.ErrorString());
    return loaded;
}

mode_t FileMode(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << Std(path);
    return info.st_mode & 07777;
}

// Names in the folder, to see that no temporary file stays behind.
QStringList FolderEntries(const QString& path) {
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// --- Order of names ---

struct OrderCase {
    const char* smaller;  // UTF-8
    const char* larger;
};

void PrintTo(const OrderCase& param, std::ostream* out) {
    *out << param.smaller << " < " << param.larger;
}

class ByteOrderTest : public testing::TestWithParam<OrderCase> {};

TEST_P(ByteOrderTest, OrdersByUtf8Bytes) {
    const QString smaller = QString::fromUtf8(GetParam().smaller);
    const QString larger = QString::fromUtf8(GetParam().larger);
    ASSERT_LT(QByteArray(GetParam().smaller), QByteArray(GetParam().larger));
    EXPECT_TRUE(ByteOrderLess()(smaller, larger));
    EXPECT_FALSE(ByteOrderLess()(larger, smaller));
    EXPECT_FALSE(ByteOrderLess()(smaller, smaller));
}

INSTANTIATE_TEST_SUITE_P(Names, ByteOrderTest,
                         testing::Values(OrderCase{"Task10", "Task2"}, OrderCase{"Task", "Task0"},
                                         OrderCase{"Main", "Task0"}, OrderCase{"ZZ", "aa"},
                                         OrderCase{"FTPPort", "archBurn"},
                                         OrderCase{"DeskShortcut", "ExclFilter"},
                                         OrderCase{"z", "\xc3\xa9"},  // U+00E9 after ASCII
                                         // U+FFFD sorts before U+1F600 in UTF-8, although its
                                         // UTF-16 unit is above the surrogate that starts U+1F600.
                                         OrderCase{"\xef\xbf\xbd", "\xf0\x9f\x98\x80"},
                                         OrderCase{"\xee\x80\x80", "\xf0\x90\x80\x80"}));

// --- The exact form ---

TEST(PropertyStoreXml, WritesSectionsAndKeysInByteOrderWithoutDeclaration) {
    PropertyStore store;
    store.SetNumber("Task2", "taskName", 5);
    store.SetText("Task10", "taskName", "Ten");
    store.SetNumber("Main", "TasksCount", 3);
    store.SetText("Task0", "taskName", "Docs");
    store.SetNumber("Task0", "FTPPort", -21);
    store.SetText("Task0", "archBurn", "");
    store.Value("Task0", "DeskShortcut");  // an empty value
    store.GetSection("Empty");

    const QByteArray expected =
        "<TasksList>"
        "<Empty/>"
        "<Main TasksCount=\"3\"/>"
        "<Task0 DeskShortcut=\"\" FTPPort=\"-21\" archBurn=\"\" taskName=\"Docs\"/>"
        "<Task10 taskName=\"Ten\"/>"
        "<Task2 taskName=\"5\"/>"
        "</TasksList>";
    EXPECT_EQ(store.ToXml("TasksList"), expected);

    TempDir dir;
    ASSERT_TRUE(store.SaveXml("TasksList", dir.File("tasks.bin")));
    EXPECT_EQ(ReadAll(dir.File("tasks.bin")), expected);
}

// The example of doc/formats/property-store.md.
TEST(PropertyStoreXml, WritesTheDocumentedExample) {
    PropertyStore store;
    store.SetNumber("Main", "TasksCount", 2);
    store.SetText("Task0", "taskName", "Docs & \"more\"");
    store.SetNumber("Task0", "FTPPort", 21);
    store.SetText("Task0", "archBurn", "");
    store.SetText("Task10", "destPath", "/backup/\n#YY");
    EXPECT_EQ(store.ToXml("TasksList"),
              QByteArray("<TasksList><Main TasksCount=\"2\"/><Task0 FTPPort=\"21\" archBurn=\"\" "
                         "taskName=\"Docs &amp; &quot;more&quot;\"/><Task10 "
                         "destPath=\"/backup/&#10;#YY\"/></TasksList>"));
}

TEST(PropertyStoreXml, EmptyStoreIsAnEmptyDocumentElement) {
    EXPECT_EQ(PropertyStore().ToXml("GroupsData"), QByteArray("<GroupsData/>"));
}

TEST(PropertyStoreXml, EscapesWhatAttributeValuesNeed) {
    PropertyStore store;
    store.SetText("S", "k", QString::fromUtf8("a&b<c>d\"e'f\tg\nh\ri \xc3\xa9"));
    EXPECT_EQ(store.ToXml("R"),
              QByteArray("<R><S k=\"a&amp;b&lt;c&gt;d&quot;e'f&#9;g&#10;h&#13;i \xc3\xa9\"/></R>"));
}

struct RefusedCase {
    const char* label;
    QString root;
    QString section;
    QString key;
    QString value;
};

void PrintTo(const RefusedCase& param, std::ostream* out) {
    *out << param.label;
}

class RefusedStoreTest : public testing::TestWithParam<RefusedCase> {};

// What XML cannot carry is refused before anything is written, so an old file stays.
TEST_P(RefusedStoreTest, SaveFailsAndKeepsTheOldFile) {
    const RefusedCase& param = GetParam();
    PropertyStore store;
    store.SetText(param.section, param.key, param.value);
    EXPECT_TRUE(store.ToXml(param.root).isEmpty());

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

TEST(PropertyStoreXml, XmllintAcceptsWhatIsWritten) {
    const QString xmllint = QStandardPaths::findExecutable("xmllint");
    if (xmllint.isEmpty()) {
        GTEST_SKIP() << "xmllint is not installed";
    }
    PropertyStore store;
    store.SetNumber("Main", "TasksCount", 2);
    store.SetText("Task0", "taskName", QString::fromUtf8("<&>\"' \t\r\n ]]> \xf0\x9f\x98\x80"));
    store.SetText("Task0", "empty", "");
    store.SetText(QString::fromUtf8("Gr\xc3\xb6\xc3\x9f"
                                    "e"),
                  QString::fromUtf8("\xc3\xa9t\xc3\xa9"), "x");
    TempDir dir;
    ASSERT_TRUE(store.SaveXml("TasksList", dir.File("tasks.bin")));

    QProcess process;
    process.start(xmllint, {"--noout", dir.File("tasks.bin")});
    ASSERT_TRUE(process.waitForFinished());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

// --- Round trips ---

class TextRoundTripTest : public testing::TestWithParam<const char*> {};

TEST_P(TextRoundTripTest, TextSurvivesSaveAndLoad) {
    const QString text = QString::fromUtf8(GetParam());
    PropertyStore store;
    store.SetText("Task0", "destPath", text);
    const PropertyStore loaded = RoundTrip(store);
    EXPECT_TRUE(loaded.HasText("Task0", "destPath"));
    EXPECT_EQ(loaded.ReadText("Task0", "destPath", "fallback"), text);
}

INSTANTIATE_TEST_SUITE_P(Texts, TextRoundTripTest,
                         testing::Values("", "plain", "a & b < c \" d > e ' f", "&amp; &#65; &lt;",
                                         "tab\there", "line\nbreak", "cr\rlf\r\n",
                                         "  blanks at both ends  ", "]]>",
                                         "Gr\xc3\xb6\xc3\x9f"
                                         "e \xe2\x82\xac \xf0\x9f\x98\x80",
                                         "C:\\Program Files\\x", "#YY_#MM_#DD"));

TEST(PropertyStoreRoundTrip, NumberReadsBackAsNumberAndAsText) {
    PropertyStore store;
    store.SetNumber("Main", "TasksCount", 21);
    store.SetNumber("Main", "low", std::numeric_limits<qint32>::min());
    store.SetNumber("Main", "high", std::numeric_limits<qint32>::max());
    const PropertyStore loaded = RoundTrip(store);
    EXPECT_EQ(loaded.ReadNumber("Main", "TasksCount", -1), 21);
    EXPECT_EQ(loaded.ReadText("Main", "TasksCount"), QStringLiteral("21"));
    EXPECT_EQ(loaded.ReadNumber("Main", "low", 0), std::numeric_limits<qint32>::min());
    EXPECT_EQ(loaded.ReadNumber("Main", "high", 0), std::numeric_limits<qint32>::max());
}

TEST(PropertyStoreRoundTrip, EmptyTextReadsAsZeroNotAsFallback) {
    PropertyStore store;
    store.SetText("Main", "TasksCount", "");
    store.Value("Main", "emptyValue");
    const PropertyStore loaded = RoundTrip(store);
    EXPECT_EQ(loaded.ReadNumber("Main", "TasksCount", 99), 0);
    EXPECT_TRUE(loaded.HasText("Main", "TasksCount"));
    EXPECT_EQ(loaded.ReadNumber("Main", "emptyValue", 99), 0);
    // Absent keys and sections give the fallback.
    EXPECT_EQ(loaded.ReadNumber("Main", "missing", 99), 99);
    EXPECT_EQ(loaded.ReadNumber("Nowhere", "TasksCount", 99), 99);
    EXPECT_EQ(loaded.ReadText("Main", "missing", "dflt"), QStringLiteral("dflt"));
    EXPECT_FALSE(loaded.HasText("Main", "missing"));
    EXPECT_EQ(loaded.FindSection("Nowhere"), nullptr);  // reading created nothing
}

TEST(PropertyStoreValues, OnlyTextSlotsAreRead) {
    // Readers ask whether a slot holds text: a number that was never saved and loaded
    // is not text, so the fallback answers.
    PropertyStore store;
    store.SetNumber("S", "n", 5);
    EXPECT_EQ(store.ReadNumber("S", "n", 7), 7);
    EXPECT_EQ(store.ReadText("S", "n", "f"), QStringLiteral("f"));
    EXPECT_FALSE(store.HasText("S", "n"));
    store.SetText("S", "n", "12");
    EXPECT_EQ(store.ReadNumber("S", "n", 7), 12);
    store.SetNumber("S", "n", 3);
    EXPECT_EQ(store.Value("S", "n").type(), PropertyValue::Type::Number);
    EXPECT_EQ(store.Value("S", "n").ToXmlText(), QStringLiteral("3"));
}

// --- C's atoi on text ---

struct NumberCase {
    const char* text;
    qint32 expected;
};

void PrintTo(const NumberCase& param, std::ostream* out) {
    *out << '"' << param.text << "\" -> " << param.expected;
}

class TextToNumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(TextToNumberTest, ConvertsLikeAtoi) {
    PropertyStore store;
    store.SetText("S", "k", QString::fromUtf8(GetParam().text));
    EXPECT_EQ(store.ReadNumber("S", "k", 12345), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextToNumberTest,
    testing::Values(NumberCase{"21", 21}, NumberCase{"-5", -5}, NumberCase{"+7", 7},
                    NumberCase{"  42", 42}, NumberCase{"\t\n\v\f\r 8", 8}, NumberCase{"12abc", 12},
                    NumberCase{"3.9", 3}, NumberCase{"0x1A", 0}, NumberCase{"abc", 0},
                    NumberCase{"", 0}, NumberCase{"-", 0}, NumberCase{"- 5", 0},
                    NumberCase{"+-5", 0}, NumberCase{"007", 7},
                    NumberCase{"2147483647", 2147483647},
                    NumberCase{"-2147483648", std::numeric_limits<qint32>::min()},
                    // Out of range: the low 32 bits of the 64-bit accumulation.
                    NumberCase{"2147483648", std::numeric_limits<qint32>::min()},
                    NumberCase{"4294967297", 1}, NumberCase{"-4294967295", 1},
                    // (10^20 - 1) mod 2^64 = 7766279631452241919, low 32 bits 1661992959.
                    NumberCase{"99999999999999999999", 1661992959},
                    NumberCase{"\xef\xbc\x91", 0},  // a full-width digit
                    NumberCase{"\xc2\xa0"
                               "5",
                               0}));  // no-break space is no C space

// --- Numbered keys and sections ---

TEST(PropertyStoreNumbered, FindsCanonicalNumbersWithTextInRange) {
    PropertyStore store;
    for (const char* key :
         {"PrevBackup1DestFld", "PrevBackup2DestFld", "PrevBackup10DestFld", "PrevBackup0DestFld",
          "PrevBackup01DestFld", "PrevBackup+3DestFld", "PrevBackup-4DestFld", "PrevBackupDestFld",
          "PrevBackup5DestFldX", "PrevBackup6ArchName", "PrevBackup 7DestFld",
          "PrevBackup1e2DestFld", "PrevBackup99999999999999999999DestFld", "PrevBackup11DestFld",
          "XPrevBackup12DestFld", "PrevBackup2000000000DestFld"}) {
        store.SetText("Task0", key, "x");
    }
    store.SetNumber("Task0", "PrevBackup3DestFld", 1);  // not text
    store.SetText("Task0", "PrevBackup2147483648DestFld", "x");

    using V = std::vector<qint64>;
    const QString prefix = "PrevBackup";
    const QString suffix = "DestFld";
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, suffix, 10), (V{1, 2, 10}));
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, suffix, 10, true), (V{0, 1, 2, 10}));
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, suffix, 2000000000),
              (V{1, 2, 10, 11, 2000000000}));
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, suffix, std::numeric_limits<qint64>::max()),
              (V{1, 2, 10, 11, 2000000000, 2147483648}));
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, suffix, 1), (V{1}));
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, suffix, 0), V{});
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, suffix, -1, true), V{});
    EXPECT_EQ(store.NumberedKeys("Task0", prefix, "ArchName", 10), (V{6}));
    EXPECT_EQ(store.NumberedKeys("Missing", prefix, suffix, 10), V{});
}

TEST(PropertyStoreNumbered, FindsNumberedSections) {
    PropertyStore store;
    for (const char* name : {"Main", "Task0", "Task1", "Task2", "Task10", "Task010", "Task-1",
                             "Task", "TaskX", "Task3a", "Item0", "Task1999999999"}) {
        store.GetSection(name);
    }
    using V = std::vector<qint64>;
    EXPECT_EQ(store.NumberedSections("Task", 10), (V{0, 1, 2, 10}));
    EXPECT_EQ(store.NumberedSections("Task", 1), (V{0, 1}));
    EXPECT_EQ(store.NumberedSections("Task", 1999999999), (V{0, 1, 2, 10, 1999999999}));
    EXPECT_EQ(store.NumberedSections("Task", -1), V{});
    EXPECT_EQ(store.NumberedSections("Item", 5), (V{0}));
}

TEST(PropertyStoreNumbered, HugeLimitCostsNoTime) {
    // A stored count of two thousand million must not make a reader loop that often;
    // this test would run for minutes if the limit were walked.
    PropertyStore store;
    for (int i = 1; i <= 1000; ++i) {
        store.SetText("Task0", QStringLiteral("SrcFolder%1").arg(i), "x");
    }
    const std::vector<qint64> numbers = store.NumberedKeys("Task0", "SrcFolder", "", 2000000000);
    ASSERT_EQ(numbers.size(), 1000u);
    EXPECT_EQ(numbers.front(), 1);
    EXPECT_EQ(numbers.back(), 1000);
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
}

// --- Loading ---

TEST(PropertyStoreLoad, ReadsUtf16AndUtf8WithByteOrderMarks) {
    for (const char* name :
         {"utf16le-bom.xml", "utf16be-bom.xml", "utf16le-no-bom.xml", "utf8-bom.xml"}) {
        SCOPED_TRACE(name);
        PropertyStore store;
        ASSERT_TRUE(store.LoadXml(FixturePath(QStringLiteral("property-store/") + name)))
            << Std(store.ErrorString());
        EXPECT_EQ(store.AllSections().size(), 2u);
        EXPECT_EQ(store.ReadNumber("Main", "TasksCount", -1), 1);
        EXPECT_EQ(store.ReadText("Task0", "taskName"),
                  QString::fromUtf8("Gr\xc3\xb6\xc3\x9f"
                                    "e \xe2\x82\xac \xf0\x9f\x98\x80"));
        EXPECT_EQ(store.ReadText("Task0", "destPath"), QStringLiteral("/backup/#YY"));
    }
}

TEST(PropertyStoreLoad, ReadsTheEncodingOfTheDeclaration) {
    PropertyStore store;
    ASSERT_TRUE(store.LoadXml(FixturePath("property-store/latin1-declared.xml")))
        << Std(store.ErrorString());
    EXPECT_EQ(store.ReadText("Task0", "taskName"), QString::fromUtf8("caf\xc3\xa9"));
}

TEST(PropertyStoreLoad, RepeatedKeyKeepsFirstValue) {
    PropertyStore store;
    ASSERT_TRUE(store.LoadXml(FixturePath("property-store/duplicate-attribute.xml")))
        << Std(store.ErrorString());
    EXPECT_EQ(store.ReadNumber("Main", "TasksCount", -1), 1);
    EXPECT_EQ(store.ReadText("Main", "other"), QStringLiteral("x"));
    EXPECT_EQ(store.FindSection("Main")->size(), 2u);
}

TEST(PropertyStoreLoad, RepeatedSectionKeepsLastElement) {
    PropertyStore store;
    ASSERT_TRUE(store.LoadXml(FixturePath("property-store/duplicate-section.xml")))
        << Std(store.ErrorString());
    EXPECT_EQ(store.ReadText("Task0", "taskName"), QStringLiteral("second"));
    // The later element replaces the earlier one whole.
    EXPECT_FALSE(store.HasText("Task0", "destPath"));
    EXPECT_EQ(store.ReadNumber("Main", "TasksCount", -1), 1);
}

TEST(PropertyStoreLoad, SkipsNodesThatAreNoSections) {
    PropertyStore store;
    ASSERT_TRUE(store.LoadXml(FixturePath("property-store/other-nodes.xml")))
        << Std(store.ErrorString());
    // Only the two section elements count: no root attributes, no nested elements, no
    // text, no CDATA content, no default attributes of the document type.
    ASSERT_EQ(store.AllSections().size(), 2u);
    const PropertyStore::Section* main = store.FindSection("Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->size(), 1u);
    EXPECT_EQ(store.ReadNumber("Main", "TasksCount", -1), 2);
    EXPECT_EQ(store.FindSection("Nested"), nullptr);
    EXPECT_EQ(store.FindSection("Fake"), nullptr);
    EXPECT_EQ(store.ReadText("Task0", "taskName"), QStringLiteral("single quoted"));
    // Literal line breaks and tabs in a value become blanks, as in every XML reader;
    // the same characters written as references stay.
    EXPECT_EQ(store.ReadText("Task0", "destPath"),
              QStringLiteral("line one line two tabbed \tkept\nkept"));
}

TEST(PropertyStoreLoad, DocumentTypeEntitiesInValuesAreNotSupported) {
    PropertyStore store;
    EXPECT_FALSE(store.LoadXml(FixturePath("property-store/doctype-entity-in-value.xml")));
    EXPECT_TRUE(store.IsEmpty());
}

TEST(PropertyStoreLoad, MissingFileOrFolderFailsAndEmptiesStore) {
    TempDir dir;
    PropertyStore store;
    store.SetText("Old", "k", "v");
    EXPECT_FALSE(store.LoadXml(dir.File("missing.xml")));
    EXPECT_TRUE(store.IsEmpty());
    EXPECT_FALSE(store.ErrorString().isEmpty());
    EXPECT_EQ(store.LastLoad().state, FileLoad::State::kMissing);

    store.SetText("Old", "k", "v");
    EXPECT_FALSE(store.LoadXml(dir.Path()));
    EXPECT_TRUE(store.IsEmpty());
    EXPECT_EQ(store.LastLoad().state, FileLoad::State::kDamaged);
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

TEST(PropertyStoreLoad, LoadReplacesEarlierContent) {
    PropertyStore store;
    store.SetText("Old", "k", "v");
    ASSERT_TRUE(store.LoadXmlData("<R><New k=\"1\"/></R>"));
    EXPECT_EQ(store.FindSection("Old"), nullptr);
    EXPECT_EQ(store.ReadNumber("New", "k", 0), 1);
    EXPECT_TRUE(store.ErrorString().isEmpty());
}

// Every file in property-store/broken must fail to load; the list names them so that a
// fixture that went missing is noticed.
const char* const kBrokenFiles[] = {
    "attribute-without-value.xml",
    "attributes-without-space.xml",
    "bad-attribute-name.xml",
    "bad-character-reference.xml",
    "bad-element-name.xml",
    "bad-version.xml",
    "bare-ampersand-in-text.xml",
    "bare-ampersand-in-value.xml",
    "cdata-outside-root.xml",
    "control-character-in-text.xml",
    "control-character-in-value.xml",
    "declaration-not-first.xml",
    "double-hyphen-in-comment.xml",
    "empty-character-reference.xml",
    "empty-element-name.xml",
    "empty.xml",
    "end-tag-only.xml",
    "garbage.bin",
    "huge-character-reference.xml",
    "invalid-utf8.xml",
    "less-than-in-value.xml",
    "mismatched-end-tag.xml",
    "only-comment.xml",
    "only-declaration.xml",
    "only-whitespace.xml",
    "plain-text.xml",
    "slash-not-closing.xml",
    "text-after-root.xml",
    "text-before-root.xml",
    "two-roots.xml",
    "unclosed-comment.xml",
    "unclosed-root.xml",
    "unclosed-section.xml",
    "unknown-entity.xml",
    "unquoted-value.xml",
    "unsupported-encoding.xml",
    "unterminated-start-tag.xml",
    "unterminated-value.xml",
    "utf16-unclosed.xml",
};

class BrokenFileTest : public testing::TestWithParam<const char*> {};

TEST_P(BrokenFileTest, LoadFailsAndLeavesStoreEmpty) {
    const QString path = FixturePath(QStringLiteral("property-store/broken/") + GetParam());
    ASSERT_TRUE(QFile::exists(path)) << Std(path);
    PropertyStore store;
    store.SetText("Before", "k", "v");
    EXPECT_FALSE(store.LoadXml(path));
    EXPECT_TRUE(store.IsEmpty());
    EXPECT_FALSE(store.ErrorString().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, BrokenFileTest, testing::ValuesIn(kBrokenFiles),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name;
                             for (const char* c = info.param; *c != '\0'; ++c) {
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             }
                             return name;
                         });

TEST(BrokenFileList, NamesEveryFixture) {
    std::set<QString> listed;
    for (const char* name : kBrokenFiles) {
        listed.insert(QString::fromUtf8(name));
    }
    const QStringList present = FolderEntries(FixturePath("property-store/broken"));
    EXPECT_EQ(std::set<QString>(present.begin(), present.end()), listed);
}

// A task with a long backup history: `keys` numbered keys in one section (the first
// repeated at the end) and a tenth as many sections.
QByteArray LongHistoryDocument(int keys) {
    QByteArray data = "<TasksList><Task0";
    for (int i = 1; i <= keys; ++i) {
        data +=
            " PrevBackup" + QByteArray::number(i) + "DestFld=\"/b/" + QByteArray::number(i) + "\"";
    }
    data += " PrevBackup1DestFld=\"repeated\"/>";
    for (int i = 1; i <= keys / 10; ++i) {
        data += "<Item" + QByteArray::number(i) + " Name=\"g\"/>";
    }
    data += "</TasksList>";
    return data;
}

TEST(PropertyStoreLoad, ManyKeysInOneElement) {
    constexpr int kKeys = 40000;
    const QByteArray data = LongHistoryDocument(kKeys);
    PropertyStore store;
    ASSERT_TRUE(store.LoadXmlData(data)) << Std(store.ErrorString());
    ASSERT_NE(store.FindSection("Task0"), nullptr);
    EXPECT_EQ(store.FindSection("Task0")->size(), static_cast<std::size_t>(kKeys));
    EXPECT_EQ(store.ReadText("Task0", "PrevBackup1DestFld"), QStringLiteral("/b/1"));
    EXPECT_EQ(store.ReadText("Task0", "PrevBackup40000DestFld"), QStringLiteral("/b/40000"));
    EXPECT_EQ(store.AllSections().size(), static_cast<std::size_t>(kKeys / 10 + 1));
    EXPECT_EQ(store.NumberedKeys("Task0", "PrevBackup", "DestFld", 2000000000).size(),
              static_cast<std::size_t>(kKeys));
}

// --- Saving ---

class UmaskGuard {
  public:
    explicit UmaskGuard(mode_t mask) : m_old(::umask(mask)) {}
    ~UmaskGuard() { ::umask(m_old); }

  private:
    mode_t m_old;
};

TEST(PropertyStoreSave, NewFileGetsTheModeWhateverTheUmask) {
    PropertyStore store;
    store.SetNumber("Main", "TasksCount", 0);
    TempDir dir;
    for (mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}}) {
        SCOPED_TRACE(mask);
        UmaskGuard guard(mask);
        const QString path = dir.File(QStringLiteral("new-%1.bin").arg(mask));
        ASSERT_TRUE(store.SaveXml("TasksList", path)) << Std(store.ErrorString());
        EXPECT_EQ(FileMode(path), mode_t{0600});
        const QString other = dir.File(QStringLiteral("other-%1.bin").arg(mask));
        ASSERT_TRUE(store.SaveXml("TasksList", other,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ReadOther));
        EXPECT_EQ(FileMode(other), mode_t{0644});
    }
}

TEST(PropertyStoreSave, ReplacedFileGetsTheModeToo) {
    TempDir dir;
    const QString path = dir.Write("tasks.bin", "<old/>");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    PropertyStore store;
    store.SetText("Main", "k", "new");
    ASSERT_TRUE(store.SaveXml("TasksList", path)) << Std(store.ErrorString());
    EXPECT_EQ(ReadAll(path), QByteArray("<TasksList><Main k=\"new\"/></TasksList>"));
    EXPECT_EQ(FileMode(path), mode_t{0600});
    EXPECT_EQ(FolderEntries(dir.Path()), QStringList{"tasks.bin"});
}

TEST(PropertyStoreSave, SaveOverAFolderFailsAndLeavesIt) {
    TempDir dir;
    dir.Write("tasks.bin/inside.txt", "keep");
    PropertyStore store;
    store.SetText("Main", "k", "v");
    EXPECT_FALSE(store.SaveXml("TasksList", dir.File("tasks.bin")));
    EXPECT_FALSE(store.ErrorString().isEmpty());
    EXPECT_EQ(ReadAll(dir.File("tasks.bin/inside.txt")), QByteArray("keep"));
    EXPECT_EQ(FolderEntries(dir.Path()), QStringList{"tasks.bin"});
}

TEST(PropertyStoreSave, SaveIntoMissingFolderFails) {
    TempDir dir;
    PropertyStore store;
    store.SetText("Main", "k", "v");
    EXPECT_FALSE(store.SaveXml("TasksList", dir.File("no/such/folder/tasks.bin")));
    EXPECT_TRUE(FolderEntries(dir.Path()).isEmpty());
}

// A disk that fills up while the new content is written: the file size limit makes
// every write past a few bytes fail, for root too.
TEST(PropertyStoreSave, FailedWriteKeepsOldFile) {
    TempDir dir;
    const QString path = dir.Write("tasks.bin", "<old/>");
    PropertyStore store;
    store.SetText("Main", "k", QString(1000, u'x'));

    bool saved = true;
    {
        struct rlimit old {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 16;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        saved = store.SaveXml("TasksList", path);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    EXPECT_FALSE(saved);
    EXPECT_FALSE(store.ErrorString().isEmpty());
    EXPECT_EQ(ReadAll(path), QByteArray("<old/>"));
    EXPECT_EQ(FolderEntries(dir.Path()), QStringList{"tasks.bin"});
}

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
