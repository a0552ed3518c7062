// Model number decisions and the mapping between the link's interface type and the models.
#include "readers/ReaderModel.h"
#include "support/TestEnv.h"

#include <QtTest>

class TestReaderModel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { VmTest::IsolateHome(); }

    void decide_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("previous");
        QTest::addColumn<int>("expected");
        QTest::newRow("Cedar") << "Cedar" << 3 << 0;
        QTest::newRow("Maple") << "Maple" << 0 << 1;
        QTest::newRow("Birch") << "Birch" << 0 << 2;
        QTest::newRow("Alder") << "Alder" << 0 << 3;
        QTest::newRow("Rowan") << "Rowan" << 0 << 4;
        QTest::newRow("table cell text") << "Reader type: Maple" << 2 << 1;
        QTest::newRow("unknown keeps previous") << "Oak" << 4 << 4;
        QTest::newRow("empty keeps previous") << "" << 1 << 1;
        QTest::newRow("case matters") << "cedar" << 2 << 2;
        // A text naming two models: Birch is tested before Cedar, Rowan before Alder.
        QTest::newRow("Birch before Cedar") << "Cedar/Birch" << 0 << 2;
        QTest::newRow("Maple before Rowan") << "Rowan Maple" << 0 << 1;
        QTest::newRow("Rowan before Alder") << "Alder Rowan" << 0 << 4;
    }
    void decide()
    {
        QFETCH(QString, type);
        QFETCH(int, previous);
        QFETCH(int, expected);
        QCOMPARE(ReaderModel::Decide(type, previous), expected);
    }

    void interfaceMapping_data()
    {
        QTest::addColumn<int>("interfaceType");
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("deskIdentification");
        QTest::newRow("0 Birch") << 0 << 2 << "Birch" << "KTMQ32";
        QTest::newRow("1 Cedar") << 1 << 0 << "Cedar" << "";
        QTest::newRow("2 Maple") << 2 << 1 << "Maple" << "";
        QTest::newRow("3 Alder") << 3 << 3 << "Alder" << "KTMQ31";
        QTest::newRow("4 Rowan") << 4 << 4 << "Rowan" << "";
        QTest::newRow("-1 none") << -1 << -1 << "" << "";
    }
    void interfaceMapping()
    {
        QFETCH(int, interfaceType);
        QFETCH(int, model);
        QFETCH(QString, text);
        QFETCH(QString, deskIdentification);
        QCOMPARE(ReaderModel::FromInterfaceType(interfaceType), model);
        QCOMPARE(ReaderModel::TypeTextOfInterface(interfaceType), text);
        QCOMPARE(ReaderModel::DeskReaderIdentification(interfaceType), deskIdentification);
        if (model >= 0) {
            QCOMPARE(ReaderModel::ToInterfaceType(model), interfaceType);
            QCOMPARE(ReaderModel::Decide(text, -1), model);
        }
    }

    void busReaders()
    {
        QVERIFY(ReaderModel::IsBusReaderType("Cedar"));
        QVERIFY(ReaderModel::IsBusReaderType("Maple"));
        QVERIFY(ReaderModel::IsBusReaderType("Rowan"));
        QVERIFY(!ReaderModel::IsBusReaderType("Birch"));
        QVERIFY(!ReaderModel::IsBusReaderType("Alder"));
        QVERIFY(!ReaderModel::IsBusReaderType("---"));
        QCOMPARE(ReaderModel::LastEventNumber(ReaderModel::Cedar), 4999);
        QCOMPARE(ReaderModel::LastEventNumber(ReaderModel::Maple), 2899);
        QCOMPARE(ReaderModel::LastEventNumber(ReaderModel::Rowan), 3999);
        QCOMPARE(ReaderModel::LastEventNumber(ReaderModel::Birch), -1);
    }
};

QTEST_GUILESS_MAIN(TestReaderModel)
#include "tst_ReaderModel.moc"
