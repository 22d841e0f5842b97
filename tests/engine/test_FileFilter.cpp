#include "engine/FileFilter.h"

#include <gtest/gtest.h>

#include "support/LogCapture.h"

namespace corvane {
namespace {

TEST(FileFilter, WellFormedMeansNoUnbalancedClosingParenthesis) {
    for (const auto& [text, wellFormed] : {std::pair{"", true},
                                           {"*.doc", true},
                                           {"()", true},
                                           {"a (b) c) d", true},
                                           {"a (b (c) d", true},
                                           {"*.doc)", false},
                                           {"(*.doc", false},
                                           {") (*.doc", false},
                                           {"x) (*.doc)", false}}) {
        EXPECT_EQ(IsWellFormedFilter(text), wellFormed) << text;
    }
}

class Parse : public ::testing::TestWithParam<std::pair<const char*, QStringList>> {};

TEST_P(Parse, YieldsPatterns) {
    FileFilter filter(true);
    filter.Parse("*.old");  // a second Parse starts from nothing
    filter.Parse(QString::fromUtf8(GetParam().first));
    EXPECT_EQ(filter.Patterns(), GetParam().second) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Parse,
    ::testing::Values(std::pair{"", QStringList{}},
                      std::pair{"*.doc; *.TXT", QStringList{"*.doc", "*.txt"}},
                      std::pair{"Documents (*.doc,*.rtf)", QStringList{"*.doc", "*.rtf"}},
                      std::pair{"  *.a ,, ; *.b;", QStringList{"*.a", "*.b"}},
                      std::pair{" ; , ", QStringList{}}, std::pair{"Nothing ()", QStringList{}},
                      std::pair{"label (*.x) tail (*.y)", QStringList{"*.x"}},
                      // Not well formed: no filter at all.
                      std::pair{"(*.doc", QStringList{}}, std::pair{"*.doc)", QStringList{}},
                      std::pair{"ÄRGER.TXT", QStringList{"ärger.txt"}},
                      std::pair{"my file.txt", QStringList{"my file.txt"}}));

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
        MatchCase{"*.doc; *.TXT", "notes.txt", true}, MatchCase{"*.doc; *.TXT", "a.pdf", false},
        // The extension is everything after the first ".".
        MatchCase{"*.gz", "backup.tar.gz", false}, MatchCase{"*.tar.gz", "backup.tar.gz", true},
        MatchCase{"*.*", "backup.tar.gz", true}, MatchCase{"*", "readme", true},
        MatchCase{"*", "readme.txt", false}, MatchCase{"*.*", "readme", true},
        MatchCase{"*.", "readme", true}, MatchCase{"*.", "readme.txt", false},
        MatchCase{"data?.*", "data1.csv", true}, MatchCase{"data?.*", "data12.csv", false},
        MatchCase{"data?.*", "data.csv", false}, MatchCase{"*.t?t", "a.tt", false},
        MatchCase{"a*b*c", "axxbyyc", true}, MatchCase{"a*b*c", "axxbyycz", false},
        MatchCase{"a*bc", "abcbc", true}, MatchCase{"a*bc", "abcb", false},
        MatchCase{"**x**", "x", true}, MatchCase{"*ab", "aab", true}, MatchCase{"?", "", false},
        MatchCase{"*", "", true}, MatchCase{"report", "report2", false},
        MatchCase{"m*iss*ppi", "mississippi", true}, MatchCase{"m*issi*x", "mississippi", false},
        // Backtracking over many stars must neither miss nor take long.
        MatchCase{"*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaab", true},
        MatchCase{"*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaa", false},
        MatchCase{"Documents (*.doc,*.rtf)", "letter.rtf", true},
        MatchCase{"Documents (*.doc,*.rtf)", "documents", false}, MatchCase{"x*.*", "x", true},
        MatchCase{"my file.*", "my file.txt", true}, MatchCase{"grüße.*", "grüße.txt", true},
        // "?" stands for one whole character, also outside the basic plane.
        MatchCase{"?.txt", "😀.txt", true}, MatchCase{"??.txt", "😀.txt", false},
        MatchCase{"a*😀", "abc😀", true}));

// The run's filter stage: folders and emptied entries are left alone, a dropped file's
// entry is emptied with a warning naming it in lower case, and the include filter's
// warning wins when both reject.
struct ApplyCase {
    const char* include;
    const char* exclude;
    QStringList kept;  // of a.pdf, Report.DOC, sub/ÉTÉ.TMP, Folder.pdf/ (a folder), ""
    QStringList warnings;
};

class Apply : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(Apply, EmptiesTheDroppedFilesWithAWarning) {
    FileList list = {{"/s/a.pdf", kListFile},
                     {"/s/Report.DOC", kListFile},
                     {"/s/sub/ÉTÉ.TMP", kListFile},
                     {"/s/Folder.pdf", kListFolder},
                     {"", kListFile}};
    test::LogCapture log;
    ApplyFilters(list, MakeIncludeFilter(GetParam().include),
                 MakeExcludeFilter(GetParam().exclude));
    QStringList kept;
    for (const FileListEntry& entry : list) {
        kept << entry.path;
    }
    EXPECT_EQ(kept, GetParam().kept);
    EXPECT_EQ(log.Texts(), GetParam().warnings);
}

const QString kCheck = "  Filter check...";
INSTANTIATE_TEST_SUITE_P(
    Cases, Apply,
    ::testing::Values(
        ApplyCase{
            "", ") (", {"/s/a.pdf", "/s/Report.DOC", "/s/sub/ÉTÉ.TMP", "/s/Folder.pdf", ""}, {}},
        ApplyCase{"*.doc",
                  "",
                  {"", "/s/Report.DOC", "", "/s/Folder.pdf", ""},
                  {kCheck, "    Warning: 'a.pdf' - ignored with include filter",
                   "    Warning: 'été.tmp' - ignored with include filter"}},
        ApplyCase{"",
                  "*.tmp",
                  {"/s/a.pdf", "/s/Report.DOC", "", "/s/Folder.pdf", ""},
                  {kCheck, "    Warning: 'été.tmp' - ignored with exclude filter"}},
        ApplyCase{"été.*;a.*",
                  "*.pdf;report.*",
                  {"", "", "/s/sub/ÉTÉ.TMP", "/s/Folder.pdf", ""},
                  {kCheck, "    Warning: 'a.pdf' - ignored with exclude filter",
                   "    Warning: 'report.doc' - ignored with include filter"}},
        ApplyCase{"*.*",
                  "",
                  {"/s/a.pdf", "/s/Report.DOC", "/s/sub/ÉTÉ.TMP", "/s/Folder.pdf", ""},
                  {kCheck}}));

}  // namespace
}  // namespace corvane
