#pragma once
// The import dialog: transponder lines or person lines.
#include "exchange/CsvImport.h"

#include <QDialog>

class CLanguageHandler;

class CImportDataDlg : public QDialog {
    Q_OBJECT
public:
    explicit CImportDataDlg(CLanguageHandler* lang, QWidget* parent = nullptr);
    CsvImportKind Kind() const { return m_kind; }

private:
    CsvImportKind m_kind = CsvImportKind::Transponders;
};
