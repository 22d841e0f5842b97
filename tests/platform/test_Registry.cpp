#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "platform/Registry.h"
#include "support/DconfSandbox.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::DconfSandbox;

// The sandbox, with system defaults below /sys/ compiled into a database the profile
// names, set up before the first dconf read of the process.
const DconfSandbox& Sandbox() {
    DconfSandbox& sandbox = DconfSandbox::Get();
    static const test::TempDir dir;
    static const bool withDefaults = [&] {
        dir.Write("defaults.d/00", "[sys/app]\nmode='dark'\nsize=uint32 3\n");
        const QString profile =
            dir.Write("profile", "user-db:user\nfile-db:" + dir.File("defaults.db").toUtf8());
        qputenv("DCONF_PROFILE", profile.toUtf8());
        return test::RunTool("dconf", {"compile", dir.File("defaults.db"), dir.File("defaults.d")})
                   .exitCode == 0;
    }();
    EXPECT_TRUE(sandbox.IsRunning()) << qPrintable(sandbox.Problem());
    EXPECT_TRUE(withDefaults);
    return sandbox;
}

// "name" -> text of the value lines `dconf dump` prints for one folder.
std::map<QString, QString> DumpLines(const QString& folder) {
    std::map<QString, QString> lines;
    for (const QString& line : Sandbox().Dump(folder).split(u'\n')) {
        if (line.contains(u'=')) {
            lines[line.section(u'=', 0, 0)] = line.section(u'=', 1);
        }
    }
    return lines;
}

QString TextOf(const RegistryValue& value) {
    EXPECT_EQ(value.type, kRegString);
    EXPECT_TRUE(value.data.endsWith('\0'));
    return QString::fromUtf8(value.data.chopped(1));
}

TEST(Registry, HiveNamesAndKeyPathsSplitExactly) {
    const struct {
        const char* path;
        bool known;
        RegistryHive hive;
        const char* subKey;
    } cases[] = {
        {"HKEY_CURRENT_USER\\org\\app\\", true, RegistryHive::kCurrentUser, "org\\app"},
        {"HKEY_DYN_DATA", true, RegistryHive::kDynData, ""},
        {"HKEY_CLASSES_ROOT\\", true, RegistryHive::kClassesRoot, ""},
        {"hkey_current_user\\org", false, RegistryHive::kCurrentUser, ""},
        {"HKEY_CURRENT_USERS\\org", false, RegistryHive::kCurrentUser, ""},
    };
    for (const auto& c : cases) {
        RegistryHive hive{};
        QString subKey;
        ASSERT_EQ(SplitRegistryKeyPath(c.path, hive, subKey), c.known) << c.path;
        if (c.known) {
            EXPECT_EQ(hive, c.hive);
            EXPECT_EQ(subKey, c.subKey);
            EXPECT_EQ(RegistryHiveFromName(QString(c.path).section(u'\\', 0, 0)), hive);
        }
    }
}

TEST(Registry, EveryDconfTypeReadsAsTheTextDconfDumpPrints) {
    const QStringList texts = {"'24h'",
                               "uint32 7",
                               "true",
                               "['a', 'b']",
                               "int64 -5",
                               "byte 0x10",
                               "int16 -3",
                               "uint16 3",
                               "uint64 9",
                               "3.5",
                               "objectpath '/a/b'",
                               "signature 'as'",
                               "<'x'>",
                               "@as []",
                               "{'k': 1}",
                               "(1, 'x', false)",
                               "@mi nothing",
                               "b'bytes'",
                               "[byte 0x01, 0xff]",
                               "'quote \\' back\\\\slash \\u00e9'",
                               "handle 2",
                               "@a{sv} {}",
                               "just 'maybe'"};
    ASSERT_TRUE(Sandbox().Reset("/types/"));
    for (int i = 0; i < texts.size(); ++i) {
        ASSERT_TRUE(Sandbox().Write(QString("/types/k%1").arg(i, 2, 10, QChar('0')), texts[i]));
    }
    const std::map<QString, QString> dump = DumpLines("/types/");
    const std::optional<RegistryKey> key = RegistryKey::Open(RegistryHive::kCurrentUser, "types");
    ASSERT_TRUE(key);
    const std::vector<RegistryValue> values = key->Values();
    ASSERT_EQ(values.size(), dump.size());
    for (const RegistryValue& value : values) {
        EXPECT_EQ(TextOf(value), dump.at(value.name)) << qPrintable(value.name);
    }
}

