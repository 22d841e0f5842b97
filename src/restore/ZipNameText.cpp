#include "restore/ZipNameText.h"

#include <zlib.h>

#include <QStringDecoder>

#include "model/FileName.h"
#include "restore/ZipExtraField.h"

namespace corvane {

namespace {

constexpr quint32 kFlagUtf8Name = 1u << 11;
constexpr quint16 kUnicodePathTag = 0x7075;
// Host ids of "version made by": Unix tools store a file name's bytes as they are; the
// tools of OS X store UTF-8.
constexpr quint32 kHostUnix = 3;
constexpr quint32 kHostOsX = 19;

// Code page 437, bytes 0x80..0xFF.
constexpr char16_t kCp437High[128] = {
    // 0x80
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  //
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  //
    // 0x90
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  //
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  //
    // 0xA0
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  //
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  //
    // 0xB0
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  //
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  //
    // 0xC0
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  //
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  //
    // 0xD0
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  //
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  //
    // 0xE0
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  //
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  //
    // 0xF0
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  //
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  //
};

bool IsAscii(const QByteArray& bytes) {
    for (const char c : bytes) {
        if ((static_cast<unsigned char>(c) & 0x80) != 0) {
            return false;
        }
    }
    return true;
}

// The UTF-8 name of an Info-ZIP Unicode Path block, when the block is there, of
// version 1, and made for these very name bytes (its CRC-32 of the stored name tells
// whether a later tool renamed the entry without updating the block).
bool UnicodePathName(const QByteArray& rawName, const QByteArray& extraField, QByteArray& name) {
    QByteArray block;
    if (!FindZipExtraBlock(extraField, kUnicodePathTag, block) || block.size() < 5 ||
        block[0] != 1) {
        return false;
    }
    quint32 nameCrc = 0;
    for (int i = 4; i >= 1; --i) {
        nameCrc = (nameCrc << 8) | static_cast<unsigned char>(block[i]);
    }
    const auto actual =
        quint32(crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(rawName.constData()),
                      uInt(rawName.size())));
    if (nameCrc != actual) {
        return false;
    }
    name = block.mid(5);
    return true;
}

// The bytes as UTF-8, when they are valid UTF-8.
bool StrictUtf8(const QByteArray& bytes, QString& text) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = decoder(bytes);
    return !decoder.hasError();
}

}  // namespace

QString Cp437ToString(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte < 0x80 ? QChar(byte) : QChar(kCp437High[byte - 0x80]);
    }
    return text;
}

QString ZipEntryNameText(const QByteArray& rawName, quint32 flags, quint32 versionMadeBy,
                         const QByteArray& extraField) {
    const quint32 host = (versionMadeBy >> 8) & 0xFF;
    QString text;
    QByteArray unicodeName;
    if ((flags & kFlagUtf8Name) != 0 || host == kHostUnix || IsAscii(rawName)) {
        // Flagged UTF-8 that is not valid UTF-8, and a Unix name in any encoding, keep
        // their exact bytes: the restore writes the name the file had.
        text = FileNameFromBytes(rawName);
    } else if (UnicodePathName(rawName, extraField, unicodeName)) {
        text = QString::fromUtf8(unicodeName);
    } else if (host != kHostOsX || !StrictUtf8(rawName, text)) {
        text = Cp437ToString(rawName);
    }
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return text;
}

}  // namespace corvane
