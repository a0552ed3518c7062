// vendrik-readersim: one simulated reader on a pseudo-terminal linked as a COM number, for
// demos and training without hardware. Start it, then let the program connect to that COM port.
#include "ReaderSim.h"
#include "SimEvents.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <poll.h>
#include <sstream>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

std::atomic<bool> g_quit{false};
std::mutex g_out;

void OnSignal(int)
{
    g_quit = true;
}

void Say(const std::string& text)
{
    std::lock_guard lock(g_out);
    std::cout << text << std::endl;
}

std::string Printable(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c == Sim::ACK) out += "<ACK>";
        else if (c == Sim::NAK) out += "<NAK>";
        else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "<%02X>", c);
            out += buf;
        } else out += char(c);
    }
    return out;
}

void Usage()
{
    std::cout <<
        "usage: vendrik-readersim --model Cedar|Maple|Rowan|Birch|Alder --com N [options]\n"
        "  --device-id TEXT   20-character device ID (default: blank, FFFF...)\n"
        "  --tag NUMBER       a tag lies on the reader from the start (bus readers)\n"
        "  --master NUMBER    master transponder (Birch, Alder)\n"
        "  --teach-tag NUMBER the tag held to a Birch or Alder when it is told to learn a new master\n"
        "  --events N         N varied events in the event memory (every class and detail)\n"
        "  --transponders FILE  the transponder list the reader holds (bus readers), one number a line\n"
        "  --pace             send at the real wire speed (10 bits a byte)\n"
        "  --verbose          also print polls that find no tag\n"
        "faults: --silent --bad-checksum --cut --eot-first --noise N --interim N\n"
        "        --drop N --identify-on N --delay MS --short-events\n"
        "        --aim KIND:PREFIX[:N]  the next N replies to telegrams starting with PREFIX (the\n"
        "        command letter and the start of the data: ST slot writes, SZ windows, SP0000 /\n"
        "        SP0001 parameters, LT slot queries, SU0000 clock writes) are spoilt. KIND:\n"
        "          drop           not sent (drop:S:1 loses one write acknowledgement)\n"
        "          nak            NAK in place of ACK, the telegram taken all the same\n"
        "          bad-checksum   a wrong checksum (bus readers)\n"
        "          refuse         answered NAK and not taken (refuse:ST:12 for twelve slot writes)\n"
        "          silence-after  those replies go out, then the reader falls silent\n"
        "                         (silence-after:ST:2 unplugs it after the second slot write)\n";
}

// "fault NAME [VALUE]" and the command-line faults share this.
bool ApplyFault(Sim::SimFaults& f, const std::string& name, const std::string& value)
{
    const bool on = value.empty() || value == "on" || value == "1";
    const int n = std::atoi(value.c_str());
    if (name == "silent") f.silent = on;
    else if (name == "bad-checksum") f.badChecksum = on;
    else if (name == "cut") f.cutBeforeEot = on;
    else if (name == "eot-first") f.eotBeforeStx = on;
    else if (name == "pace") f.pace = on;
    else if (name == "noise") f.noiseBytes = n;
    else if (name == "interim") f.interimFrames = n;
    else if (name == "drop") f.dropNext = n;
    else if (name == "identify-on") f.identifyOnTry = n;
    else if (name == "delay") f.replyDelayMs = n;
    else if (name == "short-events") f.shortEvents = on;
    else return false;
    return true;
}

