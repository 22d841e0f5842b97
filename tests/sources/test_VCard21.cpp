#include <gtest/gtest.h>

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "sources/VCard21.h"
#include "sources/VCard21Reader.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::TempDir;

// Every property set, each text with the characters that need escaping and one that is not
// ASCII; a trailing blank is part of the name a restore matches on.
Contact FullContact() {
    Contact c;
    c.lastName = "Müller; Lee", c.firstName = "Ann, \"Annie\"", c.middleName = "B\\C";
    c.title = "Dr.", c.suffix = "Jr. ";
    int n = 0;
    for (QString Contact::*text : {&Contact::company,        &Contact::jobTitle,
                                   &Contact::role,           &Contact::businessPhone,
                                   &Contact::business2Phone, &Contact::homePhone,
                                   &Contact::home2Phone,     &Contact::primaryPhone,
                                   &Contact::mobilePhone,    &Contact::carPhone,
                                   &Contact::businessFax,    &Contact::homeFax,
                                   &Contact::pager,          &Contact::webPage,
                                   &Contact::spouse,         &Contact::children,
                                   &Contact::nickname,       &Contact::hobby,
                                   &Contact::language,       &Contact::note}) {
        c.*text = QString("%1 a;b,c\\d\ne Köln").arg(++n);
    }
    c.emails = {"ann@example.org", "a@b.c", "日本@example.jp"};
    c.birthday = QDate(1980, 2, 29);
    c.anniversary = QDate(2001, 12, 31);
    c.businessAddress = {"PO 1", "Floor 2", "Main St, 5", "Berlin", "BE", "10115", "DE"};
    c.homeAddress = {"", "Apt 5", "Rue;Haute", "Liège", "", "4000", "BE"};
    c.otherAddress = {"Box 9", "", "", "Wien", "", "", "AT"};
    c.gender = ContactGender::kFemale;
    return c;
}

struct WriterCase {
    const char* name;
    void (*fill)(Contact&);
    const char* body;  // the lines between "VERSION:2.1" and "END:VCARD"
};

class VCard21Writer : public testing::TestWithParam<WriterCase> {};

