#include "params/BirchParams.h"

#include "base/Prompt.h"
#include "link/CSerialLink.h"
#include "link/Telegram.h"
#include "records/CStoreDB_Handler.h"
#include "records/TextOps.h"

using namespace ParamCodes;
using namespace ParamSupport;

BirchParams::BirchParams(const Context& ctx, const structLeser& reader)
    : m_ctx(ctx)
    , m_reader(reader)
    , m_openingParams(reader.Params)
    , m_dbMaster(ParseDeskParams(reader.Params).master)
{
    if (m_ctx.link) {
        m_ctx.link->m_nPause = 1;
        m_ctx.link->m_nReady = 0;
    }
}

BirchParams::~BirchParams()
{
    if (m_ctx.link) {
        m_ctx.link->m_nCapture = 0;
        m_ctx.link->m_nPause = 0;
        m_ctx.link->m_nReady = 1;
    }
}

QByteArray BirchParams::Ask(char command, const QByteArray& data)
{
    return ParamSupport::Ask(m_ctx.link, DeskReaderAtPort(m_ctx.link), command, data, 2);
}

bool BirchParams::ReadReaderMaster()
{
    const QByteArray reply = Ask('G', QByteArrayLiteral("00"));
    m_readerAnswered = reply.size() == 10;
    m_readerMaster = m_readerAnswered ? QString::fromLatin1(reply) : QString();
    return m_readerAnswered;
}

BirchParams::Opening BirchParams::OpeningState() const
{
    Opening o;
    const uint32_t mode = ParseDeskParams(m_openingParams).mode;
    o.standalone = mode & 0x01;
    o.active = mode & 0x02;
    o.switchTime = DeskSwitchDisplay(m_reader.SwitchTime);
    if (m_dbMaster.isEmpty())
        o.master = m_readerMaster;
    else if (m_dbMaster == m_readerMaster)
        o.master = m_dbMaster;
    else if (m_readerAnswered)
        o.choose = true;
    else
        o.master = m_dbMaster;
    return o;
}

bool BirchParams::UseDatabaseMaster()
{
    if (Ask('S', QByteArrayLiteral("00") + m_dbMaster.toLatin1()).isEmpty()) {
        ShowErrorText(m_ctx, 141);
        return false;
    }
    return true;
}

bool BirchParams::UseReaderMaster()
{
    const QString params = WithMaster(m_reader.Params, m_readerMaster);
    if (StoreReader(m_ctx, m_reader.ID, [&](structLeser& r) { r.Params = params; }) != RecordResult::Done)
        return false;
    m_reader.Params = params;
    return true;
}

QString BirchParams::Teach(const Feedback& feedback)
{
    CSerialLink* link = m_ctx.link;
    if (link)
        link->m_nCapture = 1;   // the reader's report of the tag is ours, not the tag display's
    feedback.Status(172);
    const auto endCapture = [&] {
        if (link)
            link->m_nCapture = 0;
    };

    const QByteArray ack = Ask('M', {});
    if (ack.isEmpty() || ack[0] != Telegram::ACK) {
        endCapture();
        ShowErrorText(m_ctx, 141);
        return {};
    }
    feedback.Range(0, kTeachWaits);
    feedback.Status(154);
    QString number;
    for (int pass = 1; pass <= kTeachWaits && number.isEmpty(); ++pass) {
        link->WaitReply(kTeachWaitMs);
        const QByteArray text = link->ReplyText();
        feedback.Position(pass);
        if (text.size() == 11 && (text[0] == 'M' || text[0] == 'R'))
            number = QString::fromLatin1(text.mid(1));
    }
    feedback.Status(172);
    feedback.Position(0);
    endCapture();
    if (number.isEmpty()) {
        ShowWarning(Text(m_ctx, 153));
        return {};
    }

    // A master opens the reader's programming mode, never its door: it leaves this reader's
    // transponder list. Record and master change together or not at all.
    CtblTransponder* transponders = m_ctx.store->Get_Ptr_To_tblTransponder();
    const int index = transponders->IndexOfNumber(number);
    const structTransponder* tag = index >= 0 ? &transponders->Get_Transponder(index) : nullptr;
    const bool drop = tag && RemoveReader(tag->Readers, m_reader.ID) != tag->Readers;
    const int32_t tagId = tag ? tag->ID : 0;
    const QString readers = drop ? RemoveReader(tag->Readers, m_reader.ID) : QString();
    const QString params = WithMaster(m_reader.Params, number);

    CStoreTransaction tx(m_ctx.store);
    if (drop)
        EditRecordById(transponders, tagId, [&](structTransponder& t) { t.Readers = readers; });
    EditRecordById(m_ctx.store->Get_Ptr_To_tblLeser(), m_reader.ID, [&](structLeser& r) {
        r.Params = params;
        if (drop)
            r.Changed = 1;
    });
    if (tx.Commit()) {
        if (drop)
            transponders->PatchById(tagId, [&](structTransponder& t) { t.Readers = readers; });
        m_ctx.store->Get_Ptr_To_tblLeser()->PatchById(m_reader.ID, [&](structLeser& r) {
            r.Params = params;
            if (drop)
                r.Changed = 1;
        });
        m_reader.Params = params;
        if (drop)
            m_reader.Changed = 1;
        if (m_ctx.refreshReaders)
            m_ctx.refreshReaders();
    }
    m_dbMaster = number;
    return number;
}

