#include "AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {
// A red dot in the lower right corner: a run failed since the history was last opened.
void paintFailureMark(QPainter& p, qreal u) {
    p.setPen(QPen(Qt::white, u));
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QRectF(8.5 * u, 8.5 * u, 7 * u, 7 * u));
}
} // namespace

QPixmap drawAppIcon(int size, bool failureMark) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 16.0;
    p.setPen(QPen(QColor(20, 40, 110), u));
    p.setBrush(QColor(60, 100, 210));
    p.drawRoundedRect(QRectF(1.5 * u, 3.5 * u, 13 * u, 11 * u), 2 * u, 2 * u);
    QPainterPath arrow;
    arrow.moveTo(8 * u, 12.5 * u);
    arrow.lineTo(4.5 * u, 8.5 * u);
    arrow.lineTo(6.8 * u, 8.5 * u);
    arrow.lineTo(6.8 * u, 5 * u);
    arrow.lineTo(9.2 * u, 5 * u);
    arrow.lineTo(9.2 * u, 8.5 * u);
    arrow.lineTo(11.5 * u, 8.5 * u);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    if (failureMark) {
        paintFailureMark(p, u);
    }
    p.end();
    return pm;
}

QIcon appIcon(bool failureMark) {
    QIcon icon;
    for (const int size : {16, 22, 32, 48, 64}) {
        icon.addPixmap(drawAppIcon(size, failureMark));
    }
    return icon;
}
