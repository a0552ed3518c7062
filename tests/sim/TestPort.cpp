#include "TestPort.h"

#include <asm/termbits.h>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

bool TestPort::Open(const std::string& path, unsigned rate)
{
    Close();
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    termios2 t {};
    if (ioctl(m_fd, TCGETS2, &t) != 0)
        return false;
    t.c_iflag = 0;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag = CS8 | CREAD | CLOCAL | BOTHER;
    t.c_ispeed = t.c_ospeed = rate;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (ioctl(m_fd, TCSETS2, &t) != 0)
        return false;
    ioctl(m_fd, TCFLSH, TCIOFLUSH);
    return true;
}

void TestPort::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void TestPort::Write(const std::string& bytes)
{
    (void)!::write(m_fd, bytes.data(), bytes.size());
}

namespace {
template <typename Done>
std::string Collect(int fd, int timeoutMs, Done done)
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string got;
    while (!done(got)) {
        const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
        if (left <= 0)
            break;
        pollfd pf {fd, POLLIN, 0};
        if (::poll(&pf, 1, left) <= 0)
            break;
        char buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            got.append(buf, std::size_t(n));
    }
    return got;
}
} // namespace

std::string TestPort::ReadBytes(std::size_t count, int timeoutMs)
{
    return Collect(m_fd, timeoutMs, [count](const std::string& s) { return s.size() >= count; });
}

std::string TestPort::ReadFrame(int timeoutMs)
{
    return Collect(m_fd, timeoutMs, [](const std::string& s) {
        const auto stx = s.find('\x02');
        return stx != std::string::npos && s.find('\x04', stx) != std::string::npos;
    });
}

std::string TestAddressed(char command, const std::string& data)
{
    const std::string covered = std::string("FF") + command + data;
    unsigned sum = 0;
    for (unsigned char c : covered)
        sum += c;
    char cs[4];
    std::snprintf(cs, sizeof cs, "%02X", sum % 256);
    return "\x02" + covered + cs + "\x04";
}
