#include "app/GuiPrompt.h"

#include "readers/CShowMessage.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QThread>
#include <future>

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
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    // A blocking queued call; the hand-back goes through a promise rather than Qt's own
    // semaphore so that the thread sanitizer sees the worker wait for the GUI thread.
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    QMetaObject::invokeMethod(
        this, [&call, &done] {
            call();
            done.set_value();
        },
        Qt::QueuedConnection);
    finished.wait();
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

QString GuiPrompt::ChooseFile(const FileRequest& request)
{
    QString path;
    OnGuiThread([&] {
        const QString start = request.fileName.isEmpty() ? request.folder : QDir(request.folder).filePath(request.fileName);
        path = request.save ? QFileDialog::getSaveFileName(QApplication::activeWindow(), request.title, start, request.filter)
                            : QFileDialog::getOpenFileName(QApplication::activeWindow(), request.title, start, request.filter);
    });
    return path;
}
