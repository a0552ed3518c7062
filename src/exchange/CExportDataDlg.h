#pragma once
// The export dialog: which data to export. "Current view" is offered only when the right-hand
// pane shows the transponder, person or event table, and is then chosen at opening; otherwise
// "Transponder" is chosen.
#include "exchange/CsvText.h"

#include <QDialog>

class CLanguageHandler;
class QRadioButton;

class CExportDataDlg : public QDialog {
    Q_OBJECT
public:
    CExportDataDlg(CLanguageHandler* lang, bool currentViewExportable, QWidget* parent = nullptr);
    CsvExportKind Kind() const { return m_kind; }

private:
    CsvExportKind m_kind = CsvExportKind::Transponders;
};
