#include "ui/WindowPlacement.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "platform/UserSettings.h"

namespace corvane {
namespace {

constexpr double kFirstShare = 2.0 / 3.0;
// On a very wide screen two thirds would be more than any list here needs.
constexpr int kWidestFirstDialog = 1400;

QRect AvailableArea(const QWidget* window) {
    const QScreen* screen = window->screen();
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

QSize BoundedTo(QSize size, const QRect& area) {
    return area.isEmpty() ? size : size.boundedTo(area.size());
}

// Stores the dialog's size whenever it is hidden: every way of closing a dialog hides it.
class DialogSizeKeeper : public QObject {
  public:
    DialogSizeKeeper(QWidget* dialog, const QString& name)
        : QObject(dialog), m_dialog(dialog), m_name(name) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_dialog && event->type() == QEvent::Hide && !m_dialog->isMinimized()) {
            UserSettings::SetDialogSize(m_name, m_dialog->size());
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QWidget* m_dialog;
    QString m_name;
};

}  // namespace

QRect CentredPart(const QRect& area, double share) {
    const QSize size(static_cast<int>(area.width() * share),
                     static_cast<int>(area.height() * share));
    QRect part(QPoint(), size);
    part.moveCenter(area.center());
    return part;
}

void PlaceAtFirstStart(QWidget* window) {
    const QRect area = AvailableArea(window);
    if (!area.isEmpty()) {
        window->setGeometry(CentredPart(area, kFirstShare));
    }
}

void KeepDialogSize(QWidget* dialog, const QString& name, QSize least) {
    const QRect area = AvailableArea(dialog);
    QSize size = UserSettings::DialogSize(name);
    if (!size.isValid()) {
        const int share = static_cast<int>(area.width() * kFirstShare);
        size = QSize(std::max(least.width(), std::min(share, kWidestFirstDialog)),
                     std::max(least.height(), area.height() / 2));
    }
    // A size kept on a larger screen still fits on this one.
    dialog->resize(BoundedTo(size, area));
    dialog->installEventFilter(new DialogSizeKeeper(dialog, name));
}

}  // namespace corvane
