#include "link/ComPorts.h"

#include "base/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace ComPorts {

namespace {

bool IsCharDevice(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

bool IsLink(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

// A /dev/ttyS node exists on every PC for 32 or more ports; only those the driver found a
// UART for are real. Asking the driver needs the port opened; when that is refused (another
// program holds it, no permission) the driver's sysfs entry tells the same.
bool IsRealUart(const QString& path)
{
    if (!IsCharDevice(path))
        return false;
#if defined(__linux__)
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        serial_struct info {};
        const bool ok = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
        ::close(fd);
        return ok;
    }
    QFile type(QStringLiteral("/sys/class/tty/") + QFileInfo(path).fileName() + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const int value = type.readAll().trimmed().toInt(&ok);
    return ok && value != PORT_UNKNOWN;
#else
    return true;
#endif
}

QString DefaultDevice(const QString& devDir, uint32_t number)
{
    return devDir + QStringLiteral("/ttyS") + QString::number(number - 1);
}

// A number is taken when it has a link (even one whose device is unplugged: the number stays
// with that device) or when its default port is a real UART.
bool IsTaken(uint32_t number, const QString& devDir)
{
    return IsLink(LinkPath(number)) || IsRealUart(DefaultDevice(devDir, number));
}

void LinkNewAdapters(const QString& devDir)
{
    const QStringList adapters =
        QDir(devDir).entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")}, QDir::System | QDir::Files,
                               QDir::Name);
    if (adapters.isEmpty())
        return;
    QSet<QString> linked;
    for (uint32_t n = 1; n <= kMaxComNumber; ++n) {
        const QString link = LinkPath(n);
        if (IsLink(link))
            linked.insert(QFileInfo(QFileInfo(link).symLinkTarget()).absoluteFilePath());
    }
    uint32_t next = 1;
    for (const QString& name : adapters) {
        const QString path = devDir + u'/' + name;
        if (!IsCharDevice(path) || linked.contains(QFileInfo(path).absoluteFilePath()))
            continue;
        while (next <= kMaxComNumber && IsTaken(next, devDir))
            ++next;
        if (next > kMaxComNumber)
            return;
        if (SetComLink(next, path))
            linked.insert(path);
        ++next;
    }
}

} // namespace

uint32_t ComNumber(const QByteArray& portName)
{
    if (portName.size() < 4 || !portName.left(3).toUpper().startsWith("COM"))
        return 0;
    const QByteArray digits = portName.mid(3);
    for (char c : digits)
        if (c < '0' || c > '9')
            return 0;
    bool ok = false;
    const uint32_t n = digits.toUInt(&ok);
    return ok && n >= 1 && n <= kMaxComNumber ? n : 0;
}

QString LinkPath(uint32_t number)
{
    return Paths::DosDevicesDir() + QStringLiteral("/com") + QString::number(number);
}

QByteArray DevicePath(uint32_t number)
{
    if (number < 1 || number > kMaxComNumber)
        return {};
    const QString link = LinkPath(number);
    if (IsLink(link))
        return QFile::encodeName(link);
    return QFile::encodeName(DefaultDevice(QStringLiteral("/dev"), number));
}

QByteArray ResolvePortName(const QByteArray& portName)
{
    if (const uint32_t n = ComNumber(portName))
        return DevicePath(n);
    if (portName.startsWith('/'))
        return portName;
    return {};
}

bool SetComLink(uint32_t number, const QString& devicePath)
{
    if (number < 1 || number > kMaxComNumber)
        return false;
    if (!QDir().mkpath(Paths::DosDevicesDir()))
        return false;
    const QString link = LinkPath(number);
    if (IsLink(link) || QFileInfo::exists(link))
        QFile::remove(link);
    return ::symlink(QFile::encodeName(devicePath).constData(), QFile::encodeName(link).constData()) == 0;
}

void EnumerateComPorts(std::vector<uint32_t>& ports)
{
    EnumerateComPorts(ports, QStringLiteral("/dev"));
}

void EnumerateComPorts(std::vector<uint32_t>& ports, const QString& devDir)
{
    ports.clear();
    LinkNewAdapters(devDir);
    for (uint32_t n = 1; n <= kMaxComNumber; ++n) {
        const QString link = LinkPath(n);
        if (IsLink(link)) {
            const QString target = QFileInfo(link).canonicalFilePath();
            const bool serial = QFileInfo(target).fileName().startsWith(QStringLiteral("ttyS"));
            if (serial ? IsRealUart(target) : IsCharDevice(link))
                ports.push_back(n);
        } else if (IsRealUart(DefaultDevice(devDir, n))) {
            ports.push_back(n);
        }
    }
}

} // namespace ComPorts
