// The reader window tests build the shell with the reader table as the only category view,
// so that a half-written view elsewhere does not stop them.
#include "readers/CLeserDlg.h"
#include "tree/CLeftTreeView.h"

CGridBaseDlg* CLeftTreeView::CreateDefaultView(Category category, const ViewContext& ctx, QWidget* parent)
{
    if (category == Readers)
        return new CLeserDlg(ctx, parent);
    return nullptr;
}
