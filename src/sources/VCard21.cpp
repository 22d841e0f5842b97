#include "sources/VCard21.h"

#include <fcntl.h>

#include <QFile>
#include <cerrno>
#include <cstring>

#include "io/DescriptorIo.h"
#include "io/ReplacingFile.h"
#include "log/Log.h"
#include "model/FileName.h"
#include "platform/VCardLine.h"
#include "sources/VCard21Fields.h"
#include "sources/VCard21Reader.h"
#include "sources/VCard21Value.h"

namespace corvane {

namespace {

// The one day that stands for "no date" in the address books this format came from.
const QDate kNoneDate(4501, 1, 1);

// Longest file name the file systems take, in bytes.
constexpr qsizetype kMaxFileNameBytes = 255;

// The four name parts, collapsed so absent parts leave no gaps.
QString FullNameLine(const Contact& contact) {
    QString line = QStringLiteral("FN:%1 %2 %3 %4")
                       .arg(EscapeVCardText(contact.title), EscapeVCardText(contact.firstName),
                            EscapeVCardText(contact.middleName), EscapeVCardText(contact.lastName));
    while (line.contains(QLatin1String("  "))) {
        line.replace(QLatin1String("  "), QLatin1String(" "));
    }
    if (line.endsWith(QLatin1Char(' '))) {
        line.chop(1);
    }
    if (line.startsWith(QLatin1String("FN: "))) {
        line.remove(3, 1);
    }
    return line;
}

// Only the years the line's four digits hold, and never the "no date" day.
QString DateValue(const QDate& date) {
    if (!date.isValid() || date == kNoneDate || date.year() < 1 || date.year() > 9999) {
        return {};
    }
    return QString::asprintf("%.4d%.2d%.2d", date.year(), date.month(), date.day());
}

// The escaped value of one field; empty when the line is left out.
QString FieldValue(const Contact& contact, const VCard21Field& field) {
    using Kind = VCard21Field::Kind;
    switch (field.kind) {
        case Kind::kText:
            return EscapeVCardText(contact.*field.text);
        case Kind::kEmail:
            return EscapeVCardText(contact.emails[field.email]);
        case Kind::kDate:
            return DateValue(contact.*field.date);
        case Kind::kAddress:
            return JoinVCardParts(AddressParts(contact.*field.address));
        case Kind::kGender:
            return contact.gender == ContactGender::kFemale ? QStringLiteral("1")
                   : contact.gender == ContactGender::kMale ? QStringLiteral("2")
                                                            : QString();
    }
    return {};
}

QString Shown(const QString& path) {
    return FileNameForDisplay(path);
}

}  // namespace

QByteArray VCard21Text(const Contact& contact) {
    QString text = QStringLiteral("BEGIN:VCARD\nVERSION:2.1\n");
    text += QStringLiteral("N:") + JoinVCardParts(NameParts(contact)) + QLatin1Char('\n');
    text += FullNameLine(contact) + QLatin1Char('\n');
    for (const VCard21Field& field : VCard21Fields()) {
        const QString value = FieldValue(contact, field);
        // The three addresses are always written, empty or not.
        if (!value.isEmpty() || field.kind == VCard21Field::Kind::kAddress) {
            text += QLatin1String(field.tag) + value + QLatin1Char('\n');
        }
    }
    text += QStringLiteral("END:VCARD\n");
    return text.toUtf8();
}

bool WriteVCard21(const Contact& contact, const QString& filePath) {
    Log("  Get contact data <%s>...", qUtf8Printable(ContactDisplayText(contact)));
    const QByteArray text = VCard21Text(contact);
    ReplacingFile file;
    if (file.Create(AT_FDCWD, FileNameToBytes(filePath), 0644) &&
        WriteAll(file.Fd(), text.constData(), static_cast<size_t>(text.size())) && file.Commit()) {
        return true;
    }
    const int error = errno;
    file.Discard();
    Log("  Error: cannot write file %s: %s", qUtf8Printable(Shown(filePath)), std::strerror(error));
    return false;
}

bool ReadVCard21(const QString& filePath, Contact& contact) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        Log("  Error: cannot access file '%s'", qUtf8Printable(Shown(filePath)));
        return false;
    }
    const VCard21Read read = ReadVCard21Lines(file, contact);
    switch (read.state) {
        case VCard21Read::State::kRead:
            return true;
        case VCard21Read::State::kEmpty:
            Log("  Warning: file '%s' is empty, nothing to restore",
                qUtf8Printable(Shown(filePath)));
            return false;
        case VCard21Read::State::kNoName:
            Log("  Error: file '%s' holds no contact name (N:), nothing to restore",
                qUtf8Printable(Shown(filePath)));
            return false;
        case VCard21Read::State::kLineTooLong:
            Log("  Error: line %lld of file '%s' is too long, nothing to restore",
                static_cast<long long>(read.line), qUtf8Printable(Shown(filePath)));
            return false;
        case VCard21Read::State::kReadError:
            break;
    }
    Log("  Error: cannot access file '%s'", qUtf8Printable(Shown(filePath)));
    return false;
}

QString ContactFileName(const Contact& contact) {
    static const QString kExtension = QStringLiteral(".vcf");
    QString name = ContactDisplayText(contact);
    // No separator of a file system or an archive, no control character (a line break
    // would split a listing line), and never a hidden name a folder listing skips.
    for (QChar& c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 ||
            c.unicode() == 0x7F) {
            c = QLatin1Char('_');
        }
    }
    if (name.isEmpty() || name.startsWith(QLatin1Char('.'))) {
        name.prepend(QLatin1Char('_'));
    }
    // Cut whole characters (never half a surrogate pair or UTF-8 sequence) to fit.
    const qsizetype room = kMaxFileNameBytes - kExtension.size();
    qsizetype bytes = 0;
    qsizetype cut = 0;
    while (cut < name.size()) {
        const qsizetype step =
            name[cut].isHighSurrogate() && cut + 1 < name.size() && name[cut + 1].isLowSurrogate()
                ? 2
                : 1;
        const qsizetype size = name.sliced(cut, step).toUtf8().size();
        if (bytes + size > room) {
            break;
        }
        bytes += size;
        cut += step;
    }
    name.truncate(cut);
    return name + kExtension;
}

}  // namespace corvane
