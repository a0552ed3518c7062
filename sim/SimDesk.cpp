// The reader's settings as a person at the console sees them, and the desk reader's teach
// tag: what the parameter dialogs change in a reader, made visible and playable without
// hardware.
#include "ReaderSim.h"

#include <QDateTime>

#include <cstdio>
#include <sstream>

namespace Sim {

namespace {

// The switching-time code of a bus reader in words: bit 7 chooses minutes, the low seven bits
// the value; in seconds 0 is none, 1 half a second and n the time n - 1.
std::string DescribeSwitchCode(unsigned code)
{
    const unsigned v = code & 0x7F;
    if (code & 0x80)
        return std::to_string(v) + " min";
    if (v == 0)
        return "none";
    if (v == 1)
        return "0.5 s";
    return std::to_string(v - 1) + " s";
}

std::string ClockText(const SimClock& c)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%02d %02d:%02d:%02d weekday %d", c.day, c.month, c.year, c.hour,
                  c.minute, c.second, c.weekday);
    return buf;
}

// The clock as the reader runs it: the last time written plus the time since.
std::optional<SimClock> RunningClock(const SimMemory& m)
{
    if (!m.lastClock)
        return std::nullopt;
    const SimClock& set = *m.lastClock;
    const QDateTime at(QDate(2000 + set.year, set.month, set.day), QTime(set.hour, set.minute, set.second));
    if (!at.isValid())
        return set;
    const auto ran = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - m.clockSetAt);
    const QDateTime now = at.addSecs(ran.count());
    SimClock c;
    c.second = now.time().second();
    c.minute = now.time().minute();
    c.hour = now.time().hour();
    c.day = now.date().day();
    c.month = now.date().month();
    c.year = now.date().year() % 100;
    c.weekday = int((set.weekday - 1 + at.daysTo(now)) % 7) + 1;
    c.raw = set.raw;
    return c;
}

} // namespace

void ReaderSim::SetTeachTag(const std::string& number10)
{
    std::lock_guard lock(m_mutex);
    m_teachTag = number10;
    if (!m_teachTag.empty())
        m_teachTag.resize(10, '0');
    m_teachDue.reset();
}

std::string ReaderSim::TeachTag() const
{
    std::lock_guard lock(m_mutex);
    return m_teachTag;
}

bool ReaderSim::ServeTeach()
{
    std::string tag;
    {
        std::lock_guard lock(m_mutex);
        if (Info().bus || m_teachTag.empty() || !m_device.Memory().teachMode) {
            m_teachDue.reset();
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!m_teachDue) {
            // A person needs a moment to hold the tag up; the reader's ACK goes out first.
            m_teachDue = now + std::chrono::milliseconds(kTeachDelayMs);
            return true;
        }
        if (now < *m_teachDue)
            return true;
        m_teachDue.reset();
        tag = m_teachTag;
    }
    PresentTag(tag, true);
    return false;
}

std::optional<SimClock> ReaderSim::ClockNow() const
{
    std::lock_guard lock(m_mutex);
    return RunningClock(m_device.Memory());
}

std::string ReaderSim::ParamStatusLocked() const
{
    const SimMemory& m = m_device.Memory();
    std::ostringstream s;
    if (Info().bus) {
        s << "parameter byte (P0000): " << Hex(m.params[0] & 0xFF, 2) << "\n";
        s << "switching time (P0001): " << Hex(m.params[1], 4) << " = " << DescribeSwitchCode(m.params[1]) << "\n";
        if (m.lastClock) {
            s << "clock now: " << ClockText(*RunningClock(m)) << "\n";
            s << "clock set to: " << ClockText(*m.lastClock) << " (" << m.clockWrites << " writes)\n";
        } else {
            s << "clock: never set\n";
        }
    } else {
        s << "master: " << m.tagSlots[0] << (m.teachMode ? " (teaching)" : "") << "\n";
        if (!m_teachTag.empty())
            s << "teach tag: " << m_teachTag << "\n";
        s << "mode: " << m.mode << " (" << ((m.mode & 1) ? "stand-alone" : "read head") << ", switching time "
          << ((m.mode & 2) ? "active" : "inactive") << "), switching time: "
          << (m.switchTime == 0 ? std::string("0.5") : std::to_string(m.switchTime)) << " s\n";
        s << "slots:";
        for (int i = 1; i < m.slotCount && i < int(m.tagSlots.size()); ++i)
            s << " " << i << "=" << m.tagSlots[i];
        s << "\n";
    }
    return s.str();
}

} // namespace Sim
