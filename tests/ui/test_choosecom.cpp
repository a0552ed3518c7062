#include "app/CChooseCOMDlg.h"
#include "app/Settings.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

class TestChooseCom : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { VmTest::IsolateHome(); }

    void listIsSortedAsText_data()
    {
        QTest::addColumn<std::vector<uint32_t>>("ports");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("ten before two") << std::vector<uint32_t>{2, 10, 1} << QStringList{"COM1", "COM10", "COM2"};
        QTest::newRow("large numbers") << std::vector<uint32_t>{256, 3, 25} << QStringList{"COM25", "COM256", "COM3"};
        QTest::newRow("none") << std::vector<uint32_t>{} << QStringList{};
    }
    void listIsSortedAsText()
    {
        QFETCH(std::vector<uint32_t>, ports);
        QFETCH(QStringList, shown);
        CChooseCOMDlg dlg(nullptr, ports);
        auto* combo = dlg.findChild<QComboBox*>("1087");
        QVERIFY(combo);
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QCOMPARE(items, shown);
        QCOMPARE(combo->currentIndex(), shown.isEmpty() ? -1 : 0);
    }

    void buttons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("connectNow");
        QTest::newRow("OK stores only") << "okButton" << int(QDialog::Accepted) << 0;
        QTest::newRow("connect now") << "1088" << CChooseCOMDlg::kConnectNowResult << 1;
    }
    void buttons()
    {
        QFETCH(QString, button);
        QFETCH(int, result);
        QFETCH(int, connectNow);
        Settings::WriteAktCom(7);
        CChooseCOMDlg dlg(nullptr, {4, 12});
        dlg.findChild<QComboBox*>("1087")->setCurrentIndex(1);   // "COM4"
        dlg.findChild<QPushButton*>(button)->click();
        QCOMPARE(dlg.result(), result);
        QCOMPARE(dlg.ConnectNow(), connectNow);
        QCOMPARE(Settings::ReadAktCom(), 4u);
    }

    void emptyListStoresNothing()
    {
        Settings::WriteAktCom(9);
        CChooseCOMDlg dlg(nullptr, {});
        dlg.findChild<QPushButton*>("okButton")->click();
        QCOMPARE(Settings::ReadAktCom(), 9u);
    }
};

QTEST_MAIN(TestChooseCom)
#include "test_choosecom.moc"
