#include "ReaderSim.h"

#include "SimEvents.h"

#include "base/Paths.h"

#include <QDir>

#include <asm/termbits.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Sim {

namespace {
constexpr std::size_t kLogLimit = 6000;   // a demo polls twice a second for hours

std::string ErrnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// Command letter of a frame for the log, also when the reader did not take it.
char GuessCommand(const std::string& inner)
{
    if (inner.size() >= 5 && inner.compare(0, 2, "FF") == 0)
        return inner[2];
    return inner.empty() ? 0 : inner[0];
}

std::string WithBadChecksum(const std::string& payload)
{
    if (payload.size() < 2)
        return payload;
    const std::string body = payload.substr(0, payload.size() - 2);
    unsigned sum = 0;
    for (unsigned char c : body)
        sum += c;
    return body + Hex((sum + 0x11) % 256, 2);
}
} // namespace

ReaderSim::ReaderSim(Model model, int comNumber)
    : m_model(model)
    , m_com(comNumber)
    , m_device(model)
{
}

ReaderSim::~ReaderSim()
{
    Stop();
}

std::string ReaderSim::ErrorText() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

std::string ReaderSim::DevicePath() const
{
    std::lock_guard lock(m_mutex);
    if (!m_linkPath.empty())
        return m_linkPath;
    return (Paths::DosDevicesDir() + QStringLiteral("/com%1").arg(m_com)).toStdString();
}

std::string ReaderSim::PtsPath() const
{
    std::lock_guard lock(m_mutex);
    return m_ptsPath;
}

bool ReaderSim::Start()
{
    if (m_running)
        return true;
    auto fail = [this](const std::string& text) {
        Cleanup();
        std::lock_guard lock(m_mutex);
        m_error = text;
        return false;
    };

    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0)
        return fail(ErrnoText("posix_openpt"));
    char name[128];
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 || ptsname_r(m_master, name, sizeof name) != 0)
        return fail(ErrnoText("pseudo-terminal"));

    // Our own end of the slave: without it the master reads EIO whenever the program closes
    // the port, and it lets us start the line raw (no echo of our replies back to us) at a rate
    // that no reader uses, so nothing is heard before the program configures the port.
    m_slaveKeep = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slaveKeep < 0)
        return fail(ErrnoText(name));
    termios2 t {};
    if (ioctl(m_slaveKeep, TCGETS2, &t) == 0) {
        t.c_iflag = 0;
        t.c_oflag = 0;
        t.c_lflag = 0;
        t.c_cflag = CS8 | CREAD | CLOCAL | B38400;
        t.c_ispeed = t.c_ospeed = 38400;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        ioctl(m_slaveKeep, TCSETS2, &t);
    }
    int wake[2];
    if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0)
        return fail(ErrnoText("pipe"));
    {
        std::lock_guard lock(m_mutex);
        m_wake[0] = wake[0];
        m_wake[1] = wake[1];
    }

    const QString dir = Paths::DosDevicesDir();
    QDir().mkpath(dir);
    const std::string link = (dir + QStringLiteral("/com%1").arg(m_com)).toStdString();
    if (::unlink(link.c_str()) != 0 && errno != ENOENT)
        return fail(ErrnoText(link.c_str()));   // a stale link that cannot go, or a folder
    if (::symlink(name, link.c_str()) != 0)
        return fail(ErrnoText(link.c_str()));
    {
        std::lock_guard lock(m_mutex);
        m_ptsPath = name;
        m_linkPath = link;
        m_error.clear();
    }
    m_inFrame = false;
    m_collected.clear();
    m_delayed.clear();
    m_onTheirWay = 0;
    m_stop = false;
    m_thread = std::thread(&ReaderSim::Serve, this);
    m_running = true;
    return true;
}

void ReaderSim::Stop()
{
    if (!m_running)
        return;
    m_stop = true;
    const char c = 'q';
    (void)!::write(m_wake[1], &c, 1);
    if (m_thread.joinable())
        m_thread.join();
    m_running = false;
    Cleanup();
}

