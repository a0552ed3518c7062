#include "link/Telegram.h"

namespace Telegram {

namespace {
// The rule itself: the byte values added modulo 256, as two upper-case hexadecimal digits.
void ChecksumDigits(const char* covered, qsizetype size, char digits[2])
{
    unsigned sum = 0;
    for (qsizetype i = 0; i < size; ++i)
        sum += static_cast<unsigned char>(covered[i]);
    static const char hex[] = "0123456789ABCDEF";
    digits[0] = hex[(sum >> 4) & 0x0Fu];
    digits[1] = hex[sum & 0x0Fu];
}
} // namespace

QByteArray Checksum(const QByteArray& covered)
{
    char digits[2];
    ChecksumDigits(covered.constData(), covered.size(), digits);
    return QByteArray(digits, 2);
}

QByteArray BuildAddressedFrame(char command, const QByteArray& data)
{
    QByteArray covered = "FF";
    covered += command;
    covered += data;
    QByteArray frame;
    frame.reserve(covered.size() + 4);
    frame += STX;
    frame += covered;
    frame += Checksum(covered);
    frame += EOT;
    return frame;
}

QByteArray BuildShortFrame(char command, const QByteArray& data)
{
    QByteArray frame;
    frame.reserve(data.size() + 3);
    frame += STX;
    frame += command;
    frame += data;
    frame += EOT;
    return frame;
}

const QByteArray& PollTelegram()
{
    static const QByteArray poll = BuildAddressedFrame('C', "T");
    return poll;
}

int IsTelegramChecksumOK(const QByteArray& reply)
{
    if (reply.size() < 2)
        return 0;
    const qsizetype n = reply.size() - 2;
    char digits[2];
    ChecksumDigits(reply.constData(), n, digits);
    return digits[0] == reply.at(n) && digits[1] == reply.at(n + 1) ? 1 : 0;
}

bool IsAck(const QByteArray& reply)
{
    return reply.size() > 4 && reply.at(4) == ACK;
}

FrameCollector::Byte FrameCollector::Feed(uint8_t byte)
{
    if (byte == uint8_t(STX)) {
        m_startSeen = true;
        m_endSeen = false;
        m_text.truncate(0);   // keeps the memory for the next frame
        return Byte::Start;
    }
    if (byte == uint8_t(EOT)) {
        if (!m_startSeen)
            return Byte::StrayEnd;
        m_endSeen = true;
        return Byte::End;
    }
    if (!m_startSeen || m_endSeen)
        return Byte::Data;
    if (m_text.size() >= kMaxFrameLength) {
        m_startSeen = false;
        m_text = QByteArray();   // gives the memory back, not only the length
        return Byte::Dropped;
    }
    m_text += char(byte);
    return Byte::Data;
}

BusReply CheckBusReply(const QByteArray& text)
{
    if (text.contains("NOTAG"))
        return BusReply::NoTag;
    return IsTelegramChecksumOK(text) ? BusReply::Accepted : BusReply::ChecksumError;
}

QByteArray BusReplyTag(const QByteArray& text)
{
    if (text.size() != 16 || CheckBusReply(text) != BusReply::Accepted)
        return {};
    return text.mid(4, 10);
}

QByteArray DeskFrameTag(const QByteArray& text)
{
    return text.size() == 11 ? text.mid(1) : QByteArray();
}

} // namespace Telegram
