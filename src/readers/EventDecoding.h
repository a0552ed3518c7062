#pragma once
// What a bus reader's event memory says, decoded: the reply to one event query, the reply to the
// event pointer query, and the date filter of a read run. Pure functions, no I/O.
//
// An event reply is 26 characters: address, command and echo (0-3), transponder number (4-13),
// minutes (14-15), hours (16-17), the class-and-day byte (18-19, hex), the detail-and-month byte
// (20-21, hex), the year's last two digits (22-23) and the checksum (24-25).
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace EventDecoding {

inline constexpr int kReplyLength = 26;
inline constexpr int kPointerEmpty = 0xFFFF;   // the event pointer of an empty memory

// A code and the number of the language text that goes with it.
struct Coded {
    QString code;
    uint32_t textNo = 0;
    bool operator==(const Coded&) const = default;
};

// Event class from bits 7 and 6 of the class-and-day byte: bit 7 "10" (alarm, whatever bit 6
// is), else bit 6 "01", else "00".
Coded ClassOf(uint8_t classAndDay);
// Event detail from bits 7, 6 and 5 of the detail-and-month byte ("011" also when all three are
// set: bits 6 and 5 are tested first).
Coded DetailOf(uint8_t detailAndMonth);

// The four-digit year of a two-digit year text: "19" in front when the text is greater than
// "70" (compared as text), else "20" ("70" itself is 2070).
QString FourDigitYear(const QString& yy);

struct Event {
    QString transponderNo;   // as it stands in the reply
    QString date;            // DDMMYYYY, as stored
    QString shortDate;       // DD.MM.YY, as the date filter compares it
    QString time;            // HHMM
    Coded eventClass;
    Coded detail;
    int day = 0, month = 0, year = 0;   // two-digit values of the short date
};

// Decodes an event reply. Empty when the reply is not 26 characters long or one of its two
// bytes is not hexadecimal: such a reply is asked for again like one that was cut short.
std::optional<Event> DecodeEventReply(const QByteArray& reply);

// The event query's data for event number n: "E" and four upper-case hex digits.
QByteArray EventQueryData(int number);
inline const QByteArray kPointerQueryData = QByteArrayLiteral("P0003");

// The event pointer from the reply to "P0003": exactly 10 characters, 'L' at position 2, 'P' at
// position 3, the pointer in hex at positions 4-7. -1 when the reply is anything else.
int EventPointerFromReply(const QByteArray& reply);

// Date filter: whether an event of this short date (DD.MM.YY) lies in [from, to], both given as
// DDMMYY texts and both included. Dates compare as (year, month, day) on their two-digit values,
// year first. Without both texts there is no filter and every event passes.
bool PassesDateFilter(const Event& event, const QString& fromDDMMYY, const QString& toDDMMYY);

} // namespace EventDecoding
