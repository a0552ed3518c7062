#include "readers/ReaderIdentity.h"

#include "link/CSerialLink.h"
#include "readers/ReaderModel.h"
#include "records/CStoreDB_Handler.h"

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

int IndexOfDeviceId(const CtblLeser& readers, const QString& deviceId)
{
    if (deviceId.isEmpty())
        return -1;
    for (int i = 0; i < readers.GetAnz_Leser(); ++i)
        if (readers.Get_Leser(i).Identity == deviceId)
            return i;
    return -1;
}

} // namespace ReaderIdentity
