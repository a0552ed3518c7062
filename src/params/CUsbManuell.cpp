#include "params/CUsbManuell.h"

#include "base/Prompt.h"
#include "records/CStoreDB_Handler.h"
#include "records/TransponderEdits.h"
#include "texts/CLanguageHandler.h"
#include "views/CTransponderDlg.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

CUsbManuell::CUsbManuell(CLanguageHandler* lang, CTransponderDlg* view, CGridCtrl* grid, QWidget* parent)
    : QDialog(parent), m_lang(lang), m_view(view), m_grid(grid)
{
    setObjectName(QStringLiteral("103"));
    setWindowTitle(Text(241));
    setWindowIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));

    m_label = new QLabel(Text(21), this);
    m_label->setObjectName(QStringLiteral("1094"));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("1093"));
    m_edit->setMaxLength(32);
    m_label->setBuddy(m_edit);

    m_ok = new QPushButton(Text(242), this);
    m_ok->setObjectName(QStringLiteral("1"));
    m_cancel = new QPushButton(m_lang ? m_lang->GetLangItem(166) : QString(), this);
    m_cancel->setObjectName(QStringLiteral("2"));
    if (m_cancel->text().isEmpty())
        m_cancel->setText(QStringLiteral("Cancel"));
    // No default button: Enter belongs to the number, never to closing the dialog.
    for (QPushButton* b : {m_ok, m_cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_ok, QDialogButtonBox::ActionRole);
    buttons->addButton(m_cancel, QDialogButtonBox::RejectRole);
    connect(m_ok, &QPushButton::clicked, this, &CUsbManuell::Enter);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
    setMinimumWidth(320);
    m_edit->setFocus();
}

QString CUsbManuell::Text(uint32_t number) const
{
    return m_lang ? m_lang->GetLangItem(number) : QString();
}

void CUsbManuell::keyPressEvent(QKeyEvent* event)
{
    // Caught before the dialog's own handling, which would close it on Enter.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Enter();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CUsbManuell::Enter()
{
    const QString number = TransponderEdits::ValidNumber(m_edit->text());
    if (number.isEmpty()) {
        Prompt().ShowMessage(Text(244));
        TakeFocusBack();
        return;
    }
    CStoreDB_Handler* store = m_view->Store();
    if (store->Get_Ptr_To_tblTransponder()->IndexOfNumber(number) >= 0) {
        m_view->SelectNumber(number);
        Prompt().ShowMessage(Text(246));
    } else if (const auto added = m_view->AddEnteredNumber(number); added == TransponderEdits::AddResult::Added) {
        Prompt().ShowMessage(Text(245));
    } else if (added == TransponderEdits::AddResult::Exists) {
        Prompt().ShowMessage(Text(246));   // another station had entered it
    } else {
        // The store has said why; the number stays for another try.
        TakeFocusBack();
        return;
    }
    m_edit->clear();
    TakeFocusBack();
}

void CUsbManuell::TakeFocusBack()
{
    // The confirmation window had the keyboard; the reader's next number must land here again.
    activateWindow();
    m_edit->setFocus();
}
