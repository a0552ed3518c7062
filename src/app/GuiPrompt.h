#pragma once
// The prompt of the running program: real message boxes and the self-closing message
// window. Every call may come from any thread; a call from a worker thread is carried
// over to the GUI thread and waits there for the user's answer, because widgets live on
// the GUI thread only. (A worker must therefore never hold something the GUI thread is
// waiting for while it asks.)
#include "base/Prompt.h"
#include "base/ThreadInbox.h"

#include <QMessageBox>
#include <QObject>

class GuiPrompt : public QObject, public IPrompt {
    Q_OBJECT
public:
    // Create on the GUI thread, after the QApplication. Installs itself as the prompt in
    // force and restores the logging stand-in when destroyed.
    explicit GuiPrompt(QObject* parent = nullptr);
    ~GuiPrompt() override;

    void Message(const QString& text, const QString& caption, PromptIcon icon) override;
    bool Question(const QString& text, const QString& caption) override;
    bool QuestionDefaultNo(const QString& text, const QString& caption) override;
    void ShowMessage(const QString& text) override;
    QString ChooseFile(const FileRequest& request) override;
    QString Password(const QString& text, const QString& caption) override;

    static QMessageBox::Icon ToIcon(PromptIcon icon);

private:
    bool Ask(const QString& text, const QString& caption, QMessageBox::StandardButton byDefault);
    // Runs the call here when on the GUI thread, else there, waiting for it to finish.
    template <typename F> void OnGuiThread(F&& call);

    CThreadInbox& m_inbox = CThreadInbox::OfThisThread();   // questions from workers, answered here
};
