#include "SimEvents.h"

#include <cstdio>

namespace Sim {

std::vector<SimEvent> VariedEvents(int n)
{
    // Years chosen around the century rule: 70 and below read as 20yy, above 70 as 19yy.
    static const int kYears[] = {26, 70, 71, 99, 0, 9, 69, 85, 25, 70, 1};
    // Numbers of a few transponders, so that a site's persons show up in the event table.
    static const char* const kNumbers[] = {"00A1B2C3D4", "0000004711", "1234567890", "00FFEE0001", "0A0B0C0D0E"};
    std::vector<SimEvent> events;
    events.reserve(n > 0 ? std::size_t(n) : 0);
    for (int i = 0; i < n; ++i) {
        SimEvent e;
        e.number = kNumbers[i % 5];
        e.eventClass = i % 4;                 // 4 classes ...
        e.detail = (i / 4) % 8;               // ... times 8 details: all 32 pairs in the first 32
        e.year = kYears[(i / 3) % (sizeof kYears / sizeof kYears[0])];
        e.month = 1 + (i * 5) % 12;
        e.day = 1 + (i * 7) % 31;
        e.hour = (i * 3) % 24;
        e.minute = (i * 13) % 60;
        events.push_back(e);
    }
    return events;
}

void EventPointerWritten(SimMemory& memory, unsigned value)
{
    if ((value & 0xFFFF) == 0xFFFF)
        memory.events.clear();
}

bool IsEventQuery(char command, const std::string& data)
{
    return command == 'L' && data.size() == 5 && data[0] == 'E';
}

std::string ShortenedEventReply(const std::string& payload)
{
    if (payload.size() < 3)
        return payload;
    const std::string body = payload.substr(0, payload.size() - 3);   // checksum and one character
    return AddressedReplyPayload(body);
}

std::string EventListText(const SimMemory& memory, int max)
{
    static const char* const kClass[] = {"00", "01", "10", "10"};
    static const char* const kDetail[] = {"---", "001", "010", "011", "100", "101", "110", "011"};
    std::string out;
    int shown = 0;
    for (const auto& [number, data] : memory.events) {
        if (max >= 0 && shown == max) {
            out += "... " + std::to_string(memory.events.size() - std::size_t(shown)) + " more\n";
            break;
        }
        const int classDay = ParseHex(data.substr(14, 2), 2);
        const int detailMonth = ParseHex(data.substr(16, 2), 2);
        char line[96];
        std::snprintf(line, sizeof line, "%4d  %s  class %s detail %s  %d%d.%d%d.%s %s:%s\n", number,
                      data.substr(0, 10).c_str(), kClass[(classDay >> 6) & 3], kDetail[(detailMonth >> 5) & 7],
                      (classDay >> 4) & 3, classDay & 15, (detailMonth >> 4) & 1, detailMonth & 15,
                      data.substr(18, 2).c_str(), data.substr(12, 2).c_str(), data.substr(10, 2).c_str());
        out += line;
        ++shown;
    }
    return out;
}

} // namespace Sim
