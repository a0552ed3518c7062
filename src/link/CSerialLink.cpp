#include "link/CSerialLink.h"

#include "link/CSerialPort.h"
#include "link/ComPorts.h"
#include "link/Telegram.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {

constexpr uint32_t kIdleWaitMs = 10;
constexpr std::size_t kKeptAnswers = 16;
constexpr int kReleaseWaitMs = 1500;   // a holder's longest single wait (write, read) is far shorter

} // namespace

CSerialLink::CSerialLink() = default;

CSerialLink::~CSerialLink()
{
    CloseComPort();
}

std::shared_ptr<CSerialPort> CSerialLink::Port() const
{
    std::lock_guard<std::mutex> lock(m_portMutex);
    return m_port;
}

int CSerialLink::OpenComPort(const QByteArray& portName, uint8_t speedMode)
{
    const QByteArray device = ComPorts::ResolvePortName(portName);
    int error = 0;
    std::shared_ptr<CSerialPort> port = CSerialPort::Open(device, &error);
    // A port closed a moment ago may still be held by a read or write in flight on another
    // thread (the monitor's); it lets go within one short wait, so a restart waits for that.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReleaseWaitMs);
    while (!port && error == EBUSY && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        port = CSerialPort::Open(device, &error);
    }
    m_nLastOpenError = port ? 0 : (error ? error : EIO);
    if (!port)
        return 0;
    port->Purge();
    if (!port->Configure(speedMode)) {
        m_nLastOpenError = EINVAL;
        port->Close();
        return 0;
    }
    {
        std::lock_guard<std::mutex> lock(m_timeoutMutex);
        m_timeouts = Timeouts{};   // 100 ms per byte until the first exchange
    }
    {
        std::lock_guard<std::mutex> lock(m_portMutex);
        if (m_port)
            m_port->Close();
        m_port = port;
    }
    ApplyTimeouts();
    m_nPortOpen = 1;
    return 1;
}

int CSerialLink::CloseComPort()
{
    if (m_nPortOpen.load() != 1)
        return 1;
    m_nStopRequest = 1;
    std::shared_ptr<CSerialPort> port;
    {
        std::lock_guard<std::mutex> lock(m_portMutex);
        port.swap(m_port);
    }
    if (port) {
        port->DropDtr();
        port->Purge();
        // Reads in flight on other threads return at once; the device itself is released
        // when the last of them lets go of the port.
        port->Close();
    }
    m_nPortOpen = 0;
    m_nPortInUse = -1;
    m_nInterfaceType = -1;
    return 1;
}

QByteArray CSerialLink::SendTelegram(char command, const QByteArray& data, uint8_t frameMode)
{
    QByteArray frame;
    if (frameMode == 1)
        frame = Telegram::BuildAddressedFrame(command, data);
    else if (frameMode == 2)
        frame = Telegram::BuildShortFrame(command, data);
    else
        return {};

    SetReadTotalConstant(m_exchangeWaitMs.load());
    const std::shared_ptr<CSerialPort> port = Port();
    if (port) {
        port->Purge();
        port->Write(frame);
    }

    QByteArray reply;
    if (port)
        reply = Telegram::ReceiveReply([&port](uint8_t& byte) { return port->ReadByte(byte); });
    SetReadTotalConstant(kIdleWaitMs);
    return reply;
}

QByteArray CSerialLink::SendTelegramViaMonitor(char command, const QByteArray& data, uint8_t frameMode)
{
    QByteArray frame;
    if (frameMode == 1) {
        m_nReady = 0;   // the monitor writes the frame once the reply to its own poll is in
        frame = Telegram::BuildAddressedFrame(command, data);
    } else if (frameMode == 2 || frameMode == 3) {
        frame = Telegram::BuildShortFrame(command, data);
    } else {
        ResetReplyEvent();
        return {};
    }
    ++m_nMailboxWaiters;
    const uint64_t ticket = SetOutgoing(frame);
    QByteArray reply;
    WaitAnswer(ticket, m_mailboxWaitMs.load(), &reply);
    m_nReady = 1;
    --m_nMailboxWaiters;
    return reply;
}

void CSerialLink::SetReplyWaits(uint32_t exchangeMs, int mailboxMs)
{
    m_exchangeWaitMs = exchangeMs;
    m_mailboxWaitMs = mailboxMs;
}

int CSerialLink::IsTelegramChecksumOK(const QByteArray& reply)
{
    return Telegram::IsTelegramChecksumOK(reply);
}

void CSerialLink::EnumerateComPorts(std::vector<uint32_t>& ports)
{
    ComPorts::EnumerateComPorts(ports);
}

CSerialLink::Timeouts CSerialLink::GetTimeouts() const
{
    std::lock_guard<std::mutex> lock(m_timeoutMutex);
    return m_timeouts;
}

void CSerialLink::SetReadTotalConstant(uint32_t ms)
{
    {
        std::lock_guard<std::mutex> lock(m_timeoutMutex);
        m_timeouts.readTotalConstant = ms;
    }
    ApplyTimeouts();
}

void CSerialLink::ApplyTimeouts()
{
    if (const std::shared_ptr<CSerialPort> port = Port())
        port->SetTimeouts(GetTimeouts());
}

