#include "params/ParamSupport.h"

#include "base/Prompt.h"
#include "link/CSerialLink.h"
#include "records/CStoreDB_Handler.h"
#include "texts/CLanguageHandler.h"

#include <chrono>
#include <thread>

namespace ParamSupport {

namespace {
bool LinkUp(const CSerialLink* link)
{
    return link && link->m_nPortOpen.load() == 1 && link->m_nPortInUse.load() > 0;
}
} // namespace

bool DeskReaderAtPort(const CSerialLink* link)
{
    if (!LinkUp(link))
        return false;
    const int type = link->m_nInterfaceType.load();
    return type == 0 || type == 3;
}

bool BusReaderAtPort(const CSerialLink* link)
{
    if (!LinkUp(link))
        return false;
    const int type = link->m_nInterfaceType.load();
    return type == 1 || type == 2 || type == 4;
}

QByteArray Ask(CSerialLink* link, bool reachable, char command, const QByteArray& data, uint8_t frameMode)
{
    if (!link || !reachable)
        return {};
    return link->SendTelegramViaMonitor(command, data, frameMode);
}

PortHold::PortHold(CSerialLink* link)
    : m_link(link)
{
    if (!m_link)
        return;
    m_link->m_nReady = 0;
    m_link->m_bBusy = 1;
    // The monitor may be finishing a poll it wrote just before; give its reply time to pass
    // so that it does not mix with ours (a poll that still crosses costs one try).
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

PortHold::~PortHold()
{
    if (!m_link)
        return;
    m_link->m_nReady = 1;
    m_link->m_bBusy = 0;
}

bool SendConfirmed(CSerialLink* link, char command, const QByteArray& data, int tries,
                   const std::function<bool(const QByteArray&)>& confirmed)
{
    if (!link)
        return false;
    for (int i = 0; i < tries; ++i)
        if (confirmed(link->SendTelegram(command, data, 1)))
            return true;
    return false;
}

RecordResult StoreReader(const Context& ctx, int32_t readerId, const std::function<void(structLeser&)>& assign)
{
    CtblLeser* tbl = ctx.store->Get_Ptr_To_tblLeser();
    const RecordResult r = EditRecordById(tbl, readerId, assign);
    if (r == RecordResult::Done) {
        tbl->PatchById(readerId, [&](structLeser& rec) { assign(rec); });
        if (ctx.refreshReaders)
            ctx.refreshReaders();
    }
    return r;
}

bool OnlineTableReadable(CStoreDB_Handler* store)
{
    return store && store->Get_Ptr_To_tblOnline()->_Requery() == 1;
}

QString Text(const Context& ctx, uint32_t n)
{
    return ctx.lang ? ctx.lang->GetLangItem(n) : QString();
}

void ShowErrorText(const Context& ctx, uint32_t n)
{
    ShowError(Text(ctx, n));
}

} // namespace ParamSupport
