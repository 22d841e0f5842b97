#pragma once

// The log lines as an item model for the log window's list view. It owns the LogList
// (the line store with its capacity and eviction) and tells the view what each append
// changed: the oldest lines removed first, then the new line inserted.
//
// Rows hold the line text (DisplayRole) and the palette indexes of its colours
// (kTextColourRole, kBackColourRole).
//
// Main thread only.

#include <QAbstractListModel>

#include "log/LogList.h"

namespace corvane {

class LogListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    enum Role {
        kTextColourRole = Qt::UserRole + 1,
        kBackColourRole,
    };

    explicit LogListModel(int capacity = kDefaultLogCapacity, QObject* parent = nullptr);

    const LogList& List() const { return m_list; }

    // Appends the line (dropping the oldest ones when the list is full); false when the
    // line was lost.
    bool Append(const LogLine& line);
    void Clear();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  private:
    LogList m_list;
    // The rows the views know of. It trails the list for the moment between an append
    // and the notifications that announce what the append changed.
    int m_rows = 0;
};

}  // namespace corvane
