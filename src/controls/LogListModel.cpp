#include "controls/LogListModel.h"
#include "log/LogLine.h"

namespace corvane {

LogListModel::LogListModel(int capacity, QObject* parent)
    : QAbstractListModel(parent), m_list(capacity) {}

bool LogListModel::Append(const LogLine& line) {
    // The list decides what to drop; the views are told afterwards, removal first, so
    // that each notification matches the rows it names.
    const LogList::AppendResult result = m_list.Append(line);
    if (result.removed > 0) {
        beginRemoveRows(QModelIndex(), 0, result.removed - 1);
        m_rows -= result.removed;
        endRemoveRows();
    }
    if (result.appended) {
        beginInsertRows(QModelIndex(), m_rows, m_rows);
        ++m_rows;
        endInsertRows();
    }
    return result.appended;
}

void LogListModel::Clear() {
    beginResetModel();
    m_list.Clear();
    m_rows = 0;
    endResetModel();
}

int LogListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

QVariant LogListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows) {
        return {};
    }
    const LogLine line = m_list.Line(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return line.text;
        case kTextColourRole:
            return line.textColour;
        case kBackColourRole:
            return line.backColour;
        default:
            return {};
    }
}

}  // namespace corvane
