#pragma once
// Import of the export's transponder and person lines (CsvExport.h).
//
// Reading: the file is read line by line (LF or CR LF), in UTF-8 when all of it is valid UTF-8
// (a byte-order mark is skipped), else in Windows-1252. A line whose first field is exactly the
// type word of the chosen kind and that has enough fields is taken; its taken text is the line
// without the type word and its ";". Any other line (an empty one too) is a foreign line: the
// user is asked whether to go on (texts 94 and 95); No stops reading, and the lines taken so
// far are still imported.
//
// Importing, per taken line (fields split at every ";", no quoting):
//   Transponder line: number N; person P ("---" = none; an empty field counts as "---");
//     schedule S; reader names. N must be 10 hexadecimal digits (lower case is upper-cased)
//     and new, else the line is refused. The schedule is the first whose name equals S (an empty
//     S: full access); a line naming none that exists is refused (a misspelt name must not
//     mean full access). Readers
//     are matched by exact name, unknown ones are ignored. The transponder is added (Changed 1), a
//     person already named P is deleted, a person P is added for the new transponder, and the
//     readers in its list are marked changed.
//   Person line: person P; transponder number N; schedule S; reader names. A person of that
//     name must not exist yet, and N, when given, must be 10 hexadecimal digits and S an existing
//     schedule. With N, a transponder of that number is replaced by a new one with S and the
//     readers; then the person is added.
//   A line holding a control character (NUL included) is refused, whatever its kind.
// A refused line adds "Nr.: <k> -> <taken text>" to the error list, k counting the taken lines
// from 1 (control characters shown as the replacement sign). Every line is all or nothing in the store; the cascades of deleted records are kept
// (a deleted person leaves no transponder pointing at it, a deleted transponder no person).
//
// Runs on the thread that owns the store's cached lists (the GUI thread); the lookups are
// hashes and the keyed lookups of the store, so the time grows with the number of lines.
#include <QString>
#include <QStringList>
#include <functional>

class CLanguageHandler;
class CStoreDB_Handler;
class QIODevice;

enum class CsvImportKind { Transponders = 1, Persons = 2 };

// The fields of a taken text, split at every ";".
struct CsvLineFields {
    QString number;        // transponder number
    QString person;        // person name
    QString schedule;      // time-schedule name
    QStringList readers;   // reader names
};
// Splits a taken text of that kind into its fields (a valid number upper-cased). false when the
// line can never be stored, whatever the store holds: a control character in it; a transponder
// line whose number is not 10 hexadecimal digits; a person line without a person name, or with
// a number that is neither empty nor 10 hexadecimal digits.
bool ParseCsvLine(CsvImportKind kind, const QString& taken, CsvLineFields* fields);

struct CsvImportHooks {
    // A foreign line at this line number (from 1): go on reading? Default: the question
    // text 94 (with the number), a line break and text 95, through the prompt seam.
    std::function<bool(int lineNo)> askForeignLine;
    // Progress of the import: lines done of the lines taken. Called every few lines.
    std::function<void(int done, int total)> progress;
};

struct CsvReadResult {
    bool opened = false;     // false: the file could not be opened (nothing read)
    QString error;
    QStringList taken;       // taken texts, in file order
    int linesRead = 0;       // lines looked at
    bool stopped = false;    // the user chose to stop at a foreign line
    bool utf8 = false;       // the file was read as UTF-8
};

struct CsvImportResult {
    bool opened = false;     // the file was opened and read
    QString error;           // why not
    int taken = 0;           // lines taken from the file
    int imported = 0;        // lines stored
    QStringList errors;      // "Nr.: k -> ..." of every refused line
    bool storeFailed = false;// a store error or a table that could not be opened ended the import
    bool stopped = false;    // reading was stopped at a foreign line
};

// Whether an import may start: the online-state table must answer a reload (text 93 otherwise).
bool CsvImportPossible(CStoreDB_Handler* store);

class CCsvImporter {
public:
    CCsvImporter(CStoreDB_Handler* store, CLanguageHandler* lang, CsvImportHooks hooks = {});

    // How many lines are stored in one transaction. 1 keeps every line on its own; a larger
    // number is faster, and a store error then takes back the whole group the failing line
    // belongs to (never part of a line).
    void SetLinesPerTransaction(int lines) { m_linesPerTransaction = lines < 1 ? 1 : lines; }

    CsvReadResult ReadFile(const QString& path, CsvImportKind kind) const;
    // The same from an open device that can seek back to its start (the file's contents).
    CsvReadResult ReadDevice(QIODevice& device, CsvImportKind kind) const;
    // Imports taken texts; the cached lists follow each stored line and are reloaded at the end.
    CsvImportResult ImportLines(CsvImportKind kind, const QStringList& taken);
    // Both: the whole import of a file.
    CsvImportResult ImportFile(const QString& path, CsvImportKind kind);

    static QString ErrorText(int number, const QString& taken);

private:
    CStoreDB_Handler* m_store;
    CLanguageHandler* m_lang;
    CsvImportHooks m_hooks;
    int m_linesPerTransaction = 200;
};
