#pragma once

// The "Several backups found" dialog without its widgets: a dated task keeps each
// backup in its own place, and the user picks the one to restore from. One line per
// history entry, in history order; OK needs a selected line.
//
// The model copies what it shows when it is made. One model belongs to one thread (the
// main thread).

#include <QString>
#include <vector>

#include "model/TaskRecord.h"

namespace corvane {

class BackupChoiceModel {
  public:
    enum Column : int {
        kTimeColumn = 0,  // "Backup date and time"
        kFolderColumn,    // "Storage folder"
        kColumnCount
    };

    explicit BackupChoiceModel(const std::vector<BackupHistoryEntry>& history);

    // The text above the list.
    static QString Prompt();
    static QString ColumnTitle(int column);

    int LineCount() const;
    // The time column: short date and time without seconds ("%s, %s"). The folder
    // column: the storage folder, a "/" when it does not end in one, and the archive
    // name; the folder alone for an entry without an archive name. Empty outside.
    QString Text(int row, int column) const;

    // OK with `row` selected (-1: none). Answers true with the row's history index;
    // without a valid selection answers false with the message the dialog shows in a
    // box titled RefusalTitle() before it stays open.
    bool Choose(int row, int& historyIndex, QString& refusal) const;
    static QString RefusalTitle();  // "Warning"

  private:
    struct Line {
        int historyIndex = 0;
        QString texts[kColumnCount];
    };

    std::vector<Line> m_lines;
};

}  // namespace corvane
