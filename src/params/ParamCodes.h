#pragma once
// How reader parameters travel between the dialogs, the reader record and the telegrams.
// Pure functions, no I/O: the parameter dialogs, the send dialog and their tests share them.
//
// Bus readers (Maple, Cedar, Rowan) keep two parameters:
//   - the parameter byte (parameter 0): eight on/off settings, stored as two upper-case hex
//     digits ("0A"), sent as "P0000" + those two digits;
//   - the switching-time code (parameter 1): bit 7 chooses the unit (0 seconds, 1 the other
//     unit of the list), the low seven bits the value. In seconds 0 means "no switching time",
//     1 half a second and n the time n - 1; in the other unit the value is the time itself.
//     Stored as decimal text ("133"), sent as "P0001" + four hex digits ("0085").
// Desk readers (Birch, Alder) keep a mode (bit 0 stand-alone, bit 1 switching time active)
// and a master transponder in one text "mode;master" (mode in hex), and the switching time in
// whole seconds 1..15, "0" standing for half a second.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace ParamCodes {

// The integer at the start of a text as C's atoi reads it: leading blanks, a sign, digits;
// 0 when there are none ("5 s" -> 5, "x" -> 0).
int LeadingInt(const QString& text);
// "0.5" and "0,5" both mean half a second.
bool IsHalfSecond(const QString& text);

// ---------------------------------------------------------------- bus readers

// The two entries of the unit list, in list order.
enum SwitchUnit { UnitSeconds = 0, UnitOther = 1 };
inline constexpr uint32_t kUnitText[2] = {127, 126};

// What the dialog shows for a stored code: the value text and the unit entry.
struct SwitchDisplay {
    QString value;
    int unit = UnitSeconds;
};
SwitchDisplay SwitchCodeToDisplay(int code);

// The code for what the user entered. unit is the list entry (-1: none chosen).
enum class SwitchInput {
    Ok,            // code holds the new code
    BelowMinimum,  // text 142; nothing is stored
    NoUnit,        // no unit chosen: no switching time is stored or sent
};
SwitchInput SwitchCodeFromInput(const QString& value, int unit, int& code);

// The parameter byte as stored ("0A") and read back from the record (0 when unreadable).
QString ParamByteText(uint8_t byte);
uint8_t ParamByteFromText(const QString& text);

// Data of the two parameter writes and the telegram's success test.
QByteArray ParamByteData(uint8_t byte);     // "P0000" + "0A"
QByteArray SwitchCodeData(int code);        // "P0001" + "0085"
// A parameter write is confirmed by a reply of exactly 7 characters with ACK at index 4; a
// clock write by more than 4 characters with ACK at index 4.
bool IsParamWriteConfirmed(const QByteArray& reply);
bool IsClockWriteConfirmed(const QByteArray& reply);

// Bits 6 ("key day 0") and 5 ("key switches relay off") exclude each other: switching one of
// them on while the other is on is refused (text 247).
bool IsExcludedBit(uint8_t byte, int bitToSet);
// The label of the bit-1 group follows bit 0: text 134 with bit 0 on, 135 with it off.
uint32_t Bit1GroupText(uint8_t byte);

// ---------------------------------------------------------------- desk readers

struct DeskParams {
    uint32_t mode = 0;   // 0 when the mode text is not hexadecimal
    QString master;      // empty when the text has no ";"
};
DeskParams ParseDeskParams(const QString& params);
// The mode with bit 0 (stand-alone) and bit 1 (switching time active) set as given; the other
// bits are kept.
uint32_t WithModeBits(uint32_t mode, bool standalone, bool active);
// "%X" of the mode, then ";" and the master when there is one.
QString DeskParamsText(uint32_t mode, const QString& master);
// The stored text with its master replaced: the part before the first ";", ";", the master.
QString WithMaster(const QString& params, const QString& master);

// What the dialog shows for the stored switching time: n > 0 as is, 0 "0.5", below 0 "0".
QString DeskSwitchDisplay(const QString& stored);
enum class DeskSwitchInput {
    Ok,            // stored holds the text to store ("0" for half a second)
    BelowMinimum,  // text 142
    AboveMaximum,  // text 152
};
DeskSwitchInput DeskSwitchFromInput(const QString& value, QString& stored);
// Data of the "D" telegram: "1" and "0%X" of the stored seconds ("100" half a second, "10F").
QByteArray DeskSwitchData(const QString& stored);

} // namespace ParamCodes
