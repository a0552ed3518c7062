#include "grid/CGridDelegate.h"

#include "grid/CGridCtrl.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegularExpressionValidator>
#include <QTimer>

namespace {

QRect CheckBoxRect(const QStyleOptionViewItem& option, const QWidget* widget)
{
    QStyleOptionButton button;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const int w = style->pixelMetric(QStyle::PM_IndicatorWidth, &button, widget);
    const int h = style->pixelMetric(QStyle::PM_IndicatorHeight, &button, widget);
    const QRect& r = option.rect;
    return QRect(r.x() + (r.width() - w) / 2, r.y() + (r.height() - h) / 2, w, h);
}

} // namespace

CGridDelegate::CGridDelegate(CGridCtrl* grid)
    : QStyledItemDelegate(grid)
    , m_grid(grid)
{
}

void CGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const
{
    const int col = index.column() + 1;
    const int row = m_grid->OwnerRowOfIndex(index.row());
    const CGridCtrl::CellKind kind = m_grid->ColumnKind(col);
    const bool selected = option.state & QStyle::State_Selected;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();

    painter->save();
    // Nothing spills over into the neighbours: a check box is wider than a hidden (0) column.
    painter->setClipRect(option.rect);
    const QVariant bg = index.data(Qt::BackgroundRole);
    QColor fill = bg.canConvert<QBrush>() ? bg.value<QBrush>().color() : m_grid->m_cellColour;
    if (selected) {
        // Keep a trace of the cell's own colour so grey read-only cells stay recognisable.
        const QColor hl = option.palette.color(QPalette::Active, QPalette::Highlight);
        fill = QColor((hl.red() * 3 + fill.red()) / 4, (hl.green() * 3 + fill.green()) / 4,
                      (hl.blue() * 3 + fill.blue()) / 4);
    }
    painter->fillRect(option.rect, fill);

    const QString text = index.data(Qt::DisplayRole).toString();
    const bool editable = m_grid->IsEditable(row, col);
    switch (kind) {
    case CGridCtrl::CellKind::Check: {
        QStyleOptionButton box;
        box.rect = CheckBoxRect(option, widget);
        box.state = (text == QLatin1String("1") ? QStyle::State_On : QStyle::State_Off);
        if (editable)
            box.state |= QStyle::State_Enabled;
        box.palette = option.palette;
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, widget);
        break;
    }
    case CGridCtrl::CellKind::Button: {
        QStyleOptionButton button;
        button.rect = option.rect.adjusted(1, 1, -1, -1);
        button.text = text;
        button.palette = option.palette;
        button.state = QStyle::State_Raised;
        if (editable)
            button.state |= QStyle::State_Enabled;
        if (editable && m_pressedButton == index) {
            button.state |= QStyle::State_Sunken;
            button.state &= ~QStyle::State_Raised;
        }
        style->drawControl(QStyle::CE_PushButton, &button, painter, widget);
        break;
    }
    case CGridCtrl::CellKind::Text:
    case CGridCtrl::CellKind::Combo: {
        const QVariant fg = index.data(Qt::ForegroundRole);
        QColor ink = fg.canConvert<QBrush>() ? fg.value<QBrush>().color() : QColor(Qt::black);
        if (selected)
            ink = option.palette.color(QPalette::Active, QPalette::HighlightedText);
        painter->setPen(ink);
        painter->setFont(option.font);
        const QRect r = option.rect.adjusted(kTextMargin, 0, -kTextMargin, 0);
        const QString shown = option.fontMetrics.elidedText(text, Qt::ElideRight, r.width());
        painter->drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        break;
    }
    }

    if ((option.state & QStyle::State_HasFocus) && widget && widget->hasFocus()) {
        QPen pen(option.palette.color(QPalette::Text));
        pen.setStyle(Qt::DotLine);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

QWidget* CGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const
{
    Q_UNUSED(option)
    const int col = index.column() + 1;
    if (m_grid->ColumnKind(col) == CGridCtrl::CellKind::Combo) {
        auto* combo = new QComboBox(parent);
        combo->setObjectName(QStringLiteral("gridComboBox"));
        combo->addItems(m_grid->ComboEntries(col));
        combo->setFrame(false);
        // Choosing an entry ends the edit at once, like a drop-down list in place.
        QPointer<QComboBox> guard(combo);
        auto* self = const_cast<CGridDelegate*>(this);
        connect(combo, &QComboBox::activated, self, [self, guard](int) {
            if (!guard)
                return;
            emit self->commitData(guard);
            emit self->closeEditor(guard);
        });
        if (m_grid->m_comboPopup)
            QTimer::singleShot(0, combo, [guard] {
                if (guard && guard->isVisible())
                    guard->showPopup();
            });
        return combo;
    }
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("gridLineEdit"));
    edit->setFrame(false);
    const QRegularExpression re = m_grid->ColumnValidator(col);
    if (!re.pattern().isEmpty())
        edit->setValidator(new QRegularExpressionValidator(re, edit));
    return edit;
}

void CGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    const QString text = index.data(Qt::EditRole).toString();
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        combo->setCurrentIndex(combo->findText(text));
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        edit->setText(text);
        edit->selectAll();
    }
}

void CGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                 const QModelIndex& index) const
{
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        if (combo->currentIndex() >= 0)   // nothing chosen: nothing to report
            model->setData(index, combo->currentText(), Qt::EditRole);
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        // A validator may leave a text that is still incomplete; that is no valid value.
        if (edit->hasAcceptableInput())
            model->setData(index, edit->text(), Qt::EditRole);
    }
}

void CGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    Q_UNUSED(index)
    editor->setGeometry(option.rect);
}

bool CGridDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                const QStyleOptionViewItem& option, const QModelIndex& index)
{
    Q_UNUSED(model)
    const int col = index.column() + 1;
    const CGridCtrl::CellKind kind = m_grid->ColumnKind(col);
    if (kind != CGridCtrl::CellKind::Check && kind != CGridCtrl::CellKind::Button)
        return QStyledItemDelegate::editorEvent(event, model, option, index);

    const int row = m_grid->OwnerRowOfIndex(index.row());
    const bool editable = m_grid->IsEditable(row, col);
    const auto* mouse = dynamic_cast<QMouseEvent*>(event);
    const bool left = mouse && mouse->button() == Qt::LeftButton;
    const bool inside = mouse && option.rect.contains(mouse->position().toPoint());

    if (kind == CGridCtrl::CellKind::Check) {
        switch (event->type()) {
        case QEvent::MouseButtonRelease:
            if (left && inside && editable) {
                m_grid->ToggleCheck(index);
                return true;
            }
            return false;
        case QEvent::MouseButtonDblClick:
            return true;   // the press and release already toggled; no editor either
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (editable && (key == Qt::Key_Space || key == Qt::Key_Select)) {
                m_grid->ToggleCheck(index);
                return true;
            }
            return false;
        }
        default:
            return false;
        }
    }

    // Button cell: pressed look while held, a click when released over the same cell.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (left && inside && editable) {
            m_pressedButton = index;
            m_grid->viewport()->update(option.rect);
            return true;
        }
        return false;
    case QEvent::MouseButtonRelease: {
        const bool clicked = left && inside && editable && m_pressedButton == index;
        if (m_pressedButton.isValid()) {
            m_grid->viewport()->update(m_grid->visualRect(m_pressedButton));
            m_pressedButton = QPersistentModelIndex();
        }
        if (clicked) {
            m_grid->PostButtonClicked(row, col);
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}
