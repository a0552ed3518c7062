#pragma once
// The serial link state and its exchanges. The reader tree view carries one of these for the
// whole run; every window that talks to a reader reaches it through the tree view.
//
// Several threads use the link at once (connection worker, monitor worker, event-reading and
// write-all workers, the GUI thread). They keep off each other by the flags below, as the
// reader protocol requires; the flags are atomics so that each read sees a whole value, and
// the mailbox is a mutex with a wait condition. (Standard mutexes rather than Qt's: the
// sanitizers see through them, and the link is checked under ThreadSanitizer.)
#include <QByteArray>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "link/CSerialPort.h"

// The flag a reader operation raises while it exchanges telegrams on the port itself, with a
// count of the times it was raised: a hold that came and went while the monitor was blocked in
// a read leaves the flag down again, but the count tells the monitor that the reply it waited
// for was taken by that operation.
class PortBusyFlag {
public:
    PortBusyFlag& operator=(uint8_t on)
    {
        if (on)
            m_raised.fetch_add(1);
        m_on.store(on);
        return *this;
    }
    uint8_t load() const { return m_on.load(); }
    uint32_t TimesRaised() const { return m_raised.load(); }

private:
    std::atomic<uint8_t> m_on{0};
    std::atomic<uint32_t> m_raised{0};
};

class CSerialLink {
public:
    CSerialLink();
    ~CSerialLink();
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;

    // ---- link state ----
    std::atomic<int> m_nInterfaceType{-1};        // -1 none, 0 Birch, 1 Cedar, 2 Maple, 3 Alder, 4 Rowan
    std::atomic<uint32_t> m_nConfiguredPort{256}; // COM number from "nAktCOM"
    std::atomic<int> m_nPortInUse{-1};            // COM number of the open link, or -1
    std::atomic<int> m_nCapture{0};               // monitor does not announce desk-reader tags
    std::atomic<int> m_nPause{0};                 // monitor reads nothing from a bus reader
    std::atomic<int> m_nReady{0};                 // monitor may write the next telegram
    std::atomic<int> m_nPortOpen{0};
    std::atomic<int> m_nStopRequest{0};           // monitor leaves its loop
    PortBusyFlag m_bBusy;                         // another thread uses SendTelegram directly
    // Why the last OpenComPort failed (an errno value; EBUSY: another program holds the port),
    // 0 after a successful one. Lets a caller say more than "no connection".
    std::atomic<int> m_nLastOpenError{0};

    // ---- operations ----
    // speedMode 1: 57200 bit/s, 2: 9600 bit/s, other: keep the port's rate. 1 on success.
    int OpenComPort(const QByteArray& portName, uint8_t speedMode);
    int CloseComPort();   // always 1
    // frameMode 1 addressed, 2 short; other modes send nothing and return "".
    QByteArray SendTelegram(char command, const QByteArray& data, uint8_t frameMode);
    // Through the monitor worker's mailbox: frameMode 1 addressed, 2 and 3 short.
    // Returns the reply, "CRC_ERROR", or "" after 3000 ms.
    QByteArray SendTelegramViaMonitor(char command, const QByteArray& data, uint8_t frameMode);
    static int IsTelegramChecksumOK(const QByteArray& reply);
    // How long an exchange waits for its reply: a direct one (SendTelegram) for each byte, a
    // mailbox one for the whole reply. The reader protocol's times unless changed; tests of
    // failing readers shorten them, so that running out of retries takes moments, not minutes.
    static constexpr uint32_t kExchangeWaitMs = 2000;
    static constexpr int kMailboxWaitMs = 3000;
    void SetReplyWaits(uint32_t exchangeMs, int mailboxMs);
    uint32_t ExchangeWaitMs() const { return m_exchangeWaitMs.load(); }
    static void EnumerateComPorts(std::vector<uint32_t>& ports);

