#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

#include "platform/Registry.h"
#include "support/DconfSandbox.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

// The sandbox, with system defaults below /sys/ compiled into a database the profile
// names, set up before the first dconf read of the process.
const test::DconfSandbox& Sandbox() {
    test::DconfSandbox& sandbox = test::DconfSandbox::Get();
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

// The `dconf dump` text of a folder without sub-folders, as the key's values say it.
QString DumpOf(const RegistryKey& key) {
    QString dump = "[/]\n";
    for (const RegistryValue& value : key.Values()) {
        EXPECT_EQ(value.type, kRegString);
        dump += (value.name.isEmpty() ? "@" : value.name) + '=' +
                QString::fromUtf8(value.data.chopped(1)) + '\n';
    }
    return dump;
}

TEST(Registry, EveryDconfTypeReadsAsTheTextDconfDumpPrints) {
    const QStringList texts = QString(R"('24h'|uint32 7|true|['a', 'b']|int64 -5|byte 0x10|)"
                                      R"(int16 -3|uint16 3|uint64 9|3.5|objectpath '/a/b'|)"
                                      R"(signature 'as'|<'x'>|@as []|{'k': 1}|(1, 'x', false)|)"
                                      R"(@mi nothing|b'bytes'|[byte 0x01, 0xff]|handle 2|)"
                                      R"(@a{sv} {}|just 'maybe'|'q \' b\\s \u00e9')")
                                  .split(u'|');
    ASSERT_TRUE(Sandbox().Reset("/types/"));
    for (int i = 0; i < texts.size(); ++i) {
        ASSERT_TRUE(Sandbox().Write(QString("/types/k%1").arg(i, 2, 10, QChar('0')), texts[i]));
    }
    EXPECT_EQ(DumpOf(RegistryKey::Open(RegistryHive::kCurrentUser, "types").value()),
              Sandbox().Dump("/types/"));
}

TEST(Registry, EachValueTypeIsStoredAsItsMapping) {
    const std::tuple<const char*, quint32, QByteArray, const char*> cases[] = {
        {"", kRegString, QByteArray("default\0", 8), "'default'"},
        {"binary", kRegBinary, QByteArray("\x01\xff", 2), "[byte 0x01, 0xff]"},
        {"dword", kRegDword, QByteArray("\x0a\0\0\x80", 4), "uint32 2147483658"},
        {"empty", kRegString, QByteArray(), "''"},
        {"expand", kRegExpandString, QByteArray("true\0", 5), "'true'"},
        {"multi", kRegMultiString, QByteArray("a\0\xc3\xa9\0\0", 6), "['a', '\u00e9']"},
        {"nomulti", kRegMultiString, QByteArray("\0\0", 2), "@as []"},
        {"plain", kRegString, QByteArray("C:\\Data\\x \"y\"\0z", 15), "'C:\\\\Data\\\\x \"y\"'"},
        {"typed", kRegString, QByteArray("uint32 7\0", 9), "uint32 7"},
    };
    ASSERT_TRUE(Sandbox().Reset("/set/"));
    RegistryKey key = RegistryKey::Create(RegistryHive::kCurrentUser, "set").value();
    QString dumped = "[/]\n";
    for (const auto& [name, type, data, text] : cases) {
        EXPECT_EQ(key.SetValue({name, type, data}), 0) << name;
        dumped += QString::fromUtf8(*name ? name : "@") + '=' + QString::fromUtf8(text) + '\n';
    }
    EXPECT_EQ(Sandbox().Dump("/set/"), dumped);
    EXPECT_EQ(DumpOf(key), dumped);
}

TEST(Registry, NamesListInCodePointOrderWithTheDefaultFirst) {
    ASSERT_TRUE(Sandbox().Reset("/order/"));
    for (const char* name : {"b", "@", "\xc3\xa9", "Z", "!", "\xf0\x9f\x98\x80", "\xef\xbc\xa1",
                             "q \\\"", "y/x/k", "B/k", "back\\slash/k", "gone/k"}) {
        ASSERT_TRUE(Sandbox().Write("/order/" + QString::fromUtf8(name), "1"));
    }
    ASSERT_TRUE(Sandbox().Reset("/order/gone/"));
    const RegistryKey key = RegistryKey::Open(RegistryHive::kCurrentUser, "order").value();
    test::LogCapture log;
    EXPECT_EQ(key.SubKeyNames(), QStringList({"B", "y"}));
    EXPECT_EQ(log.CountEndingWith("back\\slash/ cannot be named as a key and is left out"), 1);
    EXPECT_EQ(DumpOf(key), QString::fromUtf8("[/]\n@=1\n!=1\nZ=1\nb=1\nq \\\"=1\n\xc3\xa9=1\n"
                                             "\xef\xbc\xa1=1\n\xf0\x9f\x98\x80=1\n"));
}

TEST(Registry, SystemDefaultsAreApartFromTheUsersValues) {
    ASSERT_TRUE(Sandbox().Write("/sys/app/mode", "'light'"));
    EXPECT_EQ(DumpOf(RegistryKey::Open(RegistryHive::kLocalMachine, "sys\\app").value()),
              "[/]\nmode='dark'\nsize=uint32 3\n");
    EXPECT_EQ(DumpOf(RegistryKey::Open(RegistryHive::kCurrentUser, "sys\\app").value()),
              "[/]\nmode='light'\n");
}

TEST(Registry, RefusedOperationsAnswerTheirErrorAndLogWhy) {
    Sandbox();
    const std::tuple<RegistryHive, const char*, bool, RegistryValue, int, const char*> cases[] = {
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
    for (const auto& [hive, subKey, create, value, expected, logged] : cases) {
        test::LogCapture log;
        int error = -1;
        std::optional<RegistryKey> key = create ? RegistryKey::Create(hive, subKey, &error)
                                                : RegistryKey::Open(hive, subKey, &error);
        error = key ? key->SetValue(value) : error;
        EXPECT_EQ(error, expected) << subKey;
        EXPECT_TRUE(log.Texts().join('\n').contains(logged)) << logged;
    }
    EXPECT_EQ(Sandbox().Dump("/bad/"), "");
}

// glib keeps the session bus it found for the whole process: the write runs in the test
// binary started again for this test alone, told of a bus that is not there.
TEST(Registry, WriteWithoutSessionBusFailsWithEio) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const test::TempDir dir;
    test::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir.Path() + "/none").toUtf8());
    test::ScopedEnv config("XDG_CONFIG_HOME", dir.Path().toUtf8());
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path().toUtf8());
    EXPECT_EXIT(
        {
            test::LogCapture log;
            RegistryKey key = RegistryKey::Create(RegistryHive::kCurrentUser, "k").value();
            const int error = key.SetValue({"v", kRegDword, QByteArray("\1\0\0\0", 4)});
            fprintf(stderr, "%s\n", qPrintable(log.Texts().join("\n")));
            std::exit(error);
        },
        testing::ExitedWithCode(EIO),
        "cannot write value 'v' of settings key HKEY_CURRENT_USER.k: Could not connect: No such");
}

}  // namespace
}  // namespace corvane
