// Settings: the port bound with its write-back, and value names that differ only in case
// being one value.
#include "base/Settings.h"
#include "support/TestEnv.h"

#include <QSettings>
#include <QtTest>

namespace {
QSettings Raw()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brimlow"),
                     QStringLiteral("Vendrik Manager AIO"));
}
} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { VmTest::IsolateHome(); }
    void init()
    {
        QSettings s = Raw();
        s.clear();
        s.sync();
    }

    void portBound_data()
    {
        QTest::addColumn<QString>("writtenAs");
        QTest::addColumn<uint32_t>("stored");
        QTest::addColumn<uint32_t>("read");
        QTest::newRow("0 is replaced") << "nAktCOM" << 0u << 256u;
        QTest::newRow("1 is kept") << "nAktCOM" << 1u << 1u;
        QTest::newRow("port dialog spelling") << "nAktCom" << 5u << 5u;
    }
    void portBound()
    {
        QFETCH(QString, writtenAs);
        QFETCH(uint32_t, stored);
        QFETCH(uint32_t, read);
        CSettingsStore().WriteDword(stored, 1, kSettingsKey, writtenAs);
        QCOMPARE(Settings::ReadAktCom(), read);
        // The replacement is written back: the stored value now reads the same without bounds.
        uint32_t raw = 0;
        QCOMPARE(CSettingsStore().ReadDword(raw, 1, kSettingsKey, QStringLiteral("nAktCOM")), 1);
        QCOMPARE(raw, read);
        QCOMPARE(Raw().childKeys().size(), 1);
    }

    void caseVariantsAreOneValue()
    {
        Settings::WriteAktCom(7);   // written as "nAktCom"
        CSettingsStore().WriteDword(9, 1, kSettingsKey, QStringLiteral("nAktCOM"));
        QCOMPARE(Raw().childKeys().size(), 1);
        QCOMPARE(Settings::ReadAktCom(), 9u);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
