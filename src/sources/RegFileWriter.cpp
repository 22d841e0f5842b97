#include "sources/RegFileWriter.h"

#include "sources/RegFileFormat.h"

namespace corvane {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendEscaped(QByteArray& out, QByteArrayView text) {
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
}

void AppendHexByte(QByteArray& out, uchar byte) {
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0xf];
}

// "%02x" bytes separated by ","; the line breaks after the comma of byte 24, 48, ...
void AppendByteList(QByteArray& out, QByteArrayView bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        AppendHexByte(out, static_cast<uchar>(bytes[i]));
        if (i + 1 == bytes.size()) {
            break;
        }
        out += ',';
        if (i > 0 && i % kRegBytesPerLine == 0) {
            out += '\\';
            out += kRegLineEnd;
            out += kRegContinuationIndent;
        }
    }
}

bool HasLineBreak(QByteArrayView text) {
    return text.contains('\n') || text.contains('\r');
}

// A line is read back only when its first physical line fits the reader's buffer.
bool FitsReader(QByteArrayView rendered) {
    const qsizetype end = rendered.indexOf(QByteArrayView(kRegLineEnd));
    return (end < 0 ? rendered.size() : end) <= kRegMaxLineLength;
}

std::optional<QByteArray> Refuse(QString* problem, const char* reason) {
    if (problem != nullptr) {
        *problem = QString::fromLatin1(reason);
    }
    return std::nullopt;
}

const char* HexPrefix(quint32 type) {
    switch (type) {
        case kRegBinary:
            return "hex:";
        case kRegExpandString:
            return "hex(2):";
        case kRegMultiString:
            return "hex(7):";
        default:
            return nullptr;
    }
}

}  // namespace

QByteArray RegFileHeader() {
    return QByteArray(kRegFileFirstLine) + kRegLineEnd + kRegLineEnd;
}

std::optional<QByteArray> RenderRegKeyLine(RegistryHive hive, const QString& subKey,
                                           QString* problem) {
    const QByteArray path = subKey.toUtf8();
    if (HasLineBreak(path)) {
        return Refuse(problem, "the key path holds a line break");
    }
    QByteArray line = '[' + RegistryHiveName(hive).toUtf8() + '\\' + path + ']';
    if (line.size() > kRegMaxLineLength) {
        return Refuse(problem, "the key path is too long for a line");
    }
    return line + kRegLineEnd;
}

std::optional<QByteArray> RenderRegValueLine(const RegistryValue& value, QString* problem) {
    if (problem != nullptr) {
        problem->clear();
    }
    const char* hexPrefix = HexPrefix(value.type);
    if (value.type != kRegString && value.type != kRegDword && hexPrefix == nullptr) {
        return std::nullopt;
    }
    const QByteArray name = value.name.toUtf8();
    if (HasLineBreak(name)) {
        return Refuse(problem, "the value name holds a line break");
    }
    QByteArray line;
    if (name.isEmpty()) {
        line += '@';
    } else {
        line += '"';
        AppendEscaped(line, name);
        line += '"';
    }
    line += '=';

    if (value.type == kRegString) {
        // The text ends at its first zero byte, as a reader of the value sees it.
        const qsizetype zero = value.data.indexOf('\0');
        const QByteArrayView text =
            QByteArrayView(value.data).first(zero < 0 ? value.data.size() : zero);
        if (HasLineBreak(text)) {
            return Refuse(problem, "the text holds a line break");
        }
        line += '"';
        AppendEscaped(line, text);
        line += '"';
    } else if (value.type == kRegDword) {
        if (value.data.size() != 4) {
            return Refuse(problem, "a double word that is not four bytes");
        }
        line += "dword:";
        // Stored least significant byte first, written most significant first.
        for (int i = 3; i >= 0; --i) {
            AppendHexByte(line, static_cast<uchar>(value.data[i]));
        }
    } else {
        line += hexPrefix;
        AppendByteList(line, value.data);
    }
    if (!FitsReader(line)) {
        return Refuse(problem, "the line is too long to be read back");
    }
    return line + kRegLineEnd;
}

}  // namespace corvane
