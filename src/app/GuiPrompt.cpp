#include "app/GuiPrompt.h"

#include "readers/CShowMessage.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

GuiPrompt::GuiPrompt(QObject* parent) : QObject(parent)
{
    SetPrompt(this);
}

GuiPrompt::~GuiPrompt()
{
    if (&Prompt() == this)
        SetPrompt(nullptr);
    m_inbox.Discard(this);
}

template <typename F> void GuiPrompt::OnGuiThread(F&& call)
{
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    // A blocking queued call. Both ways go through standard mutexes (the inbox there, the
    // hand-over's condition back) rather than Qt's event queue and semaphore, so that the
    // thread sanitizer sees the worker hand its question over and wait for the answer.
    // The worker may give up before the GUI thread has begun the call (the program is
    // closing and its event loop may never run again); once begun, the call runs to its end
    // and the worker waits for it, because the call refers to the worker's own variables.
    struct Handover {
        std::mutex mutex;
        std::condition_variable cv;
        bool begun = false, done = false, abandoned = false;
    };
    auto h = std::make_shared<Handover>();
    if (!m_inbox.IsOpen())
        return;   // no pipe to wake the GUI thread: the prompt counts as unanswered (No)
    m_inbox.Post(this, [&call, h] {
        {
            std::lock_guard<std::mutex> lock(h->mutex);
            if (h->abandoned)
                return;
            h->begun = true;
        }
        call();
        std::lock_guard<std::mutex> lock(h->mutex);
        h->done = true;
        h->cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(h->mutex);
    while (!h->done) {
        if (!h->begun && PromptAbandoned()) {
            h->abandoned = true;
            return;
        }
        h->cv.wait_for(lock, std::chrono::milliseconds(20));
    }
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
    return Ask(text, caption, QMessageBox::Yes);
}

bool GuiPrompt::QuestionDefaultNo(const QString& text, const QString& caption)
{
    return Ask(text, caption, QMessageBox::No);
}

bool GuiPrompt::Ask(const QString& text, const QString& caption, QMessageBox::StandardButton byDefault)
{
    bool yes = false;
    OnGuiThread([&] {
        QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                        QApplication::activeWindow());
        box.setDefaultButton(byDefault);
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

QString GuiPrompt::Password(const QString& text, const QString& caption)
{
    QString password;
    OnGuiThread([&] {
        bool ok = false;
        const QString typed =
            QInputDialog::getText(QApplication::activeWindow(), caption, text, QLineEdit::Password, QString(), &ok);
        // A null text tells the caller the user cancelled; an empty password is a valid answer.
        password = ok ? (typed.isNull() ? QStringLiteral("") : typed) : QString();
    });
    return password;
}
