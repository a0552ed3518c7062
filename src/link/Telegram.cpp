#include "link/Telegram.h"

namespace Telegram {

QByteArray Checksum(const QByteArray& covered)
{
    unsigned sum = 0;
    for (char c : covered)
        sum += static_cast<unsigned char>(c);
    static const char digits[] = "0123456789ABCDEF";
    const unsigned low = sum & 0xFFu;
    QByteArray out(2, '0');
    out[0] = digits[low >> 4];
    out[1] = digits[low & 0x0Fu];
    return out;
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
    return Checksum(reply.left(n)) == reply.mid(n) ? 1 : 0;
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
        m_text.clear();
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
