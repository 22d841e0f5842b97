#include "controls/CLogListBox.h"

#include <QClipboard>
#include <QGuiApplication>

#include "controls/LogLineDelegate.h"
#include "controls/LogListModel.h"
#include "log/Log.h"

namespace corvane {

CLogListBox::CLogListBox(QWidget* parent, int capacity)
    : QListView(parent),
      m_model(new LogListModel(capacity, this)),
      m_delegate(new LogLineDelegate(this)) {
    setModel(m_model);
    setItemDelegate(m_delegate);
    // Every row is one line of the same font: the view need not measure 100,000 rows.
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideNone);
}

CLogListBox::~CLogListBox() = default;

void CLogListBox::AppendLine(const LogLine& line) {
    if (!m_model->Append(line)) {
        return;
    }
    scrollToBottom();
    clearSelection();
}

void CLogListBox::Clear() {
    m_model->Clear();
}

const LogList& CLogListBox::Lines() const {
    return m_model->List();
}

QString CLogListBox::CopyText() const {
    return Lines().CopyText();
}

void CLogListBox::CopyToClipboard() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QGuiApplication::clipboard()->setText(CopyText());
    Log("Log text was stored in clipboard");
    QGuiApplication::restoreOverrideCursor();
}

void CLogListBox::SetColoursOn(bool on) {
    m_delegate->SetColoursOn(on);
    viewport()->update();
}

bool CLogListBox::ColoursOn() const {
    return m_delegate->ColoursOn();
}

}  // namespace corvane
