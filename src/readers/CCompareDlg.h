#pragma once
// The result of comparing a reader with the database, as a window beside the reader table:
// the numbers only the reader holds come first, in red, because they still open the door;
// then the numbers not written yet, the slot order and the parameters. Modeless, so the user
// can keep it open while writing all data and comparing again.
#include "readers/ReaderComparison.h"

#include <QDialog>

class CLanguageHandler;
class CSerialLink;
class CStoreDB_Handler;

class CCompareDlg : public QDialog {
    Q_OBJECT
public:
    CCompareDlg(CStoreDB_Handler& store, const CLanguageHandler* lang, const QString& readerName,
                const ReaderComparison::Differences& d, QWidget* parent = nullptr);

    // The whole command of the reader table: the comparison under a progress window and the
    // wait cursor, then this window (deleted when closed). A failed reading shows text 141 only.
    static CCompareDlg* CompareAndShow(CSerialLink& link, CStoreDB_Handler& store, CLanguageHandler* lang,
                                       const QString& readerName, int model, QWidget* parent);
};
