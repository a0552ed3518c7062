// The About dialog (a splash at start that closes itself, or waiting for OK) and the port list
// of the port choice.
#include "app/CAboutDlg.h"
#include "app/CChooseCOMDlg.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestDialogs : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;

private slots:
    void initTestCase()
    {
        const QString dir = VmTest::IsolateHome() + "/SysFiles/";
        QDir().mkpath(dir);
        QFile f(dir + "texts_en.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("74\tVelmoro Manager\n82\tAccess control made simple\n");
        f.close();
        m_lang = std::make_unique<CLanguageHandler>(1, dir);
    }

    void aboutAsSplashClosesItself()
    {
        CAboutDlg dlg(m_lang.get(), true);
        dlg.show();
        QVERIFY(!dlg.findChild<QPushButton*>("okButton")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 3 * CAboutDlg::kSplashMs);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void aboutWaitsForOk()
    {
        CAboutDlg dlg(m_lang.get(), false);
        dlg.show();
        QCOMPARE(dlg.findChild<QLabel*>("1021")->text(), QString("Access control made simple"));
        dlg.findChild<QPushButton*>("okButton")->click();
        QVERIFY(!dlg.isVisible());
    }

    void portListIsSortedAsText_data()
    {
        QTest::addColumn<std::vector<uint32_t>>("ports");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("ten before two") << std::vector<uint32_t>{2, 10, 1} << QStringList{"COM1", "COM10", "COM2"};
        QTest::newRow("none") << std::vector<uint32_t>{} << QStringList{};
    }
    void portListIsSortedAsText()
    {
        QFETCH(std::vector<uint32_t>, ports);
        CChooseCOMDlg dlg(nullptr, ports);
        auto* combo = dlg.findChild<QComboBox*>("1087");
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QTEST(items, "shown");
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
