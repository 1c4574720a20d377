// Draws the items of the record-source list: a source of a multiplexer
// (only one can be chosen) gets a round radio mark instead of a check box;
// other items are drawn as usual. The item's kind is in `kindRole`.
//
// Main thread only.
#pragma once

#include <QStyledItemDelegate>

namespace sonvale::app {

class SourceItemDelegate : public QStyledItemDelegate {
public:
    SourceItemDelegate(int kindRole, int radioKind, QObject* parent)
        : QStyledItemDelegate(parent), kindRole_(kindRole), radioKind_(radioKind) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    int kindRole_;
    int radioKind_;
};

} // namespace sonvale::app