TEST(Registry, EachValueTypeIsStoredAsItsMapping) {
    const struct {
        const char* name;
        quint32 type;
        QByteArray data;
        const char* dumped;
    } cases[] = {
        {"", kRegString, QByteArray("default\0", 8), "'default'"},
        {"typed", kRegString, QByteArray("uint32 7\0", 9), "uint32 7"},
        {"list", kRegString, QByteArray("['a', 'b']\0", 11), "['a', 'b']"},
        {"plain", kRegString, QByteArray("C:\\Data\\x \"y\"\0z", 15), "'C:\\\\Data\\\\x \"y\"'"},
        {"empty", kRegString, QByteArray(), "''"},
        {"dword", kRegDword, QByteArray("\x0a\0\0\x80", 4), "uint32 2147483658"},
        {"expand", kRegExpandString, QByteArray("true\0", 5), "'true'"},
        {"multi", kRegMultiString, QByteArray("a\0\xc3\xa9\0\0", 6), "['a', '\u00e9']"},
        {"nomulti", kRegMultiString, QByteArray("\0\0", 2), "@as []"},
        {"binary", kRegBinary, QByteArray("\x01\xff", 2), "[byte 0x01, 0xff]"},
        {"nobinary", kRegBinary, QByteArray(), "@ay []"},
    };
    ASSERT_TRUE(Sandbox().Reset("/set/"));
    std::optional<RegistryKey> key = RegistryKey::Create(RegistryHive::kCurrentUser, "set");
    ASSERT_TRUE(key);
    for (const auto& c : cases) {
        EXPECT_EQ(key->SetValue({c.name, c.type, c.data}), 0) << c.name;
    }
    const std::map<QString, QString> dump = DumpLines("/set/");
    for (const auto& c : cases) {
        EXPECT_EQ(dump.at(*c.name ? c.name : "@"), QString::fromUtf8(c.dumped)) << c.name;
        RegistryValue read;
        ASSERT_TRUE(key->ReadValue(c.name, read));
        EXPECT_EQ(TextOf(read), QString::fromUtf8(c.dumped));
    }
}

TEST(Registry, NamesListInCodePointOrderWithTheDefaultFirst) {
    ASSERT_TRUE(Sandbox().Reset("/order/"));
    for (const char* key :
         {"/order/b", "/order/@", "/order/\xc3\xa9", "/order/Z", "/order/!",
          "/order/\xf0\x9f\x98\x80", "/order/\xef\xbc\xa1", "/order/q \\\"", "/order/y/x/k",
          "/order/B/k", "/order/back\\slash/k", "/order/gone/k"}) {
        ASSERT_TRUE(Sandbox().Write(QString::fromUtf8(key), "1"));
    }
    ASSERT_TRUE(Sandbox().Reset("/order/gone/"));
    const std::optional<RegistryKey> key = RegistryKey::Open(RegistryHive::kCurrentUser, "order");
    ASSERT_TRUE(key);
    test::LogCapture log;
    EXPECT_EQ(key->SubKeyNames(), QStringList({"B", "y"}));
    EXPECT_EQ(log.CountEndingWith("/order/back\\slash/ cannot be named as a key and is left out"),
              1);
    QStringList names;
    for (const RegistryValue& value : key->Values()) {
        names << value.name;
    }
    EXPECT_EQ(names, QStringList({"", "!", "Z", "b", "q \\\"", "\u00e9", "\uff21",
                                  QString::fromUtf8("\xf0\x9f\x98\x80")}));
}

