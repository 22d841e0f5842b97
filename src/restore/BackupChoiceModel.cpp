#include "restore/BackupChoiceModel.h"

#include "model/TimeText.h"

namespace corvane {

BackupChoiceModel::BackupChoiceModel(const std::vector<BackupHistoryEntry>& history) {
    m_lines.reserve(history.size());
    for (size_t i = 0; i < history.size(); ++i) {
        const BackupHistoryEntry& entry = history[i];
        Line line;
        line.historyIndex = static_cast<int>(i);
        line.texts[kTimeColumn] = ShortDateTimeText(entry.time);
        QString place = entry.folder;
        if (!entry.archiveName.isEmpty()) {
            if (!place.endsWith(QLatin1Char('/'))) {
                place += QLatin1Char('/');
            }
            place += entry.archiveName;
        }
        line.texts[kFolderColumn] = place;
        m_lines.push_back(std::move(line));
    }
}

QString BackupChoiceModel::Prompt() {
    return QStringLiteral(
        "You have used date/time pattern and there are several backups. Please select item, "
        "from which you want to restore.");
}

QString BackupChoiceModel::ColumnTitle(int column) {
    switch (column) {
        case kTimeColumn:
            return QStringLiteral("Backup date and time");
        case kFolderColumn:
            return QStringLiteral("Storage folder");
        default:
            return QString();
    }
}


int BackupChoiceModel::LineCount() const {
    return static_cast<int>(m_lines.size());
}

QString BackupChoiceModel::Text(int row, int column) const {
    if (row < 0 || row >= LineCount() || column < 0 || column >= kColumnCount) {
        return QString();
    }
    return m_lines[static_cast<size_t>(row)].texts[column];
}

bool BackupChoiceModel::Choose(int row, int& historyIndex, QString& refusal) const {
    if (row < 0 || row >= LineCount()) {
        refusal = QStringLiteral("You must select item from the list");
        return false;
    }
    historyIndex = m_lines[static_cast<size_t>(row)].historyIndex;
    refusal.clear();
    return true;
}

QString BackupChoiceModel::RefusalTitle() {
    return QStringLiteral("Warning");
}

}  // namespace corvane
