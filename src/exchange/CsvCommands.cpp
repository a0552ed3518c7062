#include "exchange/CsvCommands.h"

#include "base/Prompt.h"
#include "base/ReaderRuns.h"
#include "base/Settings.h"
#include "exchange/CExportDataDlg.h"
#include "exchange/CImportDataDlg.h"
#include "exchange/CImportErrorDlg.h"
#include "records/CStoreDB_Handler.h"
#include "texts/CLanguageHandler.h"
#include "views/CGridBaseDlg.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString Text(const CsvCommandContext& ctx, uint32_t number)
{
    return ctx.lang ? ctx.lang->GetLangItem(number) : QString();
}

} // namespace

CsvGridText GridTextOf(const CGridBaseDlg* view)
{
    CsvGridText text;
    const CGridCtrl* grid = view ? view->Grid() : nullptr;
    if (!grid)
        return text;
    const int cols = grid->ColumnCount();
    for (int c = 0; c < cols; ++c)
        text.titles << grid->CellText(0, c);
    text.rows.reserve(size_t(grid->RowCount()));
    for (int d = 1; d < grid->RowCount(); ++d) {
        const int row = grid->OwnerRowAt(d);
        QStringList cells;
        for (int c = 0; c < cols; ++c)
            cells << grid->CellText(row, c);
        text.rows.push_back(std::move(cells));
    }
    return text;
}

void RunCsvExportCommand(const CsvCommandContext& ctx)
{
    const CsvViewKind view = ctx.view ? ctx.viewKind : CsvViewKind::Other;
    CExportDataDlg dlg(ctx.lang, view != CsvViewKind::Other, ctx.parent);
    if (dlg.exec() != QDialog::Accepted)
        return;

    CsvExportContext ec;
    ec.store = ctx.store;
    ec.lang = ctx.lang;
    ec.view = view;
    const CGridBaseDlg* shown = ctx.view;
    ec.grid = [shown] { return GridTextOf(shown); };
    ec.busy = ctx.busy;
    const CsvExportResult r = RunCsvExport(dlg.Kind(), ec);
    if (r.cancelled)
        return;
    if (!r.ok) {
        ShowError(Text(ctx, 89) + u'\n' + r.path + u'\n' + r.write.error);
        return;
    }
    if (r.write.replaced > 0)
        ShowWarning(CsvReplacedNote(r.write.replaced, Settings::ReadLanguage()));
    if (!r.splitNames.isEmpty())
        ShowWarning(CsvSplitNamesNote(r.splitNames, ctx.lang));
}

void RunCsvImportCommand(const CsvCommandContext& ctx)
{
    if (ReaderRuns::RefuseIfActive(Text(ctx, 303)))
        return;
    CImportDataDlg dlg(ctx.lang, ctx.parent);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const uint32_t language = Settings::ReadLanguage();

    const QString saved = Settings::ReadPath(QStringLiteral("ImportPath"));
    FileRequest request;
    request.title = CsvLiteral(language, "CSV Daten importieren ...", "Import csv - data ...");
    request.folder = saved.isEmpty() ? QDir::homePath() : QFileInfo(saved).absolutePath();
    request.filter = CsvLiteral(language, "CSV Dateien (*.csv)", "CSV files (*.csv)");
    const QString path = ChooseFile(request);
    if (path.isEmpty())
        return;
    Settings::WritePath(QStringLiteral("ImportPath"), path);

    if (!CsvImportPossible(ctx.store)) {
        ShowError(Text(ctx, 93));
        return;
    }

    CsvImportHooks hooks;
    hooks.progress = ctx.progressStep;
    CCsvImporter importer(ctx.store, ctx.lang, hooks);
    auto finish = [&ctx] {
        if (ctx.progressClose)
            ctx.progressClose();
        if (ctx.busy)
            ctx.busy(false);
    };
    if (ctx.busy)
        ctx.busy(true);
    if (ctx.progressOpen)
        ctx.progressOpen(Text(ctx, 104) + u'\n' + Text(ctx, 234));

    const CsvReadResult read = importer.ReadFile(path, dlg.Kind());
    if (!read.opened) {
        finish();
        ShowError(Text(ctx, 92) + u'\n' + path + u'\n' + read.error);
        return;
    }
    const CsvImportResult result = importer.ImportLines(dlg.Kind(), read.taken);
    if (ctx.refresh)
        ctx.refresh();
    finish();
    if (!result.errors.isEmpty()) {
        CImportErrorDlg errors(ctx.lang, result.errors, ctx.parent);
        errors.exec();
    }
}
