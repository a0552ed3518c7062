// Which table view belongs to which category of the tree.
#include "readers/CLeserDlg.h"
#include "tree/CLeftTreeView.h"
#include "views/CEventsDlg.h"

CGridBaseDlg* CLeftTreeView::CreateDefaultView(Category category, const ViewContext& ctx, QWidget* parent)
{
    if (category == Readers)
        return new CLeserDlg(ctx, parent);
    if (category == Events)
        return new CEventsDlg(ctx, parent);
    // The table views of the other categories are not part of the program yet: the pane stays empty.
    return nullptr;
}
