#include "SimMemory.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace Sim {

bool ReadTransponderFile(const std::string& path, std::vector<std::string>& numbers, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    numbers.clear();
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
            line.pop_back();
        std::size_t start = 0;
        while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start])))
            ++start;
        line.erase(0, start);
        if (line.empty() || line[0] == '#')
            continue;
        bool ok = line.size() == 10;
        for (char& c : line) {
            c = char(std::toupper(static_cast<unsigned char>(c)));
            ok = ok && std::isxdigit(static_cast<unsigned char>(c));
        }
        if (!ok) {
            error = path + ":" + std::to_string(lineNo) + ": \"" + line
                    + "\" is not a transponder number (10 hexadecimal characters)";
            return false;
        }
        numbers.push_back(line);
    }
    return true;
}

std::string DayNames(int dayMask)
{
    // Bit 1 is Monday up to bit 6 Saturday, bit 7 Sunday.
    static const char* const names[] = {"Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"};
    std::string out;
    for (int day = 0; day < 7; ++day)
        if (dayMask & (1 << (day + 1)))
            out += (out.empty() ? "" : " ") + std::string(names[day]);
    return out.empty() ? "none" : out;
}

std::string MemoryListing(const SimMemory& m)
{
    std::ostringstream s;
    s << "slots (" << m.slotCount << "):";
    for (int i = 0; i < m.slotCount && i < int(m.tagSlots.size()); ++i)
        s << (i % 6 == 0 ? "\n  " : "   ") << Hex(unsigned(i), 4) << " " << m.tagSlots[size_t(i)];
    s << "\nwindows (" << m.windows.size() << "):";
    for (const auto& [index, w] : m.windows) {
        char times[32];
        std::snprintf(times, sizeof times, "%02d:%02d-%02d:%02d", w.fromHour, w.fromMinute, w.toHour, w.toMinute);
        s << "\n  " << Hex(unsigned(index), 4) << "  days " << Hex(unsigned(w.dayMask), 2) << " (" << DayNames(w.dayMask)
          << ")  " << times << "  [" << w.raw.substr(4) << "]";
    }
    s << "\nparameter 0: " << Hex(m.params[0], 4) << ", parameter 1: " << Hex(m.params[1], 4) << "\n";
    return s.str();
}

bool RefuseIfDue(const std::string& kind, int& remaining, const std::string& inner, bool bus, Answer& out)
{
    if (remaining <= 0 || kind.empty())
        return false;
    char command = 0;
    std::string data;
    if (bus) {
        const auto t = SplitAddressed(inner);
        if (!t || t->address != "FF" || !t->checksumOk)
            return false;
        command = t->command;
        data = t->data;
    } else {
        if (inner.empty())
            return false;
        command = inner[0];
        data = inner.substr(1);
    }
    if ((std::string(1, command) + data).compare(0, kind.size(), kind) != 0)
        return false;
    if (bus && command != 'S' && command != 'L')
        return false;
    --remaining;
    out.heard = Heard::Answered;
    out.command = command;
    out.data = data;
    const std::string nak(1, NAK);
    out.replyPayload = bus ? AddressedReplyPayload(std::string("FF") + command + (data.empty() ? '?' : data[0]) + nak) : nak;
    return true;
}

} // namespace Sim
