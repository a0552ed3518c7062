// The parameter dialogs without a reader at the port, and the Birch reader against a simulated
// Birch online, healthy or silent, noisy, slow or unplugged in the middle: the master read and
// the choice between two masters, teaching a new master, writing mode and switching time, the
// transponder memory (sending a target list into the slots, with a slot write that needs its
// repeat and the 49-entry limit, and taking the reader's slots over into the database), and
// registering the reader. Each operation under a fault ends in its own failure state, gives the
// monitor its flags back, and leaves the database with what was stored and nothing half.
#include "link/CSerialLink.h"
#include "params/CCheckMTransDlg.h"
#include "params/CParamBirchDlg.h"
#include "params/CParamMaple_CedarDlg.h"
#include "params/CSendBirchDlg.h"
#include "readers/CLeserDlg.h"
#include "readers/ReaderRegistration.h"
#include "readers/ReaderTestSupport.h"
#include "faults/FaultTable.h"
#include "writeall/WriteAllSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
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

class TestDeskParams : public QObject, VmTest::FaultTable {
    Q_OBJECT
    structLeser m_reader;

    void FreshReader(const QString& params, const QString& switchTime = QStringLiteral("3"), int changed = 0)
    {
        m_reader = AddReader(*m_store, QStringLiteral("Birch"), QStringLiteral("---"), params, switchTime, changed);
    }
    std::vector<std::string> SimSlots()
    {
        std::vector<std::string> held = Sim().Transponders();
        held.erase(held.begin());   // the master
        return held;
    }

    // Runs action; the modal dialog it opens (if any) is closed at once. Its object name and
    // title are returned.
    QStringList OpenedDialog(const std::function<void()>& action)
    {
        QStringList seen;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                seen = QStringList{w->objectName(), w->windowTitle()};
                qobject_cast<QDialog*>(w)->reject();
            }
        });
        poll.start();
        action();
        return seen;
    }

public:
    TestDeskParams() : FaultTable(32) {}

