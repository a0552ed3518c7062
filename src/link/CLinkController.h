#pragma once
// Brings a reader online and keeps watching it: the connection worker, the monitor worker and
// the handlers of what they report. The reader tree view owns one controller for the whole
// run and turns its signals into what the windows show (progress window, tag display, the
// right-hand pane's registration). No widget code here.
//
// Threads: StartConnectWorker and every slot run on the controller's (GUI) thread; the two
// workers run on threads of their own and reach the controller only through a gate that the
// destructor closes, so a worker that outlives the controller touches nothing of it. Reports
// that the protocol sends synchronously (connection result, transponder seen) wait until the
// GUI thread has handled them; the others are queued.
#include "base/ThreadInbox.h"
#include "link/CSerialLink.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class CLanguageHandler;

class CLinkController : public QObject {
    Q_OBJECT
public:
    // The language handler must outlive the controller.
    explicit CLinkController(const CLanguageHandler* lang, QObject* parent = nullptr);
    // Sets the stop request, closes the port and waits a bounded time for the workers.
    ~CLinkController() override;

    CSerialLink& Link();

    // Starts one connection attempt on the configured port. Returns 1 when the port is
    // already open (nothing started) or when the thread could not be started (after an
    // error message); 0 when the worker was started.
    int StartConnectWorker();

    // Clock data "U0000" ssmmhhWWDDMMYY of the local time, empty when the locale's weekday
    // name (strftime "%A" under LC_TIME) is neither English nor German.
    static QByteArray BuildClockData();
    static QByteArray BuildClockData(const QDateTime& now, const QByteArray& weekdayName);
    // "01" (Monday) to "07" (Sunday) for a weekday name containing the English or German name.
    static QByteArray WeekdayCode(const QByteArray& weekdayName);
    // Where BuildClockData takes the weekday name from; nullptr restores strftime("%A").
    // Lets tests stand in for a system whose locale speaks another language.
    static void SetWeekdayNameSource(std::function<QByteArray(const QDate&)> source);
    // How the workers' threads are started ("connect" or "monitor"); it throws
    // std::system_error when no thread can be had, as std::thread does. nullptr restores
    // std::thread. Lets tests stand in for a system that has no thread left to give.
    using ThreadStarter = std::function<std::thread(const char* worker, std::function<void()> body)>;
    static void SetThreadStarter(ThreadStarter starter);

    // ---- connection fields ----
    QByteArray NewDeviceId() const;       // made at each StartConnectWorker
    QByteArray DeviceId() const;          // read from the reader, or the new ID once written
    QByteArray MasterTransponder() const; // a Birch reader's master number, else empty
    QString StatusText() const;           // "---" at each start, then the connected reader
    void SetStatusText(const QString& text);
    bool IsOnline() const;                // the monitor worker runs
    // Set by whoever asks for the connection; read and cleared by the reader table.
    std::atomic<uint8_t> m_bRegisterOnConnect{0};

signals:
    // The progress window: shown (label empty, 0..maximum) when a start begins, updated by
    // the worker, hidden when the connection result has come.
    void ConnectProgressShow(const QString& label, int maximum, int position);
    void ConnectProgressHide();
    // The connection attempt ended (after the controller's own handling).
    void ConnectResult(bool connected);
    // A reader has come online: the right-hand pane registers it (queued).
    void ReaderOnline();
    // Text for the tag display of the toolbar: text 201 + number (+ " ==> MASTER"), and
    // text 201 alone 1500 ms later.
    void TagDisplayChanged(const QString& text);
    // A transponder number seen by the reader, for whoever shows transponders.
    void TransponderSeen(const QByteArray& number);
    // The connection was lost; the port is closed and the message has been shown.
    void ConnectionLost();

private slots:
    void OnConnectResult(bool connected);          // the connection worker's report
    void OnTransponderSeen(const QByteArray& number);
    void OnConnectionLost();
    void OnTagDisplayTimer();

private:
    struct Shared;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    static void ConnectWorker(const std::shared_ptr<Shared>& shared, int attempt);
    static void MonitorWorker(const std::shared_ptr<Shared>& shared, int generation);
    void Launch(Worker& slot, const char* worker, std::function<void()> body);
    static void Reap(Worker& slot, int waitMs);
    QString Text(uint32_t number) const;

    const CLanguageHandler* m_lang;
    std::shared_ptr<Shared> m_shared;
    Worker m_connectWorker;
    Worker m_monitorWorker;
    QTimer m_tagTimer;   // the tag display's reset
    CThreadInbox m_inbox;   // the workers' reports, run on this thread
};
