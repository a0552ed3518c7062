#pragma once
// Selects a node of the main window's tree (a category, or the child with this text under it)
// and waits for its table in the right-hand pane. A fresh table is made even for the node that
// is selected already. Ends the program when no such table shows.
#include "app/CMainFrame.h"
#include "tree/CLeftTreeView.h"

#include <QTest>

namespace VmTest {

template <class View>
View* ShowView(CMainFrame& frame, CLeftTreeView::Category category, const QString& child = QString())
{
    CLeftTreeView* tree = frame.Tree();
    QTreeWidgetItem* item = tree->CategoryItem(category);
    for (int i = 0; !child.isEmpty() && i < item->childCount(); ++i)
        if (item->child(i)->text(0) == child)
            item = item->child(i);
    const auto other = category == CLeftTreeView::Events ? CLeftTreeView::Readers : CLeftTreeView::Events;
    tree->setCurrentItem(tree->CategoryItem(other));
    QWidget* old = frame.RightPane();
    tree->setCurrentItem(item);
    View* view = nullptr;
    if (!QTest::qWaitFor([&] { return frame.RightPane() != old && (view = qobject_cast<View*>(frame.RightPane())); }))
        qFatal("the table of the tree node did not show");
    return view;
}

} // namespace VmTest
