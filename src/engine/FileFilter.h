#pragma once

// The include and exclude filters of a task. A filter is a list of wildcard patterns
// ("*.doc; *.txt", or a preset such as "Documents (*.doc,*.rtf)" of which only the
// bracketed list counts). Filters look only at a file's name and extension, never at its
// folder; files and links are filtered, folders never.
//
// A filter belongs to the thread that uses it; the free functions keep no state.

#include <QString>
#include <QStringList>
#include <QStringView>

#include "engine/FileList.h"

namespace corvane {

// False when the text has a ")" but no "(", a "(" but no ")", or its first ")" before
// its first "("; an empty text is well formed. The settings pages check a filter with
// this before they accept it.
bool IsWellFormedFilter(const QString& text);

// Matches `text` against `pattern` character by character, case-sensitively: "?" is
// any one character, "*" any run of characters (none too), every other character
// itself.
bool Wildcard(QStringView text, QStringView pattern);

class FileFilter {
  public:
    // `defaultAnswer` is what Matches answers while the filter holds no pattern.
    explicit FileFilter(bool defaultAnswer);

    // Rebuilds the filter from a filter text. A text that is empty, not well formed or
    // without any pattern leaves the filter disabled.
    void Parse(const QString& text);

    // Whether a file name (name and extension, already in lower case) matches one of the
    // patterns. Name and pattern are each split at their first "." into stem and
    // extension, and both halves must match: "*" matches "readme" but not "readme.txt",
    // "*.gz" does not match "backup.tar.gz". A disabled filter gives its default answer.
    bool Matches(const QString& lowerCaseName) const;

    bool IsEnabled() const { return !m_patterns.isEmpty(); }
    // The lower-case, trimmed patterns in the order of the text (duplicates kept).
    const QStringList& Patterns() const { return m_patterns; }

  private:
    QStringList m_patterns;
    // Each pattern split at its first "." (kept beside the text to split only once).
    QStringList m_stems;
    QStringList m_extensions;
    bool m_defaultAnswer;
};

// The include filter lets everything through until it has a pattern.
FileFilter MakeIncludeFilter(const QString& text);
// The exclude filter drops nothing until it has a pattern.
FileFilter MakeExcludeFilter(const QString& text);

// Empties the path of every file entry whose lower-case name the include filter does not
// match or the exclude filter matches, logging "  Filter check..." once and one warning
// per dropped file (the include warning when both apply). Entries keep their place;
// folder entries are left alone. Logs nothing when neither filter is enabled.
void ApplyFilters(FileList& list, const FileFilter& include, const FileFilter& exclude);

}  // namespace corvane
