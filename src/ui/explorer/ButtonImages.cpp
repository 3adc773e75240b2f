#include "ButtonImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace {

const QColor Ink(30, 60, 140);

QIcon drawn(const std::function<void(QPainter&)>& draw) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return QIcon(pm);
}

// A small sheet of paper with a folded corner.
void drawSheet(QPainter& p, qreal left) {
    QPainterPath sheet;
    sheet.moveTo(left, 2.5);
    sheet.lineTo(left + 4, 2.5);
    sheet.lineTo(left + 6.5, 5);
    sheet.lineTo(left + 6.5, 13.5);
    sheet.lineTo(left, 13.5);
    sheet.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
}

// An arrow from one x to the other across the middle of the image.
void drawArrow(QPainter& p, qreal from, qreal to) {
    const qreal head = to > from ? -3.5 : 3.5;
    p.setPen(QPen(Ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(from, 8), QPointF(to, 8));
    p.drawLine(QPointF(to, 8), QPointF(to + head, 4.5));
    p.drawLine(QPointF(to, 8), QPointF(to + head, 11.5));
}

} // namespace

namespace ButtonImages {

QIcon copyToFtp() {
    return drawn([](QPainter& p) {
        drawSheet(p, 1.5);
        drawArrow(p, 8.5, 14.5);
    });
}

QIcon copyToLocal() {
    return drawn([](QPainter& p) {
        drawArrow(p, 7.5, 1.5);
        drawSheet(p, 8);
    });
}

QIcon upDir() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(Ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(3, 2.5), QPointF(13, 2.5));
        p.drawLine(QPointF(8, 14), QPointF(8, 6));
        p.drawLine(QPointF(8, 6), QPointF(4.5, 9.5));
        p.drawLine(QPointF(8, 6), QPointF(11.5, 9.5));
    });
}

QIcon deleteFile() {
    return drawn([](QPainter& p) {
        const QColor red(200, 30, 30);
        p.setPen(QPen(red, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(3, 4), QPointF(13, 4));
        p.drawLine(QPointF(6.5, 4), QPointF(6.5, 2.5));
        p.drawLine(QPointF(6.5, 2.5), QPointF(9.5, 2.5));
        p.drawLine(QPointF(9.5, 2.5), QPointF(9.5, 4));
        QPainterPath bin;
        bin.moveTo(4.5, 5.5);
        bin.lineTo(5.5, 14);
        bin.lineTo(10.5, 14);
        bin.lineTo(11.5, 5.5);
        p.drawPath(bin);
        p.drawLine(QPointF(7, 7.5), QPointF(7, 12));
        p.drawLine(QPointF(9, 7.5), QPointF(9, 12));
    });
}

} // namespace ButtonImages
