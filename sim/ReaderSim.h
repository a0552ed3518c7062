#pragma once
// ReaderSim: one simulated reader on a pseudo-terminal, linked as a COM number, so the program
// (or a test) talks to it exactly as to a reader on a serial port. Used for demos and training
// without hardware (vendrik-readersim) and as the peer of every serial test.
//
//   Sim::ReaderSim sim(Sim::Model::Cedar, 7);
//   sim.Start();                       // Paths::DosDevicesDir()/com7 -> /dev/pts/N
//   sim.SetDeviceId("AB12...");        // preset memory; inspect with DeviceId(), LastClock() ...
//   sim.PresentTag("0001234567");      // the next polls report this tag
//   sim.SetFaults(f);                  // wrong checksums, noise, silence ... at any time
//   sim.Stop();                        // ends the serving thread, removes the link
//
// The reader hears only what is sent at its own rate and frame kind: Cedar, Maple and Rowan at
// 57200 bit/s with addressed frames, Birch and Alder at 9600 bit/s with short frames. The rate
// is read from the line settings the program gave its end of the pseudo-terminal at the moment
// the bytes arrive (the kernel answers a termios query on the master with the slave's settings).
// A telegram at another rate is logged (Heard::WrongLine) and never answered, as a real reader
// would see only garbage. Data bits and parity cannot be checked: a pseudo-terminal always
// reports 8 bits without parity, whatever the program set.
//
// Replies are built by the simulator's own encoder (SimWire.h). Reply layouts:
//   identify          bus: identity + checksum (8)      desk: identity (6)
//   read "L"          "FFL" + area letter + data + checksum; unknown areas: NAK in place of data
//   write "S"         "FFS" + area letter + ACK (NAK when the data is malformed) + checksum (7)
//   tag poll "C" "T"  "FFCT" + number + checksum (16), or "FFCTNOTAG" + checksum
//   desk "G" slot     the 10-character number; "Y" the slot count "%02X" (master included);
//   desk "S"/"Z"/"M"/"J"/"K"/"D"   ACK (NAK when malformed); desk "C" "0": mode "%X" ";" master,
//   desk "C" "1": switching time in decimal seconds (0 = half a second)
//   desk tag frames   "R" + number; after "M" the next tag comes as "M" + number and becomes master
//                     (presented at the console, or the teach tag given at start, 300 ms after "M")
// A bus reader keeps its parameters 0 (parameter byte) and 1 (switching-time code) and its
// clock, which runs on from the last write; `status` shows them decoded.
//
// Thread safety: every method may be called from any thread. The serving loop runs on its own
// std::thread; memory, faults and log are guarded by one mutex.
#include "SimAimedFault.h"
#include "SimDevice.h"
#include "SimMemory.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace Sim {

// Faults, switched per run and changeable at any time (SetFaults). A reply that a fault drops
// or spoils is lost on the way back only: the telegram itself has taken effect, so a write the
// program believes failed may well be in the reader, as with a real line.
struct SimFaults {
    bool badChecksum = false;    // replies of bus readers carry a wrong checksum
    int noiseBytes = 0;          // this many noise bytes before every reply's STX
    int interimFrames = 0;       // this many interim "R" frames before every real reply
    int dropNext = 0;            // the next N replies are not sent (counts down; see Faults())
    int identifyOnTry = 0;       // identify is answered only from the Nth identify on (0, 1: at once)
    bool silent = false;         // unplugged: nothing is answered, nothing sent
    bool cutBeforeEot = false;   // replies end without their EOT
    bool eotBeforeStx = false;   // a stray EOT goes out before every reply's STX
    bool pace = false;           // 10 bit times a byte at the model's rate, both ways
    int replyDelayMs = 0;        // a slow reader: every reply starts this much later
    bool shortEvents = false;    // replies to event queries come one character short
};
// Faults aimed at one kind of telegram (drop, NAK, wrong checksum, refusal, unplugging midway)
// are AimedFaults (SimAimedFault.h).

// One telegram the reader received (or, Heard::Unsolicited, sent by itself).
struct SimLogEntry {
    std::string frame;          // between STX and EOT, as on the line
    char command = 0;
    std::string data;           // without address and checksum
    unsigned rate = 0;          // bit/s of the line when it arrived
    Heard heard = Heard::WrongFrame;
    bool replied = false;       // a reply went out (false when a fault suppressed it)
    std::string reply;          // payload of the reply as sent (a spoilt checksum included)
};

class ReaderSim {
public:
    ReaderSim(Model model, int comNumber);
    ~ReaderSim();
    ReaderSim(const ReaderSim&) = delete;
    ReaderSim& operator=(const ReaderSim&) = delete;

    // Opens the pseudo-terminal, links it as the COM number (replacing a stale link) and starts
    // serving. false with ErrorText() when something failed; nothing is left behind then.
    bool Start();
    // Ends the serving thread, removes the link (if it is still ours) and closes the terminal.
    void Stop();
    bool IsRunning() const { return m_running; }
    std::string ErrorText() const;

    Model GetModel() const { return m_model; }
    const ModelInfo& Info() const { return Sim::Info(m_model); }
    int ComNumber() const { return m_com; }
    std::string DevicePath() const;   // the COM link: DosDevicesDir()/com<N>
    std::string PtsPath() const;      // the terminal it points to

