#pragma once
// Registering the reader that has just come online: recognise a known reader or create its
// reader record. Widget-free: the reader table calls it from its "reader online" handler and
// tests call it directly. Messages go through Prompt(); the desk-reader choice list is asked
// through a callback, so the table answers it with CChooseReaderDlg and a test with a lambda.
//
// Runs on the GUI thread (it reads and reloads the reader cache) while the monitor worker
// owns the port: every telegram goes through the mailbox and waits at most 3000 ms.
#include "records/Records.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class CSerialLink;
class CStoreDB_Handler;
class CtblLeser;

namespace ReaderRegistration {

// One data row of the reader table as it is shown (sorting may have changed the order).
struct Row {
    QString Name;       // column 4
    QString Model;      // type text (the record's Model, or the column 3 text)
    QString Identity;   // column 5
};

struct Result {
    enum Outcome {
        Nothing,     // no reader at the port (interface type -1 or unknown)
        Recognised,  // a row of the table is that reader
        Added,       // a new reader record was written
        Cancelled,   // the choice list was cancelled
        Failed,      // a message was shown, nothing was written
    };
    Outcome outcome = Nothing;
    int row = -1;            // Recognised: index into the rows passed in
    structLeser record;      // Added: the record as stored, with its ID
    int cacheIndex = -1;     // Added: its index in the reloaded reader cache
    bool addToTree = false;  // Added: its name belongs under the tree's three reader groups
    int failureText = 0;     // Failed: number of the text shown (114, 119, 120, 106, 83);
                             // -1 when the store raised an error (its own text was shown)
};

// The rows of the reader cache, in cache order (for callers without a sorted table).
std::vector<Row> RowsOf(const CtblLeser& readers);

// Asked for a desk reader: names are the table's readers of the connected model in row
// order, extraEntry the "new reader" entry that ends the list. Returns the chosen entry's
// text, or an empty text when cancelled.
using ChooseReaderFn = std::function<QString(const QStringList& names, const QString& extraEntry)>;

// Registers what the link reports at the port (its interface type).
Result RegisterConnectedReader(CSerialLink& link, CStoreDB_Handler& store,
                               const std::vector<Row>& rows, const ChooseReaderFn& choose);

// Name suffix of a new reader: the C library generator seeded with the current time in
// seconds, rand() modulo 65535 in upper-case hex without leading zeros. Two calls within the
// same second give the same suffix; both readers are added all the same.
QString MakeNameSuffix();
QString MakeReaderName();   // "Leser_" + suffix

} // namespace ReaderRegistration
