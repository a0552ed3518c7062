#pragma once
// Reader telegrams: the addressed frame of the bus readers (address "FF" and a checksum) and
// the short frame of the desk readers, and the one checksum rule used for telegrams and replies.
// Pure functions; the link sends what these build.
#include <QByteArray>
#include <cstdint>
#include <utility>

namespace Telegram {

inline constexpr char STX = 0x02;
inline constexpr char EOT = 0x04;
inline constexpr char ACK = 0x06;

// Sum of the byte values modulo 256 as exactly two upper-case hexadecimal digits.
QByteArray Checksum(const QByteArray& covered);

// STX "FF" command data checksum EOT; the checksum covers "FF", the command and the data.
QByteArray BuildAddressedFrame(char command, const QByteArray& data);
// STX command data EOT.
QByteArray BuildShortFrame(char command, const QByteArray& data);

// The tag poll of the monitor worker: command "C", data "T" (STX "FFCT23" EOT).
const QByteArray& PollTelegram();

// 1 when the last two characters of a reply payload (the text between STX and EOT) are the
// checksum of the characters before them, compared case-sensitively; else 0.
int IsTelegramChecksumOK(const QByteArray& reply);

// A bus reader's answer to a write telegram accepts it when the character after "FF",
// the command and the area letter (position 4) is ACK.
bool IsAck(const QByteArray& reply);

// ---- reception ----

// The longest frame the link keeps. Every reply of every reader is at most 27 characters; a
// device that sends bytes without ever ending a frame must not fill the memory, so a frame that
// grows past this is dropped whole and reception waits for the next STX.
inline constexpr qsizetype kMaxFrameLength = 256;

// A frame beginning with "R" announces that the reply proper follows. A device that kept
// sending them would hold the caller for ever; after this many the exchange counts as failed.
inline constexpr int kMaxInterimFrames = 20;

// Collects one reply frame from the bytes read one at a time, for the direct exchange and the
// monitor worker alike: STX starts a frame (again, dropping what came before), EOT after a STX
// ends it. Bytes outside a frame belong to no reply and are not kept.
class FrameCollector {
public:
    enum class Byte {
        Data,       // inside a frame, kept; or outside one, dropped
        Start,      // STX
        End,        // EOT that ends a frame
        StrayEnd,   // EOT with no STX before it
        Dropped,    // the frame grew past kMaxFrameLength and was thrown away
    };
    Byte Feed(uint8_t byte);
    // Clears both marks; the text stays until the next STX (an interim frame's "R" is looked
    // at after this).
    void ClearMarks() { m_startSeen = m_endSeen = false; }
    void Clear() { ClearMarks(); m_text.truncate(0); }
    bool StartSeen() const { return m_startSeen; }
    bool Complete() const { return m_startSeen && m_endSeen; }
    const QByteArray& Text() const { return m_text; }

private:
    QByteArray m_text;
    bool m_startSeen = false;
    bool m_endSeen = false;
};

// The reception of a direct exchange. `read(byte)` reads one byte: 1 read, 0 time-out, -1
// failure. Reads until a frame is complete or a read gives no byte; an interim frame ("R...")
// makes it wait for the next frame, at most kMaxInterimFrames times. Returns the text of the
// complete frame (between STX and EOT, checksum included), or an empty text.
template <class Read>
QByteArray ReceiveReply(Read&& read)
{
    FrameCollector frame;
    for (int interim = 0;; ++interim) {
        frame.ClearMarks();
        uint8_t byte = 0;
        while (read(byte) == 1) {
            if (frame.Feed(byte) == FrameCollector::Byte::End)
                break;
        }
        if (!frame.Complete())
            return {};
        if (!frame.Text().startsWith('R'))
            return frame.Text();
        if (interim == kMaxInterimFrames)
            return {};
    }
}

// What the monitor worker makes of a complete frame from a bus reader.
enum class BusReply {
    NoTag,           // the text contains "NOTAG": no transponder in the field, nothing stored
    Accepted,        // the checksum is right: stored as the mailbox reply
    ChecksumError,   // stored as "CRC_ERROR"
};
BusReply CheckBusReply(const QByteArray& text);
// The transponder number of a tag poll's answer: characters 4 to 13 of an accepted reply of
// exactly 16 characters; else empty.
QByteArray BusReplyTag(const QByteArray& text);
// The transponder number of a desk reader's own tag frame: an 11-character frame without its
// header character; else empty.
QByteArray DeskFrameTag(const QByteArray& text);

} // namespace Telegram
