// The Birch reader against a simulated Birch online: the master read and the choice between
// two masters, teaching a new master, writing mode and switching time, and the transponder
// memory: sending a target list into the slots (with a slot write that needs its repeat and
// the 49-entry limit) and taking the reader's slots over into the database.
#include "ParamTestSupport.h"
#include "link/CSerialLink.h"
#include "params/CCheckMTransDlg.h"
#include "params/CParamBirchDlg.h"
#include "params/CSendBirchDlg.h"
#include "records/TextOps.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QTimer>
#include <QtTest>
#include <functional>

using namespace ParamTest;

namespace {
const QString kReaderMaster = QStringLiteral("00000AAAAA");
const QString kDbMaster = QStringLiteral("00000BBBBB");
const QString kTaught = QStringLiteral("00000CCCCC");

// Runs answer on the modal dialog of type D as soon as it shows.
template <class D>
void WhenModal(QObject* context, std::function<void(D*)> answer)
{
    QTimer::singleShot(20, context, [=] {
        if (auto* dlg = qobject_cast<D*>(QApplication::activeModalWidget()))
            return answer(dlg);
        WhenModal<D>(context, answer);
    });
}
} // namespace

class TestDeskParams : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;
    Online m_online{32};
    structLeser m_reader;

    ParamSupport::Context Ctx() { return {m_lang.get(), m_store.get(), m_online.Link(), {}}; }
    Sim::ReaderSim& Sim() { return m_online.Reader(); }

    void FreshReader(const QString& params, const QString& switchTime = QStringLiteral("3"))
    {
        ClearStore(*m_store);
        m_reader = AddReader(*m_store, QStringLiteral("Birch"), QStringLiteral("---"), params, switchTime);
        Sim().SetMaster(kReaderMaster.toStdString());
        Sim().SetTransponders({kReaderMaster.toStdString()});
        Sim().SetTeachTag({});
        Sim().ClearLog();
    }
    std::vector<std::string> SimSlots()
    {
        std::vector<std::string> held = Sim().Transponders();
        held.erase(held.begin());   // the master
        return held;
    }

