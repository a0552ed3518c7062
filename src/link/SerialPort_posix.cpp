// Serial port over POSIX file descriptors. On Linux the line is configured through the
// termios2 interface, which takes any bit rate (the readers' 57200 is not a standard one);
// <asm/termbits.h> declares its own struct termios and therefore must not meet <termios.h>:
// this is the only file that includes either.
#include "link/CSerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#if defined(__linux__)
#include <asm/termbits.h>
#include <sys/ioctl.h>
#else
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kBusRate = 57200;
constexpr uint32_t kDeskRate = 9600;

int Remaining(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}

bool IsPseudoTerminal(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
#if defined(__linux__)
    const unsigned maj = major(st.st_rdev);
    return maj >= 136 && maj <= 143;   // Unix98 pseudo-terminal slaves
#else
    return false;
#endif
}

#if defined(__linux__)
void MakeRaw(termios2& tio)
{
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

void SetStandardRate(termios2& tio, unsigned code)
{
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= code;   // input rate bits 0: same as output
}

void SetCustomRate(termios2& tio, uint32_t rate)
{
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER;
    tio.c_ispeed = rate;
    tio.c_ospeed = rate;
}
#endif

void Flush(int fd, int queues)
{
#if defined(__linux__)
    ioctl(fd, TCFLSH, queues);
#else
    tcflush(fd, queues);
#endif
}

} // namespace

std::shared_ptr<CSerialPort> CSerialPort::Open(const QByteArray& devicePath, int* error)
{
    int dummy = 0;
    int& err = error ? *error : dummy;
    err = ENOENT;
    if (devicePath.isEmpty())
        return nullptr;
    // Non-blocking, so that the open does not wait for a carrier and several threads can
    // poll the same descriptor; reads wait in poll() with their own time-out.
    const int fd = ::open(devicePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return nullptr;
    }
    if (!isatty(fd)) {
        ::close(fd);
        err = ENOTTY;
        return nullptr;
    }
    // The port belongs to one holder at a time, also within this program: the lock is the
    // one every opener takes (TIOCEXCL below does not hold against a privileged opener, nor
    // on a pseudo-terminal), and it goes with the last descriptor of the holder.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return nullptr;
    }
    std::shared_ptr<CSerialPort> port(new CSerialPort);
    port->m_fd = fd;
    port->m_isTerminal = IsPseudoTerminal(fd);
    if (::pipe2(port->m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        err = errno;
        port->m_wake[0] = port->m_wake[1] = -1;
        return nullptr;
    }
    // A real port is not shared with other programs. A pseudo-terminal stays shareable:
    // the peer on its other end (a simulator, socat) may hold the slave open itself.
    if (!port->m_isTerminal)
        ioctl(fd, TIOCEXCL);
    err = 0;
    return port;
}

CSerialPort::~CSerialPort()
{
    if (m_fd >= 0)
        ::close(m_fd);
    for (int w : m_wake)
        if (w >= 0)
            ::close(w);
}

