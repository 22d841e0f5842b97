#include <gtest/gtest.h>

#include <cerrno>

#include "sources/RegFileReader.h"
#include "sources/RegFileWriter.h"
#include "support/Tools.h"

namespace corvane {
namespace {

RegistryValue Value(const char* name, quint32 type, QByteArray data) {
    return {QString::fromUtf8(name), type, data};
}

// What a reader hands on, as text; fails the value named "fail" with EROFS.
class RecordingSink : public RegFileSink {
  public:
    int OpenKey(RegistryHive hive, const QString& subKey) override {
        events << RegistryHiveName(hive) + '\\' + subKey;
        return 0;
    }
    int SetValue(const RegistryValue& value) override {
        if (value.name == "fail") {
            return EROFS;
        }
        values.push_back(value);
        events << QString("%1=%2:%3").arg(value.name).arg(value.type).arg(value.data.toHex());
        return 0;
    }
    QStringList events;
    std::vector<RegistryValue> values;
};

const QByteArray kHead = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\k]\r\n";

TEST(RegFileWriter, RendersEveryTypeAsTheFormatSpellsIt) {
    const QByteArray bytes = test::RandomBytes(50);
    const struct {
        RegistryValue value;
        QByteArray line;  // "" when left out
        bool readsBack = false, refused = false;
    } cases[] = {
        {Value("b", kRegBinary, bytes.first(25)),
         "\"b\"=hex:" + bytes.first(25).toHex(',') + "\r\n", true},
        {Value("b", kRegBinary, bytes.first(26)),
         "\"b\"=hex:" + bytes.first(25).toHex(',') + ",\\\r\n  " + bytes.mid(25, 1).toHex() +
             "\r\n",
         true},
        {Value("b", kRegBinary, bytes),
         "\"b\"=hex:" + bytes.first(25).toHex(',') + ",\\\r\n  " + bytes.mid(25, 24).toHex(',') +
             ",\\\r\n  " + bytes.mid(49).toHex() + "\r\n",
         true},
        {Value("e", kRegBinary, ""), "\"e\"=hex:\r\n", true},
        {Value("P\"a\\th", kRegString, QByteArray("C:\\Data\\\"x\"") + '\0'),
         "\"P\\\"a\\\\th\"=\"C:\\\\Data\\\\\\\"x\\\"\"\r\n", true},
        {Value("s", kRegString, QByteArray("ab\0cd", 5)), "\"s\"=\"ab\"\r\n", false},
        {Value("s", kRegString, ""), "\"s\"=\"\"\r\n", true},
        {Value("Count", kRegDword, QByteArray("\x0a\0\0\0", 4)), "\"Count\"=dword:0000000a\r\n",
         true},
        {Value("d", kRegDword, "\x78\x56\x34\xf2"), "\"d\"=dword:f2345678\r\n", true},
        {Value("m", kRegMultiString, QByteArray("a\0\xc3\xa4\0\0", 6)),
         "\"m\"=hex(7):61,00,c3,a4,00,00\r\n", true},
        {Value("x", kRegExpandString, QByteArray("%H%\0", 4)), "\"x\"=hex(2):25,48,25,00\r\n",
         true},
        {Value("", kRegDword, QByteArray(4, '\0')), "@=dword:00000000\r\n", true},
        {Value("q", 11, bytes.first(8)), "", false},  // a quad word has no form
        {Value("n", kRegNone, ""), "", false},
        {Value("l", 6, "x"), "", false},
        // Values a reader could not take back are refused with their reason.
        {Value("a\nb", kRegString, "x"), "", false, true},
        {Value("s", kRegString, "line\r\nbreak"), "", false, true},
        {Value("d", kRegDword, "\1\2\3"), "", false, true},
        {Value("long", kRegString, QByteArray(4090, 'x')), "", false, true},
    };
    for (const auto& c : cases) {
        QString problem = "stale";
        const std::optional<QByteArray> line = RenderRegValueLine(c.value, &problem);
        EXPECT_EQ(line.value_or(""), c.line) << c.value.name.toStdString();
        EXPECT_EQ(problem.isEmpty(), !c.refused) << problem.toStdString();
        if (c.readsBack) {
            RecordingSink sink;
            RegFileReader reader(sink);
            EXPECT_TRUE(reader.Feed(kHead + *line) && reader.Finish());
            ASSERT_EQ(sink.values.size(), 1u);
            EXPECT_EQ(sink.values[0], c.value);
        }
    }
}

TEST(RegFileWriter, WritesTheSampleKeyByteForByte) {
    const QByteArray file =
        RegFileHeader() + *RenderRegKeyLine(RegistryHive::kCurrentUser, "Software\\Sample") +
        *RenderRegValueLine(Value("Path", kRegString, "C:\\Data\\x")) +
        *RenderRegValueLine(Value("Count", kRegDword, QByteArray("\x0a\0\0\0", 4))) +
        *RenderRegValueLine(Value("", kRegString, "default"));
    EXPECT_FALSE(RenderRegKeyLine(RegistryHive::kCurrentUser, "a\nb"));
    EXPECT_FALSE(RenderRegKeyLine(RegistryHive::kCurrentUser, QString(4080, 'k')));
    EXPECT_EQ(file,
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Sample]\r\n"
              "\"Path\"=\"C:\\\\Data\\\\x\"\r\n\"Count\"=dword:0000000a\r\n@=\"default\"\r\n");
}