private slots:
    void initTestCase()
    {
        m_lang = MakeTexts();
        m_store = std::make_unique<CStoreDB_Handler>(m_lang.get());
        QVERIFY(m_store->IsDatabaseOpen());
        QVERIFY(m_online.Connect(Sim::Model::Birch, m_lang.get()));
    }
    void cleanup() { Sim().SetFaults({}); }

    void opening_data()
    {
        QTest::addColumn<QString>("params");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("choose");
        QTest::newRow("no master in the record") << "3" << false << kReaderMaster << false;
        QTest::newRow("both alike") << "3;" + kReaderMaster << false << kReaderMaster << false;
        QTest::newRow("they differ") << "3;" + kDbMaster << false << QString() << true;
        QTest::newRow("they differ, reader silent") << "3;" + kDbMaster << true << kDbMaster << false;
    }
    void opening()
    {
        QFETCH(QString, params);
        QFETCH(bool, silent);
        QFETCH(QString, shown);
        QFETCH(bool, choose);
        FreshReader(params);
        Sim::SimFaults f;
        f.silent = silent;
        Sim().SetFaults(f);
        BirchParams core(Ctx(), m_reader);
        QCOMPARE(core.ReadReaderMaster(), !silent);
        QCOMPARE(m_online.Link()->m_nPause.load(), 1);
        const BirchParams::Opening o = core.OpeningState();
        QCOMPARE(o.master, shown);
        QCOMPARE(o.choose, choose);
        QVERIFY(o.standalone && o.active);   // mode 3
    }

    // The dialog asks which master holds: the database's goes into the reader, the reader's
    // into the record. Closing the dialog gives the monitor its pause back.
    void chooseMaster_data()
    {
        QTest::addColumn<bool>("takeReaders");
        QTest::newRow("database's master") << false;
        QTest::newRow("reader's master") << true;
    }
    void chooseMaster()
    {
        QFETCH(bool, takeReaders);
        FreshReader("1;" + kDbMaster);
        ScriptedPrompt prompt;
        QStringList offered;
        WhenModal<CCheckMTransDlg>(this, [&](CCheckMTransDlg* dlg) {
            offered << dlg->findChild<QRadioButton*>("1084")->text() << dlg->findChild<QRadioButton*>("1085")->text();
            dlg->findChild<QRadioButton*>(takeReaders ? "1084" : "1085")->setChecked(true);
            dlg->findChild<QPushButton*>("1")->click();
        });
        {
            CParamBirchDlg dlg(Ctx(), m_reader);
            dlg.show();
            QTRY_VERIFY_WITH_TIMEOUT(!dlg.ShownMaster().isEmpty(), 5000);
            QCOMPARE(dlg.ShownMaster(), takeReaders ? kReaderMaster : kDbMaster);
        }
        QCOMPARE(offered, (QStringList{T(211) + kReaderMaster, T(212) + kDbMaster}));
        QCOMPARE(QString::fromStdString(Sim().Master()), takeReaders ? kReaderMaster : kDbMaster);
        QCOMPARE(StoredReader(*m_store, m_reader.ID).Params, "1;" + (takeReaders ? kReaderMaster : kDbMaster));
        QCOMPARE(m_online.Link()->m_nPause.load(), 0);
        QVERIFY(prompt.Texts().isEmpty());
    }

    // "&Neu" with a tag held to the reader: it becomes the master and leaves the reader's
    // transponder access; the reader is marked for writing.
    void teachNewMaster()
    {
        FreshReader("3;" + kReaderMaster);
        AddTransponder(*m_store, kTaught, QStringLiteral("%1;7").arg(m_reader.ID));
        Sim().SetTeachTag(kTaught.toStdString());
        ScriptedPrompt prompt;
        CParamBirchDlg dlg(Ctx(), m_reader);
        dlg.show();
        QCOMPARE(dlg.ShownMaster(), kReaderMaster);
        dlg.findChild<QPushButton*>("1019")->click();
        QCOMPARE(dlg.ShownMaster(), kTaught);
        QCOMPARE(dlg.findChild<QProgressBar*>("1034")->value(), 0);
        QCOMPARE(dlg.findChild<QLabel*>("1032")->text(), T(172));
        QCOMPARE(QString::fromStdString(Sim().Master()), kTaught);
        const structLeser stored = StoredReader(*m_store, m_reader.ID);
        QCOMPARE(stored.Params, "3;" + kTaught);
        QCOMPARE(stored.Changed, 1);
        QCOMPARE(StoredTransponder(*m_store, kTaught)->Readers, QStringLiteral("7"));
        QCOMPARE(m_online.Link()->m_nCapture.load(), 0);
        QVERIFY(prompt.Texts().isEmpty());
    }

    void teachWithoutTag()
    {
        FreshReader("3;" + kReaderMaster);
        ScriptedPrompt prompt;
        BirchParams core(Ctx(), m_reader);
        int passes = 0;
        ParamSupport::Feedback f;
        f.position = [&](int p) { passes = std::max(passes, p); };
        QVERIFY(core.Teach(f).isEmpty());
        QCOMPARE(passes, BirchParams::kTeachWaits);
        QCOMPARE(prompt.Texts(), QStringList{T(153)});
        QCOMPARE(prompt.Log().front().icon, PromptIcon::Warning);
        QCOMPARE(StoredReader(*m_store, m_reader.ID).Params, "3;" + kReaderMaster);
        QCOMPARE(m_online.Link()->m_nCapture.load(), 0);
    }

    // Read-head mode, switching time active, half a second: J 1, K 0, D 100.
    void writeModeAndTime()
    {
        FreshReader("F3;" + kReaderMaster);
        ScriptedPrompt prompt;
        BirchParams core(Ctx(), m_reader);
        QVERIFY(core.ReadReaderMaster());
        QString reset;
        QCOMPARE(core.UpdateReader(false, true, kReaderMaster, QStringLiteral("16"), &reset),
                 BirchParams::Outcome::Refused);
        QCOMPARE(reset, QStringLiteral("3"));
        QCOMPARE(Sim().Received('J'), 0);
        QCOMPARE(core.UpdateReader(false, true, kReaderMaster, QStringLiteral("0,5")), BirchParams::Outcome::Done);
        QCOMPARE(Sim().Mode(), 2);
        QCOMPARE(Sim().SwitchTime(), 0);
        QCOMPARE(Sim().ReceivedData('D'), std::vector<std::string>{"100"});
        const structLeser stored = StoredReader(*m_store, m_reader.ID);
        QCOMPARE(stored.Params, "F2;" + kReaderMaster);
        QCOMPARE(stored.SwitchTime, QStringLiteral("0"));
        QCOMPARE(stored.Changed, 0);
        QCOMPARE(prompt.Texts(), (QStringList{T(152), T(173)}));
    }

    // Write all data of a Birch as a person does it: the database's ten transponders (one shown
    // by its person's name) copied into the target list and sent; the reader holds them in
    // slots 1 to 10 and its settings from the record.
    void sendDialogWritesTen()
    {
        FreshReader("1;" + kReaderMaster, QStringLiteral("5"));
        const QStringList numbers = Numbers(10);
        int32_t anna = 0;
        AddRecord(m_store->Get_Ptr_To_tblPerson(), [](structPerson& p) { p.Name = QStringLiteral("Anna"); }, &anna);
        m_store->Get_Ptr_To_tblPerson()->_Requery();
        for (int i = 0; i < numbers.size(); ++i)
            AddTransponder(*m_store, numbers[i], QString::number(m_reader.ID), i == 3 ? anna : 0);
        EditRecordById(m_store->Get_Ptr_To_tblLeser(), m_reader.ID, [](structLeser& r) { r.Changed = 1; });
        m_store->Get_Ptr_To_tblLeser()->_Requery();

        ScriptedPrompt prompt;
        CSendBirchDlg dlg(Ctx(), CSendBirchDlg::SendMode, m_reader.ID);
        dlg.show();
        QTRY_VERIFY_WITH_TIMEOUT(dlg.ReaderRead(), 5000);
        auto* dbList = dlg.findChild<QTreeWidget*>("1074");
        QCOMPARE(CSendBirchDlg::Entries(dbList).at(3), QStringLiteral("Anna"));
        QCOMPARE(dlg.findChild<QTreeWidget*>("1073")->topLevelItemCount(), 0);   // only the master
        auto* send = dlg.findChild<QPushButton*>("1079");
        QVERIFY(!send->isEnabled());
        dbList->selectAll();
        dlg.findChild<QPushButton*>("1080")->click();
        dlg.findChild<QPushButton*>("1080")->click();   // twice: no doubles
        QCOMPARE(dlg.findChild<QTreeWidget*>("1075")->topLevelItemCount(), 10);
        QVERIFY(send->isEnabled());
        send->click();

        std::vector<std::string> expected;
        for (const QString& n : numbers)
            expected.push_back(n.toStdString());
        QCOMPARE(SimSlots(), expected);
        QCOMPARE(Sim().ReceivedData('Z'), std::vector<std::string>{"0B"});
        QCOMPARE(Sim().Mode(), 1);
        QCOMPARE(Sim().SwitchTime(), 5);
        QCOMPARE(StoredReader(*m_store, m_reader.ID).Changed, 0);
        QCOMPARE(dlg.findChild<QLabel*>("1032")->text(), T(173));
        QVERIFY(prompt.Texts().isEmpty());
    }

    // A slot write whose acknowledgement is lost is repeated once and the transfer goes on.
    void slotWriteRepeated()
    {
        FreshReader("0");
        ScriptedPrompt prompt;
        BirchSlots core(Ctx(), m_reader.ID);
        Sim().AimFault({Sim::AimedFault::Kind::Drop, "S", 1});
        const QStringList numbers = Numbers(3);
        QCOMPARE(core.Send(numbers, {}), BirchSlots::Outcome::Done);
        QCOMPARE(Sim().Received('S'), 4);
        QCOMPARE(SimSlots().size(), size_t(3));
        QCOMPARE(QString::fromStdString(SimSlots()[2]), numbers[2]);
        QVERIFY(prompt.Texts().isEmpty());
        // Every number now has this reader; the new ones were made with full access.
        const structTransponder* t = StoredTransponder(*m_store, numbers[0]);
        QVERIFY(t);
        QCOMPARE(t->Readers, QString::number(m_reader.ID));
        QCOMPARE(t->ScheduleID, 1);
    }

    void slotLimit_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<bool>("sent");
        QTest::newRow("49 fill the reader") << 49 << true;
        QTest::newRow("50 are refused") << 50 << false;
    }
    void slotLimit()
    {
        QFETCH(int, entries);
        QFETCH(bool, sent);
        FreshReader("0");
        ScriptedPrompt prompt;
        BirchSlots core(Ctx(), m_reader.ID);
        QCOMPARE(core.Send(Numbers(entries), {}) == BirchSlots::Outcome::Done, sent);
        QCOMPARE(Sim().ReceivedData('Z'), sent ? std::vector<std::string>{"32"} : std::vector<std::string>{});
        QCOMPARE(prompt.Texts(), sent ? QStringList{} : QStringList{T(213)});
        QCOMPARE(m_store->Get_Ptr_To_tblTransponder()->GetAnz_Transponder(), sent ? entries : 0);
    }

    // Take-over: the reader's slots become this reader's transponders in the database.
    void takeOverBringsSlotsIn()
    {
        FreshReader("0");
        const QString a = "00000000A1", b = "00000000B2", c = "00000000C3", x = "00000000X9";
        Sim().SetTransponders({kReaderMaster.toStdString(), a.toStdString(), b.toStdString(), c.toStdString()});
        AddTransponder(*m_store, a, QString());
        AddTransponder(*m_store, b, QStringLiteral("7"));
        AddTransponder(*m_store, x, QStringLiteral("7;%1").arg(m_reader.ID));
        EditRecordById(m_store->Get_Ptr_To_tblLeser(), m_reader.ID, [](structLeser& r) { r.Changed = 1; });

        ScriptedPrompt prompt;
        BirchSlots core(Ctx(), m_reader.ID);
        QCOMPARE(core.DatabaseEntries(), QStringList{x});
        QStringList read;
        QVERIFY(core.ReadReader(read, {}));
        QCOMPARE(read, (QStringList{a, b, c}));
        QCOMPARE(core.TakeOver(read), BirchSlots::Outcome::Done);
        const QString id = QString::number(m_reader.ID);
        QCOMPARE(StoredTransponder(*m_store, a)->Readers, id);
        QCOMPARE(StoredTransponder(*m_store, b)->Readers, "7;" + id);
        QCOMPARE(StoredTransponder(*m_store, c)->Readers, id);
        QCOMPARE(StoredTransponder(*m_store, c)->PersonID, 0);
        QCOMPARE(StoredTransponder(*m_store, x)->Readers, QStringLiteral("7"));
        QCOMPARE(StoredReader(*m_store, m_reader.ID).Changed, 0);
        QCOMPARE(Sim().Received('S'), 0);   // nothing written into the reader
        QVERIFY(prompt.Texts().isEmpty());
    }

    // A reader that stops answering: text 141 in a box and the status line; the database
    // stays as it was.
    void readerSilent()
    {
        FreshReader("0");
        AddTransponder(*m_store, "0000000001", QString::number(m_reader.ID));
        Sim::SimFaults f;
        f.silent = true;
        Sim().SetFaults(f);
        ScriptedPrompt prompt;
        BirchSlots core(Ctx(), m_reader.ID);
        QList<uint32_t> status;
        ParamSupport::Feedback fb;
        fb.status = [&](uint32_t n) { status << n; };
        QCOMPARE(core.Send(Numbers(2), fb), BirchSlots::Outcome::NoAnswer);
        QCOMPARE(prompt.Texts(), QStringList{T(141)});
        QCOMPARE(status, QList<uint32_t>{141});
        QCOMPARE(StoredTransponder(*m_store, "0000000001")->Readers, QString::number(m_reader.ID));
        QVERIFY(!StoredTransponder(*m_store, Numbers(1).front()));
    }
};

QTEST_MAIN(TestDeskParams)
#include "tst_DeskParams.moc"
