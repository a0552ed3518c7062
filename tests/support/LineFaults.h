#pragma once
// The ways a line to a reader fails, for the tables that run every reader operation against
// each of them, and what must hold after every one of them. Needs vm_sim and vm_link.
//
// A table names its fault with one text:
//   "silent"           the reader is unplugged: nothing is answered
//   "noisy"            stray bytes and a lone EOT before every reply (the reply itself is sound)
//   "slow:MS"          every reply comes MS later: past every retry of the operation's first
//                      exchange, so the replies arrive only after the operation has given up
//   "cut:PREFIX:N"     N more replies to telegrams starting with PREFIX go out, then the reader
//                      falls silent: unplugged in the middle of the operation
//   "crc"              every reply of a bus reader carries a wrong checksum
//
//   VmTest::ShortenWaits(link, bus);              // before connecting
//   VmTest::ApplyLineFault(sim, fault);
//   ... run the operation ...
//   VmTest::CheckPortHandedBack(link);            // at once
//   VmTest::HealLineHeld(sim, link);
//   VmTest::CheckMonitorServes(link, sim);
//
// tests/faults/FaultTable.h puts these together for a table.
#include "ReaderSim.h"
#include "link/CSerialLink.h"

#include <QString>
#include <QtTest>

namespace VmTest {

// Waits of the link while the fault tables run: long enough for a reader on a pseudo-terminal
// of a busy machine (it answers within a millisecond or two), short enough that running out of
// retries against a silent reader costs a second rather than the protocol's 20 s. A bus
// reader's monitor may have just begun its half-second pause before a poll when a mailbox frame
// is queued; it writes the frame once that poll is answered, so its mailbox wait stays longer.
inline constexpr uint32_t kFaultExchangeWaitMs = 150;
inline constexpr int kFaultMailboxWaitMs = 250;
inline constexpr int kFaultBusMailboxWaitMs = 800;

inline void ShortenWaits(CSerialLink& link, bool bus)
{
    link.SetReplyWaits(kFaultExchangeWaitMs, bus ? kFaultBusMailboxWaitMs : kFaultMailboxWaitMs);
}

// What the monitor hands over for a telegram through the mailbox: the device ID read of a bus
// reader (26 characters), the identity of a desk reader (6).
inline QByteArray MailboxQuery(CSerialLink& link, bool bus)
{
    return bus ? link.SendTelegramViaMonitor('L', QByteArrayLiteral("S0000"), 1)
               : link.SendTelegramViaMonitor('H', QByteArray(), 2);
}

// Puts the fault in force (on top of a healthy line). false when the text names none.
inline bool ApplyLineFault(Sim::ReaderSim& sim, const QString& fault)
{
    sim.ClearAimedFaults();
    Sim::SimFaults f;
    const QStringList parts = fault.split(QLatin1Char(':'));
    if (fault == QLatin1String("silent")) {
        f.silent = true;
    } else if (fault == QLatin1String("noisy")) {
        f.noiseBytes = 7;
        f.eotBeforeStx = true;
    } else if (parts.first() == QLatin1String("slow") && parts.size() == 2) {
        f.replyDelayMs = parts[1].toInt();
    } else if (fault == QLatin1String("crc")) {
        f.badChecksum = true;
    } else if (parts.first() == QLatin1String("cut") && parts.size() == 3) {
        const auto aimed = Sim::ParseAimedFault("silence-after:" + parts[1].toStdString() + ':' + parts[2].toStdString());
        if (!aimed)
            return false;
        sim.AimFault(*aimed);
    } else if (!fault.isEmpty()) {
        return false;
    }
    sim.SetFaults(f);
    return true;
}

// Plugs the reader in again and lets the late replies of a slow reader arrive first.
inline void HealLine(Sim::ReaderSim& sim)
{
    sim.SetFaults({});
    sim.ClearAimedFaults();
    QTRY_COMPARE_WITH_TIMEOUT(sim.RepliesOnTheirWay(), 0, 10000);
}

// The same after an operation that may have left the line silent, with the port held meanwhile
// as an operation holds it. Polls the monitor wrote into the still-silent line stay unanswered,
// and a bus reader that leaves several in a row unanswered is given up; after a hold the monitor
// starts afresh, so the healed line gets a new poll however late this test thread came to heal it. (Not before an operation: the monitor then begins
// with its full pause before a poll, which a mailbox exchange started at once has to wait out.)
inline void HealLineHeld(Sim::ReaderSim& sim, CSerialLink& link)
{
    struct Hold {
        CSerialLink& link;
        explicit Hold(CSerialLink& l) : link(l) { link.m_bBusy = 1; }
        ~Hold() { link.m_bBusy = 0; }
    } hold(link);
    HealLine(sim);
}

// The operation has given the port back: the monitor may write (ready flag up), nobody holds
// the port (busy flag down), the monitor reads again (pause flag down) and announces tags again
// (capture flag down). An operation that held the port for direct exchanges also leaves nothing
// queued in the mailbox; a mailbox exchange that timed out leaves its frame to be written later.
// Check it as soon as the operation is over: a monitor that polls clears the ready flag until
// the poll is answered. Without readyToo the ready flag is left out: a monitor with a frame
// left in the mailbox writes it at once.
inline void CheckPortHandedBack(const CSerialLink& link, bool heldPort = false, bool readyToo = true)
{
    if (readyToo)
        QCOMPARE(link.m_nReady.load(), 1);
    QCOMPARE(int(link.m_bBusy.load()), 0);
    QCOMPARE(link.m_nPause.load(), 0);
    QCOMPARE(link.m_nCapture.load(), 0);
    if (heldPort)
        QVERIFY(link.Outgoing().isEmpty());
}

// The monitor works the healed line again: a bus reader is polled, and either reader answers
// a telegram through the mailbox (the monitor writes it and hands the reply over).
inline void CheckMonitorServes(CSerialLink& link, Sim::ReaderSim& sim)
{
    if (sim.Info().bus) {
        const int polls = sim.Received('C');
        QTRY_VERIFY_WITH_TIMEOUT(sim.Received('C') > polls, 5000);
        QByteArray reply;
        for (int i = 0; i < 3 && reply.size() != 26; ++i)   // a poll reply may take the place of one
            reply = link.SendTelegramViaMonitor('L', QByteArrayLiteral("S0000"), 1);
        QCOMPARE(reply.mid(4, 20), QByteArray::fromStdString(sim.DeviceId()));
    } else {
        QCOMPARE(link.SendTelegramViaMonitor('H', QByteArray(), 2), QByteArray(sim.Info().identity));
    }
    QVERIFY(link.m_nPortOpen.load() != 0);   // the monitor did not give the reader up for lost
}

// An operation that ends on its own: how long it may take at most under any fault, with the
// shortened waits (a hang or a retry loop that forgot its bound shows here).
inline constexpr int kOperationBoundMs = 15000;

} // namespace VmTest
