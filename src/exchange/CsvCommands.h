#pragma once
// The two menu commands of the CSV files, from the kind dialog to the last message. The main
// frame gives what it owns through the context: the shown table, the wait cursor, the progress
// window and the refresh of the tree and table after an import.
#include "exchange/CsvExport.h"
#include "exchange/CsvImport.h"

#include <QString>
#include <functional>

class CGridBaseDlg;
class CLanguageHandler;
class CStoreDB_Handler;
class QWidget;

struct CsvCommandContext {
    CLanguageHandler* lang = nullptr;
    CStoreDB_Handler* store = nullptr;
    QWidget* parent = nullptr;
    CGridBaseDlg* view = nullptr;                  // the table in the right-hand pane, if any
    CsvViewKind viewKind = CsvViewKind::Other;     // which table that is
    std::function<void(bool)> busy;                // busy flag and wait cursor on / off
    std::function<void(const QString&)> progressOpen;
    std::function<void(int done, int total)> progressStep;
    std::function<void()> progressClose;
    std::function<void()> refresh;                 // tree and shown table after an import
};

// The texts of a table view as the user sees them (rows in display order).
CsvGridText GridTextOf(const CGridBaseDlg* view);

void RunCsvExportCommand(const CsvCommandContext& ctx);
void RunCsvImportCommand(const CsvCommandContext& ctx);
