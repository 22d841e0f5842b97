#include "sources/RegFileReader.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include "sources/RegFileFormat.h"

namespace corvane {
namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Two hex digits at `at`; -1 when they are not.
int HexByteAt(QByteArrayView text, qsizetype at) {
    const int high = HexDigitValue(text[at]);
    const int low = HexDigitValue(text[at + 1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// "xx,xx,...,xx" (or nothing) into bytes.
bool ParseByteList(QByteArrayView text, QByteArray& bytes) {
    bytes.clear();
    if (text.isEmpty()) {
        return true;
    }
    if ((text.size() + 1) % 3 != 0) {
        return false;
    }
    bytes.reserve((text.size() + 1) / 3);
    for (qsizetype at = 0; at < text.size(); at += 3) {
        const int byte = HexByteAt(text, at);
        if (byte < 0 || (at + 2 < text.size() && text[at + 2] != ',')) {
            return false;
        }
        bytes += char(byte);
    }
    return true;
}

// A quoted string from `at` (on its opening quote) with "\\" and "\"" unescaped; `at`
// ends after the closing quote. Nullopt when the quote is not closed.
std::optional<QByteArray> ParseQuoted(QByteArrayView line, qsizetype& at) {
    QByteArray text;
    for (++at; at < line.size(); ++at) {
        const char c = line[at];
        if (c == '"') {
            ++at;
            return text;
        }
        if (c == '\\' && at + 1 < line.size() && (line[at + 1] == '\\' || line[at + 1] == '"')) {
            ++at;
        }
        text += line[at];
    }
    return std::nullopt;
}

std::optional<quint32> ByteListType(QByteArrayView word) {
    const QByteArray lower = word.toByteArray().toLower();
    if (lower == "hex") {
        return kRegBinary;
    }
    if (lower == "hex(2)") {
        return kRegExpandString;
    }
    if (lower == "hex(7)") {
        return kRegMultiString;
    }
    return std::nullopt;
}

}  // namespace

RegFileReader::RegFileReader(RegFileSink& sink) : m_sink(sink) {
    m_line.reserve(kRegMaxLineLength);
}

bool RegFileReader::Feed(QByteArrayView bytes) {
    for (const char c : bytes) {
        if (m_error != 0) {
            return false;
        }
        if (!m_lineStarted) {
            m_lineStarted = true;
            ++m_lineNumber;
        }
        if (c == '\n') {
            if (!EndLine()) {
                return false;
            }
        } else if (c != '\r') {
            if (m_line.size() == kRegMaxLineLength) {
                return Fail(EBADMSG, "the line is longer than 4096 characters");
            }
            m_line += c;
        }
    }
    return m_error == 0;
}

bool RegFileReader::Finish() {
    if (m_error != 0) {
        return false;
    }
    if (m_lineStarted && !EndLine()) {
        return false;
    }
    if (!m_headerSeen) {
        m_lineNumber = qMax(m_lineNumber, 1);
        return Fail(EBADMSG, "the first line is not REGEDIT4");
    }
    if (m_inByteList) {
        return Fail(EBADMSG, "the file ends inside a byte list");
    }
    return true;
}

bool RegFileReader::EndLine() {
    m_lineStarted = false;
    const bool read = ReadLine(m_line);
    m_line.clear();
    return read;
}

bool RegFileReader::ReadLine(QByteArrayView line) {
    if (!m_headerSeen) {
        if (line != kRegFileFirstLine) {
            return Fail(EBADMSG, "the first line is not REGEDIT4");
        }
        m_headerSeen = true;
        return true;
    }
    if (m_inByteList) {
        if (!line.startsWith(kRegContinuationIndent)) {
            return Fail(EBADMSG, "a continuation line does not begin with two blanks");
        }
        return ReadByteListPart(line.sliced(qsizetype(sizeof kRegContinuationIndent - 1)));
    }
    if (line.isEmpty()) {
        m_keyOpen = false;
        return true;
    }
    switch (line.front()) {
        case '[':
            return ReadKeyLine(line);
        case '"':
        case '@':
            return ReadValueLine(line);
        default:
            // Comments and whatever else a file holds between its keys.
            return true;
    }
}

bool RegFileReader::ReadKeyLine(QByteArrayView line) {
    const qsizetype close = line.lastIndexOf(']');
    if (close < 0) {
        return Fail(EBADMSG, "a key line without ]");
    }
    const QByteArrayView path = line.sliced(1, close - 1);
    const qsizetype slash = path.indexOf('\\');
    if (slash < 0) {
        return Fail(EBADMSG, "no sub-key after the hive name");
    }
    const std::optional<RegistryHive> hive =
        slash > kRegMaxHiveNameLength ? std::nullopt
                                      : RegistryHiveFromName(QString::fromUtf8(path.first(slash)));
    if (!hive) {
        return Fail(EBADMSG, "an unknown hive");
    }
    // "[HIVE\]" is the hive's root, as an export of the root writes it.
    m_keyOpen = false;
    if (!Deliver(m_sink.OpenKey(*hive, QString::fromUtf8(path.sliced(slash + 1))))) {
        return false;
    }
    m_keyOpen = true;
    return true;
}

bool RegFileReader::ReadValueLine(QByteArrayView line) {
    if (!m_keyOpen) {
        return Fail(EBADMSG, "a value outside a key");
    }
    m_value = RegistryValue{};
    qsizetype at = 0;
    if (line.front() == '@') {
        at = 1;
    } else {
        // The name is a quoted string of its own, so an escaped quote or an "=" in it
        // does not end it.
        const std::optional<QByteArray> name = ParseQuoted(line, at);
        if (!name) {
            return Fail(EBADMSG, "the value name has no closing quote");
        }
        if (name->isEmpty()) {
            return Fail(EBADMSG, "an empty value name");
        }
        m_value.name = QString::fromUtf8(*name);
    }
    if (at >= line.size() || line[at] != '=') {
        return Fail(EBADMSG, "no = after the value name");
    }
    return ReadData(line.sliced(at + 1));
}

bool RegFileReader::ReadData(QByteArrayView data) {
    if (data.startsWith('"')) {
        qsizetype at = 0;
        const std::optional<QByteArray> text = ParseQuoted(data, at);
        if (!text) {
            return Fail(EBADMSG, "the text has no closing quote");
        }
        if (at != data.size()) {
            return Fail(EBADMSG, "more after the closing quote");
        }
        m_value.type = kRegString;
        // Stored with its terminating zero; an empty text stores no bytes.
        m_value.data = text->isEmpty() ? QByteArray() : *text + '\0';
        return Deliver(m_sink.SetValue(m_value));
    }
    const qsizetype colon = data.first(qMin(data.size(), kRegMaxTypeWordLength + 1)).indexOf(':');
    if (colon < 0) {
        return Fail(EBADMSG, "an unknown data type");
    }
    const QByteArrayView word = data.first(colon);
    const QByteArrayView rest = data.sliced(colon + 1);
    if (word.toByteArray().toLower() == "dword") {
        quint32 number = 0;
        bool digits = rest.size() == 8;
        for (qsizetype i = 0; digits && i < rest.size(); ++i) {
            const int digit = HexDigitValue(rest[i]);
            digits = digit >= 0;
            number = number << 4 | quint32(qMax(digit, 0));
        }
        if (!digits) {
            return Fail(EBADMSG, "a double word that is not 8 hex digits");
        }
        m_value.type = kRegDword;
        for (int i = 0; i < 4; ++i) {
            m_value.data += char(number >> (8 * i) & 0xff);
        }
        return Deliver(m_sink.SetValue(m_value));
    }
    const std::optional<quint32> type = ByteListType(word);
    if (!type) {
        return Fail(EBADMSG, "an unknown data type");
    }
    m_value.type = *type;
    m_byteListText.clear();
    return ReadByteListPart(rest);
}

bool RegFileReader::ReadByteListPart(QByteArrayView part) {
    m_inByteList = part.endsWith('\\');
    m_byteListText += m_inByteList ? part.chopped(1) : part;
    return m_inByteList || FinishByteList();
}

bool RegFileReader::FinishByteList() {
    if (!ParseByteList(m_byteListText, m_value.data)) {
        return Fail(EBADMSG, "a byte list that is not hex pairs separated by commas");
    }
    m_byteListText.clear();
    const QByteArrayView data = m_value.data;
    if (m_value.type == kRegExpandString && !data.endsWith('\0')) {
        return Fail(EBADMSG, "an expandable string that does not end in a zero byte");
    }
    if (m_value.type == kRegMultiString && !data.endsWith(QByteArrayView("\0\0", 2))) {
        return Fail(EBADMSG, "a multi-string that does not end in two zero bytes");
    }
    return Deliver(m_sink.SetValue(m_value));
}

bool RegFileReader::Deliver(int error) {
    if (error != 0) {
        m_error = error;
        m_reason = QString::fromLocal8Bit(strerror(error));
        return false;
    }
    return true;
}

bool RegFileReader::Fail(int error, const char* reason) {
    m_error = error;
    m_reason = QString::fromLatin1(reason);
    return false;
}

}  // namespace corvane
