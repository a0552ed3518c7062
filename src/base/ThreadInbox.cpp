#include "base/ThreadInbox.h"

#include <QSocketNotifier>
#include <fcntl.h>
#include <unistd.h>

CThreadInbox& CThreadInbox::OfThisThread()
{
    // Never destroyed: calls may still be posted while the program's objects are torn down,
    // and the notifier must not outlive the event loop machinery it belongs to.
    thread_local CThreadInbox* inbox = new CThreadInbox;
    return *inbox;
}

CThreadInbox::CThreadInbox()
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier, [this] { Drain(); });
}

void CThreadInbox::Post(const void* context, std::function<void()> call)
{
    if (!m_notifier)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back({context, std::move(call)});
    }
    const char wake = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_pipe[1], &wake, 1);
}

void CThreadInbox::Drain()
{
    char buf[64];
    while (::read(m_pipe[0], buf, sizeof buf) > 0) {
    }
    for (;;) {
        std::function<void()> run;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_calls.empty())
                return;
            run = std::move(m_calls.front().run);
            m_calls.pop_front();
        }
        run();
    }
}

void CThreadInbox::Discard(const void* context)
{
    std::deque<Call> dropped;   // destroyed outside the lock: a call's captures may post again
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_calls.begin(); it != m_calls.end();) {
            if (it->context == context) {
                dropped.push_back(std::move(*it));
                it = m_calls.erase(it);
            } else {
                ++it;
            }
        }
    }
}
