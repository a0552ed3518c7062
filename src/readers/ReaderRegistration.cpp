#include "readers/ReaderRegistration.h"

#include "base/Prompt.h"
#include "link/CSerialLink.h"
#include "readers/ReaderIdentity.h"
#include "readers/ReaderModel.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "records/TextOps.h"
#include "texts/CLanguageHandler.h"

#include <cstdlib>
#include <ctime>

namespace ReaderRegistration {
namespace {

QString Text(CStoreDB_Handler& store, uint32_t number)
{
    CLanguageHandler* lang = store.GetLanguageHandler();
    return lang ? lang->GetLangItem(number) : QString();
}

Result Fail(CStoreDB_Handler& store, int textNumber)
{
    ShowError(Text(store, static_cast<uint32_t>(textNumber)));
    Result r;
    r.outcome = Result::Failed;
    r.failureText = textNumber;
    return r;
}

QByteArray ViaMonitor(CSerialLink& link, char command, const char* data, uint8_t mode)
{
    return link.SendTelegramViaMonitor(command, QByteArray(data), mode);
}

// A reader parameter record "P000n": valid when exactly 10 characters; positions 6-7 hold
// the parameter's low byte in hex. Empty when invalid.
QString QueryParameterByte(CSerialLink& link, const char* area)
{
    const QByteArray reply = ViaMonitor(link, 'L', area, 1);
    if (reply.size() != 10)
        return {};
    return QString::fromLatin1(reply.mid(6, 2));
}

// Writes the new record through the reader cursor and reloads the reader cache.
Result AddReader(CStoreDB_Handler& store, const structLeser& fields, bool addToTree)
{
    CtblLeser* tbl = store.Get_Ptr_To_tblLeser();
    int32_t id = 0;
    const RecordResult added = AddRecord(
        tbl,
        [&](structLeser& rec) {
            rec.Name = fields.Name;
            rec.Info = fields.Info;
            rec.Identity = fields.Identity;
            rec.Changed = fields.Changed;
            rec.Model = fields.Model;
            rec.SwitchTime = fields.SwitchTime;
            rec.Params = fields.Params;
        },
        &id, PromptIcon::Warning);
    Result r;
    if (added != RecordResult::Done) {
        r.outcome = Result::Failed;
        r.failureText = added == RecordResult::OpenFailed ? 83 : -1;
        return r;
    }
    tbl->_Requery();
    r.outcome = Result::Added;
    r.record = fields;
    r.record.ID = id;
    r.addToTree = addToTree;
    for (int i = tbl->GetAnz_Leser() - 1; i >= 0; --i) {
        if (tbl->Get_Leser(i).ID == id) {
            r.cacheIndex = i;
            r.record = tbl->Get_Leser(i);
            break;
        }
    }
    return r;
}

Result RegisterDeskReader(CSerialLink& link, CStoreDB_Handler& store, const std::vector<Row>& rows,
                          const ChooseReaderFn& choose, int interfaceType)
{
    const int model = ReaderModel::FromInterfaceType(interfaceType);
    const QString expected = ReaderModel::DeskReaderIdentification(interfaceType);

    // The desk reader may be busy sending a tag frame; ask again while it says nothing.
    QByteArray reply = ViaMonitor(link, 'H', "", 2);
    for (int retry = 0; retry < 3 && reply.isEmpty(); ++retry)
        reply = ViaMonitor(link, 'H', "", 2);
    if (reply.isEmpty())
        return Fail(store, 114);
    if (reply.size() == 6 && QString::fromLatin1(reply) != expected)
        return Fail(store, 119);
    if (reply.size() != 6)
        return Fail(store, 120);

    QStringList names;
    for (const Row& row : rows) {
        if (ReaderModel::Decide(row.Model, -1) == model)
            names << row.Name;
    }
    const QString extra = Text(store, model == ReaderModel::Birch ? 123 : 224);
    const QString chosen = choose ? choose(names, extra) : QString();
    if (chosen.isEmpty()) {
        Result r;
        r.outcome = Result::Cancelled;
        return r;
    }
    if (chosen != extra) {
        Result r;
        r.outcome = Result::Cancelled;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].Name == chosen) {
                r.outcome = Result::Recognised;
                r.row = static_cast<int>(i);
                break;
            }
        }
        return r;
    }

    structLeser rec;
    rec.Info = QStringLiteral("---");
    rec.Identity = QStringLiteral("---");
    rec.Changed = 0;
    rec.Model = ReaderModel::TypeText(model);
    if (model == ReaderModel::Birch) {
        const QByteArray data0 = ViaMonitor(link, 'C', "0", 2);
        if (data0.isEmpty())
            return Fail(store, 114);
        const QByteArray data1 = ViaMonitor(link, 'C', "1", 2);
        if (data1.isEmpty())
            return Fail(store, 114);
        rec.Params = QString::fromLatin1(data0);
        rec.SwitchTime = QString::fromLatin1(data1);
    }
    rec.Name = MakeReaderName();
    // An Alder gets no tree nodes; a Birch only when the "new reader" entry names the model,
    // which is how the entry's wording has always been tied to the tree.
    const bool toTree = model == ReaderModel::Birch && chosen.contains(ReaderModel::kBirch);
    return AddReader(store, rec, toTree);
}

Result RegisterBusReader(CSerialLink& link, CStoreDB_Handler& store, const std::vector<Row>& rows,
                         int interfaceType)
{
    const QString deviceId = ReaderIdentity::QueryDeviceId(link);
    if (deviceId.isEmpty())
        return Fail(store, 106);

    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].Identity == deviceId) {
            Result r;
            r.outcome = Result::Recognised;
            r.row = static_cast<int>(i);
            return r;
        }
    }

    const QString param0 = QueryParameterByte(link, "P0000");
    if (param0.isEmpty())
        return Fail(store, 114);
    const QString param1 = QueryParameterByte(link, "P0001");
    if (param1.isEmpty())
        return Fail(store, 114);

    structLeser rec;
    rec.Info = deviceId.left(2);
    rec.Identity = deviceId;
    rec.Changed = 0;
    rec.Model = ReaderModel::TypeTextOfInterface(interfaceType);
    rec.Params = param0;
    uint64_t switchTime = 0;
    HexTextToNumber(param1, switchTime);
    rec.SwitchTime = QString::number(switchTime);
    rec.Name = MakeReaderName();
    return AddReader(store, rec, true);
}

} // namespace

std::vector<Row> RowsOf(const CtblLeser& readers)
{
    std::vector<Row> rows;
    rows.reserve(size_t(readers.GetAnz_Leser()));
    for (int i = 0; i < readers.GetAnz_Leser(); ++i) {
        const structLeser& r = readers.Get_Leser(i);
        rows.push_back({r.Name, r.Model, r.Identity});
    }
    return rows;
}

QString MakeNameSuffix()
{
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    return QString::number(std::rand() % 65535, 16).toUpper();
}

QString MakeReaderName()
{
    return QStringLiteral("Leser_") + MakeNameSuffix();
}

Result RegisterConnectedReader(CSerialLink& link, CStoreDB_Handler& store,
                               const std::vector<Row>& rows, const ChooseReaderFn& choose)
{
    const int interfaceType = link.m_nInterfaceType.load();
    switch (interfaceType) {
    case 0:
    case 3:
        return RegisterDeskReader(link, store, rows, choose, interfaceType);
    case 1:
    case 2:
    case 4:
        return RegisterBusReader(link, store, rows, interfaceType);
    default:
        return {};
    }
}

} // namespace ReaderRegistration
