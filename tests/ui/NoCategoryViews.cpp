// The window tests build the shell without the category views; each test installs the views
// it needs through CLeftTreeView::SetViewFactory.
#include "tree/CLeftTreeView.h"

CGridBaseDlg* CLeftTreeView::CreateDefaultView(Category, const ViewContext&, QWidget*)
{
    return nullptr;
}
