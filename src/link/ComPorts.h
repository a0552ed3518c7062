#pragma once
// COM numbers on a system without them. The program names ports "COM1" to "COM256"; each
// user keeps a folder of links, Paths::DosDevicesDir() + "/com1" ... "/com256", that point a
// number at a device (a serial port, a USB adapter, a pseudo-terminal of socat or ser2net).
// A number without a link means /dev/ttyS<n-1>. USB adapters get the lowest free number and
// a link when first seen, so they keep their number the way Windows keeps COM numbers.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace ComPorts {

inline constexpr uint32_t kMaxComNumber = 256;

// "COM12" (any case) gives 12; anything else, or a number outside 1..256, gives 0.
uint32_t ComNumber(const QByteArray& portName);
// Path of the link of a number (whether it exists or not).
QString LinkPath(uint32_t number);
// The device behind a number: the link's path when the link exists, else /dev/ttyS<n-1>.
QByteArray DevicePath(uint32_t number);
// What OpenComPort opens for a port name: a COM name as above; an absolute path as it is;
// empty for anything else.
QByteArray ResolvePortName(const QByteArray& portName);
// Points a number at a device path (replacing an existing link). false on failure.
bool SetComLink(uint32_t number, const QString& devicePath);

// Empties the list and fills it in ascending order with the numbers whose link leads to a
// terminal device or whose default /dev/ttyS port is a real UART; USB adapters without a
// link get one first. The second form looks for devices in another folder than /dev.
void EnumerateComPorts(std::vector<uint32_t>& ports);
void EnumerateComPorts(std::vector<uint32_t>& ports, const QString& devDir);

} // namespace ComPorts