    // Memory, preset and inspected.
    void SetDeviceId(const std::string& id20);
    std::string DeviceId() const;
    std::optional<SimClock> LastClock() const;
    int ClockWrites() const;

    // A bus reader reports the tag to every poll until RemoveTag (once: to the next poll only).
    // A desk reader sends one tag frame at once ("R" + number, or "M" + number after "M").
    void PresentTag(const std::string& number10, bool once = false);
    void RemoveTag();

    void SetEvents(const std::vector<SimEvent>& events);   // also sets the event pointer
    void AddEvents(const std::vector<SimEvent>& events);   // recorded now, behind the pointer
    void SetEventPointer(unsigned pointer);                 // P0003; 0xFFFF = empty
    unsigned EventPointer() const;
    int EventCount() const;
    std::string EventsText(int max) const;                  // the console's "events" listing

    // Bus readers: slots 0.. and the count P0002. Desk readers: slot 0 is the master.
    void SetTransponders(const std::vector<std::string>& numbers);
    std::vector<std::string> Transponders() const;          // the first `count` slots
    void SetMaster(const std::string& number10);            // desk readers: slot 0
    std::string Master() const;
    std::map<int, SimWindow> Windows() const;
    std::vector<unsigned> Params() const;                   // P0000..P0003 (P0002 = count)
    void SetParam(int index, unsigned value);
    int Mode() const;                                       // desk readers
    int SwitchTime() const;                                 // desk readers
    bool TeachMode() const;
    // Desk readers: the tag "held to the reader" whenever it is told to learn a new master
    // ("M"): it is reported kTeachDelayMs later. Empty: wait for a tag presented by hand.
    void SetTeachTag(const std::string& number10);
    std::string TeachTag() const;
    static constexpr int kTeachDelayMs = 300;
    // Bus readers: the clock as the reader runs it now (last write plus the time since); none
    // before the first write.
    std::optional<SimClock> ClockNow() const;

    void SetFaults(const SimFaults& faults);   // also restarts the identify try count
    SimFaults Faults() const;                  // with dropNext counted down so far
    // Faults aimed at the replies to one kind of telegram (SimAimedFault.h), checked before the
    // faults above; SetFaults leaves them alone, ClearAimedFaults ends them.
    void AimFault(const AimedFault& fault);
    std::vector<AimedFault> AimedFaultsPending() const;
    void ClearAimedFaults();

    // Traffic: telegrams heard per command letter (right line, right frame kind, checksum ok),
    // the log of everything that arrived, and the number of replies that went out.
    int Received(char command) const;
    int ReceivedTotal() const;
    // Data of the heard telegrams with that command letter, oldest first ("S0000AB...", "P0002...").
    std::vector<std::string> ReceivedData(char command) const;
    std::vector<SimLogEntry> Log() const;
    void ClearLog();   // also clears the counters
    int RepliesSent() const;
    // Replies of a slow reader made but not sent yet (SetFaults does not call them back).
    int RepliesOnTheirWay() const { return m_onTheirWay.load(); }
    // Called on the serving thread for each new log entry (the console prints them).
    void SetTrafficListener(std::function<void(const SimLogEntry&)> listener);

    std::string StatusText() const;   // a few lines for the console's "status"

private:
    void Serve();
    void TakeBytes(const char* bytes, std::size_t n, unsigned rate, bool lineOk);
    void FrameComplete();
    void SendUnsolicited();
    // Sends a reply now, or after the slow reader's delay (then FlushDelayed sends it).
    void WriteReply(const std::string& bytes, std::size_t requestBytes);
    void Transmit(const std::string& bytes, std::size_t requestBytes);
    // Sends the delayed replies that are due; returns the milliseconds until the next one, -1
    // when none is waiting.
    int FlushDelayed();
    bool LineState(unsigned& rate) const;   // true when 8N1 at the model's rate
    void Record(const SimLogEntry& entry);
    void Cleanup();
    // Serving thread: reports the teach tag once its delay after "M" is over; true while one
    // is due (the loop then wakes more often).
    bool ServeTeach();
    // Status lines of the parameters and the clock (mutex held).
    std::string ParamStatusLocked() const;

    const Model m_model;
    const int m_com;

    mutable std::mutex m_mutex;   // guards everything below up to the fds
    SimDevice m_device;
    SimFaults m_faults;
    AimedFaults m_aimed;
    int m_identifyTries = 0;
    std::vector<SimLogEntry> m_log;
    std::map<char, int> m_received;
    int m_repliesSent = 0;
    std::vector<std::string> m_pendingTags;   // desk readers: tag frames to send
    std::string m_teachTag;                     // desk readers: reported after "M"
    std::optional<std::chrono::steady_clock::time_point> m_teachDue;
    std::function<void(const SimLogEntry&)> m_listener;
    std::string m_error;
    std::string m_ptsPath;
    std::string m_linkPath;

    int m_master = -1;
    int m_slaveKeep = -1;   // keeps the line up when the program closes its end
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};

    // Serving thread only: replies of a slow reader on their way, and the frame being collected.
    struct DelayedReply {
        std::chrono::steady_clock::time_point due;
        std::string bytes;
        std::size_t requestBytes = 0;
    };
    std::deque<DelayedReply> m_delayed;
    std::atomic<int> m_onTheirWay{0};
    bool m_inFrame = false;
    bool m_frameLineOk = true;
    unsigned m_frameRate = 0;
    std::string m_collected;
};

} // namespace Sim
