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
    switch (category) {
    case Readers:
        return new CLeserDlg(ctx, parent);
    case Transponders: {
        auto* view = new CTransponderDlg(ctx, parent);
        view->SetEntryDialog([](CTransponderDlg& v) {
            CUsbManuell dlg(v.Language(), &v, v.Grid(), &v);
            dlg.exec();
        });
        return view;
    }
    case Events:
        return new CEventsDlg(ctx, parent);
    case Persons:
        return new CNameDlg(ctx, parent);
    case Schedules: {
        auto* view = new CZeitschemaDlg(ctx, parent);
        if (auto* tree = dynamic_cast<CLeftTreeView*>(ctx.tree))
            tree->FollowScheduleView(view);
        return view;
    }
    case NoCategory:
        break;
    }
    return nullptr;   // a node without a table (the root)
}
