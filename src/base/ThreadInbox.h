#pragma once
// Calls handed from any thread to a thread that runs an event loop (the window's thread): one
// queue per such thread under a plain mutex, and a byte in a pipe that wakes its event loop.
// Qt's own queued calls would do the same, but their hand-over happens inside Qt, where
// ThreadSanitizer cannot see it, and every worker-to-window report would then look like a race.
// One queue per thread keeps every report in the order it was posted, whoever posted it (a
// worker's change to the cached lists runs before its "finished" report). Each call names the
// object it belongs to, so that an object going away drops its calls still waiting.
// (Another platform needs another wake-up than a pipe; everything else stays.)
#include <deque>
#include <functional>
#include <mutex>

class QSocketNotifier;

class CThreadInbox {
public:
    // The inbox of the calling thread, made on first use; that thread must run an event loop
    // for the calls to run. It lives as long as the process.
    static CThreadInbox& OfThisThread();

    // False when no pipe could be made: nothing posted would ever run.
    bool IsOpen() const { return m_notifier != nullptr; }

    // Queues a call for the inbox's thread; any thread. `context` is the object the call
    // belongs to (see Discard). Dropped when the inbox is not open.
    void Post(const void* context, std::function<void()> call);

    // Runs what is queued, in order; the inbox's thread (the wake-up calls it by itself). A call
    // that runs a nested event loop (a message box) lets the later ones run inside it.
    void Drain();

    // Drops what `context` has queued and not yet begun; the inbox's thread, typically from the
    // context's destructor.
    void Discard(const void* context);

    CThreadInbox(const CThreadInbox&) = delete;
    CThreadInbox& operator=(const CThreadInbox&) = delete;

private:
    CThreadInbox();

    struct Call {
        const void* context;
        std::function<void()> run;
    };
    std::mutex m_mutex;
    std::deque<Call> m_calls;
    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
