#include "model/PropertyStore.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/DescriptorIo.h"
#include "io/ReplacingFile.h"
#include "model/FileName.h"

namespace corvane {

namespace {

// UTF-16 code units reordered so that comparing them gives code point order, which is
// the order of the UTF-8 bytes: surrogates (code points from U+10000 on) move above
// U+E000..U+FFFF.
char16_t CodePointOrderKey(char16_t unit) {
    if (unit < 0xD800) {
        return unit;
    }
    return unit >= 0xE000 ? static_cast<char16_t>(unit - 0x800)
                          : static_cast<char16_t>(unit + 0x2000);
}

// --- Characters and names as XML 1.0 (fifth edition) defines them ---

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsXmlSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool IsNameStartChar(char32_t c) {
    return c == ':' || (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
    return IsNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// Decodes the code point at `i` and advances `i`; an unpaired surrogate yields a value
// that is no XML character.
char32_t NextCodePoint(QStringView text, qsizetype& i) {
    const char16_t unit = text[i].unicode();
    ++i;
    if (QChar::isHighSurrogate(unit) && i < text.size() && text[i].isLowSurrogate()) {
        return QChar::surrogateToUcs4(unit, text[i++].unicode());
    }
    return unit;
}

// The code point of a character reference without its "&#" and ";" ("65", "x41");
// zero, which is no XML character, when it is malformed or too large.
char32_t CharacterReference(QStringView digits) {
    const bool hex = digits.startsWith(u'x');
    if (hex) {
        digits = digits.sliced(1);
    }
    if (digits.isEmpty()) {
        return 0;
    }
    char32_t codePoint = 0;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        char32_t digit = 0;
        if (u >= u'0' && u <= u'9') {
            digit = u - u'0';
        } else if (hex && u >= u'a' && u <= u'f') {
            digit = u - u'a' + 10;
        } else if (hex && u >= u'A' && u <= u'F') {
            digit = u - u'A' + 10;
        } else {
            return 0;
        }
        codePoint = codePoint * (hex ? 16 : 10) + digit;
        if (codePoint > 0x10FFFF) {
            return 0;
        }
    }
    return codePoint;
}

bool IsXmlName(QStringView name) {
    if (name.isEmpty()) {
        return false;
    }
    qsizetype i = 0;
    if (!IsNameStartChar(NextCodePoint(name, i))) {
        return false;
    }
    while (i < name.size()) {
        if (!IsNameChar(NextCodePoint(name, i))) {
            return false;
        }
    }
    return true;
}

// Names we write: XML names without a colon (a colon would read as an undeclared
// namespace prefix to namespace-aware tools), and no "xmlns", which such tools take for
// a namespace declaration.
bool IsWritableName(const QString& name) {
    return IsXmlName(name) && !name.contains(u':') && name != u"xmlns";
}

bool HoldsOnlyXmlChars(QStringView text) {
    qsizetype i = 0;
    while (i < text.size()) {
        if (!IsXmlChar(NextCodePoint(text, i))) {
            return false;
        }
    }
    return true;
}

// --- Decoding the file's bytes ---

// Finds the encoding as the XML standard's appendix on encoding detection does: a byte
// order mark, else the first bytes of "<?xml" in a wide encoding, else the encoding
// named by the declaration, else UTF-8.
QByteArray DetectEncoding(const QByteArray& data, qsizetype& bomLength) {
    bomLength = 0;
    auto startsWith = [&data](std::initializer_list<unsigned char> bytes) {
        if (data.size() < static_cast<qsizetype>(bytes.size())) {
            return false;
        }
        qsizetype i = 0;
        for (unsigned char b : bytes) {
            if (static_cast<unsigned char>(data[i++]) != b) {
                return false;
            }
        }
        return true;
    };
    if (startsWith({0xEF, 0xBB, 0xBF})) {
        bomLength = 3;
        return "UTF-8";
    }
    if (startsWith({0x00, 0x00, 0xFE, 0xFF})) {
        bomLength = 4;
        return "UTF-32BE";
    }
    if (startsWith({0xFF, 0xFE, 0x00, 0x00})) {
        bomLength = 4;
        return "UTF-32LE";
    }
    if (startsWith({0xFE, 0xFF})) {
        bomLength = 2;
        return "UTF-16BE";
    }
    if (startsWith({0xFF, 0xFE})) {
        bomLength = 2;
        return "UTF-16LE";
    }
    if (startsWith({0x00, 0x00, 0x00, 0x3C})) {
        return "UTF-32BE";
    }
    if (startsWith({0x3C, 0x00, 0x00, 0x00})) {
        return "UTF-32LE";
    }
    if (startsWith({0x00, 0x3C, 0x00, 0x3F})) {
        return "UTF-16BE";
    }
    if (startsWith({0x3C, 0x00, 0x3F, 0x00})) {
        return "UTF-16LE";
    }
    if (data.startsWith("<?xml")) {
        // The declaration is ASCII in every encoding that gets here.
        const qsizetype end = data.indexOf("?>");
        const QByteArray declaration = data.left(end < 0 ? data.size() : end);
        const qsizetype key = declaration.indexOf("encoding");
        if (key >= 0) {
            qsizetype i = key + 8;
            while (i < declaration.size() &&
                   (declaration[i] == ' ' || declaration[i] == '=' || declaration[i] == '\t' ||
                    declaration[i] == '\r' || declaration[i] == '\n')) {
                ++i;
            }
            if (i < declaration.size() && (declaration[i] == '"' || declaration[i] == '\'')) {
                const qsizetype close = declaration.indexOf(declaration[i], i + 1);
                if (close > i) {
                    return declaration.mid(i + 1, close - i - 1);
                }
            }
        }
    }
    return "UTF-8";
}

bool DecodeDocument(const QByteArray& data, QString& text, QString& error) {
    qsizetype bomLength = 0;
    const QByteArray encoding = DetectEncoding(data, bomLength);
    QStringDecoder decoder(encoding.constData());
    if (!decoder.isValid()) {
        error = QStringLiteral("unsupported encoding \"%1\"").arg(QString::fromLatin1(encoding));
        return false;
    }
    text = decoder.decode(QByteArrayView(data).sliced(bomLength));
    if (decoder.hasError()) {
        error = QStringLiteral("bytes that are not valid %1").arg(QString::fromLatin1(encoding));
        return false;
    }
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    return true;
}

// --- Start tags and their attributes ---
//
// QXmlStreamReader rejects a document that repeats an attribute within one element,
// while this format keeps the first value; and its check for repeats compares every
// attribute with every earlier one, so an element with many attributes (a long backup
// history) would take quadratic time. So the attributes are taken out of the start tags
// here, in one linear pass, and the reader checks everything else (nesting, names,
// text, comments, references) on the document with bare start tags.

struct StartTag {
    QString name;
    std::vector<std::pair<QString, QString>> attributes;
};

// Where a start tag ends in the bare document and in the text: between two tags the
// bare document is the text unchanged, so a place in one is found in the other.
struct TagEnd {
    qsizetype bare = 0;
    qsizetype text = 0;
};

class TagScanner {
  public:
    explicit TagScanner(QStringView text) : m_text(text) {}

    // Splits the document into `bareDocument` (every start tag without its attributes)
    // and the start tags in document order, with where each ends. False for a start tag
    // that is malformed and for elements nested deeper than the store takes (counted
    // before the reader checks the nesting, so a deep file is refused before it costs
    // memory); ErrorPosition() then tells where in the text.
    bool Scan(QString& bareDocument, std::vector<StartTag>& tags, std::vector<TagEnd>& ends,
              QString& error);
    qsizetype ErrorPosition() const { return m_pos; }

  private:
    bool AtText(QStringView what) const { return m_text.sliced(m_pos).startsWith(what); }
    // Copies the text up to and including `terminator` (or to the end).
    void CopyThrough(QStringView terminator, QString& out);
    void CopyDoctype(QString& out);
    bool ScanStartTag(QString& out, std::vector<StartTag>& tags, QString& error);
    bool ScanAttributeValue(QString& value, QString& error);

    QStringView m_text;
    qsizetype m_pos = 0;
    int m_depth = 0;
};

bool TagScanner::Scan(QString& bareDocument, std::vector<StartTag>& tags, std::vector<TagEnd>& ends,
                      QString& error) {
    bareDocument.reserve(m_text.size());
    while (m_pos < m_text.size()) {
        const qsizetype next = m_text.indexOf(u'<', m_pos);
        if (next < 0) {
            bareDocument += m_text.sliced(m_pos);
            break;
        }
        bareDocument += m_text.sliced(m_pos, next - m_pos);
        m_pos = next;
        if (AtText(u"<!--")) {
            CopyThrough(u"-->", bareDocument);
        } else if (AtText(u"<![CDATA[")) {
            CopyThrough(u"]]>", bareDocument);
        } else if (AtText(u"<!DOCTYPE")) {
            CopyDoctype(bareDocument);
        } else if (AtText(u"<?")) {
            CopyThrough(u"?>", bareDocument);
        } else if (AtText(u"</")) {
            --m_depth;
            CopyThrough(u">", bareDocument);
        } else if (AtText(u"<!")) {
            CopyThrough(u">", bareDocument);
        } else {
            const qsizetype tagStart = m_pos;
            if (!ScanStartTag(bareDocument, tags, error)) {
                return false;
            }
            ends.push_back({bareDocument.size(), m_pos});
            if (!bareDocument.endsWith(u"/>") && ++m_depth > PropertyStore::kMaxNesting) {
                m_pos = tagStart;
                error = QStringLiteral("elements nested deeper than %1 levels")
                            .arg(PropertyStore::kMaxNesting);
                return false;
            }
        }
    }
    return true;
}

void TagScanner::CopyThrough(QStringView terminator, QString& out) {
    const qsizetype found = m_text.indexOf(terminator, m_pos + 1);
    const qsizetype end = found < 0 ? m_text.size() : found + terminator.size();
    out += m_text.sliced(m_pos, end - m_pos);
    m_pos = end;
}

// The document type declaration, with its internal subset, whose quoted literals and
// comments may hold any of the characters that end it.
void TagScanner::CopyDoctype(QString& out) {
    const qsizetype start = m_pos;
    bool inSubset = false;
    qsizetype i = m_pos + 1;
    while (i < m_text.size()) {
        const QChar c = m_text[i];
        if (c == u'"' || c == u'\'') {
            const qsizetype close = m_text.indexOf(c, i + 1);
            i = close < 0 ? m_text.size() : close + 1;
        } else if (inSubset && m_text.sliced(i).startsWith(u"<!--")) {
            const qsizetype close = m_text.indexOf(u"-->", i + 4);
            i = close < 0 ? m_text.size() : close + 3;
        } else if (inSubset && m_text.sliced(i).startsWith(u"<?")) {
            const qsizetype close = m_text.indexOf(u"?>", i + 2);
            i = close < 0 ? m_text.size() : close + 2;
        } else if (c == u'[') {
            inSubset = true;
            ++i;
        } else if (c == u']') {
            inSubset = false;
            ++i;
        } else if (c == u'>' && !inSubset) {
            ++i;
            break;
        } else {
            ++i;
        }
    }
    m_pos = std::min(i, m_text.size());
    out += m_text.sliced(start, m_pos - start);
}

bool TagScanner::ScanStartTag(QString& out, std::vector<StartTag>& tags, QString& error) {
    auto isDelimiter = [](QChar c) { return IsXmlSpace(c) || c == u'/' || c == u'>'; };
    auto isAttributeNameEnd = [&isDelimiter](QChar c) { return isDelimiter(c) || c == u'='; };

    const qsizetype nameStart = m_pos + 1;
    qsizetype i = nameStart;
    while (i < m_text.size() && !isDelimiter(m_text[i])) {
        ++i;
    }
    StartTag tag;
    tag.name = m_text.sliced(nameStart, i - nameStart).toString();
    m_pos = i;

    // Keys seen in this tag, to drop a repeated one in constant time per attribute.
    QSet<QStringView> seen;
    for (;;) {
        const qsizetype spaceStart = m_pos;
        while (m_pos < m_text.size() && IsXmlSpace(m_text[m_pos])) {
            ++m_pos;
        }
        if (m_pos >= m_text.size()) {
            error = QStringLiteral("unterminated start tag <%1").arg(tag.name);
            return false;
        }
        if (m_text[m_pos] == u'>' || AtText(u"/>")) {
            const bool empty = m_text[m_pos] == u'/';
            out += u'<';
            out += tag.name;
            out += empty ? QStringView(u"/>") : QStringView(u">");
            m_pos += empty ? 2 : 1;
            break;
        }
        if (m_pos == spaceStart) {
            error = QStringLiteral("no white space before an attribute of <%1").arg(tag.name);
            return false;
        }
        const qsizetype keyStart = m_pos;
        while (m_pos < m_text.size() && !isAttributeNameEnd(m_text[m_pos])) {
            ++m_pos;
        }
        const QStringView key = m_text.sliced(keyStart, m_pos - keyStart);
        if (!IsXmlName(key)) {
            error = QStringLiteral("bad attribute name \"%1\" in <%2>").arg(key, tag.name);
            return false;
        }
        while (m_pos < m_text.size() && IsXmlSpace(m_text[m_pos])) {
            ++m_pos;
        }
        if (m_pos >= m_text.size() || m_text[m_pos] != u'=') {
            error = QStringLiteral("attribute %1 of <%2> has no value").arg(key, tag.name);
            return false;
        }
        ++m_pos;
        while (m_pos < m_text.size() && IsXmlSpace(m_text[m_pos])) {
            ++m_pos;
        }
        QString value;
        if (!ScanAttributeValue(value, error)) {
            error = QStringLiteral("attribute %1 of <%2>: %3").arg(key, tag.name, error);
            return false;
        }
        if (!seen.contains(key)) {
            seen.insert(key);
            tag.attributes.emplace_back(key.toString(), std::move(value));
        }
    }
    tags.push_back(std::move(tag));
    return true;
}

// A quoted attribute value with its references replaced and its white space normalised
// as an XML processor does: a line break (CR LF, CR or LF) and a tab each become one
// blank, while the same characters written as references stay as they are.
bool TagScanner::ScanAttributeValue(QString& value, QString& error) {
    if (m_pos >= m_text.size() || (m_text[m_pos] != u'"' && m_text[m_pos] != u'\'')) {
        error = QStringLiteral("value not quoted");
        return false;
    }
    const QChar quote = m_text[m_pos++];
    const qsizetype close = m_text.indexOf(quote, m_pos);
    if (close < 0) {
        error = QStringLiteral("unterminated value");
        return false;
    }
    const QStringView raw = m_text.sliced(m_pos, close - m_pos);
    m_pos = close + 1;
    value.reserve(raw.size());
    qsizetype i = 0;
    while (i < raw.size()) {
        const QChar c = raw[i];
        if (c == u'<') {
            error = QStringLiteral("\"<\" in a value");
            return false;
        }
        if (c == u'\r') {
            value += u' ';
            i += (i + 1 < raw.size() && raw[i + 1] == u'\n') ? 2 : 1;
            continue;
        }
        if (c == u'\n' || c == u'\t') {
            value += u' ';
            ++i;
            continue;
        }
        if (c == u'&') {
            const qsizetype semicolon = raw.indexOf(u';', i + 1);
            if (semicolon < 0) {
                error = QStringLiteral("unterminated reference");
                return false;
            }
            const QStringView name = raw.sliced(i + 1, semicolon - i - 1);
            i = semicolon + 1;
            if (name == u"amp") {
                value += u'&';
            } else if (name == u"lt") {
                value += u'<';
            } else if (name == u"gt") {
                value += u'>';
            } else if (name == u"quot") {
                value += u'"';
            } else if (name == u"apos") {
                value += u'\'';
            } else if (name.startsWith(u'#')) {
                const char32_t codePoint = CharacterReference(name.sliced(1));
                if (!IsXmlChar(codePoint)) {
                    error = QStringLiteral("bad character reference &%1;").arg(name);
                    return false;
                }
                value += QChar::fromUcs4(codePoint);
            } else {
                // Entities of a document type declaration are not supported in values.
                error = QStringLiteral("unknown entity &%1;").arg(name);
                return false;
            }
            continue;
        }
        const qsizetype start = i;
        if (!IsXmlChar(NextCodePoint(raw, i))) {
            error = QStringLiteral("a character that XML does not allow");
            return false;
        }
        value += raw.sliced(start, i - start);
    }
    return true;
}

}  // namespace

bool ByteOrderLess::operator()(const QString& a, const QString& b) const {
    const qsizetype common = std::min(a.size(), b.size());
    const QChar* left = a.constData();
    const QChar* right = b.constData();
    for (qsizetype i = 0; i < common; ++i) {
        if (left[i] != right[i]) {
            return CodePointOrderKey(left[i].unicode()) < CodePointOrderKey(right[i].unicode());
        }
    }
    return a.size() < b.size();
}

void PropertyValue::SetNumber(qint32 number) {
    m_type = Type::Number;
    m_number = number;
    m_text.clear();
}

void PropertyValue::SetText(const QString& text) {
    m_type = Type::Text;
    m_number = 0;
    m_text = text;
}

QString PropertyValue::ToXmlText() const {
    switch (m_type) {
        case Type::Number:
            return QString::number(m_number);
        case Type::Text:
            return m_text;
        case Type::Empty:
            break;
    }
    return QString();
}

PropertyStore::Section& PropertyStore::GetSection(const QString& name) {
    return m_sections[name];
}

PropertyValue& PropertyStore::Value(const QString& section, const QString& key) {
    return m_sections[section][key];
}

void PropertyStore::SetNumber(const QString& section, const QString& key, qint32 number) {
    Value(section, key).SetNumber(number);
}

void PropertyStore::SetText(const QString& section, const QString& key, const QString& text) {
    Value(section, key).SetText(text);
}

const PropertyStore::Section* PropertyStore::FindSection(const QString& name) const {
    const auto found = m_sections.find(name);
    return found == m_sections.end() ? nullptr : &found->second;
}

const PropertyValue* PropertyStore::FindValue(const QString& section, const QString& key) const {
    const Section* found = FindSection(section);
    if (found == nullptr) {
        return nullptr;
    }
    const auto value = found->find(key);
    return value == found->end() ? nullptr : &value->second;
}

qint32 PropertyStore::ReadNumber(const QString& section, const QString& key,
                                 qint32 fallback) const {
    const PropertyValue* value = FindValue(section, key);
    if (value == nullptr || !value->IsText()) {
        return fallback;
    }
    return TextToNumber(value->Text());
}

qint32 PropertyStore::TextToNumber(QStringView text) {
    qsizetype i = 0;
    // The white space of C's isspace in the "C" locale.
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Unsigned arithmetic wraps without undefined behaviour; the result keeps the low
    // 32 bits, as a 64-bit accumulator cast to int does.
    quint64 magnitude = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        magnitude = magnitude * 10 + static_cast<quint64>(text[i].unicode() - u'0');
        ++i;
    }
    const quint64 result = negative ? 0 - magnitude : magnitude;
    return static_cast<qint32>(static_cast<quint32>(result));
}

QString PropertyStore::ReadText(const QString& section, const QString& key,
                                const QString& fallback) const {
    const PropertyValue* value = FindValue(section, key);
    return value != nullptr && value->IsText() ? value->Text() : fallback;
}

bool PropertyStore::HasText(const QString& section, const QString& key) const {
    const PropertyValue* value = FindValue(section, key);
    return value != nullptr && value->IsText();
}

namespace {

// The number that `digits` spells in the canonical "%d" form (digits only, no leading
// zero except for "0" itself) when it lies in first..limit; -1 otherwise.
qint64 CanonicalNumber(QStringView digits, qint64 first, qint64 limit) {
    if (digits.isEmpty() || digits.size() > 19 || (digits.size() > 1 && digits[0] == u'0')) {
        return -1;
    }
    quint64 number = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9') {
            return -1;
        }
        number = number * 10 + static_cast<quint64>(c.unicode() - u'0');
    }
    if (number < static_cast<quint64>(first) || number > static_cast<quint64>(limit)) {
        return -1;
    }
    return static_cast<qint64>(number);
}

