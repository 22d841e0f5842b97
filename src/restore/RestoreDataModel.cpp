#include "restore/RestoreDataModel.h"

#include <algorithm>
#include <numeric>

namespace corvane {

RestoreDataModel::RestoreDataModel(const std::vector<RestoreItem>& list) {
    m_lines.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        const RestoreItem& item = list[i];
        Line line;
        line.index = static_cast<int>(i);
        line.status = StatusOf(item);
        line.registryOrContact = IsRegistryOrContactLine(item);
        line.texts[kSourceColumn] = SourceColumnText(item);
        line.texts[kArchiveColumn] = item.archiveName;
        // Registry keys and contacts show no times, whatever their records hold.
        if (!line.registryOrContact) {
            line.texts[kSourceTimeColumn] = TimeColumnText(item.sourceTime);
            line.texts[kArchiveTimeColumn] = TimeColumnText(item.archiveTime);
        }
        line.texts[kStatusColumn] = StatusText(line.status);
        m_lines.push_back(std::move(line));
    }
}

QString RestoreDataModel::Title() {
    return QStringLiteral("Restore data");
}

QString RestoreDataModel::ColumnTitle(int column) {
    switch (column) {
        case kSourceColumn:
            return QStringLiteral("Source file name");
        case kArchiveColumn:
            return QStringLiteral("Archive file name");
        case kSourceTimeColumn:
            return QStringLiteral("File time");
        case kArchiveTimeColumn:
            return QStringLiteral("Archive file time");
        case kStatusColumn:
            return QStringLiteral("Status");
        default:
            return QString();
    }
}


int RestoreDataModel::LineCount() const {
    return static_cast<int>(m_lines.size());
}

QString RestoreDataModel::Text(int row, int column) const {
    if (!IsRow(row) || column < 0 || column >= kColumnCount) {
        return QString();
    }
    const Line& line = m_lines[static_cast<size_t>(row)];
    if (column == kCheckColumn) {
        return line.checked ? QStringLiteral("x") : QString();
    }
    return line.texts[column];
}

bool RestoreDataModel::IsChecked(int row) const {
    return IsRow(row) && m_lines[static_cast<size_t>(row)].checked;
}

RestoreStatus RestoreDataModel::Status(int row) const {
    return IsRow(row) ? m_lines[static_cast<size_t>(row)].status : RestoreStatus::kNone;
}

int RestoreDataModel::ItemIndex(int row) const {
    return IsRow(row) ? m_lines[static_cast<size_t>(row)].index : -1;
}

RestoreDataModel::Rgb RestoreDataModel::LineColour(int row) const {
    const RestoreStatus status = Status(row);
    if (status == RestoreStatus::kNewer || status == RestoreStatus::kDeleted) {
        return {220, 0, 0};
    }
    if (IsRow(row) && m_lines[static_cast<size_t>(row)].registryOrContact) {
        return {0, 0, 200};
    }
    return {0, 200, 0};
}

RestoreDataModel::Rgb RestoreDataModel::SelectedTextColour() {
    return {200, 200, 200};
}

bool RestoreDataModel::Click(int row, int column) {
    if (column != kCheckColumn || !IsRow(row)) {
        return false;
    }
    Toggle(row);
    return true;
}

void RestoreDataModel::Toggle(int row) {
    if (IsRow(row)) {
        Line& line = m_lines[static_cast<size_t>(row)];
        line.checked = !line.checked;
    }
}

void RestoreDataModel::CheckAll() {
    for (Line& line : m_lines) {
        line.checked = true;
    }
}

void RestoreDataModel::UncheckAll() {
    for (Line& line : m_lines) {
        line.checked = false;
    }
}

void RestoreDataModel::UncheckIdentical() {
    UncheckStatus(RestoreStatus::kIdentical);
}

void RestoreDataModel::UncheckNewer() {
    UncheckStatus(RestoreStatus::kNewer);
}

void RestoreDataModel::UncheckStatus(RestoreStatus status) {
    for (Line& line : m_lines) {
        if (line.status == status) {
            line.checked = false;
        }
    }
}

int RestoreDataModel::CheckedCount() const {
    return static_cast<int>(std::count_if(m_lines.begin(), m_lines.end(),
                                          [](const Line& line) { return line.checked; }));
}

QString RestoreDataModel::Caption() const {
    const int count = CheckedCount();
    return count == 0 ? QStringLiteral("No items checked")
                      : QStringLiteral("%1 items checked").arg(count);
}

void RestoreDataModel::SortBy(int column) {
    if (column < 0 || column >= kColumnCount) {
        return;
    }
    // Lower-cased keys once per line, not once per comparison.
    std::vector<QString> keys;
    keys.reserve(m_lines.size());
    for (int row = 0; row < LineCount(); ++row) {
        keys.push_back(Text(row, column).toLower());
    }
    std::vector<size_t> order(m_lines.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&keys](size_t a, size_t b) {
        const QString& left = keys[a];
        const QString& right = keys[b];
        if (left.isEmpty() || right.isEmpty()) {
            return !left.isEmpty() && right.isEmpty();
        }
        return left < right;
    });
    std::vector<Line> sorted;
    sorted.reserve(m_lines.size());
    for (size_t from : order) {
        sorted.push_back(std::move(m_lines[from]));
    }
    m_lines = std::move(sorted);
}

void RestoreDataModel::ApplyChecks(std::vector<RestoreItem>& list) const {
    for (const Line& line : m_lines) {
        if (line.index >= 0 && static_cast<size_t>(line.index) < list.size()) {
            list[static_cast<size_t>(line.index)].checked = line.checked;
        }
    }
}

}  // namespace corvane
