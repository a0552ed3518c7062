#pragma once
// The options of a read run: read up to the event pointer (on by default) or the whole memory,
// and an optional date filter with a from and a to date (both included). Modal; the reader
// table takes the options after OK.
#include <QDialog>
#include <QString>

class CLanguageHandler;
class QCheckBox;
class QDateEdit;

class CReadEventsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CReadEventsDlg(const CLanguageHandler* lang, QWidget* parent = nullptr);

    bool ReadToPointer() const { return m_readToPointer; }
    bool DateFilter() const { return m_dateFilter; }
    QString FromDate() const { return m_from; }   // DDMMYY
    QString ToDate() const { return m_to; }

    // A date as the run compares it: "%02d" day, month and the last two digits of the year.
    static QString DateText(const QDate& date);

    void accept() override;

private:
    QCheckBox* m_pointerBox;
    QCheckBox* m_filterBox;
    QDateEdit* m_fromPicker;
    QDateEdit* m_toPicker;
    bool m_readToPointer = true;
    bool m_dateFilter = false;
    QString m_from, m_to;   // set when a picker changes; today's date when never set
};
