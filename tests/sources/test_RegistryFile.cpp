#include <gtest/gtest.h>

#include <QFile>
#include <cerrno>

#include "sources/RegistryFile.h"
#include "support/DconfSandbox.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::DconfSandbox;

const DconfSandbox& Sandbox() {
    const DconfSandbox& sandbox = DconfSandbox::Get();
    EXPECT_TRUE(sandbox.IsRunning()) << qPrintable(sandbox.Problem());
    return sandbox;
}

TEST(RegistryFile, DconfTreeSurvivesExportWipeAndImport) {
    const DconfSandbox& dconf = Sandbox();
    const char* const keys[][2] = {
        {"/rt/s", "'24h'"},
        {"/rt/@", "'the default'"},
        {"/rt/a/u", "uint32 7"},
        {"/rt/a/i", "int64 -5"},
        {"/rt/a/b", "true"},
        {"/rt/a/d", "2.5"},
        {"/rt/a/list", "['a', 'b\\\\c', '\"q\"']"},
        {"/rt/a/bytes", "[byte 0x00, 0xff]"},
        {"/rt/a/tuple", "(1, 'x')"},
        {"/rt/a/a=\"b\\c", "'C:\\\\Data\\\\\"x\"'"},
        {"/rt/größe/wert", "'Ä€😀'"},
        {"/rt/d1/d2/d3/d4/d5/d6/d7/d8/leaf", "@mb nothing"},
    };
    for (const auto& [key, value] : keys) {
        ASSERT_TRUE(dconf.Write(key, value)) << key;
    }
    const QString dump = dconf.Dump("/rt/");
    test::TempDir dir;
    ASSERT_TRUE(ExportRegistryItem("HKEY_CURRENT_USER\\rt", dir.File("rt.reg")));
    EXPECT_EQ(LastRegistryFileError(), 0);
    ASSERT_TRUE(dconf.Reset("/rt/"));
    ASSERT_TRUE(dconf.Dump("/rt/").trimmed().isEmpty());
    EXPECT_TRUE(ImportRegFile(dir.File("rt.reg")));
    EXPECT_EQ(dconf.Dump("/rt/"), dump);

    // A file written elsewhere: text that is no GVariant text stays a string.
    const QString sample = dir.Write(
        "sample.reg",
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Sample]\r\n\"Path\"=\"C:\\\\Data\\\\x\"\r\n"
        "\"Count\"=dword:0000000a\r\n@=\"default\"\r\n\r\n");
    EXPECT_TRUE(ImportRegFile(sample));
    EXPECT_EQ(dconf.Dump("/Software/Sample/"),
              "[/]\n@='default'\nCount=uint32 10\nPath='C:\\\\Data\\\\x'\n");
}

TEST(RegistryFile, FailuresAnswerTheirErrorAndLeaveFilesAlone) {
    Sandbox();
    test::TempDir dir;
    const QString kept = dir.Write("kept.reg", "old");
    const QString badFormat = dir.Write(
        "bad.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\bad]\r\n\"a\"=\"x\"\r\n\"b\"=dword:a\r\n");
    const QString readOnly =
        dir.Write("sys.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\sys]\r\n\"a\"=\"x\"\r\n");
    const std::pair<std::function<bool()>, int> cases[] = {
        {[&] { return ExportRegistryItem("HKEY_NOWHERE\\a", kept); }, EINVAL},
        {[&] { return ExportRegistryItem("HKEY_CURRENT_USER\\none\\here", kept); }, ENOENT},
        {[&] { return ExportKey(RegistryHive::kCurrentUser, "", QString("v"), true, kept, true); },
         EINVAL},
        {[&] { return ExportRegistryItem("HKEY_CURRENT_USER", ""); }, EINVAL},
        {[&] { return ExportRegistryItem("HKEY_CURRENT_USER", dir.File("no/such.reg")); }, ENOENT},
        {[&] { return ImportRegFile(dir.File("missing.reg")); }, ENOENT},
        {[&] { return ImportRegFile(""); }, EINVAL},
        {[&] { return ImportRegFile(badFormat); }, EBADMSG},
        {[&] { return ImportRegFile(readOnly); }, EROFS},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_FALSE(cases[i].first()) << i;
        EXPECT_EQ(LastRegistryFileError(), cases[i].second) << i;
    }
    EXPECT_EQ(test::ReadAll(kept), "old");
    EXPECT_FALSE(QFile::exists(dir.File("no/such.reg")));
    // What came before the error stays written; the error names the file and the line.
    EXPECT_EQ(Sandbox().Dump("/bad/"), "[/]\na='x'\n");
    test::LogCapture log;
    EXPECT_FALSE(ImportRegFile(badFormat));
    EXPECT_EQ(log.CountEndingWith(badFormat + ", line 5: a double word that is not 8 hex digits"),
              1);
}

}  // namespace
}  // namespace corvane
