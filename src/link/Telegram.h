#pragma once
// Reader telegrams: the addressed frame of the bus readers (address "FF" and a checksum) and
// the short frame of the desk readers, and the one checksum rule used for telegrams and replies.
// Pure functions; the link sends what these build.
#include <QByteArray>
#include <cstdint>

namespace Telegram {

inline constexpr char STX = 0x02;
inline constexpr char EOT = 0x04;
inline constexpr char ACK = 0x06;

// Sum of the byte values modulo 256 as exactly two upper-case hexadecimal digits.
QByteArray Checksum(const QByteArray& covered);

// STX "FF" command data checksum EOT; the checksum covers "FF", the command and the data.
QByteArray BuildAddressedFrame(char command, const QByteArray& data);
// STX command data EOT.
QByteArray BuildShortFrame(char command, const QByteArray& data);

// The tag poll of the monitor worker: command "C", data "T" (STX "FFCT23" EOT).
const QByteArray& PollTelegram();

// 1 when the last two characters of a reply payload (the text between STX and EOT) are the
// checksum of the characters before them, compared case-sensitively; else 0.
int IsTelegramChecksumOK(const QByteArray& reply);

// A bus reader's answer to a write telegram accepts it when the character after "FF",
// the command and the area letter (position 4) is ACK.
bool IsAck(const QByteArray& reply);

} // namespace Telegram
