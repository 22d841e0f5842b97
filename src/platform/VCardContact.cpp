#include "platform/VCardContact.h"

#include <array>

namespace corvane {
namespace {

enum class Kind { kText, kCompany, kEmail, kDate, kAddress, kGender };

// Which property carries each field of a Contact, in the order new lines are written.
// `keys` name what a line is read as (LineKey): "TEL:work" is a TEL of the work kind, and
// rows that share a key take such lines in table order, preferred lines first. `write30`
// and `write40` are the property with its parameters in a 3.0 and a 4.0 card.
struct FieldRow {
    Kind kind;
    const char* keys;  // '|' separated
    const char* write30;
    const char* write40;
    QString Contact::*text = nullptr;
    QDate Contact::*date = nullptr;
    ContactAddress Contact::*address = nullptr;
    int email = -1;
};

const FieldRow kFieldRows[] = {
    {Kind::kCompany, "ORG", "ORG", "ORG", &Contact::company},
    {Kind::kText, "TITLE", "TITLE", "TITLE", &Contact::jobTitle},
    {Kind::kText, "ROLE", "ROLE", "ROLE", &Contact::role},
    {Kind::kText, "TEL:work", "TEL;TYPE=WORK,VOICE", "TEL;TYPE=\"work,voice\"",
     &Contact::businessPhone},
    {Kind::kText, "TEL:work", "TEL;TYPE=WORK,VOICE", "TEL;TYPE=\"work,voice\"",
     &Contact::business2Phone},
    {Kind::kText, "TEL:home", "TEL;TYPE=HOME,VOICE", "TEL;TYPE=\"home,voice\"",
     &Contact::homePhone},
    {Kind::kText, "TEL:home", "TEL;TYPE=HOME,VOICE", "TEL;TYPE=\"home,voice\"",
     &Contact::home2Phone},
    {Kind::kText, "TEL:main", "TEL;TYPE=VOICE,PREF", "TEL;TYPE=voice;PREF=1",
     &Contact::primaryPhone},
    {Kind::kText, "TEL:cell", "TEL;TYPE=CELL,VOICE", "TEL;TYPE=\"cell,voice\"",
     &Contact::mobilePhone},
    {Kind::kText, "TEL:car", "TEL;TYPE=CAR,VOICE", "TEL;TYPE=\"car,voice\"", &Contact::carPhone},
    {Kind::kText, "TEL:workfax", "TEL;TYPE=WORK,FAX", "TEL;TYPE=\"work,fax\"",
     &Contact::businessFax},
    {Kind::kText, "TEL:homefax", "TEL;TYPE=HOME,FAX", "TEL;TYPE=\"home,fax\"", &Contact::homeFax},
    {Kind::kText, "TEL:pager", "TEL;TYPE=PAGER", "TEL;TYPE=pager", &Contact::pager},
    {Kind::kText, "URL", "URL", "URL", &Contact::webPage},
    {.kind = Kind::kEmail,
     .keys = "EMAIL",
     .write30 = "EMAIL;TYPE=INTERNET,PREF",
     .write40 = "EMAIL;PREF=1",
     .email = 0},
    {.kind = Kind::kEmail,
     .keys = "EMAIL",
     .write30 = "EMAIL;TYPE=INTERNET",
     .write40 = "EMAIL",
     .email = 1},
    {.kind = Kind::kEmail,
     .keys = "EMAIL",
     .write30 = "EMAIL;TYPE=INTERNET",
     .write40 = "EMAIL",
     .email = 2},
    {.kind = Kind::kDate,
     .keys = "BDAY",
     .write30 = "BDAY",
     .write40 = "BDAY",
     .date = &Contact::birthday},
    {.kind = Kind::kDate,
     .keys = "ANNIVERSARY|X-ANNIVERSARY",
     .write30 = "X-ANNIVERSARY",
     .write40 = "ANNIVERSARY",
     .date = &Contact::anniversary},
    {.kind = Kind::kAddress,
     .keys = "ADR:work",
     .write30 = "ADR;TYPE=WORK",
     .write40 = "ADR;TYPE=work",
     .address = &Contact::businessAddress},
    {.kind = Kind::kAddress,
     .keys = "ADR:home",
     .write30 = "ADR;TYPE=HOME",
     .write40 = "ADR;TYPE=home",
     .address = &Contact::homeAddress},
    {.kind = Kind::kAddress,
     .keys = "ADR:other",
     .write30 = "ADR;TYPE=POSTAL",
     .write40 = "ADR",
     .address = &Contact::otherAddress},
    {Kind::kText, "X-SPOUSE|RELATED:spouse", "X-SPOUSE", "RELATED;TYPE=spouse;VALUE=text",
     &Contact::spouse},
    {Kind::kText, "X-CHILDREN|RELATED:child", "X-CHILDREN", "RELATED;TYPE=child;VALUE=text",
     &Contact::children},
    {Kind::kText, "NICKNAME", "NICKNAME", "NICKNAME", &Contact::nickname},
    {Kind::kText, "X-HOBBY", "X-HOBBY", "X-HOBBY", &Contact::hobby},
    {Kind::kText, "LANG", "LANG", "LANG", &Contact::language},
    {Kind::kText, "NOTE", "NOTE", "NOTE", &Contact::note},
    {Kind::kGender, "GENDER|X-GENDER", "X-GENDER", "GENDER"},
};
constexpr int kRowCount = static_cast<int>(std::size(kFieldRows));

QString PhoneKind(const QStringList& types) {
    const auto has = [&types](const char* type) { return types.contains(QLatin1String(type)); };
    if (has("fax")) {
        return has("home") && !has("work") ? QStringLiteral("homefax") : QStringLiteral("workfax");
    }
    for (const char* kind : {"pager", "cell", "car", "work", "home"}) {
        if (has(kind)) {
            return QString::fromLatin1(kind);
        }
    }
    for (const QString& type : types) {
        if (type != QLatin1String("voice") && type != QLatin1String("pref") &&
            type != QLatin1String("main")) {
            return QStringLiteral("other");  // video, text, modem...: not one of ours
        }
    }
    return QStringLiteral("main");
}

// What a line is read as: its property name, refined by the kind for TEL, ADR, RELATED.
QString LineKey(const VCardProperty& property) {
    const QString name = QString::fromLatin1(property.name);
    const QStringList types = property.Types();
    if (property.name == "TEL") {
        return name + ':' + PhoneKind(types);
    }
    if (property.name == "ADR") {
        for (const char* kind : {"work", "home"}) {
            if (types.contains(QLatin1String(kind))) {
                return name + ':' + QLatin1String(kind);
            }
        }
        return QStringLiteral("ADR:other");
    }
    if (property.name == "RELATED") {
        for (const char* kind : {"spouse", "child"}) {
            if (types.contains(QLatin1String(kind))) {
                return name + ':' + QLatin1String(kind);
            }
        }
        return QStringLiteral("RELATED:other");
    }
    return name;
}

bool RowHasKey(const FieldRow& row, const QString& key) {
    return QString::fromLatin1(row.keys).split('|').contains(key);
}

// 19800101, 1980-01-01, with or without a time after "T"; "--0101" has no year: invalid.
QDate ParseVCardDate(const QString& value) {
    const QString date = value.trimmed().section('T', 0, 0);
    if (date.size() == 8) {
        return QDate::fromString(date, QStringLiteral("yyyyMMdd"));
    }
    if (date.size() == 10) {
        return QDate::fromString(date, QStringLiteral("yyyy-MM-dd"));
    }
    return {};
}

ContactGender ParseGender(const QString& value) {
    const QString sex = SplitVCardComponents(value).first().trimmed().toLower();
    if (sex == QLatin1String("f") || sex == QLatin1String("female")) {
        return ContactGender::kFemale;
    }
    if (sex == QLatin1String("m") || sex == QLatin1String("male")) {
        return ContactGender::kMale;
    }
    return ContactGender::kUnspecified;
}

// The text after the first unescaped ';', as written.
QString AfterFirstComponent(const QString& value) {
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\\') {
            ++i;
        } else if (value[i] == ';') {
            return value.mid(i + 1);
        }
    }
    return {};
}

