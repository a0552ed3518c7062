#pragma once
// Asking the connected reader who it is, through the monitor worker's mailbox.
#include <QString>

class CSerialLink;

namespace ReaderIdentity {

// The device ID of the bus reader at the port: the identity query "S0000" (command 'L',
// addressed frame) sent through the monitor worker; a reply of exactly 26 characters carries
// the ID at positions 4 to 23. Empty when the reply is anything else (none within 3000 ms,
// "CRC_ERROR", a poll reply that got in between ...).
QString QueryDeviceId(CSerialLink& link);

// Whether the reader at the port is the reader of a table row, as the reader table's context
// menu requires before it offers the commands that talk to that reader: the link must be on a
// port, the row's type text must name a Cedar, Maple or Rowan, and the device ID the reader
// reports must equal the row's Identity. For any other model nothing is sent and the check
// fails. Runs on the GUI thread and blocks up to 3000 ms.
bool CheckReaderIdentity(CSerialLink& link, const QString& typeText, const QString& identity);

} // namespace ReaderIdentity
