#include "SimAimedFault.h"

#include "SimMemory.h"
#include "SimWire.h"

#include <algorithm>
#include <cstdlib>

namespace Sim {

std::optional<AimedFault> ParseAimedFault(const std::string& text)
{
    const std::size_t first = text.find(':');
    if (first == std::string::npos)
        return std::nullopt;
    const std::string kind = text.substr(0, first);
    const std::size_t second = text.find(':', first + 1);
    AimedFault f;
    f.prefix = text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    if (second != std::string::npos) {
        f.count = std::atoi(text.c_str() + second + 1);
        if (f.count < 1)
            return std::nullopt;
    }
    if (kind == "drop")
        f.kind = AimedFault::Kind::Drop;
    else if (kind == "nak")
        f.kind = AimedFault::Kind::Nak;
    else if (kind == "bad-checksum")
        f.kind = AimedFault::Kind::BadChecksum;
    else if (kind == "silence-after")
        f.kind = AimedFault::Kind::SilenceAfter;
    else if (kind == "refuse")
        f.kind = AimedFault::Kind::Refuse;
    else
        return std::nullopt;
    return f;
}

std::string AimedFaultText(const AimedFault& f)
{
    const char* kind = f.kind == AimedFault::Kind::Drop          ? "drop"
                       : f.kind == AimedFault::Kind::Nak         ? "nak"
                       : f.kind == AimedFault::Kind::BadChecksum ? "bad-checksum"
                       : f.kind == AimedFault::Kind::Refuse      ? "refuse"
                                                                 : "silence-after";
    return std::string(kind) + ":" + f.prefix + ":" + std::to_string(f.count);
}

void AimedFaults::Add(const AimedFault& fault)
{
    if (fault.count > 0)
        m_faults.push_back(fault);
}

bool AimedFaults::Refuse(const std::string& inner, bool bus, Answer& out)
{
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->kind != AimedFault::Kind::Refuse || !RefuseIfDue(it->prefix, it->count, inner, bus, out))
            continue;
        if (it->count <= 0)
            m_faults.erase(it);
        return true;
    }
    return false;
}

bool AimedFaults::Apply(char command, const std::string& data, bool bus, std::string& payload, bool* fallSilent)
{
    const std::string heard = command + data;
    const auto it = std::find_if(m_faults.begin(), m_faults.end(), [&](const AimedFault& f) {
        return f.kind != AimedFault::Kind::Refuse && heard.rfind(f.prefix, 0) == 0;
    });
    if (it == m_faults.end())
        return true;
    const AimedFault::Kind kind = it->kind;
    const bool last = --it->count <= 0;
    if (last)
        m_faults.erase(it);
    if (kind == AimedFault::Kind::Drop)
        return false;
    if (kind == AimedFault::Kind::SilenceAfter) {
        if (last && fallSilent)
            *fallSilent = true;
        return true;
    }
    const std::size_t sum = bus && payload.size() >= 2 ? 2 : 0;
    std::string body = payload.substr(0, payload.size() - sum);
    if (kind == AimedFault::Kind::Nak)
        std::replace(body.begin(), body.end(), ACK, NAK);
    std::string check = sum ? Checksum(body) : std::string();
    if (kind == AimedFault::Kind::BadChecksum && sum)
        check = check == "00" ? "01" : "00";
    payload = body + check;
    return true;
}

} // namespace Sim
