#include "readers/CDataProgressDlg.h"

#include "texts/CLanguageHandler.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

CDataProgressDlg::CDataProgressDlg(CLanguageHandler* lang) : QDialog(nullptr)
{
    setObjectName(QStringLiteral("dataProgressDlg"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(lang ? lang->GetLangItem(115) : QString());

    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("label1032"));
    m_label->setAlignment(Qt::AlignCenter);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress1034"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_progress);
    resize(380, 140);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}

void CDataProgressDlg::SetText(const QString& text) { m_label->setText(text); }
void CDataProgressDlg::SetRange(int lower, int upper) { m_progress->setRange(lower, upper); }
void CDataProgressDlg::SetPos(int pos) { m_progress->setValue(pos); }
QString CDataProgressDlg::Text() const { return m_label->text(); }
int CDataProgressDlg::Pos() const { return m_progress->value(); }

void CDataProgressDlg::Destroy() { close(); }
