#include "Commands.h"

#include "base/Settings.h"
#include "link/CSerialLink.h"
#include "link/ComPorts.h"

#include <QJsonArray>
#include <QJsonObject>

int RunPorts(CliContext& ctx)
{
    std::vector<uint32_t> ports;
    CSerialLink::EnumerateComPorts(ports);
    const uint32_t configured = Settings::ReadAktCom();
    QJsonArray list;
    for (uint32_t n : ports) {
        const QString device = QString::fromLocal8Bit(ComPorts::DevicePath(n));
        list.append(QJsonObject{{QStringLiteral("com"), int(n)}, {QStringLiteral("device"), device}});
        ctx.Print(QStringLiteral("COM%1\t%2%3").arg(n).arg(device, n == configured ? QStringLiteral("\t*") : QString()));
    }
    if (ports.empty())
        ctx.Prompt().Note(ctx.Literal("Keine seriellen Schnittstellen gefunden.", "No serial ports found."));
    ctx.Result().insert(QStringLiteral("ports"), list);
    ctx.Result().insert(QStringLiteral("configured"), int(configured));
    return kDone;
}