TEST(RegFileReader, ReadsTheFormatAndStopsAtTheFirstError) {
    const QString key = "HKEY_CURRENT_USER\\k";
    const QByteArray head = "REGEDIT4\r\n\r\n";
    const struct {
        const char* what;
        QByteArray file;
        QStringList events;
        int error = 0, line = 0;
    } cases[] = {
        {"sample",
         "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Sample]\r\n"
         "\"Path\"=\"C:\\\\Data\\\\x\"\r\n\"Count\"=dword:0000000a\r\n@=\"default\"\r\n",
         {"HKEY_CURRENT_USER\\Software\\Sample", "Path=1:433a5c446174615c7800", "Count=4:0a000000",
          "=1:64656661756c7400"}},
        {"REGEDIT5", "REGEDIT5\r\n\r\n[HKEY_CURRENT_USER\\k]\r\n", {}, EBADMSG, 1},
        {"empty file", "", {}, EBADMSG, 1},
        {"header only, no final line end", "REGEDIT4", {}},
        {"LF alone, CR anywhere dropped",
         "REGEDIT4\n[HKEY_CURRENT_USER\\k]\n\"a\"=\"x\r\"\n",
         {key, "a=1:7800"}},
        {"name holding = and a quote", kHead + "\"a=\\\"b\"=\"\"\r\n", {key, "a=\"b=1:"}},
        {"type words in any case",
         kHead + "\"a\"=DWORD:0000000A\r\n\"b\"=HEX(2):61,00\r\n"
                 "\"c\"=Hex:ff\r\n@=hex(7):00,00\r\n",
         {key, "a=4:0a000000", "b=2:6100", "c=3:ff", "=7:0000"}},
        {"hive root", head + "; c\r\n[HKEY_LOCAL_MACHINE\\]\r\n", {"HKEY_LOCAL_MACHINE\\"}},
        {"dword:a", kHead + "\"a\"=dword:a\r\n\"b\"=\"x\"\r\n", {key}, EBADMSG, 4},
        {"bad hex digit", kHead + "\"a\"=hex:0g\r\n", {key}, EBADMSG, 4},
        {"hex ending in a comma", kHead + "\"a\"=hex:01,\r\n", {key}, EBADMSG, 4},
        {"hex(2) without its zero", kHead + "\"a\"=hex(2):61\r\n", {key}, EBADMSG, 4},
        {"unterminated hex(7)", kHead + "\"a\"=hex(7):61,00\r\n", {key}, EBADMSG, 4},
        {"continuation without blanks", kHead + "\"a\"=hex:01,\\\r\n02\r\n", {key}, EBADMSG, 5},
        {"file ends in a continuation", kHead + "\"a\"=hex:01,\\\r\n", {key}, EBADMSG, 4},
        {"unknown type", kHead + "\"a\"=qword:01\r\n", {key}, EBADMSG, 4},
        {"overlong type word", kHead + "\"a\"=" + QByteArray(21, 'x') + ":0", {key}, EBADMSG, 4},
        {"text after the string", kHead + "\"a\"=\"x\" y\r\n", {key}, EBADMSG, 4},
        {"unclosed name", kHead + "\"a=\"x\r\n", {key}, EBADMSG, 4},
        {"empty name", kHead + "\"\"=\"x\"\r\n", {key}, EBADMSG, 4},
        {"@ without =", kHead + "@\"x\"\r\n", {key}, EBADMSG, 4},
        {"unknown hive", head + "[HKEY_CURRENT_USERS\\k]\r\n", {}, EBADMSG, 3},
        {"hive without a sub-key", head + "[HKEY_CURRENT_USER]\r\n", {}, EBADMSG, 3},
        {"key line without ]", head + "[HKEY_CURRENT_USER\\k\r\n", {}, EBADMSG, 3},
        {"value before any key", head + "\"a\"=\"x\"\r\n", {}, EBADMSG, 3},
        {"value after the empty line", kHead + "\r\n\"a\"=\"x\"\r\n", {key}, EBADMSG, 5},
        {"4096 long", "REGEDIT4\r\n;" + QByteArray(4095, 'x') + "\r\n", {}},
        {"4097 long", "REGEDIT4\n;" + QByteArray(4096, 'x') + "\n[HKEY_USERS\\a]", {}, EBADMSG, 2},
        {"registry refuses a value", kHead + "\"fail\"=\"x\"\r\n\"b\"=\"x\"\r\n", {key}, EROFS, 4},
    };
    for (const auto& c : cases) {
        // All at once, and byte by byte: the pieces a file comes in change nothing.
        for (const qsizetype piece : {c.file.size(), qsizetype(1)}) {
            RecordingSink sink;
            RegFileReader reader(sink);
            bool read = true;
            for (qsizetype at = 0; read && at < c.file.size(); at += piece) {
                read = reader.Feed(
                    QByteArrayView(c.file).sliced(at).first(qMin(piece, c.file.size() - at)));
            }
            EXPECT_EQ(read && reader.Finish(), c.error == 0) << c.what;
            EXPECT_EQ(reader.Error(), c.error) << c.what;
            EXPECT_EQ(sink.events, c.events) << c.what;
            if (c.error != 0) {
                EXPECT_EQ(reader.ErrorLine(), c.line) << c.what;
                EXPECT_FALSE(reader.Reason().isEmpty()) << c.what;
            }
        }
    }
}

}  // namespace
}  // namespace corvane