private slots:
    void initTestCase() { QVERIFY(Open(Sim::Model::Birch)); }
    void init()
    {
        WriteAllTest::ClearAll(*m_store);
        VmTest::HealLine(Sim());
        Sim().SetMaster(kReaderMaster.toStdString());
        Sim().SetTransponders({kReaderMaster.toStdString()});
        Sim().SetTeachTag({});
        Sim().ClearLog();
    }

    // Without a reader at the port: the reader table opens the send dialog of a desk reader in
    // the mode asked for (fetching all data takes its slots over, writing all sends them); the
    // bus readers' dialog keeps its bits 6 and 5 apart and stores its settings.
    void readerTableOpensSendDialog()
    {
        AddReader(*m_store, QStringLiteral("Birch"), QStringLiteral("---"), QStringLiteral("0"), QStringLiteral("1"));
        ScriptedPrompt prompt;
        CLeserDlg table(ViewContext{m_lang.get(), m_store.get(), nullptr, nullptr});
        table.ContextMenuItems(1, CLeserDlg::ColName);
        QCOMPARE(OpenedDialog([&] { table.OnCommand(CLeserDlg::CmdFetchAll); }),
                 (QStringList{"CSendBirchDlg", T(178)}));
        QCOMPARE(OpenedDialog([&] { table.OnCommand(CLeserDlg::CmdWriteAll); }),
                 (QStringList{"CSendBirchDlg", T(177)}));
    }

    void busDialogSettings()
    {
        const structLeser reader =
            AddReader(*m_store, QStringLiteral("Maple"), QStringLiteral("0123456789ABCDEF0123"), QStringLiteral("01"),
                      QStringLiteral("133"));
        ScriptedPrompt prompt;
        CParamMaple_CedarDlg dlg(ParamSupport::Context{m_lang.get(), m_store.get(), nullptr, {}}, reader);
        dlg.show();
        auto radio = [&](int id) { return dlg.findChild<QRadioButton*>(QString::number(id)); };

        QVERIFY(!dlg.findChild<QPushButton*>("1")->isEnabled());   // nobody at the port
        QCOMPARE(dlg.findChild<QLineEdit*>("1015")->text(), QStringLiteral("5"));
        QCOMPARE(dlg.findChild<QComboBox*>("1014")->currentText(), T(126));
        QVERIFY(radio(1059)->isChecked());

        radio(1060)->click();   // bit 0 off
        radio(1044)->click();   // bit 5 on
        radio(1041)->click();   // bit 6 on as well: refused
        QCOMPARE(prompt.Texts(), QStringList{T(247)});
        QVERIFY(!radio(1041)->isChecked() && radio(1042)->isChecked());
        radio(1037)->click();   // bit 7 on

        dlg.findChild<QLineEdit*>("1015")->setText(QStringLiteral("0"));   // refused: nothing is stored
        dlg.findChild<QPushButton*>("3")->click();
        QCOMPARE(prompt.Texts().last(), T(142));
        QCOMPARE(StoredReader(*m_store, reader.ID).Params, QStringLiteral("01"));
        dlg.findChild<QLineEdit*>("1015")->setText(QStringLiteral("0,5"));
        dlg.findChild<QComboBox*>("1014")->setCurrentIndex(0);
        dlg.findChild<QPushButton*>("3")->click();
        const structLeser stored = StoredReader(*m_store, reader.ID);
        QCOMPARE(stored.Params, QStringLiteral("A0"));
        QCOMPARE(stored.SwitchTime, QStringLiteral("1"));
        QCOMPARE(stored.Changed, 1);
        QCOMPARE(prompt.Texts().last(), T(173));
    }
    // Opening reads the reader's master while the monitor pauses; writing and teaching are
    // offered only when the reader answered.
    void opening_data()
    {
        QTest::addColumn<QString>("params");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("choose");
        QTest::newRow("no master in the record") << "3" << false << kReaderMaster << false;
        QTest::newRow("they differ") << "3;" + kDbMaster << false << QString() << true;
        QTest::newRow("they differ, reader silent") << "3;" + kDbMaster << true << kDbMaster << false;
    }
    void opening()
    {
        QFETCH(QString, params);
        QFETCH(bool, silent);
        QFETCH(bool, choose);
        FreshReader(params);
        QVERIFY(VmTest::ApplyLineFault(Sim(), silent ? QStringLiteral("silent") : QString()));
        {
            BirchParams core(Ctx(), m_reader);
            QCOMPARE(core.ReadReaderMaster(), !silent);
            QCOMPARE(Link().m_nPause.load(), 1);
            const BirchParams::Opening o = core.OpeningState();
            QTEST(o.master, "shown");
            QCOMPARE(o.choose, choose);
            QVERIFY(o.standalone && o.active);   // mode 3
        }
        if (!choose) {
            CParamBirchDlg dlg(Ctx(), m_reader);
            QCOMPARE(dlg.findChild<QPushButton*>(QStringLiteral("3"))->isEnabled(), !silent);
            QCOMPARE(dlg.findChild<QPushButton*>(QStringLiteral("1019"))->isEnabled(), !silent);
        }
        Recovered(Flags::HandedBack);
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
        QCOMPARE(Link().m_nPause.load(), 0);
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
        QCOMPARE(QString::fromStdString(Sim().Master()), kTaught);
        const structLeser stored = StoredReader(*m_store, m_reader.ID);
        QCOMPARE(stored.Params, "3;" + kTaught);
        QCOMPARE(stored.Changed, 1);
        QCOMPARE(StoredTransponder(*m_store, kTaught)->Readers, QStringLiteral("7"));
        QCOMPARE(Link().m_nCapture.load(), 0);
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
        QCOMPARE(StoredReader(*m_store, m_reader.ID).Params, "3;" + kReaderMaster);
        QCOMPARE(Link().m_nCapture.load(), 0);
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

    // Unplugged after the master was read: the values are stored before the reader is written,
    // so they stay; the reader keeps its mode.
    void writeCutShort()
    {
        FreshReader("0;" + kReaderMaster, QStringLiteral("2"));
        ScriptedPrompt prompt;
        const int modeBefore = Sim().Mode();
        QVERIFY(VmTest::ApplyLineFault(Sim(), QStringLiteral("cut:G:1")));
        {
            BirchParams core(Ctx(), m_reader);
            QVERIFY(core.ReadReaderMaster());
            QCOMPARE(core.UpdateReader(true, true, kReaderMaster, QStringLiteral("5")), BirchParams::Outcome::NoAnswer);
        }
        QCOMPARE(prompt.Texts(), QStringList{T(141)});
        QCOMPARE(Sim().Mode(), modeBefore);
        const structLeser stored = StoredReader(*m_store, m_reader.ID);
        QCOMPARE(stored.Params, "3;" + kReaderMaster);
        QCOMPARE(stored.SwitchTime, QStringLiteral("5"));
        Recovered(Flags::HandedBack);
    }

    // Write all data of a Birch as a person does it: the database's ten transponders copied
    // into the target list and sent; the reader holds them in slots 1 to 10 and its settings
    // from the record.
    void sendDialogWritesTen()
    {
        FreshReader("1;" + kReaderMaster, QStringLiteral("5"), 1);
        const QStringList numbers = Numbers(10);
        for (const QString& number : numbers)
            AddTransponder(*m_store, number, QString::number(m_reader.ID));

        ScriptedPrompt prompt;
        CSendBirchDlg dlg(Ctx(), CSendBirchDlg::SendMode, m_reader.ID);
        dlg.show();
        QTRY_VERIFY_WITH_TIMEOUT(dlg.ReaderRead(), 5000);
        auto* dbList = dlg.findChild<QTreeWidget*>("1074");
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
        FreshReader("0", QStringLiteral("3"), 1);
        const QString a = "00000000A1", b = "00000000B2", c = "00000000C3", x = "00000000X9";
        Sim().SetTransponders({kReaderMaster.toStdString(), a.toStdString(), b.toStdString(), c.toStdString()});
        AddTransponder(*m_store, a, QString());
        AddTransponder(*m_store, b, QStringLiteral("7"));
        AddTransponder(*m_store, x, QStringLiteral("7;%1").arg(m_reader.ID));

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

    // The reader's memory read, then three transponders sent, under each fault. The database
    // follows the reader only once the reader took the whole list; a failure is told in a box
    // and the status line.
    void sendUnderFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("read");
        QTest::addColumn<int>("outcome");
        QTest::newRow("silent") << "silent" << false << -1;
        QTest::newRow("noisy") << "noisy" << true << int(BirchSlots::Outcome::Done);
        QTest::newRow("cut after the first slot") << "cut:S:1" << true << int(BirchSlots::Outcome::NoAnswer);
    }
    void sendUnderFaults()
    {
        QFETCH(QString, fault);
        QFETCH(bool, read);
        QFETCH(int, outcome);
        FreshReader(QStringLiteral("1"), QStringLiteral("2"), 1);
        const QString id = QString::number(m_reader.ID);
        const QStringList numbers = Numbers(3);
        Sim().SetTransponders({kReaderMaster.toStdString(), numbers[0].toStdString()});
        AddTransponder(*m_store, numbers[0], id);
        AddTransponder(*m_store, QStringLiteral("00000000X9"), QStringLiteral("7;") + id);
        const QStringList before = WriteAllTest::Transponders(*m_store, true);

        ScriptedPrompt prompt;
        QList<uint32_t> status;
        ParamSupport::Feedback fb;
        fb.status = [&](uint32_t n) { status << n; };
        Inject(fault);
        BirchSlots core(Ctx(), m_reader.ID);
        QStringList inReader;
        QCOMPARE(core.ReadReader(inReader, {}), read);
        QCOMPARE(inReader, read ? QStringList{numbers[0]} : QStringList());
        if (read)
            QCOMPARE(int(core.Send(numbers, fb)), outcome);

        const bool done = outcome == int(BirchSlots::Outcome::Done);
        QCOMPARE(prompt.Texts(), done ? QStringList() : QStringList{T(141)});
        if (read && !done)
            QCOMPARE(status.value(status.size() - 1), 141u);
        QStringList after = WriteAllTest::Transponders(*m_store, true);
        if (done) {
            QStringList want{numbers[0] + '=' + id, numbers[1] + '=' + id, numbers[2] + '=' + id,
                             QStringLiteral("00000000X9=7")};
            want.sort();
            QCOMPARE(after, want);
        } else {
            QCOMPARE(after, before);
        }
        QCOMPARE(StoredReader(*m_store, m_reader.ID).Changed, done ? 0 : 1);
        Recovered(Flags::HandedBack);
    }

    // Unplugged after its identity: nothing is registered, T114 says so.
    void registerCutShort()
    {
        ScriptedPrompt prompt;
        Inject(QStringLiteral("cut:H:1"));
        const ReaderRegistration::Result result = ReaderRegistration::RegisterConnectedReader(
            Link(), *m_store, {}, [](const QStringList&, const QString& extraEntry) { return extraEntry; });
        QCOMPARE(result.outcome, ReaderRegistration::Result::Failed);
        QCOMPARE(result.failureText, 114);
        QCOMPARE(prompt.Texts(), QStringList{T(114)});
        QVERIFY(ReaderTest::ReaderNames(*m_store, true).isEmpty());
        Recovered(Flags::HandedBack);
    }
};

QTEST_MAIN(TestDeskParams)
#include "tst_DeskParams.moc"
