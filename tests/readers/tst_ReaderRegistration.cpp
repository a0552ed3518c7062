// Registering the connected reader against the simulator, brought online by the link
// controller: new records per model, recognition, the desk-reader choice list, the failures
// (none of which writes a record), and the identity check of the context menu.
#include "ReaderSim.h"
#include "ReaderTestSupport.h"
#include "app/Prompt.h"
#include "app/Settings.h"
#include "link/CLinkController.h"
#include "readers/ReaderIdentity.h"
#include "readers/ReaderRegistration.h"
#include "support/TestEnv.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

using namespace ReaderTest;
using ReaderRegistration::Result;

namespace {
constexpr int kCom = 21;
constexpr int kBusConnectMs = 8000;
constexpr int kDeskConnectMs = 40000;   // five unanswered identify telegrams at 57200 first

// The rows of the reader table in cache order.
std::vector<ReaderRegistration::Row> TableRows(CStoreDB_Handler& store)
{
    std::vector<ReaderRegistration::Row> rows;
    CtblLeser* t = store.Get_Ptr_To_tblLeser();
    for (int i = 0; i < t->GetAnz_Leser(); ++i)
        rows.push_back({t->Get_Leser(i).Name, t->Get_Leser(i).Model, t->Get_Leser(i).Identity});
    return rows;
}
} // namespace

