#pragma once
// The colour that marks a reader whose changes are not written yet, wherever one is shown
// (the reader table, the tree).
#include <QColor>

inline QColor PendingColour()
{
    return QColor(0xFF, 0xD8, 0x8A);
}
