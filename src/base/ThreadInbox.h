#pragma once
// Calls handed from any thread to the thread that owns the inbox: a queue under a plain mutex,
// and a byte in a pipe that wakes the owner's event loop. Qt's own queued calls would do the
// same, but their hand-over happens inside Qt, where ThreadSanitizer cannot see it, and every
// worker-to-window report would then look like a race. (Another platform needs another wake-up
// than a pipe; everything else stays.)
#include <deque>
#include <functional>
#include <mutex>

class QSocketNotifier;

class CThreadInbox {
public:
    // Create on the thread that shall run the calls, which must run an event loop.
    CThreadInbox();
    ~CThreadInbox();   // calls still queued are dropped
    CThreadInbox(const CThreadInbox&) = delete;
    CThreadInbox& operator=(const CThreadInbox&) = delete;

    // False when no pipe could be made: nothing posted would ever run.
    bool IsOpen() const { return m_notifier != nullptr; }

    // Queues a call for the owner's thread; any thread. Dropped when the inbox is not open.
    void Post(std::function<void()> call);

    // Runs what is queued, in order; the owner's thread (the wake-up calls it by itself).
    void Drain();

    // Drops what is queued without running it.
    void Discard();

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls;
    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
