#pragma once
// What the simulator adds around a bus reader's transponder memory: a start list read from a
// file, a full listing of what was written (for "status"), and the refusal fault that answers
// a chosen kind of telegram with NAK for a number of times.
#include "SimDevice.h"

#include <string>
#include <vector>

namespace Sim {

// One transponder number a line (10 hexadecimal characters, taken upper-cased); empty lines and
// lines starting with '#' are skipped. false with a message naming the file and line when a line
// is not a number or the file cannot be read.
bool ReadTransponderFile(const std::string& path, std::vector<std::string>& numbers, std::string& error);

// Days of a window's day mask as names, Monday first ("Mo Tu We Th Fr"); "none" for none.
std::string DayNames(int dayMask);

// Slots, time windows and parameters 0 and 1 of a bus reader, a few lines each.
std::string MemoryListing(const SimMemory& memory);

// The refusal fault. kind is a command letter followed by the start of the data ("ST" slot
// writes, "SZ" windows, "SP0000" parameter 0, "LT" slot queries, "S" every write). When the
// telegram (the text between STX and EOT, checksum intact) is of that kind and remaining is
// above 0, the reader answers NAK without taking the telegram: out is filled, remaining goes
// down, and true is returned.
bool RefuseIfDue(const std::string& kind, int& remaining, const std::string& inner, bool bus, Answer& out);

} // namespace Sim
