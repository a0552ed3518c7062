#include "readers/CShowMessage.h"

#include "base/Prompt.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

CShowMessage::CShowMessage(const QString& text, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("showMessage"));
    setModal(true);
    setWindowTitle(PromptCaption());

    m_label = new QLabel(text, this);
    m_label->setObjectName(QStringLiteral("label1032"));
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setWordWrap(true);
    QFont font = m_label->font();
    font.setBold(true);
    font.setPixelSize(20);
    m_label->setFont(font);
    QPalette pal = m_label->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 192, 0));
    m_label->setPalette(pal);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(m_label);
    setMinimumWidth(360);
}

QString CShowMessage::Text() const { return m_label->text(); }

void CShowMessage::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The clock starts when the window appears, so the user always gets the full two seconds.
    if (!m_timerStarted) {
        m_timerStarted = true;
        QTimer::singleShot(kTimerMs, Qt::PreciseTimer, this, &QDialog::accept);
    }
}
