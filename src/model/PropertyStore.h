#pragma once

// A property store: named sections, each a table of named values, with one XML form on
// disk. Writers fill a fresh store and save it; readers load a file into a fresh store
// and ask for the values they know, with their own defaults for what is missing. A
// store belongs to the thread that made it.
//
// The XML form (doc/formats/property-store.md): a document element named by the
// caller; one child element per section, in byte order of the section names; one
// attribute per value, in byte order of the keys; numbers as signed decimal text; UTF-8
// without declaration and without indentation.

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <map>
#include <vector>

#include "model/FileLoad.h"

namespace corvane {

// Orders names by the bytes of their UTF-8 form.
struct ByteOrderLess {
    bool operator()(const QString& a, const QString& b) const;
};

class PropertyValue {
  public:
    enum class Type { Empty, Number, Text };

    Type type() const { return m_type; }
    bool IsText() const { return m_type == Type::Text; }
    qint32 Number() const { return m_number; }
    const QString& Text() const { return m_text; }

    void SetNumber(qint32 number);
    void SetText(const QString& text);

    // The value as the XML form writes it: decimal text for a number, the text for a
    // string, empty for an empty value.
    QString ToXmlText() const;

    bool operator==(const PropertyValue&) const = default;

  private:
    Type m_type = Type::Empty;
    qint32 m_number = 0;
    QString m_text;
};

class PropertyStore {
  public:
    using Section = std::map<QString, PropertyValue, ByteOrderLess>;
    using Sections = std::map<QString, Section, ByteOrderLess>;

    // The section of that name, created empty if absent.
    Section& GetSection(const QString& name);
    // The value slot, created (section and slot) empty if absent.
    PropertyValue& Value(const QString& section, const QString& key);

    void SetNumber(const QString& section, const QString& key, qint32 number);
    void SetText(const QString& section, const QString& key, const QString& text);

    // When the slot holds text: its decimal conversion as C's atoi makes it (leading
    // white space skipped, optional sign, digits up to the first other character, 0
    // when there are none; out-of-range values wrap to 32 bits). Otherwise `fallback`.
    // A key present with empty text therefore reads as 0.
    qint32 ReadNumber(const QString& section, const QString& key, qint32 fallback) const;
    // That conversion on its own.
    static qint32 TextToNumber(QStringView text);
    // The slot's text when it holds text, else `fallback`.
    QString ReadText(const QString& section, const QString& key,
                     const QString& fallback = QString()) const;
    // True when the slot holds text ("present" for the readers of this program).
    bool HasText(const QString& section, const QString& key) const;

    // The section, or null. Never creates.
    const Section* FindSection(const QString& name) const;
    // The value slot, or null. Never creates.
    const PropertyValue* FindValue(const QString& section, const QString& key) const;
    const Sections& AllSections() const { return m_sections; }

    // The numbers n in 1..limit (or 0..limit with `fromZero`) for which a key
    // "<prefix><n><suffix>" of the section holds text, n written as "%d" writes it (no
    // sign, no leading zeros), in ascending order. Lets readers walk a stored count
    // without looping over numbers that no key carries.
    std::vector<qint64> NumberedKeys(const QString& section, const QString& prefix,
                                     const QString& suffix, qint64 limit,
                                     bool fromZero = false) const;
    // The same for section names "<prefix><n>", n in 0..limit.
    std::vector<qint64> NumberedSections(const QString& prefix, qint64 limit) const;

    // Writes the XML form to `path`, replacing it atomically: the new content goes to a
    // temporary file in the same folder, is flushed to disk and renamed over the old
    // file, so a reader never sees a half-written file and a failed save leaves the old
    // file as it was. A new file gets `permissions`, and so does a replaced one (these
    // files may hold passwords). Answers false on any failure, without touching the old
    // file when a name is no XML name or a value holds a character XML cannot carry.
    [[nodiscard]] bool SaveXml(const QString& rootName, const QString& path,
                               QFileDevice::Permissions permissions =
                                   QFileDevice::ReadOwner | QFileDevice::WriteOwner) const;
    // The XML form as bytes (what SaveXml writes); empty when a name is no XML name
    // (a colon and "xmlns" are refused too) or a value holds a character that XML
    // cannot carry (control characters other than tab, CR and LF; U+FFFE, U+FFFF;
    // unpaired surrogates).
    QByteArray ToXml(const QString& rootName) const;

    // Reads a file written in the XML form (any encoding XML allows, white space
    // ignored). Answers false, leaving the store empty, for a missing, empty or
    // malformed file. A key repeated within an element keeps its first value; a section
    // element repeated keeps the last. Comments, processing instructions, stray text
    // inside the document element and elements below a section element are skipped.
    // Entities of a document type declaration are not supported (such a file does not
    // load), nor elements nested deeper than kMaxNesting levels, so that time and memory
    // grow linearly with the file whatever it holds.
    [[nodiscard]] bool LoadXml(const QString& path);
    [[nodiscard]] bool LoadXmlData(const QByteArray& data);

    // Deepest nesting of elements a document may have; this format needs two levels.
    static constexpr int kMaxNesting = 256;

    // How the last LoadXml or LoadXmlData went: read, missing file (LoadXml only), or
    // damaged with the reason and, for a fault in the text, its line and column.
    const FileLoad& LastLoad() const { return m_lastLoad; }

    void Clear() { m_sections.clear(); }
    bool IsEmpty() const { return m_sections.empty(); }

    // Why the last SaveXml, ToXml, LoadXml or LoadXmlData failed (for the caller's log
    // line); empty after a success.
    const QString& ErrorString() const { return m_errorString; }

  private:
    // Records a failed load: the store is emptied, the reason kept.
    bool FailLoad(FileLoad load);

    Sections m_sections;
    mutable QString m_errorString;
    FileLoad m_lastLoad;
};

}  // namespace corvane
