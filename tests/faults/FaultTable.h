#pragma once
// What every fault table keeps and how each of its rows ends: the "T<n>" texts, a store, a
// simulated reader online with the short waits, and the checks after the operation.
#include "params/ParamTestSupport.h"
#include "support/LineFaults.h"

#include <optional>

namespace VmTest {

class FaultTable {
protected:
    explicit FaultTable(int comNumber) : m_rig(comNumber) {}

    // For initTestCase: the texts and an open store; with a model, that reader online too.
    bool Open(std::optional<Sim::Model> model = std::nullopt)
    {
        m_lang = ParamTest::MakeTexts();
        m_store = std::make_unique<CStoreDB_Handler>(m_lang.get());
        return m_store->IsDatabaseOpen() && (!model || m_rig.Connect(*model, m_lang.get()));
    }

    CSerialLink& Link() { return m_rig.Link(); }
    Sim::ReaderSim& Sim() { return m_rig.Reader(); }
    ParamSupport::Context Ctx() { return {m_lang.get(), m_store.get(), &Link(), {}}; }

    // What is checked of the flags as soon as the operation is over.
    enum class Flags {
        Unchecked,         // the monitor may be mid-poll already
        HandedBack,        // see CheckPortHandedBack
        HandedBackEmpty,   // and nothing left queued: the operation held the port itself
    };
    // After the flags: either the monitor works the healed line again, or (lost: a bus reader
    // left silent after the operation leaves several polls in a row unanswered) it has given the
    // reader up, which the prompt said, and the reader is brought back. The ready flag of a reader being lost is not
    // checked: the monitor writes the frame left in the mailbox at once, which clears it.
    void Recovered(Flags flags, bool lost = false, const ScriptedPrompt* prompt = nullptr)
    {
        if (flags != Flags::Unchecked)
            CheckPortHandedBack(Link(), flags == Flags::HandedBackEmpty, !lost);
        if (lost) {
            QVERIFY(prompt);
            ExpectLostAndReconnect(m_rig, m_lang.get(), *prompt, ParamTest::T(114) + ParamTest::T(14));
            return;
        }
        HealLineHeld(Sim(), Link());
        CheckMonitorServes(Link(), Sim());
    }

    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;
    FaultRig m_rig;
};

} // namespace VmTest
