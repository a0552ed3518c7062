#pragma once
// Faults aimed at one kind of telegram: "the next N replies to telegrams that start with P".
// P is the command letter followed by the start of the data, as the reader heard them
// ("SU0000" the clock write, "SS0000" the device ID write, "LP0002" one parameter read).
// A fault counts down only on replies to matching telegrams, so a retry of exactly that
// exchange can be tested while everything else on the line stays healthy.
#include "SimDevice.h"

#include <optional>
#include <string>
#include <vector>

namespace Sim {

struct AimedFault {
    enum class Kind {
        Drop,          // the reply is not sent
        Nak,           // the reply carries NAK where it would carry ACK (a write refused)
        BadChecksum,   // the reply's checksum is wrong (bus readers)
        SilenceAfter,  // the replies go out, and after the last of them the reader falls
                       // silent: unplugged in the middle of a run
        Refuse,        // the telegram is answered NAK and not taken (bus readers: writes "S"
                       // and queries "L" only): a reader that will not store or tell
    };
    Kind kind = Kind::Drop;
    std::string prefix;   // command letter + data start; empty matches every telegram
    int count = 1;        // replies still to spoil
};

// "drop:SU0000:3", "nak:SS0000", "bad-checksum:LS0000:2", "silence-after:ST:2", "refuse:ST:12"
// (count 1 when left out).
std::optional<AimedFault> ParseAimedFault(const std::string& text);
std::string AimedFaultText(const AimedFault& fault);

class AimedFaults {
public:
    void Add(const AimedFault& fault);
    void Clear() { m_faults.clear(); }
    const std::vector<AimedFault>& Pending() const { return m_faults; }
    // A refusal due for the telegram (the text between STX and EOT): out is the NAK answer to
    // give in place of the reader's own, and the fault is counted down.
    bool Refuse(const std::string& inner, bool bus, Answer& out);
    // Spoils the reply payload to a telegram (command + data) with the first fault that
    // matches, and counts it down. false: the reply is to be dropped. *fallSilent becomes true
    // when this reply is the last before the reader falls silent.
    bool Apply(char command, const std::string& data, bool bus, std::string& payload, bool* fallSilent = nullptr);

private:
    std::vector<AimedFault> m_faults;
};

} // namespace Sim
