#include "exchange/CImportErrorDlg.h"

#include "texts/CLanguageHandler.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CImportErrorDlg::CImportErrorDlg(CLanguageHandler* lang, const QStringList& errors, QWidget* parent) : QDialog(parent)
{
    auto text = [lang](uint32_t n) { return lang ? lang->GetLangItem(n) : QString(); };
    setObjectName(QStringLiteral("CImportErrorDlg"));
    setWindowTitle(text(98));

    auto* label = new QLabel(text(99) + u'\n' + text(100), this);
    label->setObjectName(QStringLiteral("1032"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("1033"));
    m_list->setUniformItemSizes(true);
    for (const QString& e : errors) {
        auto* item = new QListWidgetItem(e.size() > kShownChars ? e.left(kShownChars) + QStringLiteral("...") : e);
        if (e.size() > kShownChars)
            item->setToolTip(e.left(4 * kShownChars) + QStringLiteral("..."));
        m_list->addItem(item);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(560, 360);
}
