#pragma once
// What every fault table keeps and how each of its rows ends: the "T<n>" texts, a store, a
// simulated reader online through a controller of its own with the short waits of
// support/LineFaults.h, and the checks after the operation.
#include "params/ParamTestSupport.h"
#include "support/LineFaults.h"

#include <QElapsedTimer>

namespace VmTest {

class FaultTable {
protected:
    explicit FaultTable(int comNumber) : m_online(comNumber) {}
    ~FaultTable()
    {
        m_ctrl.reset();
        m_online.Stop();
    }

    // For initTestCase: the texts, an open store and the reader online.
    bool Open(Sim::Model model)
    {
        m_lang = NumberedTexts();
        m_store = std::make_unique<CStoreDB_Handler>(m_lang.get());
        return m_store->IsDatabaseOpen() && Connect(model);
    }
    // Online, and the monitor serving the mailbox (it starts a moment after the connection).
    bool Connect(Sim::Model model)
    {
        m_ctrl.reset();
        if (!m_online.Start(model))
            return false;
        m_ctrl = std::make_unique<CLinkController>(m_lang.get());
        const bool bus = Sim().Info().bus;
        ShortenWaits(Link(), bus);
        if (!m_online.Connect(*m_ctrl))
            return false;
        for (int i = 0; i < 40; ++i)
            if (MailboxQuery(Link(), bus).size() == (bus ? 26 : 6))
                return true;
        return false;
    }

    CSerialLink& Link() { return m_ctrl->Link(); }
    Sim::ReaderSim& Sim() { return m_online.Reader(); }
    ParamSupport::Context Ctx() { return {m_lang.get(), m_store.get(), &Link(), {}}; }

    // Puts the row's fault in force (on a healthy line) and starts the clock of the operation,
    // which must end by itself within kOperationBoundMs.
    void Inject(const QString& fault)
    {
        QVERIFY(ApplyLineFault(Sim(), fault));
        m_took.start();
    }

    // What is checked of the flags as soon as the operation is over.
    enum class Flags {
        Unchecked,         // the monitor may be mid-poll already
        HandedBack,        // see CheckPortHandedBack
        HandedBackEmpty,   // and nothing left queued: the operation held the port itself
    };
    // After the flags: either the monitor works the healed line again, or (lost: a bus reader
    // left silent after the operation leaves several polls in a row unanswered) it has given the
    // reader up - the port is closed and texts 114 and 14 were shown, perhaps already - and the
    // healed reader is brought online again. The ready flag of a reader being lost is not
    // checked: the monitor writes the frame left in the mailbox at once, which clears it.
    void Recovered(Flags flags, bool lost = false, const ScriptedPrompt* prompt = nullptr)
    {
        if (m_took.isValid())
            QVERIFY2(m_took.elapsed() < kOperationBoundMs, qPrintable(QString::number(m_took.elapsed())));
        m_took.invalidate();
        if (flags != Flags::Unchecked)
            CheckPortHandedBack(Link(), flags == Flags::HandedBackEmpty, !lost);
        if (lost) {
            QVERIFY(prompt);
            QTRY_VERIFY_WITH_TIMEOUT(prompt->Texts().contains(ParamTest::T(114) + ParamTest::T(14)), 10000);
            QCOMPARE(Link().m_nPortOpen.load(), 0);
            HealLine(Sim());
            QVERIFY(Connect(Sim().GetModel()));
            return;
        }
        HealLineHeld(Sim(), Link());
        CheckMonitorServes(Link(), Sim());
    }

    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;
    OnlineFixture m_online;
    std::unique_ptr<CLinkController> m_ctrl;
    QElapsedTimer m_took;
};

} // namespace VmTest