bool CSerialPort::Configure(uint8_t speedMode)
{
    if (m_closed.load())
        return false;
#if defined(__linux__)
    termios2 tio {};
    if (ioctl(m_fd, TCGETS2, &tio) != 0)
        return false;
    MakeRaw(tio);
    if (speedMode == 2)
        SetStandardRate(tio, B9600);
    else if (speedMode == 1)
        SetCustomRate(tio, kBusRate);
    if (ioctl(m_fd, TCSETS2, &tio) != 0) {
        if (speedMode != 1)
            return false;
        // The driver takes standard rates only: 57600 is the nearest to 57200.
        SetStandardRate(tio, B57600);
        if (ioctl(m_fd, TCSETS2, &tio) != 0)
            return false;
    }
#else
    termios tio {};
    if (tcgetattr(m_fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag &= ~(PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    if (speedMode == 2)
        cfsetspeed(&tio, B9600);
    else if (speedMode == 1)
        cfsetspeed(&tio, B57600);
    if (tcsetattr(m_fd, TCSANOW, &tio) != 0)
        return false;
#endif
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(m_fd, TIOCMBIS, &lines) != 0 && !m_isTerminal)
        return false;   // a pseudo-terminal has no modem lines; a real port must take them
    (void)kDeskRate;
    return true;
}

uint32_t CSerialPort::Baud() const
{
#if defined(__linux__)
    termios2 tio {};
    if (ioctl(m_fd, TCGETS2, &tio) != 0)
        return 0;
    if ((tio.c_cflag & CBAUD) == BOTHER)
        return tio.c_ospeed;
    switch (tio.c_cflag & CBAUD) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return tio.c_ospeed;
    }
#else
    termios tio {};
    if (tcgetattr(m_fd, &tio) != 0)
        return 0;
    const speed_t s = cfgetospeed(&tio);
    return s == B9600 ? 9600 : s == B57600 ? 57600 : 0;
#endif
}

CSerialPort::LineSettings CSerialPort::Line() const
{
    LineSettings line;
#if defined(__linux__)
    termios2 tio {};
    if (ioctl(m_fd, TCGETS2, &tio) != 0)
        return line;
#else
    termios tio {};
    if (tcgetattr(m_fd, &tio) != 0)
        return line;
#endif
    switch (tio.c_cflag & CSIZE) {
    case CS5: line.dataBits = 5; break;
    case CS6: line.dataBits = 6; break;
    case CS7: line.dataBits = 7; break;
    default: line.dataBits = 8; break;
    }
    line.parity = (tio.c_cflag & PARENB) != 0;
    line.twoStopBits = (tio.c_cflag & CSTOPB) != 0;
    line.hardwareFlow = (tio.c_cflag & CRTSCTS) != 0;
    line.softwareFlow = (tio.c_iflag & (IXON | IXOFF)) != 0;
    line.raw = (tio.c_lflag & (ICANON | ECHO | ISIG)) == 0 && (tio.c_oflag & OPOST) == 0;
    return line;
}

void CSerialPort::SetTimeouts(const Timeouts& t)
{
    // The interval time-out does not matter for reads of one byte.
    m_readMultiplier.store(t.readTotalMultiplier);
    m_readConstant.store(t.readTotalConstant);
    m_writeMultiplier.store(t.writeTotalMultiplier);
    m_writeConstant.store(t.writeTotalConstant);
}

int CSerialPort::ReadByte(uint8_t& byte)
{
    if (m_closed.load())
        return -1;
    const uint64_t total = uint64_t(m_readMultiplier.load()) + m_readConstant.load();
    const bool infinite = total == 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(total);
    bool hungUp = false;
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        // After a hang-up (the device went away, the peer closed its end) the descriptor
        // polls ready for ever; waiting on the wake pipe alone makes that look like silence,
        // so the caller's time-outs still pace it.
        const nfds_t count = hungUp ? 1 : 2;
        pollfd* set = hungUp ? &fds[1] : fds;
        const int r = ::poll(set, count, infinite ? -1 : Remaining(deadline));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (m_closed.load() || (fds[1].revents & POLLIN))
            return -1;
        if (r == 0)
            return 0;
        if (fds[0].revents & POLLNVAL)
            return -1;
        const ssize_t n = ::read(m_fd, &byte, 1);
        if (n == 1)
            return 1;
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;   // another thread took the byte
        hungUp = true;
        if (infinite)
            return 0;
    }
}

bool CSerialPort::Write(const QByteArray& data)
{
    if (m_closed.load())
        return false;
    const uint64_t total = uint64_t(m_writeMultiplier.load()) * data.size() + m_writeConstant.load();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(total);
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_fd, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_wake[0], POLLIN, 0}};
        const int r = ::poll(fds, 2, total == 0 ? -1 : Remaining(deadline));
        if (r <= 0 || m_closed.load())
            return false;
    }
    return true;
}

void CSerialPort::PurgeReceive()
{
    if (!m_closed.load())
        Flush(m_fd, TCIFLUSH);
}

void CSerialPort::Purge()
{
    if (!m_closed.load())
        Flush(m_fd, TCIOFLUSH);
}

void CSerialPort::DropDtr()
{
    if (m_closed.load())
        return;
    int lines = TIOCM_DTR;
    ioctl(m_fd, TIOCMBIC, &lines);   // a pseudo-terminal has none; nothing to do then
}

void CSerialPort::Close()
{
    if (m_closed.exchange(true))
        return;
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &c, 1);
}
