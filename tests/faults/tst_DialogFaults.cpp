// The parameter dialogs and the send dialog as windows, opened on a reader that is silent or
// noisy: what they offer follows from whether the reader answered, and closing them gives the
// monitor its flags back.
#include "params/CParamBirchDlg.h"
#include "params/CParamMaple_CedarDlg.h"
#include "params/CSendBirchDlg.h"
#include "faults/FaultTable.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <optional>
#include <QtTest>

using ParamTest::T;

namespace {
const QString kMaster = QStringLiteral("00000000M1");
}

class TestDialogFaults : public QObject, VmTest::FaultTable {
    Q_OBJECT
    std::optional<Sim::Model> m_model;

    // A healthy reader of the model at the port and an empty store.
    void Online(Sim::Model model)
    {
        if (m_model != model) {
            m_model = model;
            QVERIFY(m_rig.Connect(model, m_lang.get()));
        }
        VmTest::HealLine(Sim());
        ParamTest::ClearStore(*m_store);
    }
    void Faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("answers");
        QTest::newRow("silent") << "silent" << false;
        QTest::newRow("noisy") << "noisy" << true;
    }
public:
    TestDialogFaults() : FaultTable(44) {}

private slots:
    void initTestCase() { QVERIFY(Open()); }

    void mapleCedarDialog_data() { Faults_data(); }
    void mapleCedarDialog()
    {
        QFETCH(QString, fault);
        QFETCH(bool, answers);
        Online(Sim::Model::Cedar);
        const structLeser reader = ParamTest::AddReader(*m_store, QStringLiteral("Cedar"),
                                                        QString::fromStdString(Sim().DeviceId()), QStringLiteral("04"),
                                                        QStringLiteral("4"));
        ScriptedPrompt prompt;
        QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        {
            CParamMaple_CedarDlg dlg(Ctx(), reader);
            QCOMPARE(dlg.findChild<QPushButton*>(QStringLiteral("1"))->isEnabled(), answers);
            QVERIFY(dlg.findChild<QPushButton*>(QStringLiteral("3"))->isEnabled());   // the record can always be stored
        }
        Recovered(Flags::HandedBack, !answers, &prompt);
    }

    void birchDialog_data() { Faults_data(); }
    void birchDialog()
    {
        QFETCH(QString, fault);
        QFETCH(bool, answers);
        Online(Sim::Model::Birch);
        Sim().SetMaster(kMaster.toStdString());
        const structLeser reader = ParamTest::AddReader(*m_store, QStringLiteral("Birch"), QStringLiteral("---"),
                                                        QStringLiteral("0;") + kMaster, QStringLiteral("2"));
        ScriptedPrompt prompt;
        QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        {
            CParamBirchDlg dlg(Ctx(), reader);
            QCOMPARE(Link().m_nPause.load(), 1);   // the dialog keeps the monitor from reading for it
            QCOMPARE(dlg.findChild<QPushButton*>(QStringLiteral("3"))->isEnabled(), answers);
            QCOMPARE(dlg.findChild<QPushButton*>(QStringLiteral("1019"))->isEnabled(), answers);
        }
        Recovered(Flags::HandedBack);
    }

    void sendDialog_data() { Faults_data(); }
    void sendDialog()
    {
        QFETCH(QString, fault);
        QFETCH(bool, answers);
        Online(Sim::Model::Birch);
        Sim().SetTransponders({kMaster.toStdString(), "00000000A1"});
        const structLeser reader = ParamTest::AddReader(*m_store, QStringLiteral("Birch"), QStringLiteral("---"),
                                                        QStringLiteral("1"), QStringLiteral("2"));
        ScriptedPrompt prompt;
        QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        {
            CSendBirchDlg dlg(Ctx(), 1, reader.ID);
            auto* status = dlg.findChild<QLabel*>(QStringLiteral("1032"));
            auto* fromReader = dlg.findChild<QTreeWidget*>(QStringLiteral("1073"));
            QTRY_COMPARE_WITH_TIMEOUT(status->text(), T(answers ? 182 : 141), VmTest::kOperationBoundMs);
            QCOMPARE(fromReader->topLevelItemCount(), answers ? 1 : 0);
            QCOMPARE(prompt.Texts(), answers ? QStringList() : QStringList{T(141)});
        }
        Recovered(Flags::HandedBack);
    }
};

QTEST_MAIN(TestDialogFaults)
#include "tst_DialogFaults.moc"
