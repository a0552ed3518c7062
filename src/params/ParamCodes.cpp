#include "params/ParamCodes.h"

#include "link/Telegram.h"
#include "records/TextOps.h"

#include <algorithm>

namespace ParamCodes {

int LeadingInt(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    int64_t v = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        v = v * 10 + (text[i].unicode() - '0');
        if (v > INT32_MAX)
            v = INT32_MAX;   // a pasted row of digits must not wrap round to a small time
    }
    return int(negative ? -v : v);
}

bool IsHalfSecond(const QString& text)
{
    return text == QLatin1String("0.5") || text == QLatin1String("0,5");
}

// ---------------------------------------------------------------- bus readers

SwitchDisplay SwitchCodeToDisplay(int code)
{
    if (code & 0x80)
        return {QString::number(code & 0x7F), UnitOther};
    if (code == 1)
        return {QStringLiteral("0.5"), UnitSeconds};
    if (code == 0)
        return {QStringLiteral("0"), UnitSeconds};
    return {QString::number(code - 1), UnitSeconds};
}

SwitchInput SwitchCodeFromInput(const QString& value, int unit, int& code)
{
    if (unit == UnitSeconds) {
        if (IsHalfSecond(value)) {
            code = 1;
            return SwitchInput::Ok;
        }
        const int n = LeadingInt(value);
        if (n < 1)
            return SwitchInput::BelowMinimum;
        // No upper limit: a value beyond seven bits spills into the unit bit, as the reader
        // has always been told.
        code = n + 1;
        return SwitchInput::Ok;
    }
    if (unit == UnitOther) {
        const int n = LeadingInt(value);
        if (n < 1)
            return SwitchInput::BelowMinimum;
        code = n | 0x80;
        return SwitchInput::Ok;
    }
    return SwitchInput::NoUnit;
}

QString ParamByteText(uint8_t byte)
{
    // The last two digits of "%04X": an 8-bit value has no more.
    return QString::number(uint(byte), 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

uint8_t ParamByteFromText(const QString& text)
{
    uint64_t v = 0;
    if (!HexTextToNumber(text, v))
        return 0;
    return uint8_t(v);
}

QByteArray ParamByteData(uint8_t byte)
{
    return QByteArrayLiteral("P0000") + ParamByteText(byte).toLatin1();
}

QByteArray SwitchCodeData(int code)
{
    return QByteArrayLiteral("P0001") + QByteArray::number(code & 0xFFFF, 16).toUpper().rightJustified(4, '0');
}

bool IsParamWriteConfirmed(const QByteArray& reply)
{
    return reply.size() == 7 && reply[4] == Telegram::ACK;
}

bool IsClockWriteConfirmed(const QByteArray& reply)
{
    return reply.size() > 4 && reply[4] == Telegram::ACK;
}

bool IsExcludedBit(uint8_t byte, int bitToSet)
{
    return (bitToSet == 6 && (byte & 0x20)) || (bitToSet == 5 && (byte & 0x40));
}

uint32_t Bit1GroupText(uint8_t byte)
{
    return (byte & 0x01) ? 134 : 135;
}

// ---------------------------------------------------------------- desk readers

DeskParams ParseDeskParams(const QString& params)
{
    DeskParams p;
    const qsizetype semi = params.indexOf(QLatin1Char(';'));
    const QString modeText = semi < 0 ? params : params.left(semi);
    if (semi >= 0)
        p.master = params.mid(semi + 1);
    uint64_t mode = 0;
    if (HexTextToNumber(modeText, mode))
        p.mode = uint32_t(mode);
    return p;
}

uint32_t WithModeBits(uint32_t mode, bool standalone, bool active)
{
    mode = standalone ? (mode | 0x01) : (mode & ~0x01u);
    mode = active ? (mode | 0x02) : (mode & ~0x02u);
    return mode;
}

QString DeskParamsText(uint32_t mode, const QString& master)
{
    QString text = QString::number(mode, 16).toUpper();
    if (!master.isEmpty())
        text += QLatin1Char(';') + master;
    return text;
}

QString WithMaster(const QString& params, const QString& master)
{
    const qsizetype semi = params.indexOf(QLatin1Char(';'));
    return (semi < 0 ? params : params.left(semi)) + QLatin1Char(';') + master;
}

QString DeskSwitchDisplay(const QString& stored)
{
    const int n = LeadingInt(stored);
    if (n > 0)
        return QString::number(n);
    return n == 0 ? QStringLiteral("0.5") : QStringLiteral("0");
}

DeskSwitchInput DeskSwitchFromInput(const QString& value, QString& stored)
{
    if (IsHalfSecond(value)) {
        stored = QStringLiteral("0");
        return DeskSwitchInput::Ok;
    }
    const int n = LeadingInt(value);
    if (n < 1)
        return DeskSwitchInput::BelowMinimum;
    if (n > 15)
        return DeskSwitchInput::AboveMaximum;
    stored = QString::number(n);
    return DeskSwitchInput::Ok;
}

QByteArray DeskSwitchData(const QString& stored)
{
    const int n = std::max(0, LeadingInt(stored));
    return QByteArrayLiteral("10") + QByteArray::number(n, 16).toUpper();
}

} // namespace ParamCodes
