#include "engine/FileFilter.h"

#include <gtest/gtest.h>

#include "support/LogCapture.h"

namespace corvane {
namespace {

using test::LogCapture;

struct WellFormedCase {
    const char* text;
    bool wellFormed;
};

class WellFormed : public ::testing::TestWithParam<WellFormedCase> {};

TEST_P(WellFormed, Answers) {
    EXPECT_EQ(IsWellFormedFilter(QString::fromUtf8(GetParam().text)), GetParam().wellFormed)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WellFormed,
    ::testing::Values(WellFormedCase{"", true}, WellFormedCase{"*.doc", true},
                      WellFormedCase{"Documents (*.doc,*.rtf)", true}, WellFormedCase{"()", true},
                      WellFormedCase{"a (b) c) d", true}, WellFormedCase{"a (b (c) d", true},
                      WellFormedCase{"*.doc)", false}, WellFormedCase{"(*.doc", false},
                      WellFormedCase{") (*.doc", false}, WellFormedCase{"x) (*.doc)", false}));

struct ParseCase {
    const char* text;
    QStringList patterns;
};

class Parse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(Parse, YieldsPatterns) {
    FileFilter filter(true);
    filter.Parse("*.old");  // a second Parse starts from nothing
    filter.Parse(QString::fromUtf8(GetParam().text));
    EXPECT_EQ(filter.Patterns(), GetParam().patterns) << GetParam().text;
    EXPECT_EQ(filter.IsEnabled(), !GetParam().patterns.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Parse,
    ::testing::Values(ParseCase{"", {}}, ParseCase{"*.doc; *.TXT", {"*.doc", "*.txt"}},
                      ParseCase{"Documents (*.doc,*.rtf)", {"*.doc", "*.rtf"}},
                      ParseCase{"  *.a ,, ; *.b;", {"*.a", "*.b"}},
                      ParseCase{"*.a;*.a", {"*.a", "*.a"}}, ParseCase{" ; , ", {}},
                      ParseCase{"Nothing ()", {}}, ParseCase{"label (*.x) tail (*.y)", {"*.x"}},
                      // Not well formed: no filter at all.
                      ParseCase{") (*.doc", {}}, ParseCase{"(*.doc", {}}, ParseCase{"*.doc)", {}},
                      ParseCase{"ÄRGER.TXT", {"ärger.txt"}},
                      ParseCase{"my file.txt", {"my file.txt"}}));

struct MatchCase {
    const char* filter;
    const char* name;
    bool matches;
};

class Match : public ::testing::TestWithParam<MatchCase> {};

TEST_P(Match, Answers) {
    const FileFilter filter = MakeExcludeFilter(QString::fromUtf8(GetParam().filter));
    EXPECT_EQ(filter.Matches(QString::fromUtf8(GetParam().name)), GetParam().matches)
        << "filter '" << GetParam().filter << "', name '" << GetParam().name << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Match,
    ::testing::Values(
        MatchCase{"*.doc; *.TXT", "report.doc", true}, MatchCase{"*.doc; *.TXT", "notes.txt", true},
        MatchCase{"*.doc; *.TXT", "a.pdf", false},
        // The extension is everything after the first ".".
        MatchCase{"*.gz", "backup.tar.gz", false}, MatchCase{"*.tar.gz", "backup.tar.gz", true},
        MatchCase{"*.*", "backup.tar.gz", true}, MatchCase{"*", "readme", true},
        MatchCase{"*", "readme.txt", false}, MatchCase{"*.*", "readme", true},
        MatchCase{"*.*", "readme.txt", true}, MatchCase{"*.", "readme", true},
        MatchCase{"*.", "readme.txt", false}, MatchCase{"data?.*", "data1.csv", true},
        MatchCase{"data?.*", "data12.csv", false}, MatchCase{"data?.*", "data.csv", false},
        MatchCase{"*.t?t", "a.txt", true}, MatchCase{"*.t?t", "a.tt", false},
        MatchCase{"a*b*c", "abc", true}, MatchCase{"a*b*c", "axxbyyc", true},
        MatchCase{"a*b*c", "axxbyycz", false}, MatchCase{"a*bc", "abcbc", true},
        MatchCase{"a*bc", "abcb", false}, MatchCase{"**x**", "x", true},
        MatchCase{"*ab", "aab", true}, MatchCase{"?", "", false}, MatchCase{"*", "", true},
        MatchCase{"report", "report", true}, MatchCase{"report", "report2", false},
        MatchCase{"*.DOC", "x.doc", true},  // patterns are kept in lower case
        MatchCase{"Documents (*.doc,*.rtf)", "letter.rtf", true},
        MatchCase{"Documents (*.doc,*.rtf)", "documents", false}, MatchCase{"x*.*", "x", true},
        MatchCase{"my file.*", "my file.txt", true}, MatchCase{"grüße.*", "grüße.txt", true},
        MatchCase{"?.txt", "ü.txt", true},
        // "?" stands for one whole character, also outside the basic plane.
        MatchCase{"?.txt", "😀.txt", true}, MatchCase{"??.txt", "😀.txt", false},
        MatchCase{"a*😀", "abc😀", true}));

struct WildcardCase {
    const char* text;
    const char* pattern;
    bool matches;
};

class WildcardMatch : public ::testing::TestWithParam<WildcardCase> {};

TEST_P(WildcardMatch, Answers) {
    const QString text = QString::fromUtf8(GetParam().text);
    const QString pattern = QString::fromUtf8(GetParam().pattern);
    EXPECT_EQ(Wildcard(text, pattern), GetParam().matches)
        << "'" << GetParam().text << "' against '" << GetParam().pattern << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WildcardMatch,
    ::testing::Values(WildcardCase{"", "", true}, WildcardCase{"", "*", true},
                      WildcardCase{"", "**", true}, WildcardCase{"", "?", false},
                      WildcardCase{"a", "", false}, WildcardCase{"abc", "abc", true},
                      WildcardCase{"abc", "ABC", false}, WildcardCase{"abc", "a?c", true},
                      WildcardCase{"abc", "*c", true}, WildcardCase{"abc", "*b", false},
                      WildcardCase{"mississippi", "m*iss*ppi", true},
                      WildcardCase{"mississippi", "m*issi*x", false},
                      WildcardCase{"aaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*b", true},
                      WildcardCase{"aaaaaaaaaaaaaaaaaaaa", "*a*a*a*a*a*b", false},
                      WildcardCase{"tar.gz", "*.gz", true}, WildcardCase{"abc", "abc*", true},
                      WildcardCase{"abc", "abc?", false}));

TEST(FileFilter, DisabledFiltersGiveTheirDefaultAnswer) {
    EXPECT_TRUE(MakeIncludeFilter("").Matches("anything.txt"));
    EXPECT_FALSE(MakeExcludeFilter("").Matches("anything.txt"));
    // A text that is not well formed is no filter at all: every file passes.
    const FileFilter include = MakeIncludeFilter(") (*.doc)");
    EXPECT_FALSE(include.IsEnabled());
    EXPECT_TRUE(include.Matches("a.pdf"));
    EXPECT_FALSE(MakeExcludeFilter(") (*.doc)").Matches("a.doc"));
}

FileList Files(const QStringList& paths) {
    FileList list;
    for (const QString& path : paths) {
        list.push_back({path, kListFile});
    }
    return list;
}

TEST(ApplyFilters, IncludeFilterKeepsMatchingFilesAndLogsTheRest) {
    FileList list = Files({"/src/Report.DOC", "/src/sub/notes.txt", "/src/A.pdf"});
    LogCapture log;
    ApplyFilters(list, MakeIncludeFilter("*.doc; *.TXT"), MakeExcludeFilter(""));
    EXPECT_EQ(list, Files({"/src/Report.DOC", "/src/sub/notes.txt", ""}));
    EXPECT_EQ(log.Texts(), (QStringList{"  Filter check...",
                                        "    Warning: 'a.pdf' - ignored with include filter"}));
}

TEST(ApplyFilters, ExcludeFilterDropsMatchingFiles) {
    FileList list = Files({"/src/keep.txt", "/src/Cache.TMP", "/src/deep/x.tmp"});
    LogCapture log;
    ApplyFilters(list, MakeIncludeFilter(""), MakeExcludeFilter("*.tmp"));
    EXPECT_EQ(list, Files({"/src/keep.txt", "", ""}));
    EXPECT_EQ(log.Texts(), (QStringList{"  Filter check...",
                                        "    Warning: 'cache.tmp' - ignored with exclude filter",
                                        "    Warning: 'x.tmp' - ignored with exclude filter"}));
}

TEST(ApplyFilters, IncludeWarningWinsWhenBothReject) {
    FileList list = Files({"/src/a.pdf", "/src/b.doc", "/src/c.doc"});
    LogCapture log;
    ApplyFilters(list, MakeIncludeFilter("b.*;c.*"), MakeExcludeFilter("*.pdf;c.*"));
    EXPECT_EQ(list, Files({"", "/src/b.doc", ""}));
    EXPECT_EQ(log.Texts(), (QStringList{"  Filter check...",
                                        "    Warning: 'a.pdf' - ignored with include filter",
                                        "    Warning: 'c.doc' - ignored with exclude filter"}));
}

TEST(ApplyFilters, FoldersAndEmptiedEntriesAreLeftAlone) {
    FileList list = {{"/src/Folder.pdf", kListFolder},
                     {"/src/empty.pdf", kListEmptyFolder},
                     {"", kListFile},
                     {"bare NAME.PDF", kListFile}};
    LogCapture log;
    ApplyFilters(list, MakeIncludeFilter("*.doc"), MakeExcludeFilter(""));
    const FileList expected = {{"/src/Folder.pdf", kListFolder},
                               {"/src/empty.pdf", kListEmptyFolder},
                               {"", kListFile},
                               {"", kListFile}};
    EXPECT_EQ(list, expected);
    EXPECT_EQ(log.Texts(),
              (QStringList{"  Filter check...",
                           "    Warning: 'bare name.pdf' - ignored with include filter"}));
}

TEST(ApplyFilters, NamesAreLowerCasedBeyondAscii) {
    FileList list = Files({"/src/ÄRGER.PDF", "/src/ÉTÉ.DOC"});
    LogCapture log;
    ApplyFilters(list, MakeIncludeFilter("été.*"), MakeExcludeFilter(""));
    EXPECT_EQ(list, Files({"", "/src/ÉTÉ.DOC"}));
    EXPECT_EQ(log.Texts(), (QStringList{"  Filter check...",
                                        "    Warning: 'ärger.pdf' - ignored with include filter"}));
}

TEST(ApplyFilters, NoFilterNoLine) {
    const FileList original = Files({"/src/a.pdf", "/src/b"});
    FileList list = original;
    LogCapture log;
    ApplyFilters(list, MakeIncludeFilter(""), MakeExcludeFilter(") ("));
    EXPECT_EQ(list, original);
    EXPECT_TRUE(log.Texts().isEmpty());
}

TEST(ApplyFilters, EnabledFilterThatDropsNothingStillLogsTheCheck) {
    FileList list = Files({"/src/a.doc"});
    LogCapture log;
    ApplyFilters(list, MakeIncludeFilter("*.doc"), MakeExcludeFilter(""));
    EXPECT_EQ(list, Files({"/src/a.doc"}));
    EXPECT_EQ(log.Texts(), QStringList{"  Filter check..."});
}

}  // namespace
}  // namespace corvane
