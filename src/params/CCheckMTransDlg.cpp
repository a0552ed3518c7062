#include "params/CCheckMTransDlg.h"

#include "texts/CLanguageHandler.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CCheckMTransDlg::CCheckMTransDlg(const QString& readerNumber, const QString& dbNumber, const CLanguageHandler* lang,
                                 QWidget* parent)
    : QDialog(parent)
    , m_readerNumber(readerNumber)
    , m_dbNumber(dbNumber)
{
    auto text = [lang](uint32_t n) { return lang ? lang->GetLangItem(n) : QString(); };
    setObjectName(QStringLiteral("CCheckMTransDlg"));
    setWindowTitle(text(209));

    auto* group = new QGroupBox(text(210), this);
    group->setObjectName(QStringLiteral("1086"));
    m_reader = new QRadioButton(text(211) + readerNumber, group);
    m_reader->setObjectName(QStringLiteral("1084"));
    auto* db = new QRadioButton(text(212) + dbNumber, group);
    db->setObjectName(QStringLiteral("1085"));
    m_reader->setChecked(true);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_reader);
    groupLayout->addWidget(db);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("1"));
    ok->setText(QStringLiteral("&OK"));
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setText(text(166));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
}

void CCheckMTransDlg::accept()
{
    m_choseReader = m_reader->isChecked();
    chosenMaster = m_choseReader ? m_readerNumber : m_dbNumber;
    QDialog::accept();
}