TEST_P(VCard21Writer, WritesTheLinesInOrder) {
    Contact contact;
    GetParam().fill(contact);
    EXPECT_EQ(VCard21Text(contact),
              QByteArray("BEGIN:VCARD\nVERSION:2.1\n") + GetParam().body + "END:VCARD\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VCard21Writer,
    testing::Values(
        WriterCase{"AnnLee", [](Contact& c) { c.firstName = "Ann", c.lastName = "Lee"; },
                   "N:Lee;Ann\nFN:Ann Lee\nADR;WORK:\nADR;HOME:\nADR;POSTAL:\n"},
        WriterCase{"TitleSuffixDatesAndGender",
                   [](Contact& c) {
                       c.title = "Dr.", c.lastName = "Lee", c.suffix = "Jr.";
                       c.birthday = QDate(987, 3, 4), c.anniversary = QDate(2020, 11, 30);
                       c.gender = ContactGender::kMale;
                   },
                   "N:Lee;;;Dr.;Jr.\nFN:Dr. Lee\nBDAY:09870304\nANNIV:20201130\nADR;WORK:\n"
                   "ADR;HOME:\nADR;POSTAL:\nX-WAB-GENDER:2\n"},
        WriterCase{
            "BusinessAddressOnlyCityAndCountry",
            [](Contact& c) { c.businessAddress.city = "Oslo", c.businessAddress.country = "NO"; },
            "N:\nFN:\nADR;WORK:;;;Oslo;;;NO\nADR;HOME:\nADR;POSTAL:\n"},
        WriterCase{
            "NoBirthdayNoneDateAndFarYearWriteNoDate",
            [](Contact& c) { c.anniversary = QDate(4501, 1, 1), c.birthday = QDate(12000, 1, 1); },
            "N:\nFN:\nADR;WORK:\nADR;HOME:\nADR;POSTAL:\n"},
        WriterCase{
            "EscapedSeparatorAtTheEndIsKept",
            [](Contact& c) { c.lastName = "Lee;", c.note = "a,b\\c\r\nd"; },
            "N:Lee\\;\nFN:Lee\\;\nADR;WORK:\nADR;HOME:\nADR;POSTAL:\nNOTE:a\\,b\\\\c\\nd\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// What vobject, an independent reader, makes of a card: the values of its lines.
const char* const kVobjectScript = R"(
import json, sys, vobject
card = vobject.readOne(open(sys.argv[1], encoding="utf-8").read())
text = lambda v: ",".join(v) if isinstance(v, list) else v
out = {"TEXT": {}, "ADR": []}
for line in card.getChildren():
    v = line.value
    if line.name == "N":
        out["N"] = [text(x) for x in (v.family, v.given, v.additional, v.prefix, v.suffix)]
    elif line.name == "ADR":
        out["ADR"].append([text(x) for x in (v.box, v.extended, v.street, v.city, v.region, v.code, v.country)])
    else:
        out["TEXT"][line.name + ";" + ";".join(line.singletonparams)] = text(v)
print(json.dumps(out))
)";

QStringList Strings(const QJsonValue& value) {
    return value.toVariant().toStringList();
}

TEST(VCard21, VobjectReadsTheValuesWritten) {
    TempDir dir;
    const Contact c = FullContact();
    const QString path = dir.File(ContactFileName(c));
    ASSERT_TRUE(WriteVCard21(c, path));
    const test::ToolResult result = test::RunPython(kVobjectScript, {path});
    ASSERT_EQ(result.exitCode, 0) << result.output.toStdString();
    const QJsonObject card = QJsonDocument::fromJson(result.output.toUtf8()).object();
    EXPECT_EQ(Strings(card["N"]),
              QStringList({c.lastName, c.firstName, c.middleName, c.title, c.suffix}));
    const QJsonArray addresses = card["ADR"].toArray();
    ASSERT_EQ(addresses.size(), 3);
    EXPECT_EQ(Strings(addresses[1]),
              QStringList({"", "Apt 5", "Rue;Haute", "Liège", "", "4000", "BE"}));
    const QJsonObject text = card["TEXT"].toObject();
    EXPECT_EQ(text["NOTE;"].toString(), c.note);
    EXPECT_EQ(text["EMAIL;THIRD;INTERNET"].toString(), c.emails[2]);
    EXPECT_EQ(text["BDAY;"].toString(), "19800229");
}

struct RoundTripCase {
    const char* name;
    void (*change)(Contact&);
};

class VCard21RoundTrip : public testing::TestWithParam<RoundTripCase> {};

// Whatever the card carries reads back unchanged, so a restore matches and sets it exactly.
TEST_P(VCard21RoundTrip, ReadsBackWhatWasWritten) {
    TempDir dir;
    Contact written = FullContact();
    GetParam().change(written);
    const QString path = dir.File("card.vcf");
    ASSERT_TRUE(WriteVCard21(written, path));
    Contact read;
    ASSERT_TRUE(ReadVCard21(path, read));
    EXPECT_EQ(read, written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VCard21RoundTrip,
    testing::Values(
        RoundTripCase{"FullContact", [](Contact&) {}},
        RoundTripCase{"TrailingBlankOfANamePartKeptForTheMatch",
                      [](Contact& c) { c.lastName = "Lee  ", c.suffix.clear(); }},
        RoundTripCase{"HomeExtendedPartNotLostOnRestore",
                      [](Contact& c) { c.homeAddress = {"", "Flat 2", "", "", "", "", ""}; }},
        RoundTripCase{"NothingButAName", [](Contact& c) { c = Contact(), c.lastName = "Lee"; }}),
    [](const auto& info) { return std::string(info.param.name); });

struct HostileCase {
    const char* name;
    QByteArray bytes;
    VCard21Read::State state;
    bool (*check)(const Contact&);  // what was read, for kRead
};

class VCard21Hostile : public testing::TestWithParam<HostileCase> {};

TEST_P(VCard21Hostile, RefusedOrReadSafely) {
    QByteArray bytes = GetParam().bytes;
    QBuffer buffer(&bytes);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    Contact contact;
    contact.nickname = "kept";
    const VCard21Read read = ReadVCard21Lines(buffer, contact);
    EXPECT_EQ(read.state, GetParam().state);
    EXPECT_EQ(contact.nickname, "kept");
    if (GetParam().check != nullptr) {
        EXPECT_TRUE(GetParam().check(contact));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VCard21Hostile,
    testing::Values(
        HostileCase{"OnlyBlankLines", " \r\n\t\n\n", VCard21Read::State::kEmpty, nullptr},
        HostileCase{"NoNameLine", "BEGIN:VCARD\nFN:Ann Lee\nEND:VCARD\n",
                    VCard21Read::State::kNoName, nullptr},
        HostileCase{"OverlongLine",
                    "N:Lee\nNOTE:" + QByteArray(kMaxVCard21LineBytes, 'x') + "\nEND:VCARD\n",
                    VCard21Read::State::kLineTooLong, nullptr},
        HostileCase{"BadDatesLeaveTheDates",
                    "N:Lee\nBDAY:19801345\nANNIV:2001-1-01\nX-WAB-GENDER:9\n",
                    VCard21Read::State::kRead,
                    [](const Contact& c) {
                        return c.birthday.isNull() && c.anniversary.isNull() &&
                               c.gender == ContactGender::kUnspecified;
                    }},
        HostileCase{"FirstLineOfATagCountsAndExtraPartsAreIgnored",
                    "  n:Lee;Ann;;;;extra;more\r\nN:Other\nBDAY:1999-12-31\nBDAY:20000101\n"
                    "ADR;HOME:;;Elm;Oslo;;;NO;;;\nEMAIL;SEC;INTERNET:x\\",
                    VCard21Read::State::kRead,
                    [](const Contact& c) {
                        return c.lastName == "Lee" && c.firstName == "Ann" && c.suffix.isEmpty() &&
                               c.birthday == QDate(1999, 12, 31) && c.homeAddress.country == "NO" &&
                               c.emails[1] == "x\\";
                    }},
        HostileCase{
            "Latin1ReadAsLatin1", "N:M\xFCller\nORG:caf\xC3\xA9\n", VCard21Read::State::kRead,
            [](const Contact& c) { return c.lastName == "Müller" && c.company == "café"; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VCard21, FileNamesStayInsideTheirFolder) {
    const auto name = [](const QString& first, const QString& last) {
        Contact c;
        c.firstName = first;
        c.lastName = last;
        return ContactFileName(c);
    };
    EXPECT_EQ(name("Ann", "Lee"), "Ann Lee.vcf");
    EXPECT_EQ(name("../..", "a\\b"), "_.._.. a_b.vcf");
    EXPECT_EQ(name("", ""), "_.vcf");
    EXPECT_EQ(name("a\nb/c", ""), "a_b_c.vcf");
    EXPECT_EQ(name(QString(200, QChar(0xE9)), "😀"), QString(125, QChar(0xE9)) + ".vcf");
}

}  // namespace
}  // namespace corvane
