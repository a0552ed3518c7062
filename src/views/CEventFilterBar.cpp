#include "views/CEventFilterBar.h"

#include "base/Prompt.h"
#include "base/Settings.h"
#include "records/CStoreDB_Handler.h"
#include "report/EventReport.h"
#include "texts/CLanguageHandler.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CEventFilterBar::CEventFilterBar(CStoreDB_Handler* store, CLanguageHandler* lang, QWidget* parent)
    : QWidget(parent), m_store(store), m_lang(lang)
{
    setObjectName(QStringLiteral("CEventFilterBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    const auto dateRow = [&](const char* name, uint32_t label, QCheckBox*& box, QDateEdit*& edit) {
        box = new QCheckBox(Text(label), this);
        box->setObjectName(QStringLiteral("%1Box").arg(QLatin1String(name)));
        edit = new QDateEdit(QDate::currentDate(), this);
        edit->setObjectName(QStringLiteral("%1Date").arg(QLatin1String(name)));
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        edit->setEnabled(false);
        connect(box, &QCheckBox::toggled, edit, &QWidget::setEnabled);
        connect(box, &QCheckBox::toggled, this, &CEventFilterBar::Changed);
        connect(edit, &QDateEdit::dateChanged, this, &CEventFilterBar::Changed);
        row->addWidget(box);
        row->addWidget(edit);
    };
    dateRow("from", 350, m_fromBox, m_from);
    dateRow("to", 351, m_toBox, m_to);

    m_reader = new QComboBox(this);
    m_reader->setObjectName(QStringLiteral("readerCombo"));
    m_reader->addItem(Text(352), 0);
    if (m_store) {
        const CtblLeser* readers = m_store->Get_Ptr_To_tblLeser();
        for (int i = 0; i < readers->GetAnz_Leser(); ++i)
            m_reader->addItem(readers->Get_Leser(i).Name, readers->Get_Leser(i).ID);
    }
    connect(m_reader, &QComboBox::currentIndexChanged, this, &CEventFilterBar::Changed);
    row->addWidget(m_reader);

    m_who = new QLineEdit(this);
    m_who->setObjectName(QStringLiteral("whoEdit"));
    m_who->setPlaceholderText(Text(353));
    m_who->setClearButtonEnabled(true);
    m_who->setMinimumWidth(150);
    connect(m_who, &QLineEdit::textChanged, this, &CEventFilterBar::Changed);
    row->addWidget(m_who, 1);

    const uint32_t classTexts[3] = {193, 192, 191};
    const char* classNames[3] = {"classAccess", "classRefused", "classAlarm"};
    for (int i = 0; i < 3; ++i) {
        m_classes[i] = new QCheckBox(Text(classTexts[i]), this);
        m_classes[i]->setObjectName(QLatin1String(classNames[i]));
        m_classes[i]->setChecked(true);
        connect(m_classes[i], &QCheckBox::toggled, this, &CEventFilterBar::Changed);
        row->addWidget(m_classes[i]);
    }
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("shownCount"));
    row->addWidget(m_count);
    m_report = new QPushButton(Text(354), this);
    m_report->setObjectName(QStringLiteral("reportButton"));
    connect(m_report, &QPushButton::clicked, this, &CEventFilterBar::ReportRequested);
    row->addWidget(m_report);
}

QString CEventFilterBar::Text(uint32_t n) const
{
    return m_lang ? m_lang->GetLangItem(n).trimmed() : QString();
}

EventFilter::Criteria CEventFilterBar::Criteria(int32_t readerFilter) const
{
    EventFilter::Criteria c;
    if (m_fromBox->isChecked())
        c.from = m_from->date();
    if (m_toBox->isChecked())
        c.to = m_to->date();
    c.readerId = readerFilter != 0 ? readerFilter : m_reader->currentData().toInt();
    c.who = m_who->text();
    c.classes = 0;
    for (int i = 0; i < 3; ++i)
        if (m_classes[i]->isChecked())
            c.classes |= 1u << i;
    return c;
}

bool CEventFilterBar::Active() const
{
    return !Criteria(0).IsEmpty();
}

std::vector<int> CEventFilterBar::Indices(int32_t readerFilter)
{
    m_reader->setVisible(readerFilter == 0);
    return m_store ? EventFilter::Apply(*m_store, Criteria(readerFilter)) : std::vector<int>{};
}

void CEventFilterBar::SetCount(int shown, int total)
{
    m_count->setText(Text(365).arg(shown).arg(total));
}

void CEventFilterBar::WriteReport(int32_t readerFilter)
{
    if (!m_store)
        return;
    const bool english = m_lang && m_lang->GetAktivLanguage() == 1;
    FileRequest request;
    request.save = true;
    request.title = Text(368);
    const QString saved = Settings::ReadPath(QStringLiteral("SavePath"));
    request.folder = saved.isEmpty() ? QDir::homePath() : QFileInfo(saved).absolutePath();
    request.fileName = (english ? QStringLiteral("EventReport_") : QStringLiteral("Ereignisbericht_")) +
                       QDate::currentDate().toString(QStringLiteral("ddMMyyyy")) + QStringLiteral(".pdf");
    request.filter = QStringLiteral("PDF (*.pdf)");
    const QString file = ChooseFile(request);
    if (file.isEmpty())
        return;

    const EventFilter::Criteria c = Criteria(readerFilter);
    EventReport::Input in;
    in.site = EventReport::SiteName(*m_store);
    in.from = c.from;
    in.to = c.to;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    in.events = EventFilter::Apply(*m_store, c);
    QString error;
    const bool written = EventReport::Write(file, *m_store, m_lang, in, &error);
    QGuiApplication::restoreOverrideCursor();
    if (written)
        Prompt().ShowMessage(Text(364));
    else
        ShowError(error);
}
