#include "app/CAboutDlg.h"

#include "texts/CLanguageHandler.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimerEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Every text of the dialog is black on white, like the dialog itself.
QLabel* MakeStatic(QWidget* parent, const QString& objectName, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setAutoFillBackground(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(pal);
    return label;
}

// A link opens through the desktop (mail program or browser) and shows a hand cursor.
QLabel* MakeLink(QWidget* parent, const QString& objectName, const QString& url, const QString& shown)
{
    auto* label = MakeStatic(parent, objectName,
                             QStringLiteral("<a href=\"%1\" style=\"color:#000000;\">%2</a>")
                                 .arg(url.toHtmlEscaped(), shown.toHtmlEscaped()));
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(false);
    label->setCursor(Qt::PointingHandCursor);
    QObject::connect(label, &QLabel::linkActivated,
                     [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    return label;
}

} // namespace

QString CAboutDlg::MailAddress() { return QStringLiteral("mailto:info@velmora.example"); }
QString CAboutDlg::WebAddress() { return QStringLiteral("https://www.velmora.example"); }

CAboutDlg::CAboutDlg(CLanguageHandler* lang, bool splash, QWidget* parent)
    : QDialog(parent), m_lang(lang), m_splash(splash)
{
    setObjectName(QStringLiteral("aboutDlg"));
    const QString title = m_lang ? m_lang->GetLangItem(74) : QString();
    setWindowTitle(title);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    if (splash)
        setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);

    auto* icon = MakeStatic(this, QStringLiteral("1026"), QString());
    icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48));

    // Text 82 carries the program name and version itself; the maker's line goes below it.
    auto* text = MakeStatic(this, QStringLiteral("1021"), m_lang ? m_lang->GetLangItem(82) : QString());
    text->setWordWrap(true);
    QFont textFont = text->font();
    textFont.setPointSizeF(textFont.pointSizeF() * 1.1);
    text->setFont(textFont);
    auto* maker = MakeStatic(this, QStringLiteral("1022"), QStringLiteral("\u00A9 Brimlow"));
    auto* spacer = MakeStatic(this, QStringLiteral("1023"), QString());

    auto* mail = MakeLink(this, QStringLiteral("1090"), MailAddress(),
                          MailAddress().mid(int(qstrlen("mailto:"))));
    auto* web = MakeLink(this, QStringLiteral("1091"), WebAddress(), WebAddress());

    auto* textColumn = new QVBoxLayout;
    textColumn->addWidget(text);
    textColumn->addWidget(maker);
    textColumn->addWidget(spacer);
    textColumn->addSpacing(8);
    textColumn->addWidget(mail);
    textColumn->addWidget(web);
    textColumn->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(textColumn, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 12);
    layout->addLayout(top);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    layout->addLayout(buttons);
    m_ok->setVisible(!splash);

    setMinimumWidth(380);
}

void CAboutDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The splash closes itself; its clock starts when it is on the screen.
    if (m_splash && m_timer == 0)
        m_timer = startTimer(kSplashMs);
}

void CAboutDlg::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer) {
        killTimer(m_timer);
        m_timer = 0;
        accept();
        return;
    }
    QDialog::timerEvent(event);
}
