#include "app/GuiPrompt.h"

#include "readers/CShowMessage.h"

#include <QApplication>
#include <QPushButton>
#include <QThread>

GuiPrompt::GuiPrompt(QObject* parent) : QObject(parent)
{
    SetPrompt(this);
}

GuiPrompt::~GuiPrompt()
{
    if (&Prompt() == this)
        SetPrompt(nullptr);
}

template <typename F> void GuiPrompt::OnGuiThread(F&& call)
{
    if (QThread::currentThread() == thread())
        call();
    else
        QMetaObject::invokeMethod(this, std::forward<F>(call), Qt::BlockingQueuedConnection);
}

QMessageBox::Icon GuiPrompt::ToIcon(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Information: return QMessageBox::Information;
    case PromptIcon::Warning:
    case PromptIcon::Exclamation: return QMessageBox::Warning;   // one and the same sign here
    case PromptIcon::Error: return QMessageBox::Critical;
    case PromptIcon::Question: return QMessageBox::Question;
    case PromptIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

void GuiPrompt::Message(const QString& text, const QString& caption, PromptIcon icon)
{
    OnGuiThread([&] {
        QMessageBox box(ToIcon(icon), caption, text, QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    });
}

bool GuiPrompt::Question(const QString& text, const QString& caption)
{
    bool yes = false;
    OnGuiThread([&] {
        QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                        QApplication::activeWindow());
        box.setDefaultButton(QMessageBox::Yes);
        yes = box.exec() == QMessageBox::Yes;
    });
    return yes;
}

void GuiPrompt::ShowMessage(const QString& text)
{
    OnGuiThread([&] {
        CShowMessage window(text, QApplication::activeWindow());
        window.exec();
    });
}
