#pragma once
// A scripted device on the other end of a pseudo-terminal: it collects every telegram the
// link writes (STX ... EOT) and answers each with whatever the test's handler returns,
// byte for byte, so the link's reception rules can be tried without hardware.
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <atomic>
#include <functional>
#include <thread>

class PtyPeer {
public:
    using Handler = std::function<QByteArray(const QByteArray& telegram)>;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool IsValid() const { return m_master >= 0; }
    QByteArray SlavePath() const { return m_slavePath; }

    void SetHandler(Handler handler);       // answers each complete telegram
    void Write(const QByteArray& bytes);    // unsolicited bytes towards the link
    QList<QByteArray> Telegrams() const;    // every telegram seen so far, framing included
    void ClearTelegrams();

private:
    void Run();

    int m_master = -1;
    int m_keepSlave = -1;   // keeps the line up while the link closes and reopens its end
    QByteArray m_slavePath;
    mutable QMutex m_mutex;
    Handler m_handler;
    QList<QByteArray> m_telegrams;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
