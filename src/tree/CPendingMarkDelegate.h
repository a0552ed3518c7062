#pragma once
// Marks the readers whose changed flag is set (the database holds something they do not yet)
// wherever the tree shows a reader: bold on the pending colour, with a tooltip. The flag
// changes behind the tree's back (write-all, the parameter dialogs, another program), so the
// marks are looked up as the items are painted, and the view is repainted every second.
#include <QColor>
#include <QStyledItemDelegate>
#include <functional>

class QAbstractItemView;

class CPendingMarkDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using IsPendingFn = std::function<bool(const QModelIndex&)>;
    using TipFn = std::function<QString()>;
    CPendingMarkDelegate(IsPendingFn isPending, TipFn tip, QAbstractItemView* view);

    // The colour of a pending reader, here and in the reader table.
    static QColor Colour() { return QColor(0xFF, 0xD8, 0x8A); }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    IsPendingFn m_isPending;
    TipFn m_tip;
};
