#include "report/EventReport.h"

#include "records/CStoreDB_Handler.h"
#include "report/EventFilter.h"
#include "texts/CLanguageHandler.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHash>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <map>

namespace EventReport {

namespace {

// Page geometry in points (the writer runs at 72 dots an inch).
constexpr double kPageW = 595, kPageH = 842, kMargin = 36;
constexpr double kRowH = 11.6;
constexpr double kListTop = kMargin + 34;

const QColor kAccessColour(0x3C, 0x9A, 0x4A);
const QColor kRefusedColour(0xE0, 0x9A, 0x1E);
const QColor kAlarmColour(0xC8, 0x2E, 0x2E);

struct ReaderCounts {
    int access = 0, refused = 0, alarm = 0, other = 0;
    int Total() const { return access + refused + alarm + other; }
    void Add(unsigned cls)
    {
        cls == EventFilter::Access ? ++access : cls == EventFilter::Refused ? ++refused : cls == EventFilter::Alarm ? ++alarm : ++other;
    }
};

QString Fit(const QString& text, int width)
{
    return text.size() > width ? text.left(width - 1) + QChar(0x2026) : text.leftJustified(width, QLatin1Char(' '));
}

QDate DateOf(const QString& ddmmyyyy)
{
    const int n = EventFilter::DateNumber(ddmmyyyy);
    return n ? QDate(n / 10000, n / 100 % 100, n % 100) : QDate();
}

class Writer {
public:
    Writer(CStoreDB_Handler& store, const CLanguageHandler* lang, const Input& in)
        : m_store(store), m_lang(lang), m_in(in)
    {
    }

    int Pages() const { return m_pages; }

    void Prepare()
    {
        const CtblEvents* events = m_store.Get_Ptr_To_tblEvents();
        const CtblLeser* readers = m_store.Get_Ptr_To_tblLeser();
        QDate first, last;
        for (int i : m_in.events) {
            const structEvents& e = events->Get_Event(i);
            const structLeser* r = readers->FindById(e.ReaderID);
            const QString name = r ? r->Name : e.ReaderName;
            m_byReader[name].Add(EventFilter::ClassOf(e.ClassCode));
            const QDate d = DateOf(e.Date);
            if (d.isValid()) {
                first = !first.isValid() || d < first ? d : first;
                last = !last.isValid() || d > last ? d : last;
            }
        }
        m_from = m_in.from.isValid() ? m_in.from : first.isValid() ? first : QDate::currentDate();
        m_to = m_in.to.isValid() ? m_in.to : last.isValid() ? last : m_from;
        if (m_to < m_from)
            std::swap(m_from, m_to);
        // One bar a day; a period of many years still draws, each bar as thin as it must be.
        const qint64 days = std::min<qint64>(m_from.daysTo(m_to) + 1, 40000);
        m_perDay.assign(size_t(days), {});
        for (int i : m_in.events) {
            const structEvents& e = events->Get_Event(i);
            const qint64 k = m_from.daysTo(DateOf(e.Date));
            if (k >= 0 && k < days)
                m_perDay[size_t(k)].Add(EventFilter::ClassOf(e.ClassCode));
        }
        m_pages = PageCount(int(m_in.events.size()), int(m_byReader.size()));
    }

    void Draw(QPdfWriter& pdf)
    {
        QPainter p(&pdf);
        m_painter = &p;
        m_sans = QFont(QStringLiteral("DejaVu Sans"));
        m_mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        m_mono.setPointSizeF(7);

        DrawFirstPage();
        const auto next = [&] {
            pdf.newPage();
            ++m_page;
        };
        // Readers that did not fit under the chart.
        int reader = kReadersOnFirstPage;
        std::vector<std::pair<QString, ReaderCounts>> rows(m_byReader.begin(), m_byReader.end());
        while (reader < int(rows.size())) {
            next();
            double y = kMargin;
            Heading(Text(359), y);
            reader = DrawSummary(rows, reader, kReadersPerPage, y);
            Footer();
        }
        // The event list.
        const int n = int(m_in.events.size());
        for (int start = 0; start < n; start += kRowsPerPage) {
            next();
            DrawList(start, std::min(n, start + kRowsPerPage));
        }
        p.end();
    }

private:
    QString Text(uint32_t n) const { return m_lang ? m_lang->GetLangItem(n) : QString(); }
    static QString Day(const QDate& d) { return d.toString(QStringLiteral("dd.MM.yyyy")); }

