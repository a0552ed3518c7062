#include "app/CChooseCOMDlg.h"

#include "base/Settings.h"
#include "texts/CLanguageHandler.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

CChooseCOMDlg::CChooseCOMDlg(CLanguageHandler* lang, const std::vector<uint32_t>& ports, QWidget* parent)
    : QDialog(parent), m_lang(lang)
{
    setObjectName(QStringLiteral("chooseComDlg"));
    setWindowTitle(m_lang ? m_lang->GetLangItem(116) : QString());
    setWindowIcon(style()->standardIcon(QStyle::SP_DriveNetIcon));

    m_combo = new QComboBox(this);
    m_combo->setObjectName(QStringLiteral("1087"));
    m_combo->setMinimumWidth(160);

    // The list is sorted as text, the way a sorted combo box sorts: COM10 comes before COM2.
    QStringList names;
    for (uint32_t port : ports)
        names << QStringLiteral("COM%1").arg(port);
    std::sort(names.begin(), names.end());
    m_combo->addItems(names);
    if (m_combo->count() > 0)
        m_combo->setCurrentIndex(0);

    auto* connectNow = new QPushButton(m_lang ? m_lang->GetLangItem(235) : QString(), this);
    connectNow->setObjectName(QStringLiteral("1088"));
    connect(connectNow, &QPushButton::clicked, this, &CChooseCOMDlg::OnConnectNow);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CChooseCOMDlg::OnOK);

    auto* row = new QHBoxLayout;
    row->addWidget(m_combo, 1);
    row->addWidget(connectNow);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addSpacing(6);
    layout->addLayout(buttons);
}

uint32_t CChooseCOMDlg::PortNumberFromText(const QString& text)
{
    auto isStripped = [](QChar c) { return c == u'C' || c == u'O' || c == u'M'; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isStripped(text.at(begin)))
        ++begin;
    while (end > begin && isStripped(text.at(end - 1)))
        --end;
    bool ok = false;
    const uint32_t number = text.mid(begin, end - begin).toUInt(&ok);
    return ok ? number : 0;
}

bool CChooseCOMDlg::StoreSelection()
{
    if (m_combo->currentIndex() < 0)
        return false;   // an empty list stores nothing
    Settings::WriteAktCom(PortNumberFromText(m_combo->currentText()));
    return true;
}

void CChooseCOMDlg::OnOK()
{
    StoreSelection();
    accept();
}

void CChooseCOMDlg::OnConnectNow()
{
    StoreSelection();
    m_connectNow = 1;
    done(kConnectNowResult);
}
