#include "transport/S3KeyNames.h"

namespace corvane {
namespace {

constexpr char16_t kRawByteBase = 0xDC00;  // a stray byte b in a name: U+DC00 + b
constexpr char16_t kKeyByteBase = 0xEF00;  // the same byte in a key: U+EF00 + b
constexpr char16_t kLiteral = 0xEF00;      // in a key: the next character is the name's own

bool InRange(char16_t c, char16_t base) {
    return c >= base + 0x80 && c <= base + 0xFF;
}

}  // namespace

QString S3KeyOfName(QStringView name) {
    QString key;
    key.reserve(name.size());
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (InRange(u, kRawByteBase)) {
            key.append(QChar(char16_t(u - kRawByteBase + kKeyByteBase)));
            continue;
        }
        if (u == kLiteral || InRange(u, kKeyByteBase)) {
            key.append(QChar(kLiteral));
        }
        key.append(c);
    }
    return key;
}

QString S3NameOfKey(QStringView key) {
    QString name;
    name.reserve(key.size());
    for (qsizetype i = 0; i < key.size(); ++i) {
        const char16_t u = key[i].unicode();
        if (u == kLiteral && i + 1 < key.size()) {
            name.append(key[++i]);
        } else if (InRange(u, kKeyByteBase)) {
            name.append(QChar(char16_t(u - kKeyByteBase + kRawByteBase)));
        } else {
            name.append(key[i]);
        }
    }
    return name;
}

}  // namespace corvane
