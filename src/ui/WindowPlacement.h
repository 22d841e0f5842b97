#pragma once

// Where windows open when nothing better is known: the main window at its first start
// and the resizable dialogs that remember their size in the user settings.
//
// Main thread only.

#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

namespace corvane {

// The part of `area` that is `share` of its width and height, centred in it.
QRect CentredPart(const QRect& area, double share);

// Places a window that has no saved placement at two thirds of its screen's available
// geometry, centred on it.
void PlaceAtFirstStart(QWidget* window);

// Resizes `dialog` to the size stored under `name` (bounded to its screen), or the first
// time to about two thirds of the screen's width and at least `least`, and stores the
// size under `name` each time the dialog is hidden (closed by any button or the frame).
void KeepDialogSize(QWidget* dialog, const QString& name, QSize least);

}  // namespace corvane
