#include "app/SourceItemDelegate.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

namespace sonvale::app {

void SourceItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    if (index.data(kindRole_).toInt() != radioKind_) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const bool on = opt.checkState == Qt::Checked;
    const QWidget* view = opt.widget;
    QStyle* style = view ? view->style() : QApplication::style();
    const QRect mark = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, view);
    // The item without its check box, then a radio mark in its place.
    opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    opt.rect.setLeft(mark.right() + 4);
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, view);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const int d = std::min(mark.width(), mark.height()) - 2;
    const QRectF circle(mark.center().x() - d / 2.0, mark.center().y() - d / 2.0, d, d);
    painter->setPen(QPen(QColor(0xa8, 0xb8, 0xca), 1.2));
    painter->setBrush(QColor(0x10, 0x16, 0x1d));
    painter->drawEllipse(circle);
    if (on) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0x7f, 0xf5, 0xd2));
        painter->drawEllipse(circle.adjusted(d * 0.25, d * 0.25, -d * 0.25, -d * 0.25));
    }
    painter->restore();
}

} // namespace sonvale::app
