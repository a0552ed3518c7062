#pragma once
// Paints the cells of the grid by their column's kind and opens the in-place editors:
// a line edit for text cells, a drop-down list for combo cells. Check boxes and buttons have no
// editor; they react to the mouse and the space key here.
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

class CGridCtrl;

class CGridDelegate : public QStyledItemDelegate {
public:
    explicit CGridDelegate(CGridCtrl* grid);

    // Inner margin of a text cell, left and right.
    static constexpr int kTextMargin = 3;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    CGridCtrl* m_grid;
    QPersistentModelIndex m_pressedButton;   // button cell held down by the mouse
};
