#pragma once
// Export of transponders, persons and events as semicolon-separated lines, from the record
// store or from the table view that is shown. No header line; every line starts with its
// type word ("Transponder;", "Person;", "Event;"); fields are written as they are, without
// quoting, so a ";" inside a name splits it. Transponder and person lines end with one column
// per reader of the reader table: the reader's name when the transponder is assigned to it,
// else empty. The same lines are read back by the import (CsvImport.h).
//
// Widget-free: the table view hands over its cell texts (CsvGridText), the file dialog comes
// through the prompt seam, the wait cursor through a callback.
#include "exchange/CsvText.h"

#include <QStringList>
#include <functional>
#include <vector>

class CLanguageHandler;
class CStoreDB_Handler;
class QIODevice;

// Which table the right-hand pane shows, as far as the export cares.
enum class CsvViewKind { Other, Transponders, Persons, Events };

// The texts of a shown table: titles and data rows, each indexed by grid column (0 = the
// narrow fixed column). Rows in the order the user sees them.
struct CsvGridText {
    QStringList titles;
    std::vector<QStringList> rows;
};

// The lines of one kind (transponders, persons or events) from the cached lists of the store;
// empty for the current view, or when there is no store. lang gives the "Class "/"Detail "
// words of event lines (texts 202, 203); it may be null.
QStringList CsvLinesFromStore(CStoreDB_Handler* store, CsvExportKind kind, CLanguageHandler* lang);

// The names of persons, time schedules and readers that hold a ";" (names entered before it was
// refused): their lines split there, and the import refuses them. Sorted, each once.
QStringList CsvSplitNames(CStoreDB_Handler* store);
// The warning that names them: text 381, then one name a line; empty when there are none.
QString CsvSplitNamesNote(const QStringList& names, CLanguageHandler* lang);

// The lines of a shown table; none for a view that is not exported (readers, schedules).
QStringList CsvLinesFromGrid(CsvViewKind view, const CsvGridText& grid);

struct CsvWriteResult {
    bool ok = false;
    int lines = 0;        // lines written
    int replaced = 0;     // characters written as "?" (not in Windows-1252)
    QString error;        // why it failed
};

// Writes the lines in Windows-1252, each ended by CR LF, checking every write.
CsvWriteResult WriteCsvLines(QIODevice& device, const QStringList& lines);
// Writes the file as a whole: a file that cannot be created, a write that fails (disk full)
// or a close that fails is reported; an existing file is replaced only by a complete one.
CsvWriteResult WriteCsvFile(const QString& path, const QStringList& lines);

// The whole export command after the kind is chosen: proposes the default file name in the
// folder of "SavePath", lets the user choose through the prompt seam's file dialog, applies
// the ".csv" rule, remembers the path as "SavePath" and writes the file.
struct CsvExportContext {
    CStoreDB_Handler* store = nullptr;
    CLanguageHandler* lang = nullptr;
    CsvViewKind view = CsvViewKind::Other;                 // what the right-hand pane shows
    std::function<CsvGridText()> grid;                      // its texts (current view only)
    std::function<void(bool)> busy;                         // wait cursor / busy flag on and off
};
struct CsvExportResult {
    bool ok = true;        // false: the caller reports the failure (text 89), error says why
    bool cancelled = false;
    QString path;          // the file written
    CsvWriteResult write;
    QStringList splitNames;   // see CsvSplitNames: the caller warns of them
};
CsvExportResult RunCsvExport(CsvExportKind kind, const CsvExportContext& ctx);

// The note shown after an export that had to write characters as "?"; empty when none.
QString CsvReplacedNote(int replaced, uint32_t language);
