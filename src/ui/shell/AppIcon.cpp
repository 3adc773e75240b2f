#include "AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QPixmap drawAppIcon(int size) {
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
    p.end();
    return pm;
}

QIcon appIcon() {
    QIcon icon;
    for (const int size : {16, 22, 32, 48, 64}) {
        icon.addPixmap(drawAppIcon(size));
    }
    return icon;
}
