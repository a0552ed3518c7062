#pragma once
// One simulated reader without any I/O: its model, its memory and how it answers a telegram.
// ReaderSim puts the line, the thread and the faults around it.
#include "SimWire.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Sim {

enum class Model { Cedar, Maple, Rowan, Birch, Alder };

struct ModelInfo {
    Model model;
    const char* name;        // "Cedar"
    const char* identity;    // "KTMQ18"
    unsigned rate;           // bit/s the reader listens and answers at
    bool bus;                // true: addressed frames with checksum; false: short frames
    int slotCapacity;        // transponder tagSlots
    int eventCapacity;       // event records (bus readers)
};
const ModelInfo& Info(Model model);
// Case-insensitive model name ("cedar", "Birch"); empty optional when unknown.
std::optional<Model> ModelFromName(const std::string& name);

constexpr const char* kBlankNumber = "FFFFFFFFFF";

struct SimMemory {
    std::string deviceId = std::string(20, 'F');          // the "S0000" slot, blank on a fresh reader
    std::optional<SimClock> lastClock;
    int clockWrites = 0;
    std::chrono::steady_clock::time_point clockSetAt{};    // when lastClock was written: the clock runs on
    unsigned params[4] = {0, 0, 0, 0xFFFF};                // P0000..P0003; P0002 follows slotCount
    std::vector<std::string> tagSlots;                         // transponder tagSlots, blank = kBlankNumber
    int slotCount = 0;                                      // P0002 (bus) or "Y"/"Z" count (desk)
    std::map<int, std::string> events;                      // record number -> 20 data characters
    std::map<int, SimWindow> windows;
    int mode = 1;                                           // desk readers: bit 0 stand-alone, bit 1 switching active
    int switchTime = 3;                                     // desk readers: seconds, 0 = 0.5 s
    std::optional<std::string> tagInField;                  // bus readers: what the next poll reports
    bool tagOnce = false;                                   // ... for one poll only
    bool teachMode = false;                                 // desk readers after "M"
};

// How a telegram was taken.
enum class Heard {
    Answered,       // understood; a reply is due (faults may still change or drop it)
    WrongLine,      // sent at another rate or framing than the reader's: it never arrives
    WrongFrame,     // not a frame of this reader's kind, or an unknown command: ignored
    BadChecksum,    // addressed telegram whose checksum does not match: ignored
    Unplugged,      // the silence fault: the reader hears nothing
    Unsolicited,    // not received: a frame the reader sent by itself (tag in front of a desk reader)
};
const char* HeardName(Heard heard);

struct Answer {
    Heard heard = Heard::WrongFrame;
    char command = 0;
    std::string data;
    std::string replyPayload;   // between STX and EOT, checksum included for bus readers
};

class SimDevice {
public:
    explicit SimDevice(Model model);

    const ModelInfo& Info() const { return *m_info; }
    SimMemory& Memory() { return m_mem; }
    const SimMemory& Memory() const { return m_mem; }

    // Answers one telegram that arrived intact at the reader's own line settings.
    // `inner` is the text between STX and EOT.
    Answer Handle(const std::string& inner);

    // The frame payload a desk reader sends when a tag is held in front of it ("R" or, after
    // "M", "M" + number; teaching also makes the tag the master in slot 0).
    std::string UnsolicitedTag(const std::string& number);

    // Presets that keep the memory consistent.
    void SetEvents(const std::vector<SimEvent>& events);
    // Events recorded now, behind the last one (badges presented); the pointer follows.
    void AddEvents(const std::vector<SimEvent>& events);
    void SetTransponders(const std::vector<std::string>& numbers);
    std::vector<std::string> Transponders() const;

private:
    Answer HandleBus(const std::string& inner);
    Answer HandleDesk(const std::string& inner);
    std::string BusRead(const std::string& area);
    bool BusWrite(const std::string& data);
    bool SetSlot(int slot, const std::string& number);
    std::string Slot(int slot) const;

    const ModelInfo* m_info;
    SimMemory m_mem;
};

} // namespace Sim
