#include "base/ThreadInbox.h"

#include <QSocketNotifier>
#include <fcntl.h>
#include <unistd.h>

CThreadInbox::CThreadInbox()
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier, [this] { Drain(); });
}

CThreadInbox::~CThreadInbox()
{
    delete m_notifier;
    for (int fd : m_pipe)
        if (fd >= 0)
            ::close(fd);
}

void CThreadInbox::Post(std::function<void()> call)
{
    if (!m_notifier)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    const char wake = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_pipe[1], &wake, 1);
}

void CThreadInbox::Drain()
{
    char buf[64];
    while (m_pipe[0] >= 0 && ::read(m_pipe[0], buf, sizeof buf) > 0) {
    }
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_calls.empty())
                return;
            call = std::move(m_calls.front());
            m_calls.pop_front();
        }
        call();
    }
}

void CThreadInbox::Discard()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_calls);
    }
}
