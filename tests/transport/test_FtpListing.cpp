// Reading FTP listing lines as different servers write them.

#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "transport/FtpListing.h"

namespace corvane {
namespace {

using Parser = FtpListingLine (*)(const QString&, QString&);

// What a parser makes of a line: "F name", "D name", "-" (ignored) or "!" (refused).
QString Outcome(Parser parse, const QString& line) {
    QString name = "unchanged";
    const FtpListingLine kind = parse(line, name);
    const char* const kinds[] = {"F ", "D ", "-", "!"};
    return kinds[int(kind)] + (kind <= FtpListingLine::kFolder ? name : QString());
}

// Each pair: a line and its outcome; then lines ignored, and lines refused because their
// name would leave the folder or read as a path.
void Check(Parser parse, const std::vector<std::pair<QString, QString>>& entries,
           const QStringList& ignored, const QStringList& refused) {
    for (const auto& [line, outcome] : entries) {
        EXPECT_EQ(Outcome(parse, line), outcome) << line.toStdString();
    }
    for (const QString& line : ignored) {
        EXPECT_EQ(Outcome(parse, line), "-") << line.toStdString();
    }
    for (const QString& line : refused) {
        EXPECT_EQ(Outcome(parse, line), "!") << line.toStdString();
    }
}

TEST(FtpListingTest, MlsdLines) {
    Check(
        &ParseMlsdLine,
        {{"type=dir;size=4096;modify=20240101120000; sub", "D sub"},
         {"modify=20240101120000;perm=r;size=12;type=file; a file.txt", "F a file.txt"},
         {"Type=DIR;Size=0; Upper", "D Upper"},
         {"type=file;size=3;  two leading blanks", "F  two leading blanks"},
         {"type=file; semi;colon=name", "F semi;colon=name"},
         {"type=file;size=1; Grüße 日本.zip", "F Grüße 日本.zip"},
         {"type=OS.unix=symlink; link", "F link"},
         {"type=OS.unix=slink:/target; link", "F link"},
         {"size=5; no type", "F no type"},
         {"type=file; ...hidden", "F ...hidden"}},
        {"type=cdir;perm=el; /home/corvane", "type=pdir; ..", "type=dir; .", "type=file; ..",
         "type=OS.unix=chr-13/29; tty", "garbage"},
        {"type=file; ", "type=file; a/b", "type=file; /etc/passwd", "type=dir; ..\\..\\x",
         QString("type=file; a") + QChar(0) + "b", "type=file; tab\there", "type=file; new\nline"});
}

TEST(FtpListingTest, UnixAndDosListLines) {
    Check(&ParseListLine,
          {{"drwxr-xr-x 2 u g 4096 Jan 1 12:00 name", "D name"},
           {"-rw-r--r--   1 owner    group        1234 Feb 28  2019 file.zip", "F file.zip"},
           {"-rw-r--r-- 1 owner group 1234 Mar 05 09:30 name with  blanks.txt",
            "F name with  blanks.txt"},
           {"-rw-r--r-- 1 owner group 12 Dec 31 23:59  leading blank", "F  leading blank"},
           {"-rw-r--r-- 1 owner 1234 Jan 1 12:00 no-group", "F no-group"},
           {"-rw-r--r-- 1 1000 1000 7 Jan 1 12:00 Jan 1 12:00 dated", "F Jan 1 12:00 dated"},
           {"lrwxrwxrwx 1 u g 7 Jan 1 12:00 link -> target", "F link"},
           {"lrwxrwxrwx 1 u g 7 Jan 1 12:00 a b -> c -> d", "F a b"},
           {"drwxr-xr-x+ 3 u g 4096 Jun 15 2021 acl", "D acl"},
           {"-rw-r--r-- 1 u g 5 Jan 1 12:00 Ärger.txt", "F Ärger.txt"},
           // The DOS form of other servers.
           {"01-02-20  10:00AM       <DIR>          name", "D name"},
           {"01-02-20 10:00AM 1234 name", "F name"},
           {"12-31-2019  11:59PM             1,234,567 Big File.zip", "F Big File.zip"},
           {"01-02-20  10:00 AM  <dir>  lower case", "D lower case"}},
          {"total 12", "drwxr-xr-x 2 u g 4096 Jan 1 12:00 .",
           "drwxr-xr-x 2 u g 4096 Jan 1 12:00 ..", "crw-rw-rw- 1 root tty 5, 0 Jan 1 12:00 tty",
           "prw-r--r-- 1 u g 0 Jan 1 12:00 fifo", "-rw-r--r-- 1 u g 5 Foo 1 12:00 bad-date", "",
           "01-02-20  10:00AM  <DIR>  .", "01-02-20  10:00AM  <DIR>  ..",
           "01-02-20  10:00AM  <JUNCTION>  odd", "01-02-20  10:00AM  <DIR>"},
          {"drwxr-xr-x 2 u g 4096 Jan 1 12:00 a\\..\\b", "-rw-r--r-- 1 u g 5 Jan 1 12:00 ",
           "01-02-20  10:00AM  12  ..\\..\\evil.txt", "01-02-20  10:00AM  12  C:/evil.txt"});
}

}  // namespace
}  // namespace corvane
