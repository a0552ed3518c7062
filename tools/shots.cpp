// Pictures of the main window with each table and of a reader's parameter dialog,
// over the database of the current user (scripts/screenshot.sh --tables seeds one first).
//   ui_shots OUT-DIR [de|en]
#include "app/CMainFrame.h"
#include "app/GuiPrompt.h"
#include "base/Paths.h"
#include "base/Settings.h"
#include "params/CParamMaple_CedarDlg.h"
#include "records/CStoreDB_Handler.h"
#include "texts/CLanguageHandler.h"
#include "tree/CLeftTreeView.h"

#include <QApplication>
#include <QDir>
#include <QTreeWidgetItem>
#include <cstdio>

namespace {

void Settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

bool Save(QWidget& widget, const QString& path)
{
    Settle();
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vendrik Manager AIO"));
    QApplication::setOrganizationName(QStringLiteral("Brimlow"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_shots OUT-DIR [de|en]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const uint32_t language = argc > 2 && QByteArray(argv[2]) == "en" ? 1 : 0;
    const QString suffix = language ? QStringLiteral("-en.png") : QStringLiteral("-de.png");
    Settings::WriteLanguage(language);

    GuiPrompt prompt;
    CLanguageHandler lang(language, Paths::ProgramDir() + QStringLiteral("/SysFiles/"));
    CStoreDB_Handler store(&lang);
    if (!store.IsDatabaseOpen()) {
        std::fprintf(stderr, "no database: %s\n", qPrintable(store.DatabaseError()));
        return 1;
    }
    CLeftTreeView::SetAskPortAtStart(false);
    CMainFrame frame(&lang, &store, nullptr);
    frame.resize(1000, 520);
    frame.show();
    Settle();

    bool ok = true;
    const std::pair<CLeftTreeView::Category, const char*> tables[] = {
        {CLeftTreeView::Readers, "readers"}, {CLeftTreeView::Transponders, "transponders"},
        {CLeftTreeView::Persons, "persons"}, {CLeftTreeView::Schedules, "schedules"},
        {CLeftTreeView::Events, "events"}};
    for (const auto& [category, name] : tables) {
        frame.Tree()->setCurrentItem(frame.Tree()->CategoryItem(category));
        ok = Save(frame, out.filePath(QString::fromLatin1(name) + suffix)) && ok;
    }

    for (int i = 0; i < store.Get_Ptr_To_tblLeser()->GetAnz_Leser(); ++i) {
        const structLeser& reader = store.Get_Ptr_To_tblLeser()->Get_Leser(i);
        if (reader.Model != QLatin1String("Cedar"))
            continue;
        CParamMaple_CedarDlg dialog({&lang, &store, nullptr, {}}, reader);
        dialog.show();
        ok = Save(dialog, out.filePath(QStringLiteral("dialog") + suffix)) && ok;
        break;
    }
    return ok ? 0 : 1;
}
