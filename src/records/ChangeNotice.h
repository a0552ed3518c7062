#pragma once
// Learning that another connection changed the database, so that what this program shows and
// what it sends to a reader is the database as it is, not as it was when the lists were read.
//
// One watcher per store handler, on the handler's owner (GUI) thread:
//   - a SQLite file: PRAGMA data_version on the owner's connection, about once a second. It
//     moves only when another connection (another program, or a worker thread of this one)
//     committed; reading it costs microseconds. The small tables are then read again, and the
//     events when their count or highest ID moved.
//   - a server: LISTEN on the owner's connection. Every table carries a statement trigger that
//     sends NOTIFY vm_changes with the table's name inside the changing transaction, so the
//     notice comes when, and only if, the change was committed. The socket is watched; the
//     timer also picks up notices that arrived while a statement of the store was reading.
// The changed tables' cached lists are read again and TablesReloaded names them; the views and
// the tree follow that signal. Own changes on the owner connection cause no notice: the
// caches were patched as they were stored.
//
// Before something is built from the lists for a reader (write all, fetch all, the desk
// reader's slots), CatchUp(store) brings them up to date at once.
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class CStoreDB_Handler;
class QTimer;

namespace ChangeNoticeDetail {
// What tells a watcher about other connections' commits; one per backend.
class Source {
public:
    virtual ~Source() = default;
    // The tables other connections changed since the last call (names as in the store).
    virtual QStringList Changed() = 0;
    // Makes sure that what has been committed elsewhere until now is seen by the next
    // Changed() (a server: one round trip).
    virtual void Sync() {}
};
std::unique_ptr<Source> MakeFileSource(CStoreDB_Handler* store);
// wake is called when the server's socket has something to read.
std::unique_ptr<Source> MakeServerSource(CStoreDB_Handler* store, QObject* owner, std::function<void()> wake);
} // namespace ChangeNoticeDetail

class CChangeNotice : public QObject {
    Q_OBJECT
public:
    explicit CChangeNotice(CStoreDB_Handler* store, QObject* parent = nullptr);
    ~CChangeNotice() override;

    // After a database restore the application makes a new store handler.
    void SetStore(CStoreDB_Handler* store);
    CStoreDB_Handler* Store() const { return m_store; }
    bool IsWatching() const { return m_source != nullptr; }

    // While hold answers true (a cell editor is open, a delete runs) a notice waits for the
    // next tick, so nothing moves under the user's hands.
    void SetHold(std::function<bool()> hold) { m_hold = std::move(hold); }

    // Looks now; reloads the changed tables and announces them. Returns them (empty: none).
    QStringList CheckNow();

    // The interval of the timer (ms); tests and the benchmark may shorten it before a watcher
    // is made.
    static void SetIntervalMs(int ms);

    // The lists of this store as they are in the database now: its watcher looks (and the
    // views follow); a store without a watcher (the command-line tool, tests) reads the small
    // tables again.
    static void CatchUp(CStoreDB_Handler* store);
    // Reads these tables' cached lists again (the full-access schedule gets the name of the
    // language in use). Owner thread.
    static void ReloadTables(CStoreDB_Handler* store, const QStringList& tables);
    // The tables the program keeps: readers, transponders, persons, schedules, events.
    static QStringList AllTables();
    static QStringList SmallTables();   // all but the events

signals:
    // Right before the lists of these tables are read again (views note what the user looks
    // at), and right after.
    void AboutToReload(const QStringList& tables);
    void TablesReloaded(const QStringList& tables);

private:
    void Attach();
    void Detach();
    void Collect();   // what the source has, into m_waiting
    void Woken();     // the server's socket has news

    CStoreDB_Handler* m_store = nullptr;
    std::unique_ptr<ChangeNoticeDetail::Source> m_source;
    QTimer* m_timer = nullptr;
    QTimer* m_soon = nullptr;   // a server's notices, taken together
    std::function<bool()> m_hold;
    bool m_pending = false;   // a notice waited for the hold to end
    QStringList m_waiting;
};
