// The parameter dialogs as a person uses them, without a reader at the port: the reader table's
// button opens the dialog of the row's model and fetch-all of a desk reader the send dialog;
// the bus readers' dialog keeps its settings consistent (bits 6 and 5, the bit-1 label, the
// running clock) and stores them.
#include "ParamTestSupport.h"
#include "params/CParamMaple_CedarDlg.h"
#include "params/CSendBirchDlg.h"
#include "readers/CLeserDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QtTest>

using namespace ParamTest;

class TestParamDialogs : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;

    ParamSupport::Context Ctx() { return {m_lang.get(), m_store.get(), nullptr, {}}; }

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

private slots:
    void initTestCase()
    {
        m_lang = MakeTexts();
        m_store = std::make_unique<CStoreDB_Handler>(m_lang.get());
        QVERIFY(m_store->IsDatabaseOpen());
    }

    void readerTableOpensDialogs()
    {
        ClearStore(*m_store);
        for (const char* model : {"Cedar", "Rowan", "Birch", "Alder"})
            AddReader(*m_store, QString::fromLatin1(model), QStringLiteral("---"), QStringLiteral("0"),
                      QStringLiteral("1"));
        ScriptedPrompt prompt;
        CLeserDlg table(ViewContext{m_lang.get(), m_store.get(), nullptr, nullptr});
        const QStringList expected{"CParamMaple_CedarDlg", "CParamMaple_CedarDlg", "CParamBirchDlg", ""};
        for (int row = 1; row <= 4; ++row)
            QCOMPARE(OpenedDialog([&] { table.OnButton(row, CLeserDlg::ColButton); }).value(0),
                     expected[row - 1]);

        // Fetching all data of a Birch takes its slots over; writing all sends them.
        table.ContextMenuItems(3, CLeserDlg::ColName);
        QCOMPARE(OpenedDialog([&] { table.OnCommand(CLeserDlg::CmdFetchAll); }),
                 (QStringList{"CSendBirchDlg", T(178)}));
        QCOMPARE(OpenedDialog([&] { table.OnCommand(CLeserDlg::CmdWriteAll); }),
                 (QStringList{"CSendBirchDlg", T(177)}));
    }

    void busDialogSettings()
    {
        ClearStore(*m_store);
        const structLeser reader =
            AddReader(*m_store, QStringLiteral("Maple"), QStringLiteral("0123456789ABCDEF0123"), QStringLiteral("01"),
                      QStringLiteral("133"));
        ScriptedPrompt prompt;
        CParamMaple_CedarDlg dlg(Ctx(), reader);
        dlg.show();
        auto radio = [&](int id) { return dlg.findChild<QRadioButton*>(QString::number(id)); };
        auto bit1Title = [&] { return dlg.findChild<QGroupBox*>("1055")->title(); };

        QVERIFY(!dlg.findChild<QPushButton*>("1")->isEnabled());   // nobody at the port
        QCOMPARE(dlg.findChild<QLineEdit*>("1015")->text(), QStringLiteral("5"));
        QCOMPARE(dlg.findChild<QComboBox*>("1014")->currentText(), T(126));
        QVERIFY(radio(1059)->isChecked());
        QCOMPARE(bit1Title(), T(134));

        radio(1060)->click();   // bit 0 off
        QCOMPARE(bit1Title(), T(135));
        radio(1044)->click();   // bit 5 on
        radio(1041)->click();   // bit 6 on as well: refused
        QCOMPARE(prompt.Texts(), QStringList{T(247)});
        QVERIFY(!radio(1041)->isChecked() && radio(1042)->isChecked());
        QCOMPARE(dlg.ParamByte(), uint8_t(0x20));
        radio(1037)->click();   // bit 7 on
        QCOMPARE(dlg.ParamByte(), uint8_t(0xA0));

        // The time picker follows the PC's clock.
        const QTime shown = dlg.findChild<QTimeEdit*>("1063")->time();
        QTRY_VERIFY_WITH_TIMEOUT(dlg.findChild<QTimeEdit*>("1063")->time() != shown, 3000);

        dlg.findChild<QLineEdit*>("1015")->setText(QStringLiteral("0,5"));
        dlg.findChild<QComboBox*>("1014")->setCurrentIndex(0);
        dlg.findChild<QPushButton*>("3")->click();
        const structLeser stored = StoredReader(*m_store, reader.ID);
        QCOMPARE(stored.Params, QStringLiteral("A0"));
        QCOMPARE(stored.SwitchTime, QStringLiteral("1"));
        QCOMPARE(stored.Changed, 1);
        QCOMPARE(prompt.Texts().last(), T(173));
    }
};

QTEST_MAIN(TestParamDialogs)
#include "tst_ParamDialogs.moc"
