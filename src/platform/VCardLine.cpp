#include "platform/VCardLine.h"

#include <QStringDecoder>
#include <algorithm>
#include <optional>

namespace corvane {
namespace {

constexpr int kFoldWidth = 75;

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// 2.1 breaks a quoted-printable value with a final "=" and goes on in the next line
// without the blank that folding uses.
bool EndsWithSoftBreak(const QByteArray& content) {
    if (!content.endsWith('=')) {
        return false;
    }
    const qsizetype colon = content.indexOf(':');
    return colon > 0 && content.left(colon).toUpper().contains("QUOTED-PRINTABLE");
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool DecodeQuotedPrintable(const QByteArray& value, QByteArray& bytes) {
    bytes.clear();
    bytes.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != '=') {
            bytes += value[i];
            continue;
        }
        if (i + 2 >= value.size()) {
            return false;
        }
        const int high = HexDigit(value[i + 1]);
        const int low = HexDigit(value[i + 2]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// Splits the parameter text after the name at ';' outside double quotes.
QList<QByteArray> SplitParameters(const QByteArray& text) {
    QList<QByteArray> parts;
    QByteArray current;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
        }
        if (c == ';' && !quoted) {
            parts << current;
            current.clear();
        } else {
            current += c;
        }
    }
    parts << current;
    return parts;
}

}  // namespace

QByteArray VCardProperty::Parameter(const char* name) const {
    for (const VCardParameter& parameter : parameters) {
        if (parameter.name == name) {
            return parameter.value;
        }
    }
    return {};
}

QStringList VCardProperty::Types() const {
    QStringList types;
    for (const VCardParameter& parameter : parameters) {
        if (parameter.name != "TYPE") {
            continue;
        }
        for (const QByteArray& type : parameter.value.split(',')) {
            const QString lower = QString::fromUtf8(type.trimmed()).toLower();
            if (!lower.isEmpty()) {
                types << lower;
            }
        }
    }
    return types;
}

bool VCardProperty::IsPreferred() const {
    for (const VCardParameter& parameter : parameters) {
        if (parameter.name == "PREF") {
            return true;
        }
    }
    return Types().contains(QStringLiteral("pref"));
}

bool SplitVCardLines(const QByteArray& bytes, std::vector<VCardRawLine>& lines, QString& error) {
    lines.clear();
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        const QByteArray physical = bytes.mid(start, end - start);
        QByteArray content = physical;
        while (content.endsWith('\n') || content.endsWith('\r')) {
            content.chop(1);
        }
        const bool continuation = content.startsWith(' ') || content.startsWith('\t');
        const bool softBreak = !lines.empty() && EndsWithSoftBreak(lines.back().content);
        if (softBreak) {
            lines.back().content.chop(1);
            lines.back().content += content;
            lines.back().bytes += physical;
        } else if (continuation) {
            if (lines.empty()) {
                error = QStringLiteral("a folded line continues nothing");
                return false;
            }
            lines.back().content += content.mid(1);
            lines.back().bytes += physical;
        } else {
            lines.push_back({physical, content});
        }
        start = end;
    }
    return true;
}

bool ParseVCardProperty(const QByteArray& content, VCardProperty& property) {
    property = {};
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < content.size() && colon < 0; ++i) {
        if (content[i] == '"') {
            quoted = !quoted;
        } else if (content[i] == ':' && !quoted) {
            colon = i;
        }
    }
    if (colon <= 0) {
        return false;
    }
    const QList<QByteArray> parts = SplitParameters(content.left(colon));
    QByteArray name = parts.first();
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0) {
        name = name.mid(dot + 1);
    }
    if (name.isEmpty() || !std::all_of(name.begin(), name.end(), IsNameChar)) {
        return false;
    }
    property.name = name.toUpper();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const qsizetype equals = parts[i].indexOf('=');
        VCardParameter parameter;
        if (equals < 0) {
            parameter.name = "TYPE";
            parameter.value = parts[i].trimmed();
        } else {
            parameter.name = parts[i].left(equals).trimmed().toUpper();
            parameter.value = parts[i].mid(equals + 1).trimmed();
        }
        parameter.value.replace('"', QByteArray());
        if (parameter.name == "ENCODING" || parameter.name == "CHARSET") {
            parameter.value = parameter.value.toUpper();
        }
        property.parameters.push_back(parameter);
    }
    property.value = content.mid(colon + 1);
    return true;
}

bool DecodeVCardValue(const VCardProperty& property, QString& text, QString& error) {
    QByteArray bytes = property.value;
    const QByteArray encoding = property.Parameter("ENCODING");
    const QStringList types = property.Types();
    if (encoding == "QUOTED-PRINTABLE" || types.contains(QStringLiteral("quoted-printable"))) {
        if (!DecodeQuotedPrintable(property.value, bytes)) {
            error = QStringLiteral("broken quoted-printable value of %1")
                        .arg(QString::fromLatin1(property.name));
            return false;
        }
    } else if (encoding == "B" || encoding == "BASE64" ||
               types.contains(QStringLiteral("base64"))) {
        QByteArray compact = property.value;
        compact.replace(' ', QByteArray()).replace('\t', QByteArray());
        auto decoded = QByteArray::fromBase64Encoding(
            compact, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            error =
                QStringLiteral("broken base64 value of %1").arg(QString::fromLatin1(property.name));
            return false;
        }
        bytes = *decoded;
    }
    const QByteArray charset = property.Parameter("CHARSET");
    std::optional<QStringConverter::Encoding> named =
        charset.isEmpty() ? std::nullopt : QStringConverter::encodingForName(charset.constData());
    QStringDecoder decoder(named.value_or(QStringConverter::Utf8));
    text = decoder.decode(bytes);
    return true;
}

QStringList SplitVCardComponents(const QString& value) {
    QStringList components;
    QString current;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            current += value[i];
            current += value[++i];
        } else if (value[i] == ';') {
            components << UnescapeVCardText(current);
            current.clear();
        } else {
            current += value[i];
        }
    }
    components << UnescapeVCardText(current);
    return components;
}

QString UnescapeVCardText(const QString& text) {
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            plain += c;
            continue;
        }
        const QChar next = text[++i];
        if (next == 'n' || next == 'N') {
            plain += '\n';
        } else if (next == ',' || next == ';' || next == '\\' || next == ':') {
            plain += next;
        } else {
            // Not an escape vCard knows: keep it as written.
            plain += c;
            plain += next;
        }
    }
    return plain;
}

QString EscapeVCardText(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
    for (const QChar c : lines) {
        if (c == '\n') {
            escaped += QStringLiteral("\\n");
        } else if (c == '\\' || c == ',' || c == ';') {
            escaped += '\\';
            escaped += c;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

QByteArray FoldVCardLine(const QByteArray& content, const QByteArray& lineEnd) {
    QByteArray folded;
    qsizetype start = 0;
    int width = kFoldWidth;
    do {
        qsizetype end = std::min(content.size(), start + width);
        // Never cut a UTF-8 sequence: back off to the start of the character.
        while (end < content.size() && end > start + 1 &&
               (static_cast<unsigned char>(content[end]) & 0xC0) == 0x80) {
            --end;
        }
        if (start > 0) {
            folded += ' ';
        }
        folded += content.mid(start, end - start);
        folded += lineEnd;
        start = end;
        width = kFoldWidth - 1;
    } while (start < content.size());
    return folded;
}

}  // namespace corvane
