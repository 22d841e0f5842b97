#include "engine/FileFilter.h"

#include <gtest/gtest.h>

#include "support/LogCapture.h"

namespace corvane {
namespace {

TEST(FileFilter, ParseYieldsPatternsAndStartsAfresh) {
    // Each row: a filter text ">" its patterns joined by "|"; one not well formed gives none.
    for (const QString row :
         {">", "*.doc; *.TXT>*.doc|*.txt", "Documents (*.doc,*.rtf)>*.doc|*.rtf",
          "  *.a ,, ; *.b;>*.a|*.b", " ; , >", "Nothing ()>", "label (*.x) tail (*.y)>*.x",
          "(*.doc>", "*.doc)>", "ÄRGER.TXT>ärger.txt", "my file.txt>my file.txt"}) {
        FileFilter filter(true);
        filter.Parse("*.old");
        filter.Parse(row.section('>', 0, 0));
        EXPECT_EQ(filter.Patterns().join('|'), row.section('>', 1)) << row.toStdString();
    }
}

// Each row: an exclude filter ">" a name. The extension is everything after the first
// "."; "?" stands for one whole character, also outside the basic plane; backtracking over
// many stars must neither miss nor take long.
TEST(FileFilter, MatchAnswers) {
    for (const QString row :
         {"*.doc; *.TXT>notes.txt", "*.tar.gz>backup.tar.gz", "*.*>backup.tar.gz", "*>readme",
          "*.>readme", "data?.*>data1.csv", "a*b*c>axxbyyc", "a*bc>abcbc", "**x**>x", "*ab>aab",
          "*>", "m*iss*ppi>mississippi", "*a*a*a*a*a*b>aaaaaaaaaaaaaaaaaaab",
          "Documents (*.doc,*.rtf)>letter.rtf", "x*.*>x", "my file.*>my file.txt",
          "grüße.*>grüße.txt", "?.txt>😀.txt", "a*😀>abc😀"}) {
        EXPECT_TRUE(MakeExcludeFilter(row.section('>', 0, 0)).Matches(row.section('>', 1)))
            << row.toStdString();
    }
    for (const QString row :
         {"*.doc; *.TXT>a.pdf", "*.gz>backup.tar.gz", "*>readme.txt", "*.>readme.txt",
          "data?.*>data12.csv", "data?.*>data.csv", "*.t?t>a.tt", "a*b*c>axxbyycz", "a*bc>abcb",
          "?>", "report>report2", "m*issi*x>mississippi", "*a*a*a*a*a*b>aaaaaaaaaaaaaaaaaaaa",
          "Documents (*.doc,*.rtf)>documents", "??.txt>😀.txt"}) {
        EXPECT_FALSE(MakeExcludeFilter(row.section('>', 0, 0)).Matches(row.section('>', 1)))
            << row.toStdString();
    }
}

// The run's filter stage: folders and emptied entries are left alone, a dropped file's
// entry is emptied with a warning naming it in lower case, and the include filter's
// warning wins when both reject.
struct ApplyCase {
    const char* include;
    const char* exclude;
    const char* kept;  // of a.pdf, Report.DOC, sub/ÉTÉ.TMP, Folder.pdf/ (a folder), ""; "-": empty
    const char* warnings;  // "name filter" after "  Filter check..."; nullptr: no check at all
};

class Apply : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(Apply, EmptiesTheDroppedFilesWithAWarning) {
    const ApplyCase& c = GetParam();
    FileList list = {{"/s/a.pdf", kListFile},
                     {"/s/Report.DOC", kListFile},
                     {"/s/sub/ÉTÉ.TMP", kListFile},
                     {"/s/Folder.pdf", kListFolder},
                     {"", kListFile}};
    test::LogCapture log;
    ApplyFilters(list, MakeIncludeFilter(c.include), MakeExcludeFilter(c.exclude));
    QStringList kept, expected;
    for (const FileListEntry& entry : list) {
        kept << (entry.path.isEmpty() ? "-" : entry.path.mid(3));
    }
    for (const QString& warning : QString::fromUtf8(c.warnings).split(", ", Qt::SkipEmptyParts)) {
        expected << QString("    Warning: '%1' - ignored with %2 filter")
                        .arg(warning.section(' ', 0, 0), warning.section(' ', 1));
    }
    EXPECT_EQ(kept.join(' '), QString::fromUtf8(c.kept));
    EXPECT_EQ(log.Texts(),
              c.warnings ? QStringList{"  Filter check..."} + expected : QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Apply,
    ::testing::Values(ApplyCase{"", ") (", "a.pdf Report.DOC sub/ÉTÉ.TMP Folder.pdf -", nullptr},
                      ApplyCase{"*.doc", "", "- Report.DOC - Folder.pdf -",
                                "a.pdf include, été.tmp include"},
                      ApplyCase{"", "*.tmp", "a.pdf Report.DOC - Folder.pdf -", "été.tmp exclude"},
                      ApplyCase{"été.*;a.*", "*.pdf;report.*", "- - sub/ÉTÉ.TMP Folder.pdf -",
                                "a.pdf exclude, report.doc include"},
                      ApplyCase{"*.*", "", "a.pdf Report.DOC sub/ÉTÉ.TMP Folder.pdf -", ""}));

}  // namespace
}  // namespace corvane
