#include "ui/TreeImages.h"

#include <QPainter>
#include <QPainterPath>
#include <array>

#include "app/TaskTree.h"

// Each picture is drawn on a 16 x 16 grid; the painter scales the grid to the size
// asked for. Strong outlines and few colours keep them readable at 16 pixels.

namespace corvane {
namespace {

const QColor kOutline(60, 60, 60);

void DrawPage(QPainter& p, const QRectF& r, const QColor& fill) {
    const qreal fold = r.width() * 0.35;
    QPainterPath page;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(fill);
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(Qt::NoBrush);
    p.drawPath(corner);
}

void DrawTextLines(QPainter& p, qreal left, qreal right, qreal top, int count) {
    p.setPen(QPen(QColor(130, 130, 130), 1.0));
    for (int i = 0; i < count; ++i) {
        const qreal y = top + i * 2.0;
        p.drawLine(QPointF(left, y), QPointF(right, y));
    }
}

void DrawFolder(QPainter& p, const QColor& fill) {
    QPainterPath folder;
    folder.moveTo(1.5, 3.5);
    folder.lineTo(6.0, 3.5);
    folder.lineTo(7.5, 5.0);
    folder.lineTo(14.5, 5.0);
    folder.lineTo(14.5, 13.5);
    folder.lineTo(1.5, 13.5);
    folder.closeSubpath();
    p.setPen(QPen(fill.darker(170), 1.0));
    p.setBrush(fill);
    p.drawPath(folder);
    p.setBrush(fill.lighter(125));
    p.drawRect(QRectF(1.5, 6.5, 13.0, 7.0));
}

void DrawPerson(QPainter& p, qreal x, qreal y, qreal scale, const QColor& fill) {
    p.setPen(QPen(fill.darker(160), 1.0));
    p.setBrush(fill);
    p.drawEllipse(QPointF(x, y + 3.0 * scale), 2.5 * scale, 2.5 * scale);
    QPainterPath body;
    body.moveTo(x - 5.0 * scale, y + 12.0 * scale);
    body.cubicTo(x - 5.0 * scale, y + 6.0 * scale, x + 5.0 * scale, y + 6.0 * scale,
                 x + 5.0 * scale, y + 12.0 * scale);
    body.closeSubpath();
    p.drawPath(body);
}

void DrawArrowHead(QPainter& p, const QPointF& tip, const QPointF& back, const QColor& colour) {
    const QPointF direction = tip - back;
    const QPointF normal(-direction.y(), direction.x());
    QPolygonF head;
    head << tip << back + normal * 0.8 << back - normal * 0.8;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(head);
}

void DrawCopyTask(QPainter& p) {
    DrawPage(p, QRectF(1.5, 1.5, 8.0, 10.0), QColor(225, 235, 250));
    DrawPage(p, QRectF(6.5, 4.5, 8.0, 10.0), Qt::white);
    DrawTextLines(p, 8.0, 12.5, 9.0, 3);
}

void DrawGroup(QPainter& p) {
    DrawFolder(p, QColor(232, 150, 50));
    p.setPen(QPen(Qt::white, 1.0));
    for (int i = 0; i < 3; ++i) {
        const qreal y = 8.5 + i * 1.8;
        p.drawLine(QPointF(4.0, y), QPointF(12.0, y));
    }
}

void DrawDrive(QPainter& p) {
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(QColor(170, 170, 175));
    p.drawRoundedRect(QRectF(1.5, 5.5, 13.0, 6.0), 1.5, 1.5);
    p.setBrush(QColor(60, 200, 60));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(12.0, 8.5), 1.0, 1.0);
}

void DrawContact(QPainter& p) {
    DrawPerson(p, 8.0, 1.5, 1.05, QColor(70, 120, 210));
}

void DrawContacts(QPainter& p) {
    DrawPerson(p, 10.5, 0.5, 0.9, QColor(150, 110, 200));
    DrawPerson(p, 6.0, 3.5, 0.9, QColor(70, 120, 210));
}

void DrawRegistry(QPainter& p) {
    const QColor colours[3] = {QColor(60, 90, 200), QColor(200, 60, 60), QColor(40, 160, 90)};
    const QPointF corners[3] = {QPointF(1.5, 8.5), QPointF(8.5, 8.5), QPointF(5.0, 2.0)};
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(colours[i].darker(170), 1.0));
        p.setBrush(colours[i]);
        p.drawRect(QRectF(corners[i], QSizeF(6.0, 6.0)));
    }
}

