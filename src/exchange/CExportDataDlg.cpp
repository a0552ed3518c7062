#include "exchange/CExportDataDlg.h"

#include "exchange/DialogButtons.h"
#include "texts/CLanguageHandler.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CExportDataDlg::CExportDataDlg(CLanguageHandler* lang, bool currentViewExportable, QWidget* parent) : QDialog(parent)
{
    auto text = [lang](uint32_t n) { return lang ? lang->GetLangItem(n) : QString(); };
    setObjectName(QStringLiteral("CExportDataDlg"));
    setWindowTitle(text(86));

    auto* label = new QLabel(text(88), this);
    label->setObjectName(QStringLiteral("1032"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);

    struct Choice { int id; uint32_t textNo; CsvExportKind kind; };
    const Choice choices[] = {{1028, 87, CsvExportKind::CurrentView}, {1029, 15, CsvExportKind::Transponders},
                              {1030, 16, CsvExportKind::Persons}, {1031, 17, CsvExportKind::Events}};
    m_kind = currentViewExportable ? CsvExportKind::CurrentView : CsvExportKind::Transponders;
    for (const Choice& c : choices) {
        auto* radio = new QRadioButton(text(c.textNo), this);
        radio->setObjectName(QString::number(c.id));
        radio->setChecked(c.kind == m_kind);
        if (c.kind == CsvExportKind::CurrentView)
            radio->setEnabled(currentViewExportable);
        const CsvExportKind kind = c.kind;
        connect(radio, &QRadioButton::toggled, this, [this, kind](bool on) {
            if (on)
                m_kind = kind;
        });
        layout->addWidget(radio);
    }

    AddOkCancelButtons(this, layout, text(122));
}
