#pragma once
// The event report: a PDF of chosen events for the site owner who asks "who came through
// which door last month?". Page 1 carries the title with site and period, a chart of the
// events per day (access, refused, alarm in three colours) and a summary per reader; the
// event list follows, a fixed number of rows a page. Texts in the language of the handler.
//
// Widget-free (QPdfWriter and QPainter of Qt Gui), so the command line writes the same
// report as the event table; it needs a QGuiApplication for its fonts.
#include <QDate>
#include <QString>
#include <vector>

class CLanguageHandler;
class CStoreDB_Handler;

namespace EventReport {

inline constexpr int kRowsPerPage = 60;          // events listed on each list page
inline constexpr int kReadersOnFirstPage = 16;   // summary rows under the chart
inline constexpr int kReadersPerPage = 60;       // summary rows on a continuation page

struct Input {
    QString site;
    QDate from, to;             // the period; an invalid side is taken from the events
    std::vector<int> events;    // list indices of the cached events, in the order listed
};

// Pages of a report of that many events over that many readers.
int PageCount(int events, int readers);

// Writes the report; the file appears complete or not at all. false with the reason in
// *error (text 363 with the system's words).
bool Write(const QString& file, CStoreDB_Handler& store, const CLanguageHandler* lang, const Input& in,
           QString* error = nullptr, int* pages = nullptr);

// The site's name for the title: the database file's name without its extension.
QString SiteName(const CStoreDB_Handler& store);

} // namespace EventReport