void ReaderSim::Cleanup()
{
    std::string link, pts;
    {
        std::lock_guard lock(m_mutex);
        link = m_linkPath;
        pts = m_ptsPath;
        m_linkPath.clear();
    }
    if (!link.empty()) {
        // Only our own link: another simulator may have taken the number meanwhile.
        char target[256];
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, std::size_t(n)) == pts)
            ::unlink(link.c_str());
    }
    std::lock_guard lock(m_mutex);   // PresentTag may be writing to the wake pipe
    for (int* fd : {&m_master, &m_slaveKeep, &m_wake[0], &m_wake[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

bool ReaderSim::LineState(unsigned& rate) const
{
    termios2 t {};
    if (ioctl(m_master, TCGETS2, &t) != 0) {
        rate = 0;
        return false;
    }
    // Only the rate tells: a pseudo-terminal always reports 8 data bits and no parity.
    rate = t.c_ospeed;
    return rate == Info().rate;
}

void ReaderSim::Serve()
{
    pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    char buf[512];
    while (!m_stop) {
        int timeout = ServeTeach() ? 20 : 250;
        const int untilReply = FlushDelayed();
        if (untilReply >= 0 && untilReply < timeout)
            timeout = untilReply;
        const int r = ::poll(fds, 2, timeout);
        if (r < 0 && errno != EINTR)
            break;
        if (m_stop)
            break;
        if (r <= 0)
            continue;
        if (fds[1].revents & POLLIN) {
            while (::read(m_wake[0], buf, sizeof buf) > 0) {
            }
            SendUnsolicited();
        }
        if (fds[0].revents & POLLIN) {
            unsigned rate = 0;
            const bool lineOk = LineState(rate);
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0)
                TakeBytes(buf, std::size_t(n), rate, lineOk);
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            // Should not happen while we hold the slave; do not spin if it does.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

void ReaderSim::TakeBytes(const char* bytes, std::size_t n, unsigned rate, bool lineOk)
{
    for (std::size_t i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c == STX) {
            m_inFrame = true;
            m_collected.clear();
            m_frameLineOk = lineOk;
            m_frameRate = rate;
        } else if (c == EOT) {
            if (m_inFrame) {
                if (!lineOk)
                    m_frameLineOk = false;
                FrameComplete();
            }
            m_inFrame = false;
        } else if (m_inFrame) {
            m_collected += c;
            if (!lineOk)
                m_frameLineOk = false;
        }
    }
}

void ReaderSim::FrameComplete()
{
    const bool bus = Info().bus;
    SimLogEntry e;
    e.frame = m_collected;
    e.rate = m_frameRate;
    std::string out;
    std::function<void(const SimLogEntry&)> listener;
    {
        std::lock_guard lock(m_mutex);
        if (!m_frameLineOk || m_faults.silent) {
            e.heard = m_frameLineOk ? Heard::Unplugged : Heard::WrongLine;
            e.command = GuessCommand(m_collected);
        } else {
            Answer a;
            if (!m_aimed.Refuse(m_collected, bus, a))
                a = m_device.Handle(m_collected);
            e.heard = a.heard;
            e.command = a.heard == Heard::Answered ? a.command : GuessCommand(m_collected);
            e.data = a.data;
            if (a.heard == Heard::Answered) {
                ++m_received[a.command];
                std::string reply = a.replyPayload;
                bool fallSilent = false;
                bool send = m_aimed.Apply(a.command, a.data, bus, reply, &fallSilent);   // an aimed fault comes first
                if (fallSilent)
                    m_faults.silent = true;   // this reply still goes out; nothing after it
                if (send && a.command == 'H' && ++m_identifyTries < m_faults.identifyOnTry)
                    send = false;
                else if (send && m_faults.dropNext > 0) {
                    --m_faults.dropNext;
                    send = false;
                }
                if (send) {
                    std::string payload = reply;
                    if (m_faults.shortEvents && IsEventQuery(a.command, a.data))
                        payload = ShortenedEventReply(payload);
                    if (m_faults.badChecksum && bus)
                        payload = WithBadChecksum(payload);
                    e.replied = true;
                    e.reply = payload;
                    ++m_repliesSent;
                    if (m_faults.eotBeforeStx)
                        out += EOT;
                    static const char kNoise[] = {'#', '~', 'x', char(0xFF), '?'};
                    for (int i = 0; i < m_faults.noiseBytes; ++i)
                        out += kNoise[i % sizeof kNoise];
                    for (int i = 0; i < m_faults.interimFrames; ++i)
                        out += Frame(bus ? AddressedReplyPayload("R") : std::string("R"));
                    out += STX;
                    out += payload;
                    if (!m_faults.cutBeforeEot)
                        out += EOT;
                }
            }
        }
        listener = m_listener;
        Record(e);
    }
    if (listener)
        listener(e);
    if (!out.empty())
        WriteReply(out, m_collected.size() + 2);
}

void ReaderSim::SendUnsolicited()
{
    std::vector<std::string> tags;
    {
        std::lock_guard lock(m_mutex);
        tags.swap(m_pendingTags);
    }
    for (const std::string& number : tags) {
        unsigned rate = 0;
        const bool lineOk = LineState(rate);
        SimLogEntry e;
        e.heard = Heard::Unsolicited;
        e.rate = rate;
        std::function<void(const SimLogEntry&)> listener;
        {
            std::lock_guard lock(m_mutex);
            e.frame = m_device.UnsolicitedTag(number);
            e.command = e.frame[0];
            e.data = number;
            // A tag frame sent while the port is at another rate, or unplugged, is lost.
            e.replied = lineOk && !m_faults.silent;
            if (e.replied) {
                e.reply = e.frame;
                ++m_repliesSent;
            }
            listener = m_listener;
            Record(e);
        }
        if (listener)
            listener(e);
        if (e.replied)
            WriteReply(Frame(e.frame), 0);
    }
}

void ReaderSim::WriteReply(const std::string& bytes, std::size_t requestBytes)
{
    int delayMs;
    {
        std::lock_guard lock(m_mutex);
        delayMs = m_faults.replyDelayMs;
    }
    // A slow reader keeps listening while its replies are on their way, so that telegrams
    // the program repeats meanwhile are heard and answered late too, each in its turn, and
    // the line is free again soon after the program has given up.
    const auto now = std::chrono::steady_clock::now();
    if (delayMs > 0 || !m_delayed.empty()) {
        auto due = now + std::chrono::milliseconds(delayMs);
        if (!m_delayed.empty() && due < m_delayed.back().due)
            due = m_delayed.back().due;   // replies leave in the order they were made
        m_delayed.push_back({due, bytes, requestBytes});
        m_onTheirWay = int(m_delayed.size());
        return;
    }
    Transmit(bytes, requestBytes);
}

int ReaderSim::FlushDelayed()
{
    const auto now = std::chrono::steady_clock::now();
    while (!m_delayed.empty() && m_delayed.front().due <= now && !m_stop) {
        const DelayedReply reply = m_delayed.front();
        m_delayed.pop_front();
        Transmit(reply.bytes, reply.requestBytes);
        m_onTheirWay = int(m_delayed.size());
    }
    if (m_delayed.empty())
        return -1;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_delayed.front().due - now).count();
    return int(std::max<long long>(1, wait + 1));
}

void ReaderSim::Transmit(const std::string& bytes, std::size_t requestBytes)
{
    bool pace;
    {
        std::lock_guard lock(m_mutex);
        pace = m_faults.pace;
    }
    using Clock = std::chrono::steady_clock;
    const auto byteTime = std::chrono::nanoseconds(10'000'000'000LL / Info().rate);
    auto next = Clock::now();
    if (pace)
        next += byteTime * requestBytes;   // the request was still on the wire
    auto writeSome = [this](const char* p, std::size_t n) {
        while (n > 0 && !m_stop) {
            const ssize_t w = ::write(m_master, p, n);
            if (w > 0) {
                p += w;
                n -= std::size_t(w);
            } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd pf {m_master, POLLOUT, 0};
                if (::poll(&pf, 1, 200) <= 0)
                    return;   // nobody reads: the reply is lost, as on an open line
            } else {
                return;
            }
        }
    };
    if (!pace) {
        writeSome(bytes.data(), bytes.size());
        return;
    }
    for (char c : bytes) {
        next += byteTime;   // a byte is there once its stop bit is
        std::this_thread::sleep_until(next);
        writeSome(&c, 1);
    }
}

void ReaderSim::Record(const SimLogEntry& entry)
{
    if (m_log.size() >= kLogLimit)
        m_log.erase(m_log.begin(), m_log.begin() + kLogLimit / 6);
    m_log.push_back(entry);
}

// ---- memory ----

void ReaderSim::SetDeviceId(const std::string& id20)
{
    std::lock_guard lock(m_mutex);
    std::string id = id20;
    id.resize(20, 'F');
    m_device.Memory().deviceId = id;
}

std::string ReaderSim::DeviceId() const
{
    std::lock_guard lock(m_mutex);
    return m_device.Memory().deviceId;
}

std::optional<SimClock> ReaderSim::LastClock() const
{
    std::lock_guard lock(m_mutex);
    return m_device.Memory().lastClock;
}

int ReaderSim::ClockWrites() const
{
    std::lock_guard lock(m_mutex);
    return m_device.Memory().clockWrites;
}

void ReaderSim::PresentTag(const std::string& number10, bool once)
{
    std::string number = number10;
    number.resize(10, '0');
    {
        std::lock_guard lock(m_mutex);
        if (Info().bus) {
            m_device.Memory().tagInField = number;
            m_device.Memory().tagOnce = once;
            return;
        }
        m_pendingTags.push_back(number);
        const char c = 't';
        if (m_wake[1] >= 0)
            (void)!::write(m_wake[1], &c, 1);
    }
}

void ReaderSim::RemoveTag()
{
    std::lock_guard lock(m_mutex);
    m_device.Memory().tagInField.reset();
}

void ReaderSim::SetEvents(const std::vector<SimEvent>& events)
{
    std::lock_guard lock(m_mutex);
    m_device.SetEvents(events);
}

void ReaderSim::AddEvents(const std::vector<SimEvent>& events)
{
    std::lock_guard lock(m_mutex);
    m_device.AddEvents(events);
}

void ReaderSim::SetEventPointer(unsigned pointer)
{
    std::lock_guard lock(m_mutex);
    m_device.Memory().params[3] = pointer & 0xFFFF;
}

unsigned ReaderSim::EventPointer() const
{
    std::lock_guard lock(m_mutex);
    return m_device.Memory().params[3];
}

int ReaderSim::EventCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_device.Memory().events.size());
}

std::string ReaderSim::EventsText(int max) const
{
    std::lock_guard lock(m_mutex);
    return EventListText(m_device.Memory(), max);
}

void ReaderSim::SetTransponders(const std::vector<std::string>& numbers)
{
    std::lock_guard lock(m_mutex);
    m_device.SetTransponders(numbers);
}

std::vector<std::string> ReaderSim::Transponders() const
{
    std::lock_guard lock(m_mutex);
    return m_device.Transponders();
}

void ReaderSim::SetMaster(const std::string& number10)
{
    std::lock_guard lock(m_mutex);
    std::string number = number10;
    number.resize(10, '0');
    m_device.Memory().tagSlots[0] = number;
}

std::string ReaderSim::Master() const
{
    std::lock_guard lock(m_mutex);
    return m_device.Memory().tagSlots[0];
}

std::map<int, SimWindow> ReaderSim::Windows() const
{
    std::lock_guard lock(m_mutex);
    return m_device.Memory().windows;
}

std::vector<unsigned> ReaderSim::Params() const
{
    std::lock_guard lock(m_mutex);
    const SimMemory& m = m_device.Memory();
    return {m.params[0], m.params[1], unsigned(m.slotCount), m.params[3]};
}

void ReaderSim::SetParam(int index, unsigned value)
{
    std::lock_guard lock(m_mutex);
    if (index < 0 || index > 3)
        return;
    if (index == 2)
        m_device.Memory().slotCount = std::min<int>(int(value), Info().slotCapacity);
    m_device.Memory().params[index] = value & 0xFFFF;
}

int ReaderSim::Mode() const
{
    std::lock_guard lock(m_mutex);
    return m_device.Memory().mode;
}

int ReaderSim::SwitchTime() const
{
    std::lock_guard lock(m_mutex);
    return m_device.Memory().switchTime;
}

bool ReaderSim::TeachMode() const
{
    std::lock_guard lock(m_mutex);
    return m_device.Memory().teachMode;
}

// ---- faults and traffic ----

void ReaderSim::SetFaults(const SimFaults& faults)
{
    std::lock_guard lock(m_mutex);
    m_faults = faults;
    m_identifyTries = 0;
}

SimFaults ReaderSim::Faults() const
{
    std::lock_guard lock(m_mutex);
    return m_faults;
}

void ReaderSim::AimFault(const AimedFault& fault)
{
    std::lock_guard lock(m_mutex);
    m_aimed.Add(fault);
}

std::vector<AimedFault> ReaderSim::AimedFaultsPending() const
{
    std::lock_guard lock(m_mutex);
    return m_aimed.Pending();
}

void ReaderSim::ClearAimedFaults()
{
    std::lock_guard lock(m_mutex);
    m_aimed.Clear();
}

int ReaderSim::Received(char command) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_received.find(command);
    return it == m_received.end() ? 0 : it->second;
}

