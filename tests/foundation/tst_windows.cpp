// The GUI prompt and the two small shared windows: message boxes asked from a worker thread
// are shown on the GUI thread and answered there, the confirmation window closes itself, and
// the progress window lives on its own until it is closed.
#include "app/GuiPrompt.h"
#include "app/Paths.h"
#include "readers/CDataProgressDlg.h"
#include "readers/CShowMessage.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <functional>
#include <thread>

namespace {

// Plays the user: whenever a message box is up, notes what it shows and presses a button.
class BoxClicker : public QObject {
public:
    explicit BoxClicker(QMessageBox::StandardButton press) : m_press(press)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts << box->text();
            captions << box->windowTitle();
            icons << box->icon();
            onGuiThread = QThread::currentThread() == qApp->thread();
            box->button(box->button(m_press) ? m_press : QMessageBox::Ok)->click();
        });
        m_timer.start(10);
    }
    QStringList texts;
    QStringList captions;
    QList<QMessageBox::Icon> icons;
    bool onGuiThread = false;

private:
    QMessageBox::StandardButton m_press;
    QTimer m_timer;
};

// A plain worker thread that says when it is done (std::thread, so a sanitizer build follows it).
class Worker {
public:
    explicit Worker(std::function<void()> work)
        : m_thread([this, work = std::move(work)] {
              work();
              m_done = true;
          })
    {
    }
    ~Worker() { m_thread.join(); }
    bool Done() const { return m_done.load(); }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

} // namespace

class TestWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { VmTest::IsolateHome(); }

    void questionFromWorker_data()
    {
        QTest::addColumn<int>("press");
        QTest::addColumn<bool>("answer");
        QTest::newRow("Yes") << int(QMessageBox::Yes) << true;
        QTest::newRow("No") << int(QMessageBox::No) << false;
    }
    void questionFromWorker()
    {
        QFETCH(int, press);
        QFETCH(bool, answer);
        GuiPrompt prompt;
        QCOMPARE(&Prompt(), static_cast<IPrompt*>(&prompt));
        BoxClicker user(static_cast<QMessageBox::StandardButton>(press));
        std::atomic<int> result{-1};
        {
            Worker worker([&] { result = Prompt().Question(QStringLiteral("Go on?"), QStringLiteral("Cap")) ? 1 : 0; });
            QTRY_VERIFY(worker.Done());
        }
        QCOMPARE(result.load(), answer ? 1 : 0);
        QCOMPARE(user.texts, QStringList{QStringLiteral("Go on?")});
        QCOMPARE(user.captions, QStringList{QStringLiteral("Cap")});
        QCOMPARE(user.icons.value(0), QMessageBox::Question);
        QVERIFY(user.onGuiThread);
    }

    void messageIcons_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("shown");
        QTest::newRow("error") << int(PromptIcon::Error) << int(QMessageBox::Critical);
        QTest::newRow("warning") << int(PromptIcon::Warning) << int(QMessageBox::Warning);
        QTest::newRow("exclamation") << int(PromptIcon::Exclamation) << int(QMessageBox::Warning);
        QTest::newRow("information") << int(PromptIcon::Information) << int(QMessageBox::Information);
    }
    void messageIcons()
    {
        QFETCH(int, icon);
        QFETCH(int, shown);
        GuiPrompt prompt;
        BoxClicker user(QMessageBox::Ok);
        SetCaptionProvider([] { return QStringLiteral("Velmora Manager"); });
        // Asked on the GUI thread itself and from a worker: the same box either way.
        Prompt().Message(QStringLiteral("one"), PromptCaption(), static_cast<PromptIcon>(icon));
        {
            Worker worker([&] { Prompt().Message(QStringLiteral("two"), PromptCaption(), static_cast<PromptIcon>(icon)); });
            QTRY_VERIFY(worker.Done());
        }
        SetCaptionProvider(nullptr);
        QCOMPARE(user.texts, (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
        QCOMPARE(user.captions.value(1), QStringLiteral("Velmora Manager"));
        QCOMPARE(int(user.icons.value(0)), shown);
        QCOMPARE(int(user.icons.value(1)), shown);
    }

    void promptRestoresStandIn()
    {
        IPrompt* before = &Prompt();
        {
            GuiPrompt prompt;
            QVERIFY(&Prompt() == &prompt);
        }
        QVERIFY(&Prompt() == before);
    }

    void showMessageClosesItself()
    {
        CShowMessage window(QStringLiteral("Gespeichert"));
        auto* label = window.findChild<QLabel*>(QStringLiteral("label1032"));
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("Gespeichert"));
        QVERIFY(label->font().bold());
        QCOMPARE(label->font().pixelSize(), 20);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 192, 0));
        QVERIFY(window.isModal());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(window.exec(), int(QDialog::Accepted));   // nobody presses anything
        QVERIFY2(clock.elapsed() >= CShowMessage::kTimerMs - 50, qPrintable(QString::number(clock.elapsed())));
    }

    void showMessageFromWorker()
    {
        GuiPrompt prompt;
        QString seen;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (auto* w = qobject_cast<CShowMessage*>(QApplication::activeModalWidget()))
                seen = w->Text();
        });
        watch.start(20);
        {
            Worker worker([] { Prompt().ShowMessage(QStringLiteral("3 events")); });
            QTRY_VERIFY_WITH_TIMEOUT(worker.Done(), 5000);
        }
        QCOMPARE(seen, QStringLiteral("3 events"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void progressWindow()
    {
        CLanguageHandler lang(1, QStringLiteral("/nonexistent/"));
        QPointer<CDataProgressDlg> dlg = new CDataProgressDlg(&lang);
        QVERIFY(dlg->isVisible());
        QVERIFY(!dlg->isModal());
        QVERIFY(!dlg->parentWidget());
        QCOMPARE(dlg->windowTitle(), lang.GetLangItem(115));
        QVERIFY(!dlg->windowTitle().isEmpty());
        dlg->SetRange(0, 12);
        dlg->SetPos(5);
        dlg->SetText(QStringLiteral("\nReading events ..."));
        auto* bar = dlg->findChild<QProgressBar*>(QStringLiteral("progress1034"));
        auto* label = dlg->findChild<QLabel*>(QStringLiteral("label1032"));
        QVERIFY(bar && label);
        QCOMPARE(bar->maximum(), 12);
        QCOMPARE(bar->value(), 5);
        QCOMPARE(label->text(), QStringLiteral("\nReading events ..."));
        // Hidden at the end of the operation, then destroyed: it deletes itself.
        dlg->hide();
        dlg->Destroy();
        QTRY_VERIFY(dlg.isNull());

        QPointer<CDataProgressDlg> closedByUser = new CDataProgressDlg(&lang);
        closedByUser->close();
        QTRY_VERIFY(closedByUser.isNull());
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
