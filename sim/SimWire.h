#pragma once
// The simulator's own wire encoder and decoders. Deliberately independent of the program's
// telegram code: if both sides shared one builder, a mistake in it would make them agree.
#include <optional>
#include <string>

namespace Sim {

constexpr char STX = 0x02;
constexpr char EOT = 0x04;
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;

// Sum of the byte values modulo 256 as two upper-case hex digits.
std::string Checksum(const std::string& covered);

// Reply frames. A bus reader's payload ends in the checksum over everything before it; a
// desk reader's reply carries no checksum.
std::string AddressedReplyPayload(const std::string& body);        // body + checksum
std::string Frame(const std::string& payload);                      // STX payload EOT

// A telegram as read off the line (between STX and EOT), split for the bus reader: address
// "FF", one command letter, data, two checksum digits. Empty optional when the text is too
// short to be an addressed telegram.
struct AddressedTelegram {
    std::string address;
    char command = 0;
    std::string data;
    std::string checksum;
    bool checksumOk = false;
};
std::optional<AddressedTelegram> SplitAddressed(const std::string& inner);

// Clock data of a "U0000" write, ssmmhhWWDDMMYY.
struct SimClock {
    int second = 0, minute = 0, hour = 0, weekday = 0, day = 0, month = 0, year = 0;   // year: 2 digits
    std::string raw;   // the 14 digits as received
};
std::optional<SimClock> DecodeClock(const std::string& digits14);

// One event of the event memory, in decoded form. eventClass: bits 7 and 6 of the class-and-day
// byte as a number: 0 reads as class "00", 1 as "01", 2 and 3 both as "10".
// detail: the three detail bits 7..5 of the detail-and-month byte as a number 0..7.
struct SimEvent {
    std::string number = "0000000000";   // 10 characters
    int minute = 0, hour = 0;
    int day = 1, month = 1, year = 0;     // year: 2 digits
    int eventClass = 0;
    int detail = 0;
};
// The 20 data characters of an event record: number, mm, hh, class-and-day byte,
// detail-and-month byte, yy.
std::string EncodeEventData(const SimEvent& e);

// One time window of a "Z" write: index, day mask, from and to time (written MMHH on the wire).
struct SimWindow {
    int index = 0;
    int dayMask = 0;
    int fromMinute = 0, fromHour = 0, toMinute = 0, toHour = 0;
    std::string raw;   // the data after "Z" as received
};
std::optional<SimWindow> DecodeWindow(const std::string& dataAfterZ);

// Hex text of exactly `digits` characters (upper or lower case) to a number; -1 when invalid.
int ParseHex(const std::string& text, std::size_t digits);
std::string Hex(unsigned value, int digits);   // upper case, zero padded

} // namespace Sim