int ReaderSim::ReceivedTotal() const
{
    std::lock_guard lock(m_mutex);
    int total = 0;
    for (const auto& [c, n] : m_received)
        total += n;
    return total;
}

std::vector<std::string> ReaderSim::ReceivedData(char command) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> data;
    for (const SimLogEntry& e : m_log)
        if (e.command == command && e.heard == Heard::Answered)
            data.push_back(e.data);
    return data;
}

std::vector<SimLogEntry> ReaderSim::Log() const
{
    std::lock_guard lock(m_mutex);
    return m_log;
}

void ReaderSim::ClearLog()
{
    std::lock_guard lock(m_mutex);
    m_log.clear();
    m_received.clear();
    m_repliesSent = 0;
}

int ReaderSim::RepliesSent() const
{
    std::lock_guard lock(m_mutex);
    return m_repliesSent;
}

void ReaderSim::SetTrafficListener(std::function<void(const SimLogEntry&)> listener)
{
    std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}

std::string ReaderSim::StatusText() const
{
    std::lock_guard lock(m_mutex);
    const SimMemory& m = m_device.Memory();
    const ModelInfo& i = Info();
    std::ostringstream s;
    s << i.name << " (" << i.identity << ") at " << i.rate << " bit/s, "
      << (i.bus ? "addressed frames" : "short frames") << "\n";
    s << "port: " << m_linkPath << " -> " << m_ptsPath << "\n";
    if (i.bus) {
        s << "device ID: " << m.deviceId << "\n";
        s << ParamStatusLocked();
        s << "tag in field: " << (m.tagInField ? *m.tagInField : std::string("none")) << "\n";
        s << "event pointer: " << Hex(m.params[3], 4) << ", events stored: " << m.events.size() << "\n";
        s << "params P0000..P0003: " << Hex(m.params[0], 4) << " " << Hex(m.params[1], 4) << " "
          << Hex(unsigned(m.slotCount), 4) << " " << Hex(m.params[3], 4) << "\n";
        s << "time windows: " << m.windows.size() << "\n";
        s << MemoryListing(m);
    } else {
        s << ParamStatusLocked();
    }
    s << "transponders: " << m.slotCount << "\n";
    s << "telegrams heard:";
    for (const auto& [c, n] : m_received)
        s << " " << c << "=" << n;
    s << "\nreplies sent: " << m_repliesSent << "\n";
    const SimFaults& f = m_faults;
    s << "faults:" << (f.silent ? " silent" : "") << (f.badChecksum ? " bad-checksum" : "")
      << (f.cutBeforeEot ? " cut" : "") << (f.eotBeforeStx ? " eot-first" : "")
      << (f.pace ? " pace" : "") << (f.shortEvents ? " short-events" : "");
    if (f.noiseBytes) s << " noise=" << f.noiseBytes;
    if (f.interimFrames) s << " interim=" << f.interimFrames;
    if (f.dropNext) s << " drop=" << f.dropNext;
    if (f.identifyOnTry > 1) s << " identify-on=" << f.identifyOnTry;
    if (f.replyDelayMs) s << " delay=" << f.replyDelayMs << "ms";
    for (const AimedFault& a : m_aimed.Pending())
        s << " aim=" << AimedFaultText(a);
    s << "\n";
    return s.str();
}

} // namespace Sim
