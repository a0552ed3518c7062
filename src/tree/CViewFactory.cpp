// Which table view belongs to which category of the tree.
#include "params/CUsbManuell.h"
#include "readers/CLeserDlg.h"
#include "tree/CLeftTreeView.h"
#include "views/CEventsDlg.h"
#include "views/CNameDlg.h"
#include "views/CTransponderDlg.h"
#include "views/CZeitschemaDlg.h"

CGridBaseDlg* CLeftTreeView::CreateDefaultView(Category category, const ViewContext& ctx, QWidget* parent)
{
    if (category == Readers)
        return new CLeserDlg(ctx, parent);
    if (category == Transponders) {
        auto* view = new CTransponderDlg(ctx, parent);
        view->SetEntryDialog([](CTransponderDlg& v) {
            CUsbManuell dlg(v.Language(), &v, v.Grid(), &v);
            dlg.exec();
        });
        return view;
    }
    if (category == Events)
        return new CEventsDlg(ctx, parent);
    if (category == Persons)
        return new CNameDlg(ctx, parent);
    if (category == Schedules) {
        auto* view = new CZeitschemaDlg(ctx, parent);
        if (auto* tree = dynamic_cast<CLeftTreeView*>(ctx.tree))
            tree->FollowScheduleView(view);
        return view;
    }
    // The table views of the other categories are not part of the program yet: the pane stays empty.
    return nullptr;
}
