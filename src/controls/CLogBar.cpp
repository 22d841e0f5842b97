#include "controls/CLogBar.h"

#include <QMainWindow>
#include <QResizeEvent>
#include <QSettings>
#include <QTimer>

#include "controls/CLogListBox.h"

namespace corvane {

namespace {

QSize ReadSize(QSettings& settings, const char* widthKey, const char* heightKey,
               const QSize& fallback) {
    bool widthOk = false;
    bool heightOk = false;
    const int width = settings.value(QLatin1String(widthKey)).toInt(&widthOk);
    const int height = settings.value(QLatin1String(heightKey)).toInt(&heightOk);
    if (!widthOk || !heightOk || width <= 0 || height <= 0) {
        return fallback;
    }
    return {width, height};
}

void WriteSize(QSettings& settings, const char* widthKey, const char* heightKey,
               const QSize& size) {
    if (!size.isValid()) {
        return;
    }
    settings.setValue(QLatin1String(widthKey), size.width());
    settings.setValue(QLatin1String(heightKey), size.height());
}

}  // namespace

CLogBar::CLogBar(QWidget* parent)
    : QDockWidget(QStringLiteral("Log window"), parent), m_list(new CLogListBox(this)) {
    // The name identifies the bar in the main window's saved layout.
    setObjectName(QStringLiteral("LogBar"));
    setAllowedAreas(Qt::AllDockWidgetAreas);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                QDockWidget::DockWidgetFloatable);

    // The log reads best in a small sans-serif face; Tahoma where it is installed.
    QFont listFont = m_list->font();
    listFont.setFamilies({QStringLiteral("Tahoma"), listFont.family()});
    m_list->setFont(listFont);
    setWidget(m_list);

    connect(this, &QDockWidget::topLevelChanged, this, [this] { OnPlacementChanged(); });
    connect(this, &QDockWidget::dockLocationChanged, this, [this] { OnPlacementChanged(); });
}

QString CLogBar::SizeSection(const QString& profileName) {
    return QStringLiteral("%1-SCBar-%2").arg(profileName).arg(kBarId);
}

void CLogBar::SaveSizes(QSettings& settings, const QString& profileName) const {
    settings.beginGroup(SizeSection(profileName));
    WriteSize(settings, "sizeHorzCX", "sizeHorzCY", m_sizeHorz);
    WriteSize(settings, "sizeVertCX", "sizeVertCY", m_sizeVert);
    WriteSize(settings, "sizeFloatCX", "sizeFloatCY", m_sizeFloat);
    settings.endGroup();
}

void CLogBar::LoadSizes(QSettings& settings, const QString& profileName) {
    settings.beginGroup(SizeSection(profileName));
    m_sizeHorz = ReadSize(settings, "sizeHorzCX", "sizeHorzCY", m_sizeHorz);
    m_sizeVert = ReadSize(settings, "sizeVertCX", "sizeVertCY", m_sizeVert);
    m_sizeFloat = ReadSize(settings, "sizeFloatCX", "sizeFloatCY", m_sizeFloat);
    settings.endGroup();
    m_placement = CurrentPlacement();
    ApplySize();
}

QMainWindow* CLogBar::MainWindow() const {
    return qobject_cast<QMainWindow*>(parentWidget());
}

CLogBar::Placement CLogBar::CurrentPlacement() const {
    if (isFloating()) {
        return Placement::kFloating;
    }
    const QMainWindow* window = MainWindow();
    const Qt::DockWidgetArea area = window != nullptr
                                        ? window->dockWidgetArea(const_cast<CLogBar*>(this))
                                        : Qt::BottomDockWidgetArea;
    return area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea
               ? Placement::kVertical
               : Placement::kHorizontal;
}

void CLogBar::ApplySize() {
    QMainWindow* window = MainWindow();
    switch (m_placement) {
        case Placement::kFloating:
            if (m_sizeFloat.isValid()) {
                resize(m_sizeFloat);
            }
            break;
        case Placement::kHorizontal:
            if (m_sizeHorz.isValid() && window != nullptr) {
                window->resizeDocks({this}, {m_sizeHorz.height()}, Qt::Vertical);
            }
            break;
        case Placement::kVertical:
            if (m_sizeVert.isValid() && window != nullptr) {
                window->resizeDocks({this}, {m_sizeVert.width()}, Qt::Horizontal);
            }
            break;
    }
}

void CLogBar::OnPlacementChanged() {
    m_placement = CurrentPlacement();
    // The main window lays the moved bar out first, at whatever size suits it; the
    // remembered size is given afterwards, and the sizes passing meanwhile are not kept.
    m_moving = true;
    QTimer::singleShot(0, this, [this] {
        m_moving = false;
        ApplySize();
    });
}

void CLogBar::resizeEvent(QResizeEvent* event) {
    QDockWidget::resizeEvent(event);
    if (m_moving || CurrentPlacement() != m_placement) {
        return;  // a size on the way to a new place
    }
    switch (m_placement) {
        case Placement::kFloating:
            m_sizeFloat = event->size();
            break;
        case Placement::kHorizontal:
            m_sizeHorz = event->size();
            break;
        case Placement::kVertical:
            m_sizeVert = event->size();
            break;
    }
}

}  // namespace corvane
