#include "readers/CReadEventsDlg.h"

#include "texts/CLanguageHandler.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CReadEventsDlg::CReadEventsDlg(const CLanguageHandler* lang, QWidget* parent) : QDialog(parent)
{
    auto text = [lang](uint32_t n) { return lang ? lang->GetLangItem(n) : QString(); };
    setObjectName(QStringLiteral("CReadEventsDlg"));
    setWindowTitle(text(167));

    m_pointerBox = new QCheckBox(text(162), this);
    m_pointerBox->setObjectName(QStringLiteral("1066"));
    m_pointerBox->setChecked(true);
    m_filterBox = new QCheckBox(text(163), this);
    m_filterBox->setObjectName(QStringLiteral("1067"));

    const auto picker = [this](const char* id) {
        auto* p = new QDateEdit(QDate::currentDate(), this);
        p->setObjectName(QString::fromLatin1(id));
        p->setCalendarPopup(true);
        p->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        p->setEnabled(false);
        return p;
    };
    m_fromPicker = picker("1069");
    m_toPicker = picker("1068");
    auto* fromLabel = new QLabel(text(164), this);
    fromLabel->setObjectName(QStringLiteral("1070"));
    auto* toLabel = new QLabel(text(165), this);
    toLabel->setObjectName(QStringLiteral("1071"));

    connect(m_filterBox, &QCheckBox::toggled, this, [this](bool on) {
        m_fromPicker->setEnabled(on);
        m_toPicker->setEnabled(on);
    });
    connect(m_fromPicker, &QDateEdit::dateChanged, this, [this](const QDate& d) { m_from = DateText(d); });
    connect(m_toPicker, &QDateEdit::dateChanged, this, [this](const QDate& d) { m_to = DateText(d); });

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("1"));
    ok->setText(QStringLiteral("OK"));
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setText(text(122));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* dates = new QFormLayout;
    dates->addRow(fromLabel, m_fromPicker);
    dates->addRow(toLabel, m_toPicker);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pointerBox);
    layout->addWidget(m_filterBox);
    layout->addLayout(dates);
    layout->addWidget(buttons);
}

QString CReadEventsDlg::DateText(const QDate& date)
{
    return QStringLiteral("%1%2%3")
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(QStringLiteral("%1").arg(date.year(), 2, 10, QLatin1Char('0')).right(2));
}

void CReadEventsDlg::accept()
{
    const QString today = DateText(QDate::currentDate());
    if (m_from.isEmpty())
        m_from = today;
    if (m_to.isEmpty())
        m_to = today;
    m_readToPointer = m_pointerBox->isChecked();
    m_dateFilter = m_filterBox->isChecked();
    QDialog::accept();
}