int CSerialLink::ReadByte(uint8_t& byte)
{
    const std::shared_ptr<CSerialPort> port = Port();
    return port ? port->ReadByte(byte) : -1;
}

void CSerialLink::WritePort(const QByteArray& frame)
{
    if (const std::shared_ptr<CSerialPort> port = Port())
        port->Write(frame);
    std::function<void(const QByteArray&)> tap;
    {
        std::lock_guard<std::mutex> lock(m_tapMutex);
        tap = m_writeTap;
    }
    if (tap)
        tap(frame);
}

void CSerialLink::SetWriteTap(std::function<void(const QByteArray&)> tap)
{
    std::lock_guard<std::mutex> lock(m_tapMutex);
    m_writeTap = std::move(tap);
}

void CSerialLink::PurgeReceive()
{
    if (const std::shared_ptr<CSerialPort> port = Port())
        port->PurgeReceive();
}

void CSerialLink::PurgePort()
{
    if (const std::shared_ptr<CSerialPort> port = Port())
        port->Purge();
}

std::shared_ptr<CSerialPort> CSerialLink::PortForChecks() const
{
    return Port();
}

// ---- mailbox ----

namespace {
// Texts cross threads through the mailbox as copies of their own: a QByteArray that shares
// its data with another thread's counts references inside Qt, where the thread sanitizer
// cannot see it, and the small copies keep its reports about our own code meaningful.
QByteArray Detached(const QByteArray& text) { return QByteArray(text.constData(), text.size()); }
} // namespace

uint64_t CSerialLink::SetOutgoing(const QByteArray& frame)
{
    std::lock_guard<std::mutex> lock(m_mailMutex);
    m_replySignalled = false;
    m_replyText.clear();
    m_outgoing = Detached(frame);
    m_outgoingTicket = ++m_lastTicket;
    return m_outgoingTicket;
}

bool CSerialLink::HasOutgoing() const
{
    std::lock_guard<std::mutex> lock(m_mailMutex);
    return !m_outgoing.isEmpty();
}

QByteArray CSerialLink::Outgoing() const
{
    std::lock_guard<std::mutex> lock(m_mailMutex);
    return Detached(m_outgoing);
}

QByteArray CSerialLink::TakeOutgoing(uint64_t* ticket)
{
    std::lock_guard<std::mutex> lock(m_mailMutex);
    QByteArray frame;
    frame.swap(m_outgoing);
    if (!frame.isEmpty())
        m_takenTicket = m_outgoingTicket;
    if (ticket)
        *ticket = frame.isEmpty() ? 0 : m_outgoingTicket;
    m_outgoingTicket = 0;
    return frame;
}

void CSerialLink::ClearOutgoing()
{
    std::lock_guard<std::mutex> lock(m_mailMutex);
    m_outgoing.clear();
    m_outgoingTicket = 0;
}

void CSerialLink::StoreReply(const QByteArray& reply)
{
    uint64_t answers = 0;
    {
        std::lock_guard<std::mutex> lock(m_mailMutex);
        answers = m_takenTicket;
    }
    StoreFrame(reply, answers);
}

void CSerialLink::StoreFrame(const QByteArray& reply, uint64_t answers)
{
    std::lock_guard<std::mutex> lock(m_mailMutex);
    m_replyText = Detached(reply);
    m_replySignalled = true;
    if (answers != 0)
        KeepAnswerLocked(answers, Detached(reply));
    m_replyCond.notify_all();
}

void CSerialLink::StoreNoReply(uint64_t ticket)
{
    std::lock_guard<std::mutex> lock(m_mailMutex);
    KeepAnswerLocked(ticket, QByteArray());
    m_replyCond.notify_all();
}

void CSerialLink::KeepAnswerLocked(uint64_t ticket, const QByteArray& reply)
{
    m_answers.emplace_back(ticket, reply);
    if (m_answers.size() > kKeptAnswers)
        m_answers.pop_front();   // callers that gave up long ago
}

bool CSerialLink::WaitAnswer(uint64_t ticket, int ms, QByteArray* reply)
{
    std::unique_lock<std::mutex> lock(m_mailMutex);
    auto mine = m_answers.end();
    const bool answered = m_replyCond.wait_for(lock, std::chrono::milliseconds(ms), [&] {
        mine = std::find_if(m_answers.begin(), m_answers.end(), [ticket](const auto& a) { return a.first == ticket; });
        return mine != m_answers.end();
    });
    if (!answered)
        return false;
    if (reply)
        *reply = Detached(mine->second);
    m_answers.erase(mine);
    return true;
}

void CSerialLink::ResetReplyEvent()
{
    std::lock_guard<std::mutex> lock(m_mailMutex);
    m_replySignalled = false;
    m_replyText.clear();
}

bool CSerialLink::WaitReply(int ms)
{
    std::unique_lock<std::mutex> lock(m_mailMutex);
    const bool signalled = m_replyCond.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_replySignalled; });
    m_replySignalled = false;   // auto-reset
    return signalled;
}

QByteArray CSerialLink::ReplyText() const
{
    std::lock_guard<std::mutex> lock(m_mailMutex);
    return Detached(m_replyText);
}
