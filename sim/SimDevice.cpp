#include "SimDevice.h"

#include "SimEvents.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace Sim {

namespace {
const ModelInfo kModels[] = {
    {Model::Cedar, "Cedar", "KTMQ18", 57200, true, 500, 5000},
    {Model::Maple, "Maple", "KTMQ17", 57200, true, 100, 2900},
    {Model::Rowan, "Rowan", "KTMQ27", 57200, true, 1000, 4000},
    {Model::Birch, "Birch", "KTMQ32", 9600, false, 50, 0},
    {Model::Alder, "Alder", "KTMQ31", 9600, false, 50, 0},
};

bool IsNumber10(const std::string& s)
{
    return s.size() == 10;
}
} // namespace

const ModelInfo& Info(Model model)
{
    for (const ModelInfo& i : kModels)
        if (i.model == model)
            return i;
    return kModels[0];
}

std::optional<Model> ModelFromName(const std::string& name)
{
    std::string lower;
    for (char c : name)
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    for (const ModelInfo& i : kModels) {
        std::string n;
        for (const char* p = i.name; *p; ++p)
            n += char(std::tolower(static_cast<unsigned char>(*p)));
        if (n == lower)
            return i.model;
    }
    return std::nullopt;
}

const char* HeardName(Heard heard)
{
    switch (heard) {
    case Heard::Answered: return "answered";
    case Heard::WrongLine: return "wrong rate or framing";
    case Heard::WrongFrame: return "not for this reader";
    case Heard::BadChecksum: return "bad checksum";
    case Heard::Unplugged: return "unplugged";
    case Heard::Unsolicited: return "sent by the reader";
    }
    return "?";
}

SimDevice::SimDevice(Model model)
    : m_info(&Sim::Info(model))
{
    m_mem.tagSlots.assign(m_info->slotCapacity, kBlankNumber);
    if (!m_info->bus)
        m_mem.slotCount = 1;   // slot 0, the master transponder, always counts
}

Answer SimDevice::Handle(const std::string& inner)
{
    return m_info->bus ? HandleBus(inner) : HandleDesk(inner);
}

std::string SimDevice::Slot(int slot) const
{
    if (slot < 0 || slot >= int(m_mem.tagSlots.size()))
        return kBlankNumber;
    return m_mem.tagSlots[slot];
}

bool SimDevice::SetSlot(int slot, const std::string& number)
{
    if (slot < 0 || slot >= int(m_mem.tagSlots.size()) || !IsNumber10(number))
        return false;
    m_mem.tagSlots[slot] = number;
    return true;
}

// ---- bus readers: "FF", command, data, checksum ----

Answer SimDevice::HandleBus(const std::string& inner)
{
    Answer a;
    const auto t = SplitAddressed(inner);
    if (!t || t->address != "FF")
        return a;   // WrongFrame: a short telegram or another address
    a.command = t->command;
    a.data = t->data;
    if (!t->checksumOk) {
        a.heard = Heard::BadChecksum;
        return a;
    }
    std::string body;
    switch (t->command) {
    case 'H':
        body = m_info->identity;
        break;
    case 'L':
        body = BusRead(t->data);
        break;
    case 'S': {
        const char area = t->data.empty() ? '?' : t->data[0];
        body = std::string("FFS") + area + (BusWrite(t->data) ? ACK : NAK);
        break;
    }
    case 'C':
        if (t->data != "T")
            return a;
        if (m_mem.tagInField) {
            body = "FFCT" + *m_mem.tagInField;
            if (m_mem.tagOnce)
                m_mem.tagInField.reset();
        } else {
            body = "FFCTNOTAG";
        }
        break;
    default:
        return a;
    }
    a.heard = Heard::Answered;
    a.replyPayload = AddressedReplyPayload(body);
    return a;
}

std::string SimDevice::BusRead(const std::string& area)
{
    const char letter = area.empty() ? '?' : area[0];
    const std::string head = std::string("FFL") + letter;
    const int n = area.size() == 5 ? ParseHex(area.substr(1), 4) : -1;
    if (n >= 0) {
        switch (letter) {
        case 'S':
            if (n == 0)
                return head + m_mem.deviceId;
            break;
        case 'P':
            if (n <= 3)
                return head + Hex(n == 2 ? unsigned(m_mem.slotCount) : m_mem.params[n], 4);
            break;
        case 'E':
            if (n < m_info->eventCapacity) {
                const auto it = m_mem.events.find(n);
                return head + (it != m_mem.events.end() ? it->second : std::string(20, 'F'));
            }
            break;
        case 'T':
            if (n < m_info->slotCapacity)
                return head + Slot(n);
            break;
        }
    }
    return head + NAK;
}

