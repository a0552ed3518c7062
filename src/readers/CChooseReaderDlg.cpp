#include "readers/CChooseReaderDlg.h"

#include "texts/CLanguageHandler.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CChooseReaderDlg::CChooseReaderDlg(const CLanguageHandler* lang, const QStringList& names,
                                   const QString& extraEntry, QWidget* parent)
    : QDialog(parent)
{
    auto text = [lang](uint32_t n) { return lang ? lang->GetLangItem(n) : QString(); };
    setObjectName(QStringLiteral("CChooseReaderDlg"));
    setWindowTitle(text(121));

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("1036"));
    m_list->addItems(names);
    m_list->addItem(extraEntry);

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("1"));
    m_ok->setEnabled(false);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setText(text(122));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(m_list, &QListWidget::itemSelectionChanged, this,
            [this] { m_ok->setEnabled(!m_list->selectedItems().isEmpty()); });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { accept(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
}

void CChooseReaderDlg::accept()
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    m_chosen = selected.first()->text();
    QDialog::accept();
}

QString CChooseReaderDlg::Choose(const CLanguageHandler* lang, const QStringList& names,
                                 const QString& extraEntry, QWidget* parent)
{
    CChooseReaderDlg dlg(lang, names, extraEntry, parent);
    return dlg.exec() == QDialog::Accepted ? dlg.ChosenText() : QString();
}
