#include "ui/ColumnFitter.h"

#include <QEvent>
#include <QHeaderView>
#include <QTreeView>
#include <algorithm>
#include <numeric>
#include <vector>

namespace corvane {
namespace {

// A path column never gets narrower than this: some of the name must stay readable,
// even if the list has to scroll sideways.
constexpr int kNarrowestPath = 60;

// The widths of columns that need `wants` when they share `room`.
std::vector<int> ShareWidth(const std::vector<int>& wants, int room) {
    const int count = static_cast<int>(wants.size());
    std::vector<int> widths(wants.size(), 0);
    if (count == 0) {
        return widths;
    }
    const int needed = std::accumulate(wants.begin(), wants.end(), 0);
    if (needed <= room) {
        // Everything fits: the room left over is split evenly.
        const int surplus = room - needed;
        for (int i = 0; i < count; ++i) {
            widths[i] = wants[i] + surplus / count + (i < surplus % count ? 1 : 0);
        }
        return widths;
    }
    // Columns that need no more than an even share keep what they need; the share of the
    // others grows with each one settled that way.
    std::vector<bool> settled(wants.size(), false);
    int left = room;
    int open = count;
    for (bool changed = true; changed && open > 0;) {
        changed = false;
        for (int i = 0; i < count; ++i) {
            if (!settled[i] && wants[i] <= left / open) {
                widths[i] = wants[i];
                settled[i] = true;
                left -= wants[i];
                --open;
                changed = true;
            }
        }
    }
    int extra = open > 0 ? left % open : 0;
    for (int i = 0; i < count; ++i) {
        if (!settled[i]) {
            widths[i] = std::max(kNarrowestPath, left / open + (extra-- > 0 ? 1 : 0));
        }
    }
    return widths;
}

}  // namespace

ColumnFitter::ColumnFitter(QTreeView* list, const QList<int>& pathColumns)
    : QObject(list), m_list(list), m_viewport(list->viewport()), m_pathColumns(pathColumns) {
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->header()->setStretchLastSection(false);
    m_viewport->installEventFilter(this);
}

void ColumnFitter::Fit() {
    QHeaderView* header = m_list->header();
    // The tree view hides the content width that every item view offers.
    const QAbstractItemView* view = m_list;
    int fixed = 0;
    std::vector<int> pathWants;
    for (int column = 0; column < header->count(); ++column) {
        if (header->isSectionHidden(column)) {
            continue;
        }
        const int want = std::max(view->sizeHintForColumn(column), header->sectionSizeHint(column));
        if (m_pathColumns.contains(column)) {
            pathWants.push_back(want);
        } else {
            m_list->setColumnWidth(column, want);
            fixed += want;
        }
    }
    const std::vector<int> widths = ShareWidth(pathWants, m_list->viewport()->width() - fixed);
    size_t next = 0;
    for (int column = 0; column < header->count(); ++column) {
        if (!header->isSectionHidden(column) && m_pathColumns.contains(column)) {
            m_list->setColumnWidth(column, widths[next++]);
        }
    }
}

bool ColumnFitter::eventFilter(QObject* watched, QEvent* event) {
    // Compared with the viewport kept at the start: while the list is being destroyed its
    // viewport still sends events, and the list can no longer be asked for it.
    if (watched == m_viewport && event->type() == QEvent::Resize) {
        Fit();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace corvane
