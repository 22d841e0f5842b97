#include "ui/CSplashScreen.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace corvane {

CSplashScreen::CSplashScreen(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint),
      m_picture(QStringLiteral(":/corvane/splash.svg")) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("SplashScreen"));
    setFixedSize(m_picture.isNull() ? QSize(400, 250) : m_picture.size());
    // Every key and mouse press of the program passes here first.
    qApp->installEventFilter(this);
    QTimer::singleShot(kDisplayMs, this, &QWidget::close);
}

CSplashScreen::~CSplashScreen() {
    qApp->removeEventFilter(this);
}

void CSplashScreen::ShowCentredOver(const QWidget* window) {
    QRect area;
    if (window != nullptr && window->isVisible()) {
        area = window->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    QRect placed(QPoint(), size());
    placed.moveCenter(area.center());
    move(placed.topLeft());
    show();
    raise();
}

bool CSplashScreen::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
            // The press only dismisses the picture, as it always has.
            close();
            return true;
        default:
            return false;
    }
}

void CSplashScreen::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_picture.isNull()) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Corvane"));
        return;
    }
    painter.drawPixmap(0, 0, m_picture);
}

}  // namespace corvane
