#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"
#include "support/DconfSandbox.h"

namespace corvane {
namespace {

// The built program, as a script runs it: the export's bytes, then the import into the
// emptied folder gives back what `dconf dump` showed.
TEST(RegistryCommandsTest, ExportIsRegedit4AndImportRestoresTheKeys) {
    const test::DconfSandbox& dconf = test::DconfSandbox::Get();
    ASSERT_TRUE(dconf.Write("/corvane-reg/app/clock-format", "'24h'") &&
                dconf.Write("/corvane-reg/app/sub/list", "['a', 'b']"))
        << dconf.Problem().toStdString();
    const QString before = dconf.Dump("/corvane-reg/");
    const test::TempDir dir;
    const QString file = dir.File("app.reg");
    const QStringList exportArgs = {"reg", "export", "HKEY_CURRENT_USER\\corvane-reg\\app", file};
    ASSERT_EQ(test::RunProgram(dir.Path(), exportArgs).status, 0);
    EXPECT_EQ(test::ReadAll(file),
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\corvane-reg\\app]\r\n"
              "\"clock-format\"=\"'24h'\"\r\n\r\n"
              "[HKEY_CURRENT_USER\\corvane-reg\\app\\sub]\r\n\"list\"=\"['a', 'b']\"\r\n\r\n");
    ASSERT_TRUE(dconf.Reset("/corvane-reg/") && dconf.Dump("/corvane-reg/").isEmpty());
    EXPECT_EQ(test::RunProgram(dir.Path(), {"reg", "import", file}).status, 0);
    EXPECT_EQ(dconf.Dump("/corvane-reg/"), before);
}

// A failure ends with 1 and its reason on the error output.
TEST(RegistryCommandsTest, FailuresNameTheirReason) {
    ASSERT_TRUE(test::DconfSandbox::Get().IsRunning());  // before any dconf use
    const test::TempDir dir;
    const QString system =
        dir.Write("system.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\corvane]\r\n\"a\"=\"1\"\r\n");
    const struct {
        QStringList args;
        QString reason;
    } cases[] = {
        {{"export", "HKEY_NOWHERE\\x", dir.File("x.reg")}, "Invalid argument"},
        {{"import", dir.File("missing.reg")}, "No such file or directory"},
        {{"import", dir.Write("five.reg", "REGEDIT5\r\n\r\n")}, "Bad message"},
        {{"import", system}, "Read-only file system"},
    };
    for (const auto& c : cases) {
        const test::CliResult result = test::RunCli(dir.Path(), QStringList{"reg"} + c.args);
        EXPECT_EQ(result.status, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains(c.reason)) << result.err.toStdString();
    }
}

}  // namespace
}  // namespace corvane