void DrawFile(QPainter& p) {
    DrawPage(p, QRectF(3.5, 1.5, 9.0, 13.0), Qt::white);
    DrawTextLines(p, 5.0, 11.0, 6.0, 4);
}

void DrawPlainFolder(QPainter& p) {
    DrawFolder(p, QColor(245, 205, 80));
}

void DrawArchiveTask(QPainter& p) {
    p.setPen(QPen(QColor(110, 70, 30), 1.0));
    p.setBrush(QColor(190, 140, 80));
    p.drawRect(QRectF(1.5, 3.5, 13.0, 11.0));
    p.setBrush(QColor(215, 170, 110));
    p.drawRect(QRectF(1.5, 1.5, 13.0, 3.0));
    // The zipper down the middle.
    p.setPen(QPen(QColor(40, 40, 40), 1.0));
    for (int i = 0; i < 5; ++i) {
        const qreal y = 2.5 + i * 2.4;
        p.drawLine(QPointF(7.0, y), QPointF(9.0, y));
    }
}

void DrawRestoreTask(QPainter& p) {
    const QColor green(30, 150, 60);
    p.setPen(QPen(green, 2.0, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    // Three quarters of a circle turning back to the left.
    p.drawArc(QRectF(3.0, 3.0, 10.0, 10.0), 90 * 16, -270 * 16);
    DrawArrowHead(p, QPointF(5.0, 3.0), QPointF(8.5, 3.0), green);
}

void DrawSyncTask(QPainter& p) {
    const QColor blue(30, 110, 200);
    const QColor orange(230, 120, 20);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(blue, 2.0, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(QRectF(2.5, 2.5, 11.0, 11.0), 20 * 16, 140 * 16);
    p.setPen(QPen(orange, 2.0, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(QRectF(2.5, 2.5, 11.0, 11.0), 200 * 16, 140 * 16);
    DrawArrowHead(p, QPointF(2.0, 10.0), QPointF(2.0, 6.5), blue);
    DrawArrowHead(p, QPointF(14.0, 6.0), QPointF(14.0, 9.5), orange);
}

using Painter = void (*)(QPainter&);

constexpr std::array<Painter, kTreeImageCount> kPainters = {
    DrawCopyTask,     // kImageCopyTask
    DrawGroup,        // kImageGroup
    DrawDrive,        // 2: no entry uses it
    DrawContact,      // kImageContact
    DrawContacts,     // kImageAllContacts
    DrawRegistry,     // kImageRegistryKey
    DrawFile,         // kImageFile
    DrawPlainFolder,  // kImageFolder
    DrawArchiveTask,  // kImageArchiveTask
    DrawRestoreTask,  // kImageRestoreTask
    DrawSyncTask,     // kImageSyncTask
};

static_assert(kImageSyncTask == kTreeImageCount - 1, "the strip ends with the last image");

}  // namespace

QPixmap TreeImagePixmap(int index, int size) {
    if (index < 0 || index >= kTreeImageCount || size <= 0) {
        return QPixmap();
    }
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    kPainters[static_cast<size_t>(index)](painter);
    return pixmap;
}

QIcon TreeImageIcon(int index) {
    QIcon icon;
    if (index >= 0 && index < kTreeImageCount) {
        icon.addPixmap(TreeImagePixmap(index, 16));
        icon.addPixmap(TreeImagePixmap(index, 32));
    }
    return icon;
}

}  // namespace corvane
