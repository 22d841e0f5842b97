#include "model/FileName.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

struct NameCase {
    const char* label;
    QByteArray bytes;
    bool raw;
    const char* display;  // UTF-8
};

void PrintTo(const NameCase& param, std::ostream* out) {
    *out << param.label;
}

class FileNameTest : public testing::TestWithParam<NameCase> {};

// Every byte string survives the trip through QString (so U+00E9 in UTF-8 and the Latin-1
// byte stay two names); only names that are not UTF-8 are marked raw, and a person sees
// their stray bytes as \xNN.
TEST_P(FileNameTest, RoundTripsBytesAndShowsStrayBytesEscaped) {
    const NameCase& c = GetParam();
    const QString name = FileNameFromBytes(c.bytes);
    EXPECT_EQ(FileNameToBytes(name), c.bytes);
    EXPECT_EQ(FileNameIsRaw(name), c.raw);
    EXPECT_EQ(FileNameForDisplay(name), QString::fromUtf8(c.display));
}

INSTANTIATE_TEST_SUITE_P(
    Names, FileNameTest,
    testing::Values(NameCase{"ascii", "notes.txt", false, "notes.txt"},
                    NameCase{"utf8", "K\xC3\xB6ln \xE2\x82\xAC \xF0\x9F\x98\x80", false,
                             "K\xC3\xB6ln \xE2\x82\xAC \xF0\x9F\x98\x80"},
                    NameCase{"latin1", "caf\xE9.txt", true, "caf\\xE9.txt"},
                    NameCase{"truncated sequence", "a\xC3", true, "a\\xC3"},
                    NameCase{"overlong slash", "\xC0\xAF", true, "\\xC0\\xAF"},
                    NameCase{"encoded surrogate", "\xED\xB2\x80", true, "\\xED\\xB2\\x80"},
                    NameCase{"past U+10FFFF", "\xF4\x90\x80\x80", true, "\\xF4\\x90\\x80\\x80"},
                    NameCase{"mixed", "\xC3\xA9-\xFF-\xC3\xA9", true, "\xC3\xA9-\\xFF-\xC3\xA9"},
                    NameCase{"empty", "", false, ""}));

}  // namespace
}  // namespace corvane