    void Heading(const QString& text, double& y)
    {
        QFont f = m_sans;
        f.setPointSizeF(12);
        f.setBold(true);
        m_painter->setFont(f);
        m_painter->setPen(Qt::black);
        m_painter->drawText(QPointF(kMargin, y + 12), text);
        y += 22;
    }

    void Footer()
    {
        QFont f = m_sans;
        f.setPointSizeF(7);
        m_painter->setFont(f);
        m_painter->setPen(Qt::darkGray);
        const QString text = Text(362).arg(m_page).arg(m_pages) + QStringLiteral("   ") + Text(355) + QStringLiteral(" ") +
                             Day(m_from) + QStringLiteral(" - ") + Day(m_to);
        m_painter->drawText(QRectF(kMargin, kPageH - kMargin + 6, kPageW - 2 * kMargin, 12), Qt::AlignRight, text);
    }

    void DrawFirstPage()
    {
        QPainter& p = *m_painter;
        double y = kMargin;
        QFont title = m_sans;
        title.setPointSizeF(20);
        title.setBold(true);
        p.setFont(title);
        p.drawText(QPointF(kMargin, y + 20), Text(355));
        y += 34;
        QFont body = m_sans;
        body.setPointSizeF(10);
        p.setFont(body);
        p.drawText(QPointF(kMargin, y + 10), Text(357).arg(m_in.site));
        y += 15;
        p.drawText(QPointF(kMargin, y + 10), Text(356).arg(Day(m_from), Day(m_to)));
        y += 15;
        ReaderCounts all;
        for (const auto& [name, c] : m_byReader) {
            all.access += c.access, all.refused += c.refused, all.alarm += c.alarm, all.other += c.other;
        }
        p.drawText(QPointF(kMargin, y + 10), Text(366) + QStringLiteral(": %1   %2: %3   %4: %5   %6: %7")
                                                       .arg(all.Total())
                                                       .arg(Text(193))
                                                       .arg(all.access)
                                                       .arg(Text(192))
                                                       .arg(all.refused)
                                                       .arg(Text(191))
                                                       .arg(all.alarm));
        y += 26;

        Heading(Text(358), y);
        DrawChart(QRectF(kMargin + 30, y, kPageW - 2 * kMargin - 30, 230));
        y += 230 + 34;

        Heading(Text(359), y);
        std::vector<std::pair<QString, ReaderCounts>> rows(m_byReader.begin(), m_byReader.end());
        DrawSummary(rows, 0, kReadersOnFirstPage, y);
        // The grand total closes the summary on the page it ends on; on page 1 when all fit.
        Footer();
    }

