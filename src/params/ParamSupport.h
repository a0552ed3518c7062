#pragma once
// What the parameter dialogs and the send dialog share: how they reach the reader at the port,
// how they hold the port for direct writes, how they store the reader record, and how they
// tell the window what to show while they work.
#include "records/RecordOps.h"
#include "records/Records.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

class CLanguageHandler;
class CSerialLink;
class CStoreDB_Handler;

namespace ParamSupport {

// Everything a parameter or send dialog works with. link may be null (no link at all).
struct Context {
    CLanguageHandler* lang = nullptr;
    CStoreDB_Handler* store = nullptr;
    CSerialLink* link = nullptr;
    // Redraws the reader table after the reader record changed; may be empty.
    std::function<void()> refreshReaders;
};

// What a long exchange shows: the progress bar's range and position, and the status line.
// Every member may be empty.
struct Feedback {
    std::function<void(int lower, int upper)> range;
    std::function<void(int position)> position;
    std::function<void(uint32_t textNo)> status;
    // Work that blocks the window starts (true) and ends (false): the wait cursor. It always
    // ends before a message is shown.
    std::function<void(bool)> busy;

    void Busy(bool on) const { if (busy) busy(on); }
    void Range(int lower, int upper) const { if (range) range(lower, upper); }
    void Position(int p) const { if (position) position(p); }
    void Status(uint32_t textNo) const { if (status) status(textNo); }
};

// A desk reader (Birch or Alder) answers at the port / a bus reader (Cedar, Maple, Rowan)
// answers at the port. A reader that is not at the port cannot answer the mailbox; asking
// anyway would only cost the mailbox's 3000 ms and leave the telegram queued for whatever
// reader comes next, so the dialogs treat it as "no answer" at once.
bool DeskReaderAtPort(const CSerialLink* link);
bool BusReaderAtPort(const CSerialLink* link);

// One mailbox exchange when reachable, else an empty reply (no answer).
QByteArray Ask(CSerialLink* link, bool reachable, char command, const QByteArray& data, uint8_t frameMode);

// Holds the port for direct exchanges: clears the monitor's ready flag and raises the busy
// flag, and gives both back when it ends, whatever path the caller leaves by.
class PortHold {
public:
    explicit PortHold(CSerialLink* link);
    ~PortHold();
    PortHold(const PortHold&) = delete;
    PortHold& operator=(const PortHold&) = delete;

private:
    CSerialLink* m_link;
};

// Sends one direct telegram (addressed frame) up to tries times until confirmed(reply) holds.
bool SendConfirmed(CSerialLink* link, char command, const QByteArray& data, int tries,
                   const std::function<bool(const QByteArray&)>& confirmed);

// Changes the reader record with this ID in the store and then in the cached list, and
// redraws the reader table. Store failures have been shown when this returns anything but Done.
RecordResult StoreReader(const Context& ctx, int32_t readerId, const std::function<void(structLeser&)>& assign);

// The online-state table can be read again (the dialogs offer storing only when it can).
bool OnlineTableReadable(CStoreDB_Handler* store);

// Text number n in the current language.
QString Text(const Context& ctx, uint32_t n);
// Error box (caption text 74, error icon) with text n.
void ShowErrorText(const Context& ctx, uint32_t n);

} // namespace ParamSupport
