#include "readers/ReaderIdentity.h"

#include "link/CSerialLink.h"
#include "readers/ReaderModel.h"

namespace ReaderIdentity {

QString QueryDeviceId(CSerialLink& link)
{
    const QByteArray reply = link.SendTelegramViaMonitor('L', QByteArrayLiteral("S0000"), 1);
    if (reply.size() != 26)
        return {};
    return QString::fromLatin1(reply.mid(4, 20));
}

bool CheckReaderIdentity(CSerialLink& link, const QString& typeText, const QString& identity)
{
    if (link.m_nPortInUse.load() <= 0)
        return false;
    if (!ReaderModel::IsBusReaderType(typeText))
        return false;
    const QString id = QueryDeviceId(link);
    return !id.isEmpty() && id == identity;
}

} // namespace ReaderIdentity