BirchParams::Outcome BirchParams::Store(bool standalone, bool active, const QString& master,
                                        const QString& switchValue, bool markChanged, QString* resetSwitch,
                                        QString* storedSwitch)
{
    const uint32_t mode = WithModeBits(ParseDeskParams(m_openingParams).mode, standalone, active);
    const QString params = DeskParamsText(mode, master);
    QString seconds;
    switch (DeskSwitchFromInput(switchValue, seconds)) {
    case DeskSwitchInput::BelowMinimum:
        ShowErrorText(m_ctx, 142);
        return Outcome::Refused;
    case DeskSwitchInput::AboveMaximum:
        if (resetSwitch)
            *resetSwitch = DeskSwitchDisplay(m_reader.SwitchTime);
        ShowErrorText(m_ctx, 152);
        return Outcome::Refused;
    case DeskSwitchInput::Ok:
        break;
    }
    const RecordResult r = StoreReader(m_ctx, m_reader.ID, [&](structLeser& rec) {
        if (markChanged)
            rec.Changed = 1;
        rec.SwitchTime = seconds;
        rec.Params = params;
    });
    if (r != RecordResult::Done)
        return Outcome::NotStored;
    if (markChanged)
        m_reader.Changed = 1;
    m_reader.SwitchTime = seconds;
    m_reader.Params = params;
    if (storedSwitch)
        *storedSwitch = seconds;
    return Outcome::Done;
}

BirchParams::Outcome BirchParams::UpdateDatabase(bool standalone, bool active, const QString& master,
                                                 const QString& switchValue, QString* resetSwitch)
{
    const Outcome o = Store(standalone, active, master, switchValue, true, resetSwitch, nullptr);
    if (o == Outcome::Done)
        Prompt().ShowMessage(Text(m_ctx, 173));
    return o;
}

BirchParams::Outcome BirchParams::UpdateReader(bool standalone, bool active, const QString& master,
                                               const QString& switchValue, QString* resetSwitch)
{
    QString seconds;
    const Outcome stored = Store(standalone, active, master, switchValue, false, resetSwitch, &seconds);
    if (stored != Outcome::Done)
        return stored;
    if (m_ctx.link)
        m_ctx.link->m_nReady = 0;
    if (Ask('J', active ? "1" : "0").isEmpty() || Ask('K', standalone ? "1" : "0").isEmpty()) {
        ShowErrorText(m_ctx, 141);
        return Outcome::NoAnswer;
    }
    Ask('D', DeskSwitchData(seconds));
    Prompt().ShowMessage(Text(m_ctx, 173));
    return Outcome::Done;
}