bool SimDevice::BusWrite(const std::string& data)
{
    if (data.size() < 5)
        return false;
    const char letter = data[0];
    const int n = ParseHex(data.substr(1, 4), 4);
    const std::string value = data.substr(5);
    if (n < 0)
        return false;
    switch (letter) {
    case 'S':
        if (n != 0 || value.size() != 20)
            return false;
        m_mem.deviceId = value;
        return true;
    case 'U': {
        if (n != 0)
            return false;
        const auto clock = DecodeClock(value);
        if (!clock)
            return false;
        m_mem.lastClock = clock;
        m_mem.clockSetAt = std::chrono::steady_clock::now();
        ++m_mem.clockWrites;
        return true;
    }
    case 'P': {
        // The parameter byte is also written with two digits only.
        const int v = value.size() == 2 || value.size() == 4 ? ParseHex(value, value.size()) : -1;
        if (n > 3 || v < 0)
            return false;
        if (n == 2) {
            if (v > m_info->slotCapacity)
                return false;
            m_mem.slotCount = v;
        }
        m_mem.params[n] = unsigned(v);
        if (n == 3)
            EventPointerWritten(m_mem, unsigned(v));
        return true;
    }
    case 'T':
        return SetSlot(n, value);
    case 'Z': {
        const auto w = DecodeWindow(data.substr(1));
        if (!w)
            return false;
        m_mem.windows[w->index] = *w;
        return true;
    }
    }
    return false;
}

// ---- desk readers: command, data, no address, no checksum ----

Answer SimDevice::HandleDesk(const std::string& inner)
{
    Answer a;
    if (inner.empty())
        return a;
    a.command = inner[0];
    a.data = inner.substr(1);
    const std::string& d = a.data;
    const std::string ack(1, ACK), nak(1, NAK);
    std::string reply;
    switch (a.command) {
    case 'H':
        if (!d.empty())
            return a;
        reply = m_info->identity;
        break;
    case 'G': {
        const int slot = ParseHex(d, 2);
        if (slot < 0)
            return a;
        reply = Slot(slot);
        break;
    }
    case 'S': {
        const int slot = d.size() == 12 ? ParseHex(d.substr(0, 2), 2) : -1;
        reply = slot >= 0 && SetSlot(slot, d.substr(2)) ? ack : nak;
        break;
    }
    case 'Y':
        reply = Hex(unsigned(m_mem.slotCount), 2);
        break;
    case 'Z': {
        const int count = ParseHex(d, 2);
        if (count >= 1 && count <= m_info->slotCapacity) {
            m_mem.slotCount = count;
            reply = ack;
        } else {
            reply = nak;
        }
        break;
    }
    case 'M':
        m_mem.teachMode = true;
        reply = ack;
        break;
    case 'J':
    case 'K': {
        if (d != "0" && d != "1") {
            reply = nak;
            break;
        }
        const int bit = a.command == 'J' ? 2 : 1;
        m_mem.mode = d == "1" ? (m_mem.mode | bit) : (m_mem.mode & ~bit);
        reply = ack;
        break;
    }
    case 'D': {
        // "1", then "0" and the seconds in hex (0 meaning half a second).
        const int secs = d.size() >= 3 && d.size() <= 4 && d[0] == '1' && d[1] == '0'
                             ? ParseHex(d.substr(2), d.size() - 2) : -1;
        if (secs < 0 || secs > 15) {
            reply = nak;
            break;
        }
        m_mem.switchTime = secs;
        reply = ack;
        break;
    }
    case 'C':
        if (d == "0")
            reply = Hex(unsigned(m_mem.mode), 1) + ";" + Slot(0);
        else if (d == "1")
            reply = std::to_string(m_mem.switchTime);
        else
            return a;
        break;
    default:
        return a;
    }
    a.heard = Heard::Answered;
    a.replyPayload = reply;
    return a;
}

std::string SimDevice::UnsolicitedTag(const std::string& number)
{
    if (m_mem.teachMode) {
        m_mem.teachMode = false;
        SetSlot(0, number);
        return "M" + number;
    }
    return "R" + number;
}

// ---- presets ----

void SimDevice::SetEvents(const std::vector<SimEvent>& events)
{
    m_mem.events.clear();
    const int n = std::min<int>(int(events.size()), m_info->eventCapacity);
    for (int i = 0; i < n; ++i)
        m_mem.events[i] = EncodeEventData(events[i]);
    m_mem.params[3] = n == 0 ? 0xFFFF : unsigned(n - 1);
}

void SimDevice::AddEvents(const std::vector<SimEvent>& events)
{
    for (const SimEvent& e : events) {
        const unsigned next = m_mem.params[3] == 0xFFFF ? 0 : m_mem.params[3] + 1;
        if (int(next) >= m_info->eventCapacity)
            return;   // a full memory records no more
        m_mem.events[int(next)] = EncodeEventData(e);
        m_mem.params[3] = next;
    }
}

void SimDevice::SetTransponders(const std::vector<std::string>& numbers)
{
    const int n = std::min<int>(int(numbers.size()), m_info->slotCapacity);
    m_mem.tagSlots.assign(m_info->slotCapacity, kBlankNumber);
    for (int i = 0; i < n; ++i) {
        std::string number = numbers[i];
        number.resize(10, '0');
        m_mem.tagSlots[i] = number;
    }
    m_mem.slotCount = m_info->bus ? n : std::max(n, 1);
    m_mem.params[2] = unsigned(m_mem.slotCount);
}

std::vector<std::string> SimDevice::Transponders() const
{
    return std::vector<std::string>(m_mem.tagSlots.begin(), m_mem.tagSlots.begin() + m_mem.slotCount);
}

} // namespace Sim
