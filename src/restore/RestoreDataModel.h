#pragma once

// The restore-data dialog ("Restore data") without its widgets: the lines of the
// restore list with their checks, the buttons, the caption, sorting and colours. The
// dialog draws what this model says and forwards clicks to it; "Restore checked" ends
// with ApplyChecks, Cancel with nothing (the restore run then stops).
//
// The model copies what it shows from the list when it is made; each line remembers the
// index of its record, so sorting never loses the way back. Only ApplyChecks writes to
// the list, and only the records' checked flags.
//
// Rows are display rows (after sorting). A row or column outside the model reads as
// empty and changes nothing. One model belongs to one thread (the main thread).

#include <QString>
#include <vector>

#include "model/RestoreItem.h"
#include "restore/RestoreStatus.h"

namespace corvane {

class RestoreDataModel {
  public:
    enum Column : int {
        kCheckColumn = 0,    // "x" when checked, else empty; drawn as a check box
        kSourceColumn,       // "Source file name"
        kArchiveColumn,      // "Archive file name"
        kSourceTimeColumn,   // "File time"
        kArchiveTimeColumn,  // "Archive file time"
        kStatusColumn,       // "Status"
        kColumnCount
    };

    struct Rgb {
        int red = 0;
        int green = 0;
        int blue = 0;

        bool operator==(const Rgb&) const = default;
    };

    // One line per record, in list order, every line checked.
    explicit RestoreDataModel(const std::vector<RestoreItem>& list);

    static QString Title();                  // "Restore data"
    static QString ColumnTitle(int column);  // the check column has none

    int LineCount() const;
    QString Text(int row, int column) const;
    bool IsChecked(int row) const;
    RestoreStatus Status(int row) const;
    // The index in the list of the row's record; -1 for a row outside the model.
    int ItemIndex(int row) const;

    // Text colour of a row: red (220, 0, 0) for "newer" and "deleted", blue (0, 0, 200)
    // for registry and contact lines, green (0, 200, 0) for the others.
    Rgb LineColour(int row) const;
    // Text colour of a selected row (on the active-caption background).
    static Rgb SelectedTextColour();

    // A click in the check column toggles the row; a click elsewhere does nothing.
    // Answers whether the row changed.
    bool Click(int row, int column);
    void Toggle(int row);
    // The buttons "Check all", "Uncheck all", "Uncheck identical", "Uncheck newer".
    void CheckAll();
    void UncheckAll();
    void UncheckIdentical();
    void UncheckNewer();

    int CheckedCount() const;
    // The text below the list: "%d items checked", or "No items checked". Always counts
    // afresh, so "Refresh" only has to show it again.
    QString Caption() const;

    // Sorts the rows by a column's text, compared after lower-casing, ascending; empty
    // texts after all others; rows with equal texts keep their order.
    void SortBy(int column);

    // "Restore checked": each line's check into the checked flag of its record.
    // Records the model has no line for are left as they are.
    void ApplyChecks(std::vector<RestoreItem>& list) const;

  private:
    struct Line {
        int index = 0;  // of the record in the list
        RestoreStatus status = RestoreStatus::kNone;
        bool registryOrContact = false;
        bool checked = true;
        QString texts[kColumnCount];  // the check column's text is made on demand
    };

    bool IsRow(int row) const { return row >= 0 && row < LineCount(); }
    void UncheckStatus(RestoreStatus status);

    std::vector<Line> m_lines;
};

}  // namespace corvane
