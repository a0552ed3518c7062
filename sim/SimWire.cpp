#include "SimWire.h"

#include <cstdio>

namespace Sim {

std::string Hex(unsigned value, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return buf;
}

std::string Checksum(const std::string& covered)
{
    unsigned sum = 0;
    for (unsigned char c : covered)
        sum += c;
    return Hex(sum % 256, 2);
}

std::string AddressedReplyPayload(const std::string& body)
{
    return body + Checksum(body);
}

std::string Frame(const std::string& payload)
{
    return std::string(1, STX) + payload + std::string(1, EOT);
}

std::optional<AddressedTelegram> SplitAddressed(const std::string& inner)
{
    if (inner.size() < 5)
        return std::nullopt;
    AddressedTelegram t;
    t.address = inner.substr(0, 2);
    t.command = inner[2];
    t.data = inner.substr(3, inner.size() - 5);
    t.checksum = inner.substr(inner.size() - 2);
    t.checksumOk = Checksum(inner.substr(0, inner.size() - 2)) == t.checksum;
    return t;
}

int ParseHex(const std::string& text, std::size_t digits)
{
    if (text.size() != digits || digits == 0)
        return -1;
    int value = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else return -1;
        value = value * 16 + d;
    }
    return value;
}

static int TwoDigits(const std::string& s, std::size_t at)
{
    const char a = s[at], b = s[at + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return -1;
    return (a - '0') * 10 + (b - '0');
}

std::optional<SimClock> DecodeClock(const std::string& d)
{
    if (d.size() != 14)
        return std::nullopt;
    SimClock c;
    int* fields[] = {&c.second, &c.minute, &c.hour, &c.weekday, &c.day, &c.month, &c.year};
    for (int i = 0; i < 7; ++i) {
        *fields[i] = TwoDigits(d, 2 * i);
        if (*fields[i] < 0)
            return std::nullopt;
    }
    // A reader refuses a clock it cannot run.
    if (c.second > 59 || c.minute > 59 || c.hour > 23 || c.weekday < 1 || c.weekday > 7
        || c.day < 1 || c.day > 31 || c.month < 1 || c.month > 12)
        return std::nullopt;
    c.raw = d;
    return c;
}

std::string EncodeEventData(const SimEvent& e)
{
    const int classDay = (e.eventClass & 3) << 6 | ((e.day / 10) & 3) << 4 | (e.day % 10);
    const int detailMonth = (e.detail & 7) << 5 | ((e.month / 10) & 1) << 4 | (e.month % 10);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d%02d%02X%02X%02d", e.minute % 100, e.hour % 100, classDay,
                  detailMonth, e.year % 100);
    std::string number = e.number;
    number.resize(10, '0');
    return number + buf;
}

std::optional<SimWindow> DecodeWindow(const std::string& d)
{
    // 4 hex digits index, 2 hex digits day mask, MMHH from, MMHH to.
    if (d.size() != 14)
        return std::nullopt;
    SimWindow w;
    w.index = ParseHex(d.substr(0, 4), 4);
    w.dayMask = ParseHex(d.substr(4, 2), 2);
    w.fromMinute = TwoDigits(d, 6);
    w.fromHour = TwoDigits(d, 8);
    w.toMinute = TwoDigits(d, 10);
    w.toHour = TwoDigits(d, 12);
    if (w.index < 0 || w.dayMask < 0 || w.fromMinute < 0 || w.fromHour < 0 || w.toMinute < 0
        || w.toHour < 0)
        return std::nullopt;
    w.raw = d;
    return w;
}

} // namespace Sim
