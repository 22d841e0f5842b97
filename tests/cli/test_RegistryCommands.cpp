#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"
#include "support/DconfSandbox.h"

namespace corvane {
namespace {

using test::CliResult;

class RegistryCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_dconf.IsRunning()) << m_dconf.Problem().toStdString(); }

    test::DconfSandbox& m_dconf = test::DconfSandbox::Get();  // first: before any dconf use
    test::TempDir m_dir;
};

// The built program, as a script runs it: the export's bytes, then the import into the
// emptied folder gives back what `dconf dump` showed.
TEST_F(RegistryCommandsTest, ExportIsRegedit4AndImportRestoresTheKeys) {
    ASSERT_TRUE(m_dconf.Write("/corvane-reg/app/clock-format", "'24h'") &&
                m_dconf.Write("/corvane-reg/app/count", "uint32 7") &&
                m_dconf.Write("/corvane-reg/app/quote", "'say \"hi\"'") &&
                m_dconf.Write("/corvane-reg/app/sub/list", "['a', 'b']"));
    const QString before = m_dconf.Dump("/corvane-reg/");
    const QString file = m_dir.File("app.reg");
    const CliResult exported = test::RunProgram(
        m_dir.Path(), {"reg", "export", "HKEY_CURRENT_USER\\corvane-reg\\app", file});
    ASSERT_EQ(exported.status, 0) << exported.err.toStdString();
    EXPECT_EQ(test::ReadAll(file),
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\corvane-reg\\app]\r\n"
              "\"clock-format\"=\"'24h'\"\r\n\"count\"=\"uint32 7\"\r\n"
              "\"quote\"=\"'say \\\"hi\\\"'\"\r\n\r\n"
              "[HKEY_CURRENT_USER\\corvane-reg\\app\\sub]\r\n\"list\"=\"['a', 'b']\"\r\n\r\n");
    ASSERT_TRUE(m_dconf.Reset("/corvane-reg/") && m_dconf.Dump("/corvane-reg/").isEmpty());
    const CliResult imported = test::RunProgram(m_dir.Path(), {"reg", "import", file});
    EXPECT_EQ(imported.status, 0) << imported.err.toStdString();
    EXPECT_EQ(m_dconf.Dump("/corvane-reg/"), before);
}

// A failure ends with 1 and its reason on the error output.
TEST_F(RegistryCommandsTest, FailuresNameTheirReason) {
    const QString system = m_dir.Write(
        "system.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\corvane]\r\n\"a\"=\"1\"\r\n");
    const struct {
        QStringList args;
        QString reason;
    } cases[] = {
        {{"export", "HKEY_NOWHERE\\x", m_dir.File("x.reg")}, "Invalid argument"},
        {{"import", m_dir.File("missing.reg")}, "No such file or directory"},
        {{"import", m_dir.Write("five.reg", "REGEDIT5\r\n\r\n")}, "Bad message"},
        {{"import", system}, "Read-only file system"},
    };
    for (const auto& c : cases) {
        const CliResult result = test::RunCli(m_dir.Path(), QStringList{"reg"} + c.args);
        EXPECT_EQ(result.status, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains(c.reason)) << result.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(m_dir.File("x.reg")));
}

}  // namespace
}  // namespace corvane