    void DrawChart(const QRectF& area)
    {
        QPainter& p = *m_painter;
        int peak = 1;
        for (const ReaderCounts& d : m_perDay)
            peak = std::max(peak, d.Total());
        QFont small = m_sans;
        small.setPointSizeF(7);
        p.setFont(small);
        p.setPen(Qt::gray);
        p.drawLine(area.bottomLeft(), area.bottomRight());
        p.drawLine(area.bottomLeft(), area.topLeft());
        p.setPen(Qt::black);
        p.drawText(QRectF(area.left() - 30, area.top() - 4, 26, 10), Qt::AlignRight, QString::number(peak));
        p.drawText(QRectF(area.left() - 30, area.bottom() - 6, 26, 10), Qt::AlignRight, QStringLiteral("0"));

        const int days = int(m_perDay.size());
        const double slot = area.width() / std::max(1, days);
        const double bar = std::max(0.3, slot * 0.8);
        p.setPen(Qt::NoPen);
        for (int k = 0; k < days; ++k) {
            const ReaderCounts& d = m_perDay[size_t(k)];
            double bottom = area.bottom();
            const double x = area.left() + k * slot + (slot - bar) / 2;
            for (const auto& [count, colour] : {std::pair{d.access + d.other, kAccessColour}, std::pair{d.refused, kRefusedColour},
                                                 std::pair{d.alarm, kAlarmColour}}) {
                const double h = area.height() * count / peak;
                if (h > 0)
                    p.fillRect(QRectF(x, bottom - h, bar, h), colour);
                bottom -= h;
            }
        }
        // First and last day under the axis, the legend under them.
        p.setPen(Qt::black);
        p.drawText(QRectF(area.left(), area.bottom() + 2, 80, 10), Qt::AlignLeft, Day(m_from));
        p.drawText(QRectF(area.right() - 80, area.bottom() + 2, 80, 10), Qt::AlignRight, Day(m_to));
        double x = area.left();
        for (const auto& [textNo, colour] : {std::pair{193u, kAccessColour}, std::pair{192u, kRefusedColour},
                                             std::pair{191u, kAlarmColour}}) {
            p.fillRect(QRectF(x, area.bottom() + 16, 8, 8), colour);
            p.drawText(QPointF(x + 11, area.bottom() + 23), Text(textNo));
            x += 110;
        }
    }

    // Summary rows from `first`, at most `max` of them; the total after the last reader.
    int DrawSummary(const std::vector<std::pair<QString, ReaderCounts>>& rows, int first, int max, double& y)
    {
        QPainter& p = *m_painter;
        QFont f = m_sans;
        f.setPointSizeF(8);
        const double cols[] = {kMargin, kMargin + 150, kMargin + 240, kMargin + 330, kMargin + 420};
        const auto row = [&](const QString& name, const QString& a, const QString& r, const QString& al, const QString& t) {
            p.drawText(QRectF(cols[0], y, 150, kRowH), Qt::AlignLeft, name);
            const QString values[] = {a, r, al, t};
            for (int i = 0; i < 4; ++i)
                p.drawText(QRectF(cols[i + 1], y, 88, kRowH), Qt::AlignRight, values[i]);
            y += kRowH;
        };
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::black);
        row(Text(14), Text(193), Text(192), Text(191), Text(361));
        f.setBold(false);
        p.setFont(f);
        const int end = std::min(int(rows.size()), first + max);
        for (int i = first; i < end; ++i) {
            const ReaderCounts& c = rows[size_t(i)].second;
            row(rows[size_t(i)].first, QString::number(c.access), QString::number(c.refused), QString::number(c.alarm),
                QString::number(c.Total()));
        }
        if (end == int(rows.size())) {
            ReaderCounts all;
            for (const auto& [name, c] : rows)
                all.access += c.access, all.refused += c.refused, all.alarm += c.alarm, all.other += c.other;
            f.setBold(true);
            p.setFont(f);
            row(Text(361), QString::number(all.access), QString::number(all.refused), QString::number(all.alarm),
                QString::number(all.Total()));
        }
        return end;
    }