enum class Taken { kYes, kWeak };

// Sets the row's field from the decoded value; kWeak when the value is none we can hold.
Taken TakeValue(const FieldRow& row, const VCardProperty& property, const QString& value,
                ParsedVCard& card) {
    Contact& contact = card.contact;
    switch (row.kind) {
        case Kind::kText: {
            QString text = UnescapeVCardText(value);
            if (property.name == "TEL" && text.startsWith(QLatin1String("tel:"))) {
                text = text.mid(4);
            }
            contact.*row.text = text;
            return Taken::kYes;
        }
        case Kind::kCompany:
            contact.company = SplitVCardComponents(value).first();
            card.orgUnits = AfterFirstComponent(value);
            return Taken::kYes;
        case Kind::kEmail:
            contact.emails[row.email] = UnescapeVCardText(value);
            return Taken::kYes;
        case Kind::kDate:
            contact.*row.date = ParseVCardDate(value);
            return (contact.*row.date).isValid() ? Taken::kYes : Taken::kWeak;
        case Kind::kAddress: {
            QStringList parts = SplitVCardComponents(value);
            parts.resize(7);
            contact.*row.address = {parts[0], parts[1], parts[2], parts[3],
                                    parts[4], parts[5], parts[6]};
            return Taken::kYes;
        }
        case Kind::kGender:
            contact.gender = ParseGender(value);
            return contact.gender == ContactGender::kUnspecified ? Taken::kWeak : Taken::kYes;
    }
    return Taken::kWeak;
}

