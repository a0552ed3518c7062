#include "exchange/CImportDataDlg.h"

#include "exchange/DialogButtons.h"
#include "texts/CLanguageHandler.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CImportDataDlg::CImportDataDlg(CLanguageHandler* lang, QWidget* parent) : QDialog(parent)
{
    auto text = [lang](uint32_t n) { return lang ? lang->GetLangItem(n) : QString(); };
    setObjectName(QStringLiteral("CImportDataDlg"));
    setWindowTitle(text(91));

    auto* label = new QLabel(text(90), this);
    label->setObjectName(QStringLiteral("1032"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);

    struct Choice { int id; uint32_t textNo; CsvImportKind kind; };
    for (const Choice& c : {Choice{1029, 15, CsvImportKind::Transponders}, Choice{1030, 16, CsvImportKind::Persons}}) {
        auto* radio = new QRadioButton(text(c.textNo), this);
        radio->setObjectName(QString::number(c.id));
        radio->setChecked(c.kind == m_kind);
        const CsvImportKind kind = c.kind;
        connect(radio, &QRadioButton::toggled, this, [this, kind](bool on) {
            if (on)
                m_kind = kind;
        });
        layout->addWidget(radio);
    }

    AddOkCancelButtons(this, layout, text(122));
}
