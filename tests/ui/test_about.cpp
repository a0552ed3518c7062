#include "app/CAboutDlg.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTemporaryDir>
#include <QFile>
#include <QElapsedTimer>

class TestAbout : public QObject {
    Q_OBJECT
    QString m_textDir;
private slots:
    void initTestCase()
    {
        const QString home = VmTest::IsolateHome();
        m_textDir = home + "/SysFiles/";
        QDir().mkpath(m_textDir);
        QFile f(m_textDir + "texts_en.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("74\tVelmoro Manager\n82\tAccess control made simple\n");
    }

    void splashHidesOkAndClosesItself()
    {
        CLanguageHandler lang(1, m_textDir);
        CAboutDlg dlg(&lang, true);
        dlg.show();
        auto* ok = dlg.findChild<QPushButton*>("okButton");
        QVERIFY(ok);
        QVERIFY(!ok->isVisible());
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 5000);
        QVERIFY(clock.elapsed() >= CAboutDlg::kSplashMs - 100);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void normalModeWaitsForOk()
    {
        CLanguageHandler lang(1, m_textDir);
        CAboutDlg dlg(&lang, false);
        dlg.show();
        QCOMPARE(dlg.findChild<QLabel*>("1021")->text(), QString("Access control made simple"));
        auto* ok = dlg.findChild<QPushButton*>("okButton");
        QVERIFY(ok->isVisible());
        QVERIFY(dlg.isVisible());
        ok->click();
        QVERIFY(!dlg.isVisible());
        // both links lead somewhere and are drawn black on white
        for (const char* id : {"1090", "1091"}) {
            auto* link = dlg.findChild<QLabel*>(id);
            QVERIFY(link);
            QVERIFY(link->text().contains("href"));
            QCOMPARE(link->palette().color(QPalette::Window), QColor(Qt::white));
        }
    }
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