class TestReaderRegistration : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_texts;
    std::unique_ptr<CStoreDB_Handler> m_store;
    std::unique_ptr<Sim::ReaderSim> m_sim;
    std::unique_ptr<CLinkController> m_ctrl;

    CStoreDB_Handler& store() { return *m_store; }
    CSerialLink& link() { return m_ctrl->Link(); }
    QString text(int n) const { return m_texts->GetLangItem(n); }

    bool BringOnline(Sim::Model model, int timeoutMs)
    {
        m_sim = std::make_unique<Sim::ReaderSim>(model, kCom);
        if (!m_sim->Start()) {
            qWarning("%s", m_sim->ErrorText().c_str());
            return false;
        }
        Settings::WriteAktCom(kCom);
        m_ctrl = std::make_unique<CLinkController>(m_texts.get());
        QSignalSpy online(m_ctrl.get(), &CLinkController::ReaderOnline);
        if (m_ctrl->StartConnectWorker() != 0)
            return false;
        return online.wait(timeoutMs);
    }

    Result Register(const ReaderRegistration::ChooseReaderFn& choose = {})
    {
        return ReaderRegistration::RegisterConnectedReader(link(), store(), TableRows(store()), choose);
    }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_texts = MakeTexts();
        QVERIFY(m_texts->IsLoaded());
        m_store = std::make_unique<CStoreDB_Handler>(m_texts.get());
        QVERIFY2(m_store->IsDatabaseOpen(), qPrintable(m_store->DatabaseError()));
    }

    void init() { ClearTables(store()); }

    void cleanup()
    {
        m_ctrl.reset();
        if (m_sim)
            m_sim->Stop();
        m_sim.reset();
    }

    void nameSuffix()
    {
        const QRegularExpression hex(QStringLiteral("^Leser_[1-9A-F][0-9A-F]{0,3}$|^Leser_0$"));
        for (int i = 0; i < 20; ++i) {
            const QString name = ReaderRegistration::MakeReaderName();
            QVERIFY2(hex.match(name).hasMatch(), qPrintable(name));
            QVERIFY(name.mid(6).toInt(nullptr, 16) < 65535);
        }
    }

    void busReader_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("type");
        QTest::newRow("Cedar") << int(Sim::Model::Cedar) << "Cedar";
        QTest::newRow("Maple") << int(Sim::Model::Maple) << "Maple";
        QTest::newRow("Rowan") << int(Sim::Model::Rowan) << "Rowan";
    }
    void busReader()
    {
        QFETCH(int, model);
        QFETCH(QString, type);
        QVERIFY(BringOnline(Sim::Model(model), kBusConnectMs));
        m_sim->SetParam(0, 0x3C);
        m_sim->SetParam(1, 0x0A);
        AddReader(store(), "Other", "Cedar", "OTHERDEVICE000000000");
        store().Get_Ptr_To_tblLeser()->_Requery();
        ScriptedPrompt prompt;

        // A reader the table does not know: a new record from what it reports.
        const Result added = Register();
        QCOMPARE(added.outcome, Result::Added);
        QVERIFY(added.addToTree);
        const QString deviceId = QString::fromStdString(m_sim->DeviceId());
        QCOMPARE(deviceId.size(), 20);
        QCOMPARE(deviceId, QString::fromLatin1(m_ctrl->DeviceId()));   // the ID the program wrote
        CtblLeser* tbl = store().Get_Ptr_To_tblLeser();
        QCOMPARE(tbl->GetAnz_Leser(), 2);
        QCOMPARE(added.cacheIndex, 1);
        const structLeser& rec = tbl->Get_Leser(1);
        QCOMPARE(rec.ID, added.record.ID);
        QVERIFY(rec.Name.startsWith("Leser_"));
        QCOMPARE(rec.Identity, deviceId);
        QCOMPARE(rec.Info, deviceId.left(2));
        QCOMPARE(rec.Model, type);
        QCOMPARE(rec.Params, QStringLiteral("3C"));
        QCOMPARE(rec.SwitchTime, QStringLiteral("10"));
        QCOMPARE(rec.Changed, 0);
        QCOMPARE(StoredReaderNames(store()).size(), 2);

        // Online again: its row is recognised, nothing is added.
        const Result again = Register();
        QCOMPARE(again.outcome, Result::Recognised);
        QCOMPARE(again.row, 1);
        QCOMPARE(StoredReaderNames(store()).size(), 2);
        QVERIFY(prompt.Texts().isEmpty());
    }

    void busReaderFailures()
    {
        QVERIFY(BringOnline(Sim::Model::Cedar, kBusConnectMs));
        ScriptedPrompt prompt;

        // Replies with a wrong checksum reach the mailbox as "CRC_ERROR": not a device ID.
        Sim::SimFaults faults;
        faults.badChecksum = true;
        m_sim->SetFaults(faults);
        const Result r = Register();
        QCOMPARE(r.outcome, Result::Failed);
        QCOMPARE(r.failureText, 106);
        QCOMPARE(prompt.Texts(), QStringList{text(106)});
        QCOMPARE(prompt.Log().front().icon, PromptIcon::Error);
        QCOMPARE(StoredReaderNames(store()).size(), 0);
        QCOMPARE(store().Get_Ptr_To_tblLeser()->GetAnz_Leser(), 0);
    }

    void twoRegistrationsInOneSecondBothAdd()
    {
        QVERIFY(BringOnline(Sim::Model::Maple, kBusConnectMs));
        ScriptedPrompt prompt;
        // The table is not consulted here (no rows), as if the first row had not been shown yet.
        const auto first = ReaderRegistration::RegisterConnectedReader(link(), store(), {}, {});
        const auto second = ReaderRegistration::RegisterConnectedReader(link(), store(), {}, {});
        QCOMPARE(first.outcome, Result::Added);
        QCOMPARE(second.outcome, Result::Added);
        QVERIFY(first.record.ID != second.record.ID);
        QCOMPARE(StoredReaderNames(store()).size(), 2);
    }

    void identityCheck()
    {
        QVERIFY(BringOnline(Sim::Model::Rowan, kBusConnectMs));
        const QString id = QString::fromStdString(m_sim->DeviceId());
        QVERIFY(ReaderIdentity::CheckReaderIdentity(link(), "Rowan", id));
        QVERIFY(!ReaderIdentity::CheckReaderIdentity(link(), "Rowan", "ANOTHERDEVICE0000000"));
        QVERIFY(ReaderIdentity::CheckReaderIdentity(link(), "Cedar", id));   // any bus model asks

        // A desk reader's row never passes, and nothing is asked.
        const int reads = m_sim->Received('L');
        QVERIFY(!ReaderIdentity::CheckReaderIdentity(link(), "Birch", id));
        QVERIFY(!ReaderIdentity::CheckReaderIdentity(link(), "Alder", id));
        QCOMPARE(m_sim->Received('L'), reads);

        // Offline: nothing is asked either.
        link().CloseComPort();
        QVERIFY(!ReaderIdentity::CheckReaderIdentity(link(), "Rowan", id));
        QCOMPARE(m_sim->Received('L'), reads);
    }

    // One connection to a Birch serves every desk-reader case: the choice list, a new record,
    // recognition, cancel, and the failures of the identify query.
    void deskReader()
    {
        QVERIFY(BringOnline(Sim::Model::Birch, kDeskConnectMs));
        QCOMPARE(link().m_nInterfaceType.load(), 0);
        AddReader(store(), "Birch A", "Birch");
        AddReader(store(), "Cedar A", "Cedar", "CEDARDEVICE000000000");
        AddReader(store(), "Birch B", "Birch");
        store().Get_Ptr_To_tblLeser()->_Requery();
        ScriptedPrompt prompt;

        // The list offers the Birch readers in table order, then the new-reader entry.
        QStringList offered;
        QString extraOffered;
        const Result added = Register([&](const QStringList& names, const QString& extra) {
            offered = names;
            extraOffered = extra;
            return extra;
        });
        QCOMPARE(offered, (QStringList{"Birch A", "Birch B"}));
        QCOMPARE(extraOffered, text(123));
        QCOMPARE(added.outcome, Result::Added);
        QVERIFY(added.addToTree);   // text 123 names the model
        const structLeser& rec = store().Get_Ptr_To_tblLeser()->Get_Leser(added.cacheIndex);
        QVERIFY(rec.Name.startsWith("Leser_"));
        QCOMPARE(rec.Model, QStringLiteral("Birch"));
        QCOMPARE(rec.Identity, QStringLiteral("---"));
        QCOMPARE(rec.Info, QStringLiteral("---"));
        QCOMPARE(rec.Params, QStringLiteral("%1;%2").arg(m_sim->Mode(), 0, 16).arg(QString::fromStdString(m_sim->Master())).toUpper());
        QCOMPARE(rec.SwitchTime, QString::number(m_sim->SwitchTime()));
        QCOMPARE(StoredReaderNames(store()).size(), 4);

        // Choosing a known reader selects its row; the new one is now in the list too.
        const Result known = Register([&](const QStringList& names, const QString&) {
            offered = names;
            return QStringLiteral("Birch B");
        });
        QCOMPARE(offered.size(), 3);
        QCOMPARE(known.outcome, Result::Recognised);
        QCOMPARE(known.row, 2);

        const Result cancelled = Register([](const QStringList&, const QString&) { return QString(); });
        QCOMPARE(cancelled.outcome, Result::Cancelled);
        QCOMPARE(StoredReaderNames(store()).size(), 4);
        QVERIFY(prompt.Texts().isEmpty());

        // Failures of the identify query; the choice list is never shown and nothing is written.
        bool asked = false;
        auto mustNotAsk = [&](const QStringList&, const QString&) { asked = true; return QString(); };

        link().m_nInterfaceType = 3;   // the link expects an Alder, a Birch answers
        Result r = Register(mustNotAsk);
        link().m_nInterfaceType = 0;
        QCOMPARE(r.failureText, 119);

        QVERIFY(!asked);
        QCOMPARE(prompt.Texts(), QStringList{text(119)});
        QCOMPARE(StoredReaderNames(store()).size(), 4);
        QCOMPARE(store().Get_Ptr_To_tblLeser()->GetAnz_Leser(), 4);
    }
};

QTEST_GUILESS_MAIN(TestReaderRegistration)
#include "tst_ReaderRegistration.moc"