    // ---- timeouts (milliseconds), applied to the port whenever one changes ----
    using Timeouts = CSerialPort::Timeouts;
    Timeouts GetTimeouts() const;
    void SetReadTotalConstant(uint32_t ms);

    // ---- raw port access for the monitor worker ----
    int ReadByte(uint8_t& byte);          // 1 byte read, 0 time-out, -1 failure / port closed
    void WritePort(const QByteArray& frame);
    void PurgeReceive();                  // discard the receive buffer
    void PurgePort();                     // abort and discard both directions
    // The open port (or nullptr), for checks of its line settings.
    std::shared_ptr<CSerialPort> PortForChecks() const;

    // Called on the writing thread with every frame written to the port (tests watch the
    // order of the traffic with it); nullptr removes it.
    void SetWriteTap(std::function<void(const QByteArray&)> tap);

    // ---- mailbox ----
    // Every frame queued gets a ticket, and the monitor hands a reply on with the ticket of the
    // frame it answers (0: it answers none, e.g. a poll reply or a desk reader's own tag
    // frame). SendTelegramViaMonitor waits for its own ticket only, so it never takes another
    // frame's reply for its own. The plain reply text and event still see every frame (the
    // teach loop listens to a desk reader's tag frames through them).
    uint64_t SetOutgoing(const QByteArray& frame);   // also resets the reply event and text
    QByteArray Outgoing() const;
    bool HasOutgoing() const;
    // Returns the frame and empties the slot in one step, so a frame queued meanwhile is
    // never lost; *ticket (when given) receives its ticket.
    QByteArray TakeOutgoing(uint64_t* ticket = nullptr);
    void ClearOutgoing();
    // reply text := frame, then signal the reply event; `answers` is the ticket of the
    // mailbox frame it is the reply to, or 0 when it answers none.
    void StoreFrame(const QByteArray& frame, uint64_t answers);
    // The frame with that ticket went unanswered: its caller hears "no reply" (an empty text)
    // now rather than at the end of its own wait. The plain reply text and event stay as they are.
    void StoreNoReply(uint64_t ticket);
    // The reply to the frame taken last from the slot.
    void StoreReply(const QByteArray& reply);
    void ResetReplyEvent();               // also empties the reply text
    bool WaitReply(int ms);               // auto-reset: true when signalled within ms
    QByteArray ReplyText() const;
    // Waits at most ms for the reply to the frame with that ticket; true and *reply when it came.
    bool WaitAnswer(uint64_t ticket, int ms, QByteArray* reply);
    // Callers waiting in SendTelegramViaMonitor right now: the monitor lets them go first.
    int MailboxWaiters() const { return m_nMailboxWaiters.load(); }

private:
    std::shared_ptr<CSerialPort> Port() const;
    void ApplyTimeouts();
    void KeepAnswerLocked(uint64_t ticket, const QByteArray& reply);   // m_mailMutex held

    mutable std::mutex m_portMutex;       // guards the pointer, not the I/O on it
    std::shared_ptr<CSerialPort> m_port;
    mutable std::mutex m_timeoutMutex;
    Timeouts m_timeouts;

    mutable std::mutex m_tapMutex;
    std::function<void(const QByteArray&)> m_writeTap;

    std::atomic<uint32_t> m_exchangeWaitMs{kExchangeWaitMs};
    std::atomic<int> m_mailboxWaitMs{kMailboxWaitMs};
    std::atomic<int> m_nMailboxWaiters{0};
    mutable std::mutex m_mailMutex;
    std::condition_variable m_replyCond;
    bool m_replySignalled = false;
    QByteArray m_outgoing;
    uint64_t m_outgoingTicket = 0;
    uint64_t m_lastTicket = 0;
    uint64_t m_takenTicket = 0;           // ticket of the frame taken last
    QByteArray m_replyText;
    // Recent replies to mailbox frames by ticket, until their callers take them: the reply to
    // a later frame may come before the earlier caller has woken up.
    std::deque<std::pair<uint64_t, QByteArray>> m_answers;
};