TEST(Registry, SystemDefaultsAreReadOnlyAndApartFromTheUsersValues) {
    ASSERT_TRUE(Sandbox().Write("/sys/app/mode", "'light'"));
    const std::optional<RegistryKey> machine =
        RegistryKey::Open(RegistryHive::kLocalMachine, "sys\\app");
    ASSERT_TRUE(machine);
    ASSERT_EQ(machine->Values().size(), 2u);
    EXPECT_EQ(TextOf(machine->Values()[0]), "'dark'");
    EXPECT_EQ(TextOf(machine->Values()[1]), "uint32 3");
    const std::optional<RegistryKey> user = RegistryKey::Open(RegistryHive::kCurrentUser, "sys");
    ASSERT_TRUE(user);
    EXPECT_EQ(user->SubKeyNames(), QStringList("app"));
    ASSERT_EQ(RegistryKey::Open(RegistryHive::kCurrentUser, "sys\\app")->Values().size(), 1u);
}

TEST(Registry, RefusedOperationsAnswerTheirErrorAndLogWhy) {
    Sandbox();
    const struct {
        RegistryHive hive;
        const char* subKey;
        bool create;
        RegistryValue value;
        int error;
        const char* logged;
    } cases[] = {
        {RegistryHive::kUsers, "", false, {}, ENOENT, "HKEY_USERS holds nothing here"},
        {RegistryHive::kCurrentUser, "no\\such", false, {}, ENOENT, "does not exist"},
        {RegistryHive::kClassesRoot, "x", true, {}, ENOENT, "holds nothing here"},
        {RegistryHive::kLocalMachine, "sys", true, {}, EROFS, "system defaults are read only"},
        {RegistryHive::kCurrentUser, "a\\\\b", true, {}, EINVAL, "is empty or holds '/'"},
        {RegistryHive::kCurrentUser, "a/b", true, {}, EINVAL, "is empty or holds '/'"},
        {RegistryHive::kCurrentUser, "bad", true, {"a/b", kRegString, "x"}, EINVAL, "hold '/'"},
        {RegistryHive::kCurrentUser, "bad", true, {"d", kRegDword, "123"}, EINVAL, "4 bytes"},
        {RegistryHive::kCurrentUser, "bad", true, {"q", 11, "12345678"}, EINVAL, "type 11"},
    };
    for (const auto& c : cases) {
        test::LogCapture log;
        int error = -1;
        std::optional<RegistryKey> key = c.create ? RegistryKey::Create(c.hive, c.subKey, &error)
                                                  : RegistryKey::Open(c.hive, c.subKey, &error);
        if (key) {
            error = key->SetValue(c.value);
        }
        EXPECT_EQ(error, c.error) << c.subKey;
        EXPECT_TRUE(log.Texts().join('\n').contains(c.logged))
            << qPrintable(log.Texts().join('\n'));
    }
    EXPECT_EQ(Sandbox().Dump("/bad/"), "");
}

// glib keeps the session bus it found for the whole process: a write without one runs in
// a fresh process (the test binary started again for this test alone) whose environment
// names a bus that is not there, and a configuration folder of its own.
TEST(Registry, WriteWithoutSessionBusFailsWithEio) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const test::TempDir dir;
    const QString folder = dir.Path();
    test::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + folder + "/none").toUtf8());
    test::ScopedEnv config("XDG_CONFIG_HOME", folder.toUtf8());
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", folder.toUtf8());
    EXPECT_EXIT(
        {
            test::LogCapture log;
            std::optional<RegistryKey> key = RegistryKey::Create(RegistryHive::kCurrentUser, "k");
            const int error = key->SetValue({"v", kRegDword, QByteArray("\1\0\0\0", 4)});
            fprintf(stderr, "%s\n", qPrintable(log.Texts().join("\n")));
            std::exit(error);
        },
        testing::ExitedWithCode(EIO),
        "cannot write value 'v' of settings key HKEY_CURRENT_USER.k: Could not connect: No such");
}

}  // namespace
}  // namespace corvane