// Visits the entries of a byte-ordered map whose names start with `prefix`: they lie
// together, beginning where the prefix itself would be inserted.
template <typename Map, typename Visit>
void ForEachWithPrefix(const Map& map, const QString& prefix, Visit visit) {
    for (auto it = map.lower_bound(prefix); it != map.end() && it->first.startsWith(prefix); ++it) {
        visit(it->first, it->second);
    }
}

}  // namespace

std::vector<qint64> PropertyStore::NumberedKeys(const QString& section, const QString& prefix,
                                                const QString& suffix, qint64 limit,
                                                bool fromZero) const {
    std::vector<qint64> numbers;
    const Section* found = FindSection(section);
    const qint64 first = fromZero ? 0 : 1;
    if (found == nullptr || limit < first) {
        return numbers;
    }
    ForEachWithPrefix(*found, prefix, [&](const QString& key, const PropertyValue& value) {
        if (!value.IsText() || key.size() <= prefix.size() + suffix.size() ||
            !key.endsWith(suffix)) {
            return;
        }
        const QStringView digits =
            QStringView(key).sliced(prefix.size(), key.size() - prefix.size() - suffix.size());
        const qint64 number = CanonicalNumber(digits, first, limit);
        if (number >= 0) {
            numbers.push_back(number);
        }
    });
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::vector<qint64> PropertyStore::NumberedSections(const QString& prefix, qint64 limit) const {
    std::vector<qint64> numbers;
    if (limit < 0) {
        return numbers;
    }
    ForEachWithPrefix(m_sections, prefix, [&](const QString& name, const Section&) {
        const qint64 number = CanonicalNumber(QStringView(name).sliced(prefix.size()), 0, limit);
        if (number >= 0) {
            numbers.push_back(number);
        }
    });
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

QByteArray PropertyStore::ToXml(const QString& rootName) const {
    // Check first what QXmlStreamWriter would write without complaint but no reader
    // could take back: names that are no XML names, characters XML cannot carry.
    if (!IsWritableName(rootName)) {
        m_errorString = QStringLiteral("\"%1\" is not a valid element name").arg(rootName);
        return QByteArray();
    }
    for (const auto& [sectionName, section] : m_sections) {
        if (!IsWritableName(sectionName)) {
            m_errorString = QStringLiteral("\"%1\" is not a valid element name").arg(sectionName);
            return QByteArray();
        }
        for (const auto& [key, value] : section) {
            if (!IsWritableName(key)) {
                m_errorString = QStringLiteral("\"%1\" is not a valid attribute name").arg(key);
                return QByteArray();
            }
            if (value.IsText() && !HoldsOnlyXmlChars(value.Text())) {
                m_errorString =
                    QStringLiteral("the value of %1 in %2 holds a character XML cannot carry")
                        .arg(key, sectionName);
                return QByteArray();
            }
        }
    }

    // No writeStartDocument (no declaration), no auto-formatting (no indentation); the
    // writer escapes &, <, >, " and writes tab, CR and LF as character references.
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    writer.writeStartElement(rootName);
    for (const auto& [sectionName, section] : m_sections) {
        writer.writeStartElement(sectionName);
        for (const auto& [key, value] : section) {
            writer.writeAttribute(key, value.ToXmlText());
        }
        writer.writeEndElement();
    }
    writer.writeEndElement();
    if (writer.hasError()) {
        m_errorString = QStringLiteral("the XML writer failed");
        return QByteArray();
    }
    return bytes;
}

namespace {

// The mode bits of Qt's permission flags (owner and user flags are the same on Unix).
mode_t ModeOf(QFileDevice::Permissions permissions) {
    using P = QFileDevice;
    const std::pair<QFileDevice::Permissions, mode_t> bits[] = {
        {P::ReadOwner | P::ReadUser, S_IRUSR},
        {P::WriteOwner | P::WriteUser, S_IWUSR},
        {P::ExeOwner | P::ExeUser, S_IXUSR},
        {P::ReadGroup, S_IRGRP},
        {P::WriteGroup, S_IWGRP},
        {P::ExeGroup, S_IXGRP},
        {P::ReadOther, S_IROTH},
        {P::WriteOther, S_IWOTH},
        {P::ExeOther, S_IXOTH}};
    mode_t mode = 0;
    for (const auto& [flags, bit] : bits) {
        if (permissions & flags) {
            mode |= bit;
        }
    }
    return mode;
}

// A symbolic link in the file's place is followed (to its end, as far as 128 links), so
// the file it names is replaced and the link stays a link; a loop keeps the path itself.
QByteArray FileBehindLinks(const QByteArray& path) {
    QByteArray current = path;
    for (int depth = 0; depth < 128; ++depth) {
        char text[PATH_MAX];
        const ssize_t size = ::readlink(current.constData(), text, sizeof text);
        if (size < 0 || size_t(size) >= sizeof text) {
            return current;
        }
        const QByteArray target(text, size);
        current =
            target.startsWith('/') ? target : current.left(current.lastIndexOf('/') + 1) + target;
    }
    return path;
}

}  // namespace

bool PropertyStore::SaveXml(const QString& rootName, const QString& path,
                            QFileDevice::Permissions permissions) const {
    m_errorString.clear();
    const QByteArray bytes = ToXml(rootName);
    if (bytes.isEmpty()) {
        return false;
    }
    auto fail = [&](const char* what) {
        m_errorString =
            QStringLiteral("%1 %2: %3")
                .arg(QLatin1String(what), FileNameForDisplay(path), qt_error_string(errno));
        return false;
    };
    // Files of this format may hold passwords: the temporary gets the caller's mode
    // exactly (whatever the umask says) before any content is in it.
    const mode_t mode = ModeOf(permissions);
    ReplacingFile file;
    if (!file.Create(AT_FDCWD, FileBehindLinks(FileNameToBytes(path)), mode)) {
        return fail("cannot write");
    }
    // A file system without Unix modes (a Windows share through FUSE) refuses with
    // ENOTSUP: there the share's own access rules stand instead.
    if (::fchmod(file.Fd(), mode) != 0 && errno != ENOTSUP) {
        return fail("cannot set the mode of");
    }
    // Synced before the rename, so a power cut leaves the old file or the whole new one.
    if (!WriteAll(file.Fd(), bytes.constData(), size_t(bytes.size())) ||
        !file.Commit(ReplacingFile::Sync::kYes)) {
        return fail("cannot write");
    }
    return true;
}

bool PropertyStore::FailLoad(FileLoad load) {
    Clear();
    m_errorString = load.error;
    m_lastLoad = std::move(load);
    return false;
}

namespace {

// The 1-based line and column of a place in the text.
FileLoad DamagedAt(const QString& reason, QStringView text, qsizetype position) {
    position = std::clamp<qsizetype>(position, 0, text.size());
    const QStringView before = text.first(position);
    const qint64 line = before.count(u'\n') + 1;
    const qint64 column = position - (before.lastIndexOf(u'\n') + 1) + 1;
    return FileLoad::Damaged(reason, line, column);
}

// The place in the text of a place in the bare document.
qsizetype TextPosition(const std::vector<TagEnd>& ends, qsizetype bare) {
    const auto after =
        std::upper_bound(ends.begin(), ends.end(), bare,
                         [](qsizetype b, const TagEnd& end) { return b < end.bare; });
    if (after == ends.begin()) {
        return bare;
    }
    const TagEnd& end = *std::prev(after);
    return end.text + (bare - end.bare);
}

}  // namespace

bool PropertyStore::LoadXml(const QString& path) {
    Clear();
    m_errorString.clear();
    m_lastLoad = FileLoad();
    const QByteArray native = FileNameToBytes(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        FailLoad(FileLoad::Damaged(QString::fromLocal8Bit(std::strerror(error))));
        // Only a file that is not there is missing; one we may not read is damaged for
        // us, and must be kept as it is.
        if (error == ENOENT) {
            m_lastLoad = FileLoad();
            m_lastLoad.state = FileLoad::State::kMissing;
        }
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return FailLoad(FileLoad::Damaged(file.errorString()));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return FailLoad(FileLoad::Damaged(QStringLiteral("not a regular file")));
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return FailLoad(FileLoad::Damaged(file.errorString()));
    }
    return LoadXmlData(data);
}

bool PropertyStore::LoadXmlData(const QByteArray& data) {
    Clear();
    m_errorString.clear();
    m_lastLoad = FileLoad();

    QString text;
    QString error;
    if (!DecodeDocument(data, text, error)) {
        return FailLoad(FileLoad::Damaged(error));
    }
    QString bareDocument;
    std::vector<StartTag> tags;
    std::vector<TagEnd> ends;
    TagScanner scanner(text);
    if (!scanner.Scan(bareDocument, tags, ends, error)) {
        return FailLoad(DamagedAt(error, text, scanner.ErrorPosition()));
    }

    // A reader on a QString ignores the declared encoding: the text is decoded already.
    QXmlStreamReader reader(bareDocument);
    reader.setNamespaceProcessing(false);
    std::size_t nextTag = 0;
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
            case QXmlStreamReader::StartElement: {
                // The reader sees the same start tags as the scanner, in the same order;
                // only elements made by expanding an entity would differ, and those are
                // not supported.
                if (nextTag >= tags.size() || tags[nextTag].name != reader.qualifiedName()) {
                    return FailLoad(DamagedAt(QStringLiteral("element <%1> comes from an entity")
                                                  .arg(reader.qualifiedName()),
                                              text, TextPosition(ends, reader.characterOffset())));
                }
                StartTag& tag = tags[nextTag++];
                ++depth;
                if (depth == 2) {
                    // A section: the first of a repeated key was kept by the scanner; a
                    // repeated section replaces the earlier one.
                    Section section;
                    for (auto& [key, value] : tag.attributes) {
                        section[std::move(key)].SetText(value);
                    }
                    m_sections[tag.name] = std::move(section);
                }
                // Elements below a section are no part of the format and are skipped.
                break;
            }
            case QXmlStreamReader::EndElement:
                --depth;
                break;
            default:
                // Comments, processing instructions, the document type declaration and
                // text (white space between elements, or stray text inside the document
                // element) carry nothing for the store.
                break;
        }
    }
    if (reader.hasError()) {
        return FailLoad(
            DamagedAt(reader.errorString(), text, TextPosition(ends, reader.characterOffset())));
    }
    return true;
}

}  // namespace corvane
