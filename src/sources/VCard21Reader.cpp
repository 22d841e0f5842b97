#include "sources/VCard21Reader.h"

#include <QStringDecoder>
#include <vector>

#include "platform/VCardLine.h"
#include "sources/VCard21Fields.h"
#include "sources/VCard21Value.h"

namespace corvane {

namespace {

QString DecodeLine(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

// The line without its break and without blanks in front.
QByteArray CleanLine(QByteArray line) {
    while (line.endsWith('\n') || line.endsWith('\r')) {
        line.chop(1);
    }
    qsizetype start = 0;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) {
        ++start;
    }
    return line.mid(start);
}

bool StartsWithTag(const QByteArray& line, const char* tag) {
    const std::size_t length = qstrlen(tag);
    return std::size_t(line.size()) >= length && qstrnicmp(line.constData(), tag, length) == 0;
}

// "YYYYMMDD" or "YYYY-MM-DD"; an invalid date when it is neither or no day of the calendar.
QDate ReadDate(const QString& value) {
    QString digits = value.trimmed();
    if (digits.size() == 10 && digits[4] == QLatin1Char('-') && digits[7] == QLatin1Char('-')) {
        digits.remove(QLatin1Char('-'));
    }
    if (digits.size() != 8) {
        return {};
    }
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return {};
        }
    }
    return QDate(digits.first(4).toInt(), digits.sliced(4, 2).toInt(), digits.sliced(6).toInt());
}

void Apply(const VCard21Field& field, const QString& value, Contact& contact) {
    using Kind = VCard21Field::Kind;
    switch (field.kind) {
        case Kind::kText:
            contact.*field.text = UnescapeVCardText(value);
            break;
        case Kind::kEmail:
            contact.emails[field.email] = UnescapeVCardText(value);
            break;
        case Kind::kDate:
            if (const QDate date = ReadDate(value); date.isValid()) {
                contact.*field.date = date;
            }
            break;
        case Kind::kAddress:
            contact.*field.address = AddressFromParts(SplitVCardParts(value, kAddressPartCount));
            break;
        case Kind::kGender: {
            const QString code = value.trimmed();
            contact.gender = code == QLatin1String("1")   ? ContactGender::kFemale
                             : code == QLatin1String("2") ? ContactGender::kMale
                                                          : ContactGender::kUnspecified;
            break;
        }
    }
}

}  // namespace

VCard21Read ReadVCard21Lines(QIODevice& device, Contact& contact) {
    const auto fields = VCard21Fields();
    std::vector<bool> seen(fields.size(), false);
    bool named = false;
    bool anyLine = false;
    Contact card = contact;
    qint64 number = 0;
    while (!device.atEnd()) {
        ++number;
        QByteArray line = device.readLine(kMaxVCard21LineBytes + 2);
        if (line.isEmpty()) {
            return {VCard21Read::State::kReadError, number};
        }
        // A line without its break before the end was cut at the limit.
        const bool whole = line.endsWith('\n') || device.atEnd();
        line = CleanLine(std::move(line));
        if (!whole || line.size() > kMaxVCard21LineBytes) {
            return {VCard21Read::State::kLineTooLong, number};
        }
        anyLine = anyLine || !line.trimmed().isEmpty();
        if (!named && StartsWithTag(line, "N:")) {
            named = true;
            SetNameParts(card, SplitVCardParts(DecodeLine(line.sliced(2)), kNamePartCount));
            continue;
        }
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const auto length = static_cast<qsizetype>(qstrlen(fields[i].tag));
            if (!seen[i] && StartsWithTag(line, fields[i].tag)) {
                seen[i] = true;
                Apply(fields[i], DecodeLine(line.sliced(length)), card);
                break;
            }
        }
    }
    if (!anyLine) {
        return {VCard21Read::State::kEmpty, number};
    }
    if (!named) {
        return {VCard21Read::State::kNoName, number};
    }
    contact = std::move(card);
    return {};
}

}  // namespace corvane
