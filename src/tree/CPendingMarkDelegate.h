#pragma once
// Marks the readers whose changed flag is set (the database holds something they do not yet)
// wherever the tree shows a reader: bold on the pending colour, with a tooltip. The flag
// changes behind the tree's back (write-all, the parameter dialogs, another program), so the
// marks are looked up as the items are painted, and the view is repainted every second.
// The colour is the reader table's (PendingColour).
#include <QStyledItemDelegate>
#include <functional>

class QAbstractItemView;

class CPendingMarkDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using IsPendingFn = std::function<bool(const QModelIndex&)>;
    using TipFn = std::function<QString()>;
    CPendingMarkDelegate(IsPendingFn isPending, TipFn tip, QAbstractItemView* view);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    IsPendingFn m_isPending;
    TipFn m_tip;
};
