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
#include <memory>
#include <mutex>
#include <vector>

#include "link/CSerialPort.h"

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
    std::atomic<uint8_t> m_bBusy{0};              // another thread uses SendTelegram directly

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

    // ---- mailbox ----
    void SetOutgoing(const QByteArray& frame);
    QByteArray Outgoing() const;
    QByteArray TakeOutgoing();            // returns the frame and empties the slot
    void ClearOutgoing();
    void StoreReply(const QByteArray& reply);   // reply text := reply, then signal the reply event
    void ResetReplyEvent();               // also empties the reply text
    bool WaitReply(int ms);               // auto-reset: true when signalled within ms
    QByteArray ReplyText() const;

private:
    std::shared_ptr<CSerialPort> Port() const;
    void ApplyTimeouts();

    mutable std::mutex m_portMutex;       // guards the pointer, not the I/O on it
    std::shared_ptr<CSerialPort> m_port;
    mutable std::mutex m_timeoutMutex;
    Timeouts m_timeouts;

    mutable std::mutex m_mailMutex;
    std::condition_variable m_replyCond;
    bool m_replySignalled = false;
    QByteArray m_outgoing;
    QByteArray m_replyText;
};
