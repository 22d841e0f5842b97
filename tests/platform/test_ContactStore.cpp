#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/ContactStore.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

// Ann Lee as vobject writes her (vCard 3.0), with what a Contact does not carry.
const char* kVobjectWrite = R"(
import sys, vobject
c = vobject.vCard()
c.add('uid').value = 'uid-of-vobject'
c.add('n').value = vobject.vcard.Name(family='Lee', given='Ann')
c.add('fn').value = 'Ann Lee'
c.add('org').value = ['Acme', 'Research']
t = c.add('tel'); t.value = '+1 555 0100'; t.type_param = 'WORK'
p = c.add('photo'); p.encoding_param = 'b'; p.type_param = 'JPEG'; p.value = bytes(range(256)) * 4
c.add('categories').value = ['friends', 'work']
c.add('x-corvane-kept').value = 'kept'
open(sys.argv[1], 'w', newline='').write(c.serialize())
)";

const char* kVobjectRead = R"(
import sys, json, vobject
c = vobject.readOne(open(sys.argv[1], encoding='utf-8').read())
get = lambda name: c.contents[name][0].value if name in c.contents else None
print(json.dumps({'uid': get('uid'), 'photo': len(get('photo') or b''), 'kept': get('x-corvane-kept'),
                  'org': ';'.join(get('org') or []), 'note': get('note')}))
)";

const char* kKhardTemplate =
    "First name : Ann\nLast name : Lee\nOrganisation : Acme\nPhone :\n    work : +1 555 "
    "0100\nBirthday : 1980-01-02\nNickname : Annie\n";

Contact FullContact() {
    Contact c;
    c.lastName = "Lee";
    c.firstName = "Ann";
    c.company = "NewCo";
    c.jobTitle = "Chief, Engineer";
    c.role = "Lead";
    int n = 100;
    for (QString Contact::*phone :
         {&Contact::businessPhone, &Contact::business2Phone, &Contact::homePhone,
          &Contact::home2Phone, &Contact::primaryPhone, &Contact::mobilePhone, &Contact::carPhone,
          &Contact::businessFax, &Contact::homeFax, &Contact::pager}) {
        c.*phone = QString("+1 555 0%1").arg(++n);
    }
    c.webPage = "https://example.org/ann";
    c.emails = {"ann@example.org", "ann@work.example", "a.lee@example.net"};
    c.birthday = QDate(1980, 1, 2);
    c.anniversary = QDate(2005, 6, 7);
    c.businessAddress = {"", "", "2 Work Rd", "Springfield", "", "", "US"};
    c.homeAddress = {"PO 1", "Flat 3", "1 Main St", "Sprïngfield", "IL", "12345", "US"};
    c.otherAddress = {"", "", "9 Post Way", "Shelbyville", "", "", ""};
    c.spouse = "Bob Lee";
    c.children = "Cy, Di";
    c.nickname = "Annie";
    c.hobby = "Chess";
    c.language = "en";
    c.note = "Line one;\nline two \\ with a long tail that needs folding: äöü äöü äöü äöü äöü";
    c.gender = ContactGender::kFemale;
    return c;
}

class ContactStoreTest : public ::testing::Test {
  protected:
    test::TempDir m_dir;
    test::ScopedEnv m_home{"HOME", m_dir.Path().toUtf8()};
    QString m_book = m_dir.File("book");

    test::ToolResult Khard(const QString& version, const QStringList& arguments) {
        const QString config = m_dir.Write(
            "khard.conf", QStringLiteral("[addressbooks]\n[[book]]\npath = %1\n[general]\neditor = "
                                         "/bin/true\nmerge_editor = /bin/true\n[vcard]\n"
                                         "preferred_version = %2\n")
                              .arg(m_book, version)
                              .toUtf8());
        return test::RunTool("khard", QStringList{"--config", config} + arguments);
    }
    QStringList Cards() const {
        return QDir(m_book).entryList({"*.vcf"}, QDir::Files | QDir::Hidden, QDir::Name);
    }
    QJsonObject VobjectRead(const QString& name) {
        const test::ToolResult result = test::RunPython(kVobjectRead, {m_book + '/' + name});
        EXPECT_EQ(result.exitCode, 0) << result.output.toStdString();
        return QJsonDocument::fromJson(result.output.toUtf8()).object();
    }
};

struct Maker {
    const char* name;
    const char* khardVersion;  // nullptr: vobject writes the card
};

class ToolCardTest : public ContactStoreTest, public ::testing::WithParamInterface<Maker> {};

