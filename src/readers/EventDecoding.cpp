#include "readers/EventDecoding.h"

#include <tuple>

namespace EventDecoding {

namespace {

// Two hex digits; -1 when either is not one.
int HexByte(const QByteArray& two)
{
    bool ok = false;
    const int v = two.toInt(&ok, 16);
    return ok && two.size() == 2 && two.at(0) != '+' && two.at(0) != '-' ? v : -1;
}

// Two decimal digits of a DDMMYY text at `at`; 0 when they are not digits.
int TwoDigits(const QString& text, int at) { return text.mid(at, 2).toInt(); }

} // namespace

Coded ClassOf(uint8_t b)
{
    if (b & 0x80)
        return {QStringLiteral("10"), 191};
    if (b & 0x40)
        return {QStringLiteral("01"), 192};
    return {QStringLiteral("00"), 193};
}

Coded DetailOf(uint8_t b)
{
    const bool b7 = b & 0x80, b6 = b & 0x40, b5 = b & 0x20;
    if (b6 && b5)
        return {QStringLiteral("011"), 194};
    if (b7 && b5)
        return {QStringLiteral("101"), 195};
    if (b7 && b6)
        return {QStringLiteral("110"), 196};
    if (b6)
        return {QStringLiteral("010"), 197};
    if (b7)
        return {QStringLiteral("100"), 198};
    if (b5)
        return {QStringLiteral("001"), 229};
    return {QStringLiteral("---"), 199};
}

QString FourDigitYear(const QString& yy)
{
    return (yy > QLatin1String("70") ? QStringLiteral("19") : QStringLiteral("20")) + yy;
}

std::optional<Event> DecodeEventReply(const QByteArray& reply)
{
    if (reply.size() != kReplyLength)
        return std::nullopt;
    const int classAndDay = HexByte(reply.mid(18, 2));
    const int detailAndMonth = HexByte(reply.mid(20, 2));
    if (classAndDay < 0 || detailAndMonth < 0)
        return std::nullopt;

    Event e;
    e.transponderNo = QString::fromLatin1(reply.mid(4, 10));
    e.time = QString::fromLatin1(reply.mid(16, 2) + reply.mid(14, 2));
    e.eventClass = ClassOf(uint8_t(classAndDay));
    e.detail = DetailOf(uint8_t(detailAndMonth));
    // Tens and units are written one after the other, each in decimal.
    const int dayTens = (classAndDay >> 4) & 0x3, dayUnits = classAndDay & 0xF;
    const int monthTens = (detailAndMonth >> 4) & 0x1, monthUnits = detailAndMonth & 0xF;
    const QString day = QString::number(dayTens) + QString::number(dayUnits);
    const QString month = QString::number(monthTens) + QString::number(monthUnits);
    const QString yy = QString::fromLatin1(reply.mid(22, 2));
    e.shortDate = day + QLatin1Char('.') + month + QLatin1Char('.') + yy;
    e.date = day + month + FourDigitYear(yy);
    e.day = dayTens * 10 + dayUnits;
    e.month = monthTens * 10 + monthUnits;
    e.year = yy.toInt();
    return e;
}

QByteArray EventQueryData(int number)
{
    return "E" + QByteArray::number(number & 0xFFFF, 16).toUpper().rightJustified(4, '0');
}

int EventPointerFromReply(const QByteArray& reply)
{
    if (reply.size() != 10 || reply.at(2) != 'L' || reply.at(3) != 'P')
        return -1;
    const int high = HexByte(reply.mid(4, 2));
    const int low = HexByte(reply.mid(6, 2));
    return high < 0 || low < 0 ? -1 : high << 8 | low;
}

bool PassesDateFilter(const Event& event, const QString& from, const QString& to)
{
    if (from.isEmpty() || to.isEmpty())
        return true;
    const auto key = std::make_tuple(event.year, event.month, event.day);
    const auto lower = std::make_tuple(TwoDigits(from, 4), TwoDigits(from, 2), TwoDigits(from, 0));
    const auto upper = std::make_tuple(TwoDigits(to, 4), TwoDigits(to, 2), TwoDigits(to, 0));
    return lower <= key && key <= upper;
}

} // namespace EventDecoding