    void DrawList(int start, int end)
    {
        QPainter& p = *m_painter;
        double y = kMargin;
        Heading(Text(360), y);
        const CtblEvents* events = m_store.Get_Ptr_To_tblEvents();
        const CtblLeser* readers = m_store.Get_Ptr_To_tblLeser();
        const CtblTransponder* transponders = m_store.Get_Ptr_To_tblTransponder();
        const CtblPerson* persons = m_store.Get_Ptr_To_tblPerson();
        // One text a row in a fixed-width font: the columns line up and a page of rows costs
        // sixty calls, not four hundred.
        const auto line = [](const QString& date, const QString& time, const QString& reader, const QString& number,
                             const QString& person, const QString& cls, const QString& detail) {
            return Fit(date, 10) + ' ' + Fit(time, 7) + ' ' + Fit(reader, 18) + ' ' + Fit(number, 11) + ' ' +
                   Fit(person, 22) + ' ' + Fit(cls, 18) + ' ' + detail.left(24);
        };
        QFont head = m_mono;
        head.setBold(true);
        p.setFont(head);
        p.setPen(Qt::black);
        p.drawText(QPointF(kMargin, kListTop - 4),
                   line(Text(22), Text(23), Text(14), Text(21), Text(73), Text(25), Text(27)));
        p.setFont(m_mono);
        y = kListTop + kRowH;
        for (int k = start; k < end; ++k, y += kRowH) {
            const structEvents& e = events->Get_Event(m_in.events[size_t(k)]);
            const structLeser* r = readers->FindById(e.ReaderID);
            QString person = QStringLiteral("---");
            const int t = transponders->IndexOfNumber(e.TransponderNo);
            if (t >= 0) {
                const int pi = persons->IndexOfTransponder(transponders->Get_Transponder(t).ID);
                if (pi >= 0)
                    person = persons->Get_Person(pi).Name;
            }
            const unsigned cls = EventFilter::ClassOf(e.ClassCode);
            p.setPen(cls == EventFilter::Alarm ? kAlarmColour : cls == EventFilter::Refused ? QColor(0x9A, 0x60, 0x00) : Qt::black);
            p.drawText(QPointF(kMargin, y),
                       line(e.Date.left(2) + '.' + e.Date.mid(2, 2) + '.' + e.Date.mid(4), e.Time.left(2) + ':' + e.Time.mid(2),
                            r ? r->Name : e.ReaderName, e.TransponderNo, person, e.ClassText, e.DetailText));
        }
        Footer();
    }

    CStoreDB_Handler& m_store;
    const CLanguageHandler* m_lang;
    const Input& m_in;
    QPainter* m_painter = nullptr;
    QFont m_sans, m_mono;
    QDate m_from, m_to;
    std::map<QString, ReaderCounts> m_byReader;   // by name, sorted
    std::vector<ReaderCounts> m_perDay;
    int m_page = 1;
    int m_pages = 1;
};

} // namespace

int PageCount(int events, int readers)
{
    const int extraSummary = readers > kReadersOnFirstPage ? (readers - kReadersOnFirstPage + kReadersPerPage - 1) / kReadersPerPage : 0;
    return 1 + extraSummary + (events + kRowsPerPage - 1) / kRowsPerPage;
}

bool Write(const QString& file, CStoreDB_Handler& store, const CLanguageHandler* lang, const Input& in, QString* error,
           int* pages)
{
    const auto fail = [&](const QString& why) {
        if (error) {
            const QString text = lang ? lang->GetLangItem(363) : QString();
            *error = text.contains(QLatin1String("%1")) ? text.arg(why) : why;
        }
        return false;
    };
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return fail(out.errorString());
    Writer writer(store, lang, in);
    writer.Prepare();
    {
        QPdfWriter pdf(&out);
        pdf.setResolution(72);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setTitle(lang ? lang->GetLangItem(355) : QStringLiteral("Event report"));
        pdf.setCreator(QStringLiteral("Velmora Manager"));
        writer.Draw(pdf);
    }
    if (!out.commit())
        return fail(out.errorString());
    if (pages)
        *pages = writer.Pages();
    return true;
}

QString SiteName(const CStoreDB_Handler& store)
{
    const QString path = store.GetAktDBPath();
    return path.isEmpty() ? QStringLiteral("---") : QFileInfo(path).completeBaseName();
}

} // namespace EventReport
