#pragma once
// The program's window over a private home and the store the settings name, as the window
// tests need it: texts of one language, no port question at start, context menus that are
// built but not popped up (a test reads them through LastContextMenu()).
//
//   VmTest::WindowFixture w;
//   QVERIFY(w.Open(1));          // in initTestCase: English, store open
//   w.ShowFrame();               // the main window, shown
//   w.Action("actionExport")->trigger();
//
// Tests that need a frame with their own view factory make it with NewFrame().
#include "app/CMainFrame.h"
#include "base/Paths.h"
#include "base/Settings.h"
#include "records/CStoreDB_Handler.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"
#include "tree/CLeftTreeView.h"
#include "views/CGridBaseDlg.h"

#include <QAction>
#include <memory>

namespace VmTest {

class WindowFixture {
public:
    std::unique_ptr<CLanguageHandler> lang;
    std::unique_ptr<CStoreDB_Handler> store;
    std::unique_ptr<CMainFrame> frame;

    // language: 0 German, 1 English. false when the store did not open.
    bool Open(uint32_t language)
    {
        IsolateHome();
        Settings::WriteLanguage(language);
        lang = std::make_unique<CLanguageHandler>(language, Paths::ProgramDir() + QStringLiteral("/SysFiles/"));
        CLeftTreeView::SetAskPortAtStart(false);
        CGridBaseDlg::SetContextMenuPopupEnabled(false);
        store = std::make_unique<CStoreDB_Handler>(lang.get());
        return store->IsDatabaseOpen();
    }
    ~WindowFixture() { frame.reset(); }

    std::unique_ptr<CMainFrame> NewFrame() const { return std::make_unique<CMainFrame>(lang.get(), store.get(), nullptr); }
    CMainFrame& ShowFrame()
    {
        if (!frame) {
            frame = NewFrame();
            frame->show();
        }
        return *frame;
    }

    // The texts (and the setting the literals follow) switched to the language.
    void SetLanguage(uint32_t language)
    {
        Settings::WriteLanguage(language);
        lang->SetAktLanguage(language);
        lang->GetAllItems();
    }
    QString T(int n) const { return lang->GetLangItem(uint32_t(n)); }
    QAction* Action(const char* name) const { return frame ? frame->findChild<QAction*>(QString::fromLatin1(name)) : nullptr; }
    QWidget* RightPane() const { return frame ? frame->RightPane() : nullptr; }
};

} // namespace VmTest
