#pragma once

// The pictures of the task tree: one strip of 11 small images, indexed as the tree
// entries name them (TreeImage in app/TaskTree.h): copy task, group, contact, all
// contacts, registry key, file, folder, archive task, restore task, synchronisation
// task, and a plain task picture at the unused index 2. Drawn with QPainter, so they
// stay sharp at any size.
//
// Main thread only (needs a QGuiApplication).

#include <QIcon>
#include <QPixmap>

namespace corvane {

// Number of images in the strip.
inline constexpr int kTreeImageCount = 11;

// One image, `size` pixels square with a transparent background; a null pixmap for an
// index outside the strip.
QPixmap TreeImagePixmap(int index, int size = 16);

// The image as an icon for the tree (drawn at 16 and 32 pixels); an empty icon for an
// index outside the strip.
QIcon TreeImageIcon(int index);

}  // namespace corvane