TEST_P(ToolCardTest, ReadUpdateInPlaceAndSaveTwiceChangesNothing) {
    ASSERT_TRUE(QDir().mkpath(m_book));
    const Maker maker = GetParam();
    if (maker.khardVersion == nullptr) {
        const test::ToolResult made = test::RunPython(kVobjectWrite, {m_book + "/ann.vcf"});
        ASSERT_EQ(made.exitCode, 0) << made.output.toStdString();
    } else {
        const QString yaml = m_dir.Write("ann.yaml", kKhardTemplate);
        const test::ToolResult made = Khard(maker.khardVersion, {"new", "-a", "book", "-i", yaml});
        ASSERT_EQ(made.exitCode, 0) << made.output.toStdString();
    }
    const QStringList cards = Cards();
    ASSERT_EQ(cards.size(), 1);
    const QString uid = VobjectRead(cards[0])["uid"].toString();

    ContactStore store(m_book);
    std::vector<StoredContact> read;
    ASSERT_TRUE(store.Read(read));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].fileName, cards[0]);
    EXPECT_EQ(ContactDisplayText(read[0].contact), "Ann Lee");
    EXPECT_EQ(read[0].contact.company, "Acme");
    EXPECT_EQ(read[0].contact.businessPhone, "+1 555 0100");

    const Contact full = FullContact();
    QString savedName;
    ASSERT_TRUE(store.Save(full, &savedName));
    EXPECT_EQ(savedName, cards[0]);
    ASSERT_TRUE(store.Read(read));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].contact, full);

    const QByteArray once = test::ReadAll(m_book + '/' + cards[0]);
    ASSERT_TRUE(store.Save(full));
    EXPECT_EQ(test::ReadAll(m_book + '/' + cards[0]), once);
    EXPECT_EQ(Cards(), cards);

    const QString version = maker.khardVersion ? maker.khardVersion : "3.0";
    EXPECT_TRUE(once.contains("VERSION:" + version.toUtf8()));
    const test::ToolResult listed = Khard(version, {"list", "--parsable"});
    EXPECT_EQ(listed.output.count("Ann Lee"), 1) << listed.output.toStdString();
    const QJsonObject kept = VobjectRead(cards[0]);
    EXPECT_EQ(kept["uid"].toString(), uid);
    EXPECT_EQ(kept["note"].toString(), full.note);
    if (maker.khardVersion == nullptr) {
        EXPECT_EQ(kept["photo"].toInt(), 1024);
        EXPECT_EQ(kept["kept"].toString(), "kept");
        EXPECT_TRUE(once.contains("CATEGORIES:friends,work"));
        EXPECT_EQ(kept["org"].toString(), "NewCo;Research");  // the department stays
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolCardTest,
                         ::testing::Values(Maker{"vobject30", nullptr}, Maker{"khard30", "3.0"},
                                           Maker{"khard40", "4.0"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContactStoreTest, NewContactGetsFreshUidAndIsNotAddedTwice) {
    ContactStore store(m_book);  // the folder does not exist yet
    const Contact full = FullContact();
    QString name;
    ASSERT_TRUE(store.Save(full, &name));
    ASSERT_EQ(Cards(), QStringList{name});
    EXPECT_EQ(VobjectRead(name)["uid"].toString() + ".vcf", name);
    EXPECT_EQ(QFile::permissions(m_book + '/' + name) & 0x0777, 0x0600);
    const QByteArray once = test::ReadAll(m_book + '/' + name);
    ASSERT_TRUE(store.Save(full));
    EXPECT_EQ(Cards(), QStringList{name});
    EXPECT_EQ(test::ReadAll(m_book + '/' + name), once);
    EXPECT_EQ(Khard("3.0", {"list", "--parsable"}).output.count("Ann Lee"), 1);
    std::vector<StoredContact> read;
    ASSERT_TRUE(store.Read(read));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].contact, full);
}

struct HostileCard {
    const char* name;
    QByteArray bytes;
    const char* lastName;  // what is read, nullptr when the card must be skipped
};

class HostileCardTest : public ContactStoreTest,
                        public ::testing::WithParamInterface<HostileCard> {};

TEST_P(HostileCardTest, SkippedWithWarningOthersRead) {
    const HostileCard card = GetParam();
    m_dir.Write("book/good.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Good;;;;\r\nEND:VCARD\r\n");
    if (QByteArray(card.name) == "link_out_of_folder") {
        QFile::link(m_dir.Write("outside.vcf", card.bytes), m_book + "/evil.vcf");
    } else {
        m_dir.Write("book/evil.vcf", card.bytes);
    }
    test::LogCapture log;
    std::vector<StoredContact> read;
    ASSERT_TRUE(ContactStore(m_book).Read(read));
    QStringList names;
    for (const StoredContact& stored : read) {
        names << stored.contact.lastName;
    }
    if (card.lastName == nullptr) {
        EXPECT_EQ(names, QStringList{"Good"});
        EXPECT_EQ(log.Texts().filter("evil.vcf").size(), 1) << log.Texts().join('\n').toStdString();
    } else {
        EXPECT_EQ(names, (QStringList{QString::fromUtf8(card.lastName), "Good"}));
    }
}

QByteArray Card(const QByteArray& body) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + body + "\r\nEND:VCARD\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Cards, HostileCardTest,
    ::testing::Values(
        HostileCard{"overlong", Card("N:Evil;;;;\r\nNOTE:" + QByteArray(2 << 20, 'a')), nullptr},
        HostileCard{"continuation_first", " N:Evil\r\n" + Card("N:Evil;;;;"), nullptr},
        HostileCard{"no_end", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Evil;;;;\r\n", nullptr},
        HostileCard{"line_without_colon", Card("N:Evil;;;;\r\nNOTE;broken"), nullptr},
        HostileCard{"bad_quoted_printable", Card("N:Evil;;;;\r\nNOTE;ENCODING=QUOTED-PRINTABLE:=Z"),
                    nullptr},
        HostileCard{"bad_base64", Card("N:Evil;;;;\r\nNOTE;ENCODING=b:@@@="), nullptr},
        HostileCard{"link_out_of_folder", Card("N:Evil;;;;"), nullptr},
        HostileCard{"invalid_utf8", Card("N:Ev\xffil;;;;"), "Ev\xef\xbf\xbdil"},
        HostileCard{"folded_quoted_printable",
                    Card("N;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:M=C3=BC=\r\nller;;;;"),
                    "M\xc3\xbcller"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane
