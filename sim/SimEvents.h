#pragma once
// The event memory of a simulated bus reader: sample events for demos and tests, what the
// reader does when its event pointer is written, a fault that cuts event replies short, and the
// console's listing of the memory.
#include "SimDevice.h"

#include <string>
#include <vector>

namespace Sim {

// n events that between them use every class (bits 7 and 6: 0 to 3), every detail code (0 to 7)
// and years on both sides of the program's century rule (69, 70, 71, 99, 00, ...). The same n
// always gives the same events. Event k of the list is event number k in the reader.
std::vector<SimEvent> VariedEvents(int n);

// A write of the event pointer (P0003). FFFF is the reader's "memory empty": the events are gone
// and the reader starts again at number 0.
void EventPointerWritten(SimMemory& memory, unsigned value);

// Whether a telegram's data asks for an event record ("E" and four hex digits).
bool IsEventQuery(char command, const std::string& data);

// The reply payload of an event query made one character short (the last data character goes,
// the checksum is made again), as a reader with a flaky line might send it.
std::string ShortenedEventReply(const std::string& payload);

// "number  class detail  dd.mm.yy hh:mm" lines of up to `max` stored events (all when max < 0).
std::string EventListText(const SimMemory& memory, int max);

} // namespace Sim
