#include "PtyPeer.h"

#include <QMutexLocker>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

PtyPeer::PtyPeer()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        return;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_slavePath = ::ptsname(m_master);
    m_keepSlave = ::open(m_slavePath.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    m_thread = std::thread([this] { Run(); });
}

PtyPeer::~PtyPeer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_keepSlave >= 0)
        ::close(m_keepSlave);
    if (m_master >= 0)
        ::close(m_master);
}

void PtyPeer::SetHandler(Handler handler)
{
    QMutexLocker lock(&m_mutex);
    m_handler = std::move(handler);
}

void PtyPeer::Write(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

QList<QByteArray> PtyPeer::Telegrams() const
{
    QMutexLocker lock(&m_mutex);
    return m_telegrams;
}

void PtyPeer::ClearTelegrams()
{
    QMutexLocker lock(&m_mutex);
    m_telegrams.clear();
}

void PtyPeer::Run()
{
    QByteArray pending;
    while (!m_stop.load()) {
        pollfd fd{m_master, POLLIN, 0};
        if (::poll(&fd, 1, 20) <= 0 || !(fd.revents & POLLIN))
            continue;
        char buf[256];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            continue;
        pending.append(buf, n);
        for (;;) {
            const qsizetype start = pending.indexOf('\x02');
            const qsizetype end = start < 0 ? -1 : pending.indexOf('\x04', start);
            if (end < 0)
                break;
            const QByteArray telegram = pending.mid(start, end - start + 1);
            pending.remove(0, end + 1);
            Handler handler;
            {
                QMutexLocker lock(&m_mutex);
                m_telegrams.append(telegram);
                handler = m_handler;
            }
            if (handler)
                Write(handler(telegram));
        }
    }
}
