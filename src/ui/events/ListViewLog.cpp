#include "ListViewLog.h"

#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTreeWidget>

namespace {

QPixmap drawCheckMark() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(0, 150, 0), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    QPainterPath tick;
    tick.moveTo(2.5, 8.5);
    tick.lineTo(6.5, 12.5);
    tick.lineTo(13.5, 3.5);
    p.drawPath(tick);
    return pm;
}

QPixmap drawCross() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(210, 0, 0), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
    return pm;
}

} // namespace

QIcon eventLogIcon(int icon) {
    static const QIcon check(drawCheckMark());
    static const QIcon cross(drawCross());
    switch (icon) {
    case IconSuccess:
        return check;
    case IconFailure:
        return cross;
    default:
        return QIcon();
    }
}

ListViewLog::ListViewLog(QTreeWidget* list)
    : m_list(list) {
    m_list->setColumnCount(1);
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setIconSize(QSize(16, 16));
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setStretchLastSection(false);
}

void ListViewLog::appendLine(const QString& text, int icon) {
    auto* item = new QTreeWidgetItem(m_list, QStringList{text});
    item->setIcon(0, eventLogIcon(icon));
    // A log line says what happened; the user may not rewrite it.
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    m_list->scrollToItem(item);
}

void ListViewLog::clear() {
    m_list->clear();
}
