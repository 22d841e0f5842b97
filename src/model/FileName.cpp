#include "model/FileName.h"

namespace corvane {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsEscapedByte(QChar c) {
    return c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF;
}

// Length of the valid UTF-8 sequence at `p` (at most `left` bytes), or 0 when the bytes
// there do not start one. Strict: no overlong forms, no surrogates, nothing past U+10FFFF.
int ValidSequenceLength(const unsigned char* p, qsizetype left, char32_t& codePoint) {
    const unsigned char lead = p[0];
    int length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (left < length) {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (p[i] & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;
    }
    return length;
}

}  // namespace

QString FileNameFromBytes(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size && p[i] < 0x80) {
        ++i;
    }
    if (i == size) {
        return QString::fromLatin1(bytes.data(), size);  // plain ASCII, the common case
    }
    QString name = QString::fromLatin1(bytes.data(), i);
    name.reserve(size);
    while (i < size) {
        if (p[i] < 0x80) {
            name.append(QChar(char16_t(p[i])));
            ++i;
            continue;
        }
        char32_t codePoint = 0;
        const int length = ValidSequenceLength(p + i, size - i, codePoint);
        if (length == 0) {
            name.append(QChar(char16_t(kEscapeBase + p[i])));
            ++i;
            continue;
        }
        const char32_t units[1] = {codePoint};
        name.append(QString::fromUcs4(units, 1));
        i += length;
    }
    return name;
}

QByteArray FileNameToBytes(QStringView name) {
    if (!FileNameIsRaw(name)) {
        return name.toUtf8();
    }
    QByteArray bytes;
    bytes.reserve(name.size() * 3);
    qsizetype start = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (IsEscapedByte(name[i])) {
            bytes.append(name.mid(start, i - start).toUtf8());
            bytes.append(char(name[i].unicode() - kEscapeBase));
            start = i + 1;
        }
    }
    bytes.append(name.mid(start).toUtf8());
    return bytes;
}

bool FileNameIsRaw(QStringView name) {
    for (const QChar c : name) {
        if (IsEscapedByte(c)) {
            return true;
        }
    }
    return false;
}

QString FileNameForDisplay(QStringView name) {
    if (!FileNameIsRaw(name)) {
        return name.toString();
    }
    QString shown;
    shown.reserve(name.size() + 8);
    for (const QChar c : name) {
        if (IsEscapedByte(c)) {
            static const char kHex[] = "0123456789ABCDEF";
            const int byte = c.unicode() - kEscapeBase;
            shown += QLatin1String("\\x");
            shown += QLatin1Char(kHex[byte >> 4]);
            shown += QLatin1Char(kHex[byte & 0xF]);
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace corvane
