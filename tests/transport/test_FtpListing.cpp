// Reading FTP listing lines as different servers write them.

#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "transport/FtpListing.h"

namespace corvane {
namespace {

struct Case {
    QString line;
    FtpListingLine kind;
    QString name;  // for kFile and kFolder
};

void Check(FtpListingLine (*parse)(const QString&, QString&), const Case& c) {
    QString name = "unchanged";
    EXPECT_EQ(parse(c.line, name), c.kind) << c.line.toStdString();
    if (c.kind == FtpListingLine::kFile || c.kind == FtpListingLine::kFolder) {
        EXPECT_EQ(name, c.name) << c.line.toStdString();
    }
}

TEST(FtpListingTest, MlsdLines) {
    const Case cases[] = {
        {"type=dir;size=4096;modify=20240101120000; sub", FtpListingLine::kFolder, "sub"},
        {"modify=20240101120000;perm=r;size=12;type=file; a file.txt", FtpListingLine::kFile,
         "a file.txt"},
        {"Type=DIR;Size=0; Upper", FtpListingLine::kFolder, "Upper"},
        {"type=file;size=3;  two leading blanks", FtpListingLine::kFile, " two leading blanks"},
        {"type=file; semi;colon=name", FtpListingLine::kFile, "semi;colon=name"},
        {QString::fromUtf8("type=file;size=1; Grüße 日本.zip"), FtpListingLine::kFile,
         QString::fromUtf8("Grüße 日本.zip")},
        {"type=OS.unix=symlink; link", FtpListingLine::kFile, "link"},
        {"type=OS.unix=slink:/target; link", FtpListingLine::kFile, "link"},
        {"size=5; no type", FtpListingLine::kFile, "no type"},
        {"type=cdir;perm=el; /home/corvane", FtpListingLine::kIgnored, ""},
        {"type=pdir; ..", FtpListingLine::kIgnored, ""},
        {"type=dir; .", FtpListingLine::kIgnored, ""},
        {"type=file; ..", FtpListingLine::kIgnored, ""},
        {"type=OS.unix=chr-13/29; tty", FtpListingLine::kIgnored, ""},
        {"garbage", FtpListingLine::kIgnored, ""},
        // Names that would leave the folder or read as paths.
        {"type=file; ", FtpListingLine::kRefused, ""},
        {"type=file; a/b", FtpListingLine::kRefused, ""},
        {"type=file; /etc/passwd", FtpListingLine::kRefused, ""},
        {"type=dir; ..\\..\\x", FtpListingLine::kRefused, ""},
        {QString("type=file; a") + QChar(0) + "b", FtpListingLine::kRefused, ""},
        {"type=file; tab\there", FtpListingLine::kRefused, ""},
        {"type=file; new\nline", FtpListingLine::kRefused, ""},
        {"type=file; ...hidden", FtpListingLine::kFile, "...hidden"},
    };
    for (const Case& c : cases) {
        Check(&ParseMlsdLine, c);
    }
}

TEST(FtpListingTest, UnixAndDosListLines) {
    const Case cases[] = {
        {"drwxr-xr-x 2 u g 4096 Jan 1 12:00 name", FtpListingLine::kFolder, "name"},
        {"-rw-r--r--   1 owner    group        1234 Feb 28  2019 file.zip", FtpListingLine::kFile,
         "file.zip"},
        {"-rw-r--r-- 1 owner group 1234 Mar 05 09:30 name with  blanks.txt", FtpListingLine::kFile,
         "name with  blanks.txt"},
        {"-rw-r--r-- 1 owner group 12 Dec 31 23:59  leading blank", FtpListingLine::kFile,
         " leading blank"},
        {"-rw-r--r-- 1 owner 1234 Jan 1 12:00 no-group", FtpListingLine::kFile, "no-group"},
        {"-rw-r--r-- 1 1000 1000 7 Jan 1 12:00 Jan 1 12:00 dated", FtpListingLine::kFile,
         "Jan 1 12:00 dated"},
        {"lrwxrwxrwx 1 u g 7 Jan 1 12:00 link -> target", FtpListingLine::kFile, "link"},
        {"lrwxrwxrwx 1 u g 7 Jan 1 12:00 a b -> c -> d", FtpListingLine::kFile, "a b"},
        {"drwxr-xr-x+ 3 u g 4096 Jun 15 2021 acl", FtpListingLine::kFolder, "acl"},
        {QString::fromUtf8("-rw-r--r-- 1 u g 5 Jan 1 12:00 Ärger.txt"), FtpListingLine::kFile,
         QString::fromUtf8("Ärger.txt")},
        {"total 12", FtpListingLine::kIgnored, ""},
        {"drwxr-xr-x 2 u g 4096 Jan 1 12:00 .", FtpListingLine::kIgnored, ""},
        {"drwxr-xr-x 2 u g 4096 Jan 1 12:00 ..", FtpListingLine::kIgnored, ""},
        {"crw-rw-rw- 1 root tty 5, 0 Jan 1 12:00 tty", FtpListingLine::kIgnored, ""},
        {"prw-r--r-- 1 u g 0 Jan 1 12:00 fifo", FtpListingLine::kIgnored, ""},
        {"-rw-r--r-- 1 u g 5 Foo 1 12:00 bad-date", FtpListingLine::kIgnored, ""},
        {"", FtpListingLine::kIgnored, ""},
        {"drwxr-xr-x 2 u g 4096 Jan 1 12:00 a\\..\\b", FtpListingLine::kRefused, ""},
        {"-rw-r--r-- 1 u g 5 Jan 1 12:00 ", FtpListingLine::kRefused, ""},
        // The DOS form of other servers.
        {"01-02-20  10:00AM       <DIR>          name", FtpListingLine::kFolder, "name"},
        {"01-02-20 10:00AM 1234 name", FtpListingLine::kFile, "name"},
        {"12-31-2019  11:59PM             1,234,567 Big File.zip", FtpListingLine::kFile,
         "Big File.zip"},
        {"01-02-20  10:00 AM  <dir>  lower case", FtpListingLine::kFolder, "lower case"},
        {"01-02-20  10:00AM  <DIR>  .", FtpListingLine::kIgnored, ""},
        {"01-02-20  10:00AM  <DIR>  ..", FtpListingLine::kIgnored, ""},
        {"01-02-20  10:00AM  <JUNCTION>  odd", FtpListingLine::kIgnored, ""},
        {"01-02-20  10:00AM  <DIR>", FtpListingLine::kIgnored, ""},
        {"01-02-20  10:00AM  12  ..\\..\\evil.txt", FtpListingLine::kRefused, ""},
        {"01-02-20  10:00AM  12  C:/evil.txt", FtpListingLine::kRefused, ""},
    };
    for (const Case& c : cases) {
        Check(&ParseListLine, c);
    }
}

}  // namespace
}  // namespace corvane