void Console(Sim::ReaderSim& sim)
{
    Say("Type a tag number and Enter to present it once; \"hold NUMBER\", \"remove\", \"status\",\n"
        "\"events [N|all]\", \"teach NUMBER|off\", \"fault NAME [on|off|N]\" (\"fault noise 3\"),\n"
        "\"aim KIND:PREFIX[:N]\", \"faults off\", \"quit\".");
    std::string line;
    while (!g_quit) {
        pollfd pf {0, POLLIN, 0};
        if (::poll(&pf, 1, 200) <= 0)
            continue;
        if (!std::getline(std::cin, line)) {
            // No console (started from a script with stdin closed): serve until a signal.
            Say("console closed; the reader keeps running until Ctrl+C or SIGTERM");
            while (!g_quit)
                ::poll(nullptr, 0, 200);
            break;
        }
        std::istringstream in(line);
        std::string cmd, a, b;
        in >> cmd >> a >> b;
        if (cmd.empty())
            continue;
        if (cmd == "quit" || cmd == "exit")
            break;
        if (cmd == "status") {
            Say(sim.StatusText());
        } else if (cmd == "events") {
            const int max = a == "all" ? -1 : a.empty() ? 20 : std::atoi(a.c_str());
            Say("event pointer " + Sim::Hex(sim.EventPointer(), 4) + ", " + std::to_string(sim.EventCount())
                + " events\n" + sim.EventsText(max));
        } else if (cmd == "remove") {
            sim.RemoveTag();
            Say("tag removed");
        } else if (cmd == "hold" && !a.empty()) {
            sim.PresentTag(a, false);
            Say("tag " + a + " lies on the reader until \"remove\"");
        } else if (cmd == "aim" && !a.empty()) {
            if (const auto aimed = Sim::ParseAimedFault(a)) {
                sim.AimFault(*aimed);
                Say("aimed " + Sim::AimedFaultText(*aimed));
            } else {
                Say("? aim KIND:PREFIX[:N], KIND drop, nak, bad-checksum, refuse or silence-after");
            }
        } else if (cmd == "teach" && (a == "off" || a.size() == 10)) {
            sim.SetTeachTag(a == "off" ? std::string() : a);
            Say(a == "off" ? "teaching waits for a tag typed here" : "tag " + a + " answers the next teach requests");
        } else if (cmd == "faults" && a == "off") {
            sim.SetFaults({});
            sim.ClearAimedFaults();
            Say("no faults");
        } else if (cmd == "fault" && !a.empty()) {
            Sim::SimFaults f = sim.Faults();
            if (ApplyFault(f, a, b)) {
                sim.SetFaults(f);
                Say("fault " + a + " " + (b.empty() ? "on" : b));
            } else {
                Say("unknown fault or value: " + a + (b.empty() ? "" : " " + b));
            }
        } else if (cmd.size() == 10) {
            sim.PresentTag(cmd, true);
            Say("tag " + cmd + " presented");
        } else {
            Say("? a tag number has 10 characters; commands: hold, remove, status, events, teach, fault, faults off, quit");
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string modelName, deviceId, tag, master, transponderFile, teachTag;
    int com = 0, events = -1;
    bool verbose = false;
    Sim::SimFaults faults;
    std::vector<Sim::AimedFault> aims;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << arg << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--model") modelName = value();
        else if (arg == "--com") com = std::atoi(value().c_str());
        else if (arg == "--device-id") deviceId = value();
        else if (arg == "--tag") tag = value();
        else if (arg == "--master") master = value();
        else if (arg == "--teach-tag") teachTag = value();
        else if (arg == "--events") events = std::atoi(value().c_str());
        else if (arg == "--transponders") transponderFile = value();
        else if (arg == "--verbose") verbose = true;
        else if (arg == "--aim") {
            const std::string text = value();
            const auto aimed = Sim::ParseAimedFault(text);
            if (!aimed) {
                std::cerr << "--aim " << text << ": expected KIND:PREFIX[:N]\n";
                return 2;
            }
            aims.push_back(*aimed);
        }
        else if (arg == "--help" || arg == "-h") { Usage(); return 0; }
        else if (arg.rfind("--", 0) == 0) {
            const std::string name = arg.substr(2);
            const bool takesValue = name == "noise" || name == "interim" || name == "drop" || name == "identify-on"
                                    || name == "delay";
            if (!ApplyFault(faults, name, takesValue ? value() : std::string())) {
                std::cerr << "unknown option " << arg << "\n";
                Usage();
                return 2;
            }
        } else {
            std::cerr << "unknown argument " << arg << "\n";
            Usage();
            return 2;
        }
    }
    const auto model = Sim::ModelFromName(modelName);
    if (!model || com < 1 || com > 256) {
        Usage();
        return 2;
    }

    Sim::ReaderSim sim(*model, com);
    if (!deviceId.empty()) sim.SetDeviceId(deviceId);
    if (!master.empty()) sim.SetMaster(master);
    if (!teachTag.empty()) sim.SetTeachTag(teachTag);
    if (events >= 0) sim.SetEvents(Sim::VariedEvents(events));
    if (!tag.empty()) sim.PresentTag(tag, false);
    if (!transponderFile.empty()) {
        std::vector<std::string> numbers;
        std::string error;
        if (!Sim::ReadTransponderFile(transponderFile, numbers, error)) {
            std::cerr << error << "\n";
            return 2;
        }
        if (int(numbers.size()) > sim.Info().slotCapacity) {
            std::cerr << transponderFile << ": " << numbers.size() << " transponders, a " << sim.Info().name
                      << " holds " << sim.Info().slotCapacity << "\n";
            return 2;
        }
        sim.SetTransponders(numbers);
    }
    sim.SetFaults(faults);
    for (const Sim::AimedFault& aimed : aims)
        sim.AimFault(aimed);
    sim.SetTrafficListener([verbose](const Sim::SimLogEntry& e) {
        if (!verbose && e.heard == Sim::Heard::Answered && e.command == 'C'
            && e.reply.find("NOTAG") != std::string::npos)
            return;
        std::string text = e.heard == Sim::Heard::Unsolicited ? "sent   " : "heard  ";
        text += Printable(e.frame) + "  @" + std::to_string(e.rate);
        if (e.heard != Sim::Heard::Answered && e.heard != Sim::Heard::Unsolicited)
            text += std::string("  (") + Sim::HeardName(e.heard) + ")";
        else if (e.heard == Sim::Heard::Answered)
            text += e.replied ? "  -> " + Printable(e.reply) : "  -> (dropped)";
        Say(text);
    });

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
    if (!sim.Start()) {
        std::cerr << "cannot start: " << sim.ErrorText() << "\n";
        return 1;
    }
    Say(std::string("Simulated ") + sim.Info().name + " reader on COM" + std::to_string(com) + ": "
        + sim.DevicePath() + " -> " + sim.PtsPath());
    Console(sim);
    sim.Stop();
    Say("stopped; COM" + std::to_string(com) + " link removed");
    return 0;
}
