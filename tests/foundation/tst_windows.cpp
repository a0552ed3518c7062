// The GUI prompt and the two small shared windows: message boxes asked from a worker thread
// are shown on the GUI thread and answered there, the confirmation window closes itself, and
// the progress window lives on its own until it is closed.
#include "app/GuiPrompt.h"
#include "readers/CDataProgressDlg.h"
#include "readers/CShowMessage.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <functional>
#include <thread>

namespace {

// Plays the user: whenever a modal window is up, notes what it shows and presses a button.
class User : public QObject {
public:
    explicit User(QMessageBox::StandardButton press)
    {
        connect(&m_timer, &QTimer::timeout, this, [this, press] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* w = qobject_cast<CShowMessage*>(modal))
                texts << w->Text();
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return;
            onGuiThread = box->thread() == qApp->thread();
            texts << box->text();
            icons << box->icon();
            box->button(box->button(press) ? press : QMessageBox::Ok)->click();
        });
        m_timer.start(10);
    }
    QStringList texts;
    QList<QMessageBox::Icon> icons;
    bool onGuiThread = false;

private:
    QTimer m_timer;
};

// Runs work on a plain worker thread (std::thread, so a sanitizer build follows it) and keeps
// the GUI thread's event loop going until it is done.
void OnWorker(const std::function<void()>& work)
{
    std::atomic<bool> done{false};
    std::thread t([&] {
        work();
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
    t.join();
}

} // namespace

class TestWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { VmTest::IsolateHome(); }

    void boxFromWorker_data()
    {
        QTest::addColumn<int>("icon");    // -1: a Yes/No question
        QTest::addColumn<int>("press");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("answer");
        QTest::newRow("question, Yes") << -1 << int(QMessageBox::Yes) << int(QMessageBox::Question) << 1;
        QTest::newRow("question, No") << -1 << int(QMessageBox::No) << int(QMessageBox::Question) << 0;
        QTest::newRow("error") << int(PromptIcon::Error) << 0 << int(QMessageBox::Critical) << -1;
    }
    void boxFromWorker()
    {
        QFETCH(int, icon);
        QFETCH(int, press);
        GuiPrompt prompt;
        User user(static_cast<QMessageBox::StandardButton>(press));
        std::atomic<int> result{-1};
        OnWorker([&] {
            if (icon < 0)
                result = Prompt().Question(QStringLiteral("Go on?"), QStringLiteral("Cap")) ? 1 : 0;
            else
                Prompt().Message(QStringLiteral("Go on?"), QStringLiteral("Cap"), static_cast<PromptIcon>(icon));
        });
        QTEST(result.load(), "answer");
        QCOMPARE(user.texts, QStringList{QStringLiteral("Go on?")});
        QTEST(int(user.icons.value(0)), "shown");
        QVERIFY(user.onGuiThread);
    }

    void showMessageClosesItself()
    {
        GuiPrompt prompt;
        User user(QMessageBox::NoButton);   // watches only: nobody presses anything
        OnWorker([] { Prompt().ShowMessage(QStringLiteral("3 events")); });
        QCOMPARE(user.texts.value(0), QStringLiteral("3 events"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void progressWindowDeletesItself()
    {
        CLanguageHandler lang(1, QStringLiteral("/nonexistent/"));
        QPointer<CDataProgressDlg> dlg = new CDataProgressDlg(&lang);
        QVERIFY(dlg->isVisible() && !dlg->isModal() && !dlg->parentWidget());
        dlg->hide();   // hidden at the end of the operation, then destroyed
        dlg->Destroy();
        QPointer<CDataProgressDlg> closedByUser = new CDataProgressDlg(&lang);
        closedByUser->close();
        QTRY_VERIFY(dlg.isNull() && closedByUser.isNull());
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
