#pragma once

// Sizes the columns of a list to their content within the list's width. The columns
// that hold paths share what the others leave: each gets what its texts need while the
// room allows, else the room is split so a short path stays whole and the long ones
// share the rest. Texts too long for their column are elided in the middle, so the
// file name at the end stays visible. The fitter refits whenever the list is resized.
//
// Main thread only. The fitter belongs to the list (its Qt child) and owns the widths
// of its columns from then on.

#include <QList>
#include <QObject>

class QTreeView;
class QWidget;

namespace corvane {

class ColumnFitter : public QObject {
  public:
    ColumnFitter(QTreeView* list, const QList<int>& pathColumns);

    void Fit();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QTreeView* m_list;
    QWidget* m_viewport;
    QList<int> m_pathColumns;
};

}  // namespace corvane
