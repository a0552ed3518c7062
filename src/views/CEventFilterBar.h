#pragma once
// The filter row above the event table: a date range, a reader, a person or transponder
// number, and the classes access, refused and alarm. Every change filters at once (the
// filter is keyed, so even a site's years of events answer while typing); "Report ..." writes
// the events shown as a PDF.
#include "report/EventFilter.h"

#include <QWidget>
#include <cstdint>
#include <vector>

class CLanguageHandler;
class CStoreDB_Handler;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

class CEventFilterBar : public QWidget {
    Q_OBJECT
public:
    CEventFilterBar(CStoreDB_Handler* store, CLanguageHandler* lang, QWidget* parent = nullptr);

    // The criteria as set; readerFilter (the view opened for one reader, 0 for all) wins over
    // the reader list, which is then hidden.
    EventFilter::Criteria Criteria(int32_t readerFilter) const;
    // Whether the row leaves any event out (besides the view's own reader filter).
    bool Active() const;
    // List indices of the events that pass, in list order.
    std::vector<int> Indices(int32_t readerFilter);
    // "n of m events" beside the controls.
    void SetCount(int shown, int total);
    // The report of the events that pass: file dialog, wait cursor, text 364 or the reason.
    void WriteReport(int32_t readerFilter);

signals:
    void Changed();
    void ReportRequested();

private:
    QString Text(uint32_t n) const;

    CStoreDB_Handler* m_store;
    CLanguageHandler* m_lang;
    QCheckBox* m_fromBox;
    QDateEdit* m_from;
    QCheckBox* m_toBox;
    QDateEdit* m_to;
    QComboBox* m_reader;
    QLineEdit* m_who;
    QCheckBox* m_classes[3];
    QLabel* m_count;
    QPushButton* m_report;
};
