#pragma once
// What a table view answers when its grid needs a cell. The grid holds no cell text: it asks
// here every time it paints, sorts, prints or opens an editor, so the view's cached records stay
// the only copy of the data.
//
// Rows and columns are in the owner's numbering: row 0 is the header row, data rows are
// 1..n in the order the owner keeps them (the grid maps them to display rows when it sorts);
// column 0 is the narrow fixed column, data columns are 1..m.
#include <QColor>
#include <QString>

class IGridSource {
public:
    virtual ~IGridSource() = default;

    // Text of a cell; for row 0 the column title. Check-box cells answer "1" or "0".
    virtual QString CellText(int row, int col) const = 0;

    // Background of a data cell; an invalid colour means the grid's default (white).
    virtual QColor CellBackground(int row, int col) const
    {
        Q_UNUSED(row) Q_UNUSED(col) return {};
    }

    // Text colour of a data cell; an invalid colour means the default (black).
    virtual QColor CellTextColour(int row, int col) const
    {
        Q_UNUSED(row) Q_UNUSED(col) return {};
    }

    // Whether the user may edit a text or combo cell, toggle a check box or press a button.
    virtual bool IsCellEditable(int row, int col) const
    {
        Q_UNUSED(row) Q_UNUSED(col) return true;
    }
};