// The escaped value a row writes for the contact; empty when it writes no line.
QString RowValue(const FieldRow& row, const Contact& contact, VCardVersion version,
                 const QString& orgUnits) {
    const bool v4 = version == VCardVersion::k40;
    switch (row.kind) {
        case Kind::kText:
            return EscapeVCardText(contact.*row.text);
        case Kind::kCompany:
            // Departments of the old card stay: a Contact carries the company alone.
            if (orgUnits.isEmpty()) {
                return EscapeVCardText(contact.company);
            }
            return EscapeVCardText(contact.company) + ';' + orgUnits;
        case Kind::kEmail:
            return EscapeVCardText(contact.emails[row.email]);
        case Kind::kDate: {
            const QDate date = contact.*row.date;
            return date.isValid() ? date.toString(v4 ? QStringLiteral("yyyyMMdd")
                                                     : QStringLiteral("yyyy-MM-dd"))
                                  : QString();
        }
        case Kind::kAddress: {
            const ContactAddress& a = contact.*row.address;
            if (a.IsEmpty()) {
                return {};
            }
            QStringList parts;
            for (const QString* part : {&a.poBox, &a.extended, &a.street, &a.city, &a.region,
                                        &a.postalCode, &a.country}) {
                parts << EscapeVCardText(*part);
            }
            return parts.join(';');
        }
        case Kind::kGender:
            if (contact.gender == ContactGender::kUnspecified) {
                return {};
            }
            if (contact.gender == ContactGender::kFemale) {
                return v4 ? QStringLiteral("F") : QStringLiteral("Female");
            }
            return v4 ? QStringLiteral("M") : QStringLiteral("Male");
    }
    return {};
}

QByteArray FieldLines(const Contact& contact, VCardVersion version, const QString& orgUnits,
                      const QByteArray& lineEnd) {
    QByteArray lines;
    for (const FieldRow& row : kFieldRows) {
        const QString value = RowValue(row, contact, version, orgUnits);
        if (value.isEmpty()) {
            continue;
        }
        const char* property = version == VCardVersion::k40 ? row.write40 : row.write30;
        lines += FoldVCardLine(QByteArray(property) + ':' + value.toUtf8(), lineEnd);
    }
    return lines;
}

bool IsFrameLine(const VCardRawLine& line, const char* frame) {
    return line.content.trimmed().compare(frame, Qt::CaseInsensitive) == 0;
}

}  // namespace

