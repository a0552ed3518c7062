// Which table view belongs to which category of the tree. A view that is not part of the
// build yet leaves its category with an empty pane.
//
// Every view is constructed as View(const ViewContext&, QWidget* parent) (see CGridBaseDlg.h).
#include "tree/CLeftTreeView.h"
#include "views/CGridBaseDlg.h"

#if __has_include("readers/CLeserDlg.h")
#include "readers/CLeserDlg.h"
#define VM_HAVE_LESER_DLG 1
#endif
#if __has_include("views/CTransponderDlg.h")
#include "views/CTransponderDlg.h"
#define VM_HAVE_TRANSPONDER_DLG 1
#endif
#if __has_include("views/CNameDlg.h")
#include "views/CNameDlg.h"
#define VM_HAVE_NAME_DLG 1
#endif
#if __has_include("views/CEventsDlg.h")
#include "views/CEventsDlg.h"
#define VM_HAVE_EVENTS_DLG 1
#endif
#if __has_include("views/CZeitschemaDlg.h")
#include "views/CZeitschemaDlg.h"
#define VM_HAVE_ZEITSCHEMA_DLG 1
#endif

CGridBaseDlg* CLeftTreeView::CreateDefaultView(Category category, const ViewContext& ctx, QWidget* parent)
{
    Q_UNUSED(ctx) Q_UNUSED(parent)
    switch (category) {
#ifdef VM_HAVE_LESER_DLG
    case Readers:
        return new CLeserDlg(ctx, parent);
#endif
#ifdef VM_HAVE_TRANSPONDER_DLG
    case Transponders:
        return new CTransponderDlg(ctx, parent);
#endif
#ifdef VM_HAVE_NAME_DLG
    case Persons:
        return new CNameDlg(ctx, parent);
#endif
#ifdef VM_HAVE_EVENTS_DLG
    case Events:
        return new CEventsDlg(ctx, parent);
#endif
#ifdef VM_HAVE_ZEITSCHEMA_DLG
    case Schedules:
        return new CZeitschemaDlg(ctx, parent);
#endif
    default:
        return nullptr;
    }
}
