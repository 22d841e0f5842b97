#include "engine/FileFilter.h"

#include "log/Log.h"
#include "model/FileName.h"

namespace corvane {

namespace {

// One character of text starting at `index`: two code units for a character outside
// the basic plane, so "?" stands for a whole character.
qsizetype CharLength(QStringView text, qsizetype index) {
    return (text[index].isHighSurrogate() && index + 1 < text.size() &&
            text[index + 1].isLowSurrogate())
               ? 2
               : 1;
}

// Splits at the first "." into stem and extension; the "." belongs to neither.
void SplitName(QStringView name, QStringView& stem, QStringView& extension) {
    const qsizetype dot = name.indexOf(u'.');
    if (dot < 0) {
        stem = name;
        extension = QStringView();
    } else {
        stem = name.left(dot);
        extension = name.mid(dot + 1);
    }
}

}  // namespace

bool IsWellFormedFilter(const QString& text) {
    if (text.isEmpty()) {
        return true;
    }
    const qsizetype open = text.indexOf(u'(');
    const qsizetype close = text.indexOf(u')');
    if (open < 0) {
        return close < 0;
    }
    return close >= 0 && close > open;
}

// The single-backtrack match: only the last "*" seen is ever retried, each time with
// one more character of text swallowed by it. That is enough because a later "*" can
// absorb whatever an earlier one would have.
bool Wildcard(QStringView text, QStringView pattern) {
    qsizetype t = 0;
    qsizetype p = 0;
    qsizetype starPattern = -1;  // pattern position after the last "*"
    qsizetype starText = 0;      // text position that "*" is to swallow up to next
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starPattern = ++p;
            starText = t;
        } else if (p < pattern.size() && pattern[p] == u'?') {
            t += CharLength(text, t);
            ++p;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++t;
            ++p;
        } else if (starPattern >= 0) {
            starText += CharLength(text, starText);
            t = starText;
            p = starPattern;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

FileFilter::FileFilter(bool defaultAnswer) : m_defaultAnswer(defaultAnswer) {}

void FileFilter::Parse(const QString& text) {
    m_patterns.clear();
    m_stems.clear();
    m_extensions.clear();
    if (text.isEmpty() || !IsWellFormedFilter(text)) {
        return;
    }
    QString list = text.toLower();
    // A preset names its patterns in brackets after a label; only the list counts.
    const qsizetype open = list.indexOf(u'(');
    const qsizetype close = list.indexOf(u')');
    if (open >= 0 && close >= 0) {
        list = list.mid(open + 1, close - open - 1);
    }
    list.replace(u',', u';');
    for (const QString& piece : list.split(u';')) {
        const QString pattern = piece.trimmed();
        if (pattern.isEmpty()) {
            continue;
        }
        QStringView stem;
        QStringView extension;
        SplitName(pattern, stem, extension);
        m_patterns << pattern;
        m_stems << stem.toString();
        m_extensions << extension.toString();
    }
}

bool FileFilter::Matches(const QString& lowerCaseName) const {
    if (!IsEnabled()) {
        return m_defaultAnswer;
    }
    QStringView stem;
    QStringView extension;
    SplitName(lowerCaseName, stem, extension);
    for (qsizetype i = 0; i < m_patterns.size(); ++i) {
        if (Wildcard(stem, m_stems[i]) && Wildcard(extension, m_extensions[i])) {
            return true;
        }
    }
    return false;
}

FileFilter MakeIncludeFilter(const QString& text) {
    FileFilter filter(true);
    filter.Parse(text);
    return filter;
}

FileFilter MakeExcludeFilter(const QString& text) {
    FileFilter filter(false);
    filter.Parse(text);
    return filter;
}

void ApplyFilters(FileList& list, const FileFilter& include, const FileFilter& exclude) {
    if (!include.IsEnabled() && !exclude.IsEnabled()) {
        return;
    }
    Log("  Filter check...");
    for (FileListEntry& entry : list) {
        if (IsFolderKind(entry.kind) || entry.path.isEmpty()) {
            continue;
        }
        const QString name = entry.path.mid(entry.path.lastIndexOf(u'/') + 1).toLower();
        if (!include.Matches(name)) {
            Log("    Warning: '%s' - ignored with include filter",
                qUtf8Printable(FileNameForDisplay(name)));
            entry.path.clear();
        } else if (exclude.Matches(name)) {
            Log("    Warning: '%s' - ignored with exclude filter",
                qUtf8Printable(FileNameForDisplay(name)));
            entry.path.clear();
        }
    }
}

}  // namespace corvane
