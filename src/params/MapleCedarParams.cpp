#include "params/MapleCedarParams.h"

#include "base/Prompt.h"
#include "link/CLinkController.h"
#include "link/CSerialLink.h"

#include <QLocale>

using namespace ParamCodes;
using namespace ParamSupport;

MapleCedarParams::MapleCedarParams(const Context& ctx, const structLeser& reader)
    : m_ctx(ctx)
    , m_reader(reader)
{
}

bool MapleCedarParams::ReadIdentity()
{
    if (m_ctx.link)
        m_ctx.link->m_nReady = 0;
    const QByteArray reply = Ask(m_ctx.link, BusReaderAtPort(m_ctx.link), 'L', QByteArrayLiteral("S0000"), 1);
    if (m_ctx.link && !BusReaderAtPort(m_ctx.link))
        m_ctx.link->m_nReady = 1;   // nothing was queued, so nothing will hand the turn back
    return reply.size() == 26 && QString::fromLatin1(reply.mid(4, 20)) == m_reader.Identity;
}

uint8_t MapleCedarParams::StoredParamByte() const
{
    return ParamByteFromText(m_reader.Params);
}

SwitchDisplay MapleCedarParams::StoredSwitch() const
{
    return SwitchCodeToDisplay(LeadingInt(m_reader.SwitchTime));
}

MapleCedarParams::Outcome MapleCedarParams::Store(uint8_t byte, const QString& switchValue, int unit,
                                                  bool markChanged, int* code)
{
    const QString paramText = ParamByteText(byte);
    int newCode = 0;
    const SwitchInput in = SwitchCodeFromInput(switchValue, unit, newCode);
    if (in == SwitchInput::BelowMinimum) {
        ShowErrorText(m_ctx, 142);
        return Outcome::Refused;
    }
    const bool withSwitch = in == SwitchInput::Ok;
    const RecordResult r = StoreReader(m_ctx, m_reader.ID, [&](structLeser& rec) {
        if (markChanged)
            rec.Changed = 1;
        if (withSwitch)
            rec.SwitchTime = QString::number(newCode);
        rec.Params = paramText;
    });
    if (r != RecordResult::Done)
        return Outcome::NotStored;
    if (markChanged)
        m_reader.Changed = 1;
    if (withSwitch)
        m_reader.SwitchTime = QString::number(newCode);
    m_reader.Params = paramText;
    if (code)
        *code = withSwitch ? newCode : -1;
    return Outcome::Done;
}

MapleCedarParams::Outcome MapleCedarParams::UpdateDatabase(uint8_t byte, const QString& switchValue, int unit)
{
    const Outcome o = Store(byte, switchValue, unit, true, nullptr);
    if (o == Outcome::Done)
        Prompt().ShowMessage(Text(m_ctx, 173));
    return o;
}

MapleCedarParams::Outcome MapleCedarParams::UpdateReader(uint8_t byte, const QString& switchValue, int unit,
                                                        const Feedback& feedback)
{
    int code = -1;
    const Outcome stored = Store(byte, switchValue, unit, false, &code);
    if (stored != Outcome::Done)
        return stored;

    bool ok;
    {
        feedback.Busy(true);
        PortHold hold(m_ctx.link);
        ok = SendConfirmed(m_ctx.link, 'S', ParamByteData(byte), kTries, IsParamWriteConfirmed);
        if (ok && code >= 0)
            ok = SendConfirmed(m_ctx.link, 'S', SwitchCodeData(code), kTries, IsParamWriteConfirmed);
        if (ok) {
            // Built afresh for each try, so that the reader is set to the second it is told.
            ok = false;
            for (int i = 0; i < kTries && !ok; ++i)
                ok = m_ctx.link && IsClockWriteConfirmed(
                         m_ctx.link->SendTelegram('S', ClockData(QDateTime::currentDateTime()), 1));
        }
        feedback.Busy(false);
    }
    if (!ok) {
        ShowErrorText(m_ctx, 141);
        return Outcome::NoAnswer;
    }
    Prompt().ShowMessage(Text(m_ctx, 173));
    return Outcome::Done;
}

QByteArray MapleCedarParams::ClockData(const QDateTime& now)
{
    const QString weekday = QLocale(QLocale::German).dayName(now.date().dayOfWeek(), QLocale::LongFormat);
    return CLinkController::BuildClockData(now, weekday.toLatin1());
}