bool ReadVCard(const QByteArray& bytes, ParsedVCard& card, QString& error) {
    card = {};
    if (bytes.size() > kMaxVCardSize) {
        error = QStringLiteral("the card is larger than %1 bytes").arg(kMaxVCardSize);
        return false;
    }
    if (!SplitVCardLines(bytes, card.lines, error)) {
        return false;
    }
    qsizetype begin = 0;
    while (begin < qsizetype(card.lines.size()) && card.lines[begin].content.trimmed().isEmpty()) {
        ++begin;
    }
    if (begin == qsizetype(card.lines.size()) || !IsFrameLine(card.lines[begin], "BEGIN:VCARD")) {
        error = QStringLiteral("the file does not begin with BEGIN:VCARD");
        return false;
    }
    card.lineEnd = card.lines[begin].bytes.endsWith("\r\n") ? "\r\n" : "\n";
    card.endLine = begin + 1;
    while (card.endLine < qsizetype(card.lines.size()) &&
           !IsFrameLine(card.lines[card.endLine], "END:VCARD")) {
        ++card.endLine;
    }
    if (card.endLine == qsizetype(card.lines.size())) {
        error = QStringLiteral("the card has no END:VCARD");
        return false;
    }
    card.fieldRows.assign(card.lines.size(), -1);
    card.weak.assign(card.lines.size(), false);

    std::vector<VCardProperty> properties(card.lines.size());
    for (qsizetype i = begin + 1; i < card.endLine; ++i) {
        if (card.lines[i].content.trimmed().isEmpty()) {
            continue;
        }
        if (!ParseVCardProperty(card.lines[i].content, properties[i])) {
            error = QStringLiteral("line %1 is no property").arg(i + 1);
            return false;
        }
        QString text;
        if (properties[i].name == "VERSION") {
            card.version =
                properties[i].value.trimmed() == "4.0" ? VCardVersion::k40 : VCardVersion::k30;
        } else if (properties[i].name == "N") {
            if (!DecodeVCardValue(properties[i], text, error)) {
                return false;
            }
            QStringList parts = SplitVCardComponents(text);
            parts.resize(5);
            card.contact.lastName = parts[0];
            card.contact.firstName = parts[1];
            card.contact.middleName = parts[2];
            card.contact.title = parts[3];
            card.contact.suffix = parts[4];
        }
    }

    std::array<bool, kRowCount> filled{};
    for (const bool preferredPass : {true, false}) {
        for (qsizetype i = begin + 1; i < card.endLine; ++i) {
            const VCardProperty& property = properties[i];
            if (property.name.isEmpty() || card.fieldRows[i] >= 0 ||
                property.IsPreferred() != preferredPass) {
                continue;
            }
            const QString key = LineKey(property);
            for (int row = 0; row < kRowCount; ++row) {
                if (!RowHasKey(kFieldRows[row], key)) {
                    continue;
                }
                // A line of ours beyond what a Contact holds (a fourth e-mail address) is
                // replaced too, else it would move into a freed field on the next read.
                card.fieldRows[i] = row;
                if (filled[row]) {
                    continue;
                }
                QString value;
                if (!DecodeVCardValue(property, value, error)) {
                    return false;
                }
                card.weak[i] = TakeValue(kFieldRows[row], property, value, card) == Taken::kWeak;
                filled[row] = !card.weak[i];
                break;
            }
        }
    }
    return true;
}

QByteArray RewriteVCard(const ParsedVCard& card, const Contact& contact) {
    const QByteArray fields = FieldLines(contact, card.version, card.orgUnits, card.lineEnd);
    QByteArray bytes;
    bool placed = false;
    for (qsizetype i = 0; i < qsizetype(card.lines.size()); ++i) {
        const int row = card.fieldRows[i];
        const bool replaced =
            row >= 0 &&
            (!card.weak[i] ||
             !RowValue(kFieldRows[row], contact, card.version, card.orgUnits).isEmpty());
        // The new lines go where the first old one stood, else before the end of the card.
        if (!placed && (replaced || i == card.endLine)) {
            bytes += fields;
            placed = true;
        }
        if (!replaced) {
            bytes += card.lines[i].bytes;
        }
    }
    return bytes;
}

QByteArray NewVCard(const Contact& contact, const QString& uid) {
    const QByteArray lineEnd = "\r\n";
    QStringList name;
    for (const QString* part : {&contact.lastName, &contact.firstName, &contact.middleName,
                                &contact.title, &contact.suffix}) {
        name << EscapeVCardText(*part);
    }
    QString fullName = ContactDisplayText(contact);
    if (fullName.isEmpty()) {
        fullName = contact.company;
    }
    QByteArray bytes = "BEGIN:VCARD" + lineEnd + "VERSION:3.0" + lineEnd;
    bytes += FoldVCardLine("UID:" + EscapeVCardText(uid).toUtf8(), lineEnd);
    bytes += FoldVCardLine("N:" + name.join(';').toUtf8(), lineEnd);
    bytes += FoldVCardLine("FN:" + EscapeVCardText(fullName).toUtf8(), lineEnd);
    bytes += FieldLines(contact, VCardVersion::k30, QString(), lineEnd);
    bytes += "END:VCARD" + lineEnd;
    return bytes;
}

}  // namespace corvane
