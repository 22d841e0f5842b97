#include "app/HandOverRecord.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace corvane {
namespace {

// A string of `count` copies of one code unit.
QString Units(char16_t unit, int count) {
    return QString(count, QChar(unit));
}

struct RecordCase {
    const char* label;
    QString argument;
    QString expected;  // what the receiver gets
    bool cut;
};

class HandOverRecordTest : public testing::TestWithParam<RecordCase> {};

TEST_P(HandOverRecordTest, EncodesWhatTheReceiverDecodes) {
    const RecordCase& c = GetParam();
    bool cut = !c.cut;
    const QByteArray record = HandOverRecord::Encode(c.argument, &cut);
    ASSERT_EQ(record.size(), 520);
    EXPECT_EQ(cut, c.cut);
    EXPECT_EQ(HandOverRecord::Fits(c.argument), !c.cut || c.argument.contains(QChar(u'\0')));

    QString decoded = QStringLiteral("untouched");
    ASSERT_TRUE(HandOverRecord::Decode(record, decoded));
    EXPECT_EQ(decoded, c.expected);

    // Little-endian units, a NUL after the text, zero to the end.
    for (qsizetype i = 0; i < c.expected.size(); ++i) {
        const char16_t unit = c.expected.at(i).unicode();
        EXPECT_EQ(static_cast<uchar>(record[2 * i]), unit & 0xff) << "unit " << i;
        EXPECT_EQ(static_cast<uchar>(record[2 * i + 1]), unit >> 8) << "unit " << i;
    }
    EXPECT_EQ(record.mid(2 * c.expected.size()), QByteArray(520 - 2 * c.expected.size(), '\0'));
}

const QString kClef = QString::fromUtf8("\xF0\x9D\x84\x9E");  // one character, two units
const QString kFotos = QString::fromUtf8("Fotos \xC3\xA4\xE2\x9C\x93") + kClef;

INSTANTIATE_TEST_SUITE_P(
    Arguments, HandOverRecordTest,
    testing::Values(RecordCase{"Empty", QString(), QString(), false},
                    RecordCase{"NonAscii", kFotos, kFotos, false},
                    RecordCase{"Exactly259", Units(u'a', 259), Units(u'a', 259), false},
                    RecordCase{"Longer", Units(u'b', 400), Units(u'b', 259), true},
                    // The pair would straddle unit 259: both halves are left out.
                    RecordCase{"PairAtTheEdge", Units(u'c', 258) + kClef, Units(u'c', 258), true},
                    // The pair ends exactly at unit 259: kept.
                    RecordCase{"PairFits", Units(u'd', 257) + kClef + "e", Units(u'd', 257) + kClef,
                               true},
                    // What follows a NUL would never reach the receiver: it counts as cut.
                    RecordCase{"EmbeddedNul", QString("ab") + QChar(u'\0') + "cd", "ab", true}),
    [](const testing::TestParamInfo<RecordCase>& info) { return info.param.label; });

TEST(HandOverRecordDecode, RefusesWhatNoSenderWrites) {
    QString argument = QStringLiteral("kept");
    for (const int wrongSize : {0, 518, 522}) {
        EXPECT_FALSE(HandOverRecord::Decode(QByteArray(wrongSize, '\0'), argument)) << wrongSize;
    }
    // 260 units without a terminator.
    QByteArray full(520, '\0');
    for (int i = 0; i < 520; i += 2) {
        full[i] = 'x';
    }
    EXPECT_FALSE(HandOverRecord::Decode(full, argument));
    EXPECT_EQ(argument, QStringLiteral("kept"));

    // A terminator in the last unit: 259 units of text.
    full[518] = '\0';
    ASSERT_TRUE(HandOverRecord::Decode(full, argument));
    EXPECT_EQ(argument, Units(u'x', 259));

    // Bytes after the terminator do not matter.
    QByteArray record = HandOverRecord::Encode(QStringLiteral("Docs"));
    record[100] = 'z';
    ASSERT_TRUE(HandOverRecord::Decode(record, argument));
    EXPECT_EQ(argument, QStringLiteral("Docs"));
}

}  // namespace
}  // namespace corvane
