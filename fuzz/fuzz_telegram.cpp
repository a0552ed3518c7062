// Any byte stream at the serial port: noise, frames cut off, stray EOTs, floods of interim
// frames, frames of a megabyte, time-outs and failing reads in between. The bytes go through
// the reception of the direct exchange and of the monitor worker, and every frame received
// through the reply checks the link and the monitor apply.
//
// The input is the stream itself, with 0xFF as an escape so that short inputs can stand for
// long streams:
//   FF 00     the byte 0xFF          FF 01     a read that times out
//   FF 02     a read that fails      FF 03 k   the previous byte 2^(k%14) more times
//   FF 04 k   the bytes since the last escape k more times (a flood of the same frame)
// A stream ends at twice the longest frame the link keeps: every longer frame takes the
// same path, and the fuzzer stays fast enough to try millions of streams. Streams of a
// megabyte (one frame, noise, interim frames) run once at the start of every fuzzing run.
#include "FuzzCheck.h"
#include "link/Telegram.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr int kTimeout = -1;
constexpr int kFailure = -2;
constexpr std::size_t kFuzzStream = 2 * std::size_t(Telegram::kMaxFrameLength) + 64;
constexpr std::size_t kMegabyte = std::size_t(1) << 20;

// Fills `out` (kept between inputs, so its memory is taken once) with the stream of the input.
void Expand(const uint8_t* data, std::size_t size, std::vector<int>& out, std::size_t limit = kFuzzStream)
{
    out.clear();
    std::size_t runStart = 0;
    auto add = [&out, limit](int v) {
        if (out.size() < limit)
            out.push_back(v);
    };
    for (std::size_t i = 0; i < size && out.size() < limit; ++i) {
        if (data[i] != 0xFF || i + 1 >= size) {
            add(data[i]);
            continue;
        }
        const uint8_t op = data[++i];
        if (op == 0x00) {
            add(0xFF);
        } else if (op == 0x01) {
            add(kTimeout);
        } else if (op == 0x02) {
            add(kFailure);
        } else if ((op == 0x03 || op == 0x04) && i + 1 < size) {
            const uint8_t k = data[++i];
            if (op == 0x03) {
                if (!out.empty())
                    for (std::size_t n = std::size_t(1) << (k % 14); n > 0 && out.size() < limit; --n)
                        add(out.back());
            } else {
                const std::size_t runEnd = out.size();
                for (int n = 0; n < k && runEnd > runStart && out.size() < limit; ++n)
                    for (std::size_t j = runStart; j < runEnd; ++j)
                        add(out[j]);
            }
        }
        runStart = out.size();
    }
}

bool HasControl(const QByteArray& text)
{
    return text.contains(Telegram::STX) || text.contains(Telegram::EOT);
}

// What every frame the link hands on must satisfy, and what the reply checks may say of it.
void CheckFrame(const QByteArray& text)
{
    // A flood repeats one frame; it is checked once.
    static QByteArray last;
    if (!last.isNull() && text == last)
        return;
    last = text;
    FUZZ_CHECK(!HasControl(text));
    FUZZ_CHECK(text.size() <= Telegram::kMaxFrameLength);

    const int ok = Telegram::IsTelegramChecksumOK(text);
    FUZZ_CHECK(ok == 0 || ok == 1);
    FUZZ_CHECK(ok == (text.size() >= 2 && Telegram::Checksum(text.chopped(2)) == text.right(2) ? 1 : 0));

    const Telegram::BusReply verdict = Telegram::CheckBusReply(text);
    if (text.contains("NOTAG"))
        FUZZ_CHECK(verdict == Telegram::BusReply::NoTag);
    else
        FUZZ_CHECK(verdict == (ok ? Telegram::BusReply::Accepted : Telegram::BusReply::ChecksumError));

    // A tag is announced only from an accepted reply of the poll's length and checksum.
    const QByteArray tag = Telegram::BusReplyTag(text);
    if (!tag.isEmpty()) {
        FUZZ_CHECK(text.size() == 16);
        FUZZ_CHECK(ok == 1);
        FUZZ_CHECK(verdict == Telegram::BusReply::Accepted);
        FUZZ_CHECK(tag == text.mid(4, 10));
    } else {
        FUZZ_CHECK(text.size() != 16 || verdict != Telegram::BusReply::Accepted);
    }

    const QByteArray desk = Telegram::DeskFrameTag(text);
    FUZZ_CHECK(desk.isEmpty() == (text.size() != 11));
    if (!desk.isEmpty())
        FUZZ_CHECK(desk == text.mid(1));

    if (Telegram::IsAck(text))
        FUZZ_CHECK(text.size() > 4 && text.at(4) == Telegram::ACK);
}

// Runs direct exchanges over the stream until it is used up. Each reply must be exactly the
// bytes between the last STX before the EOT that ended it and that EOT.
void DirectExchanges(const std::vector<int>& stream)
{
    std::size_t pos = 0;
    while (pos < stream.size()) {
        const std::size_t start = pos;
        auto read = [&](uint8_t& byte) {
            if (pos >= stream.size())
                return 0;
            const int v = stream[pos++];
            if (v == kTimeout)
                return 0;
            if (v == kFailure)
                return -1;
            byte = uint8_t(v);
            return 1;
        };
        const QByteArray reply = Telegram::ReceiveReply(read);
        FUZZ_CHECK(pos > start);
        if (reply.isEmpty())
            continue;
        CheckFrame(reply);
        FUZZ_CHECK(!reply.startsWith('R'));
        const std::size_t end = pos - 1;
        FUZZ_CHECK(stream[end] == Telegram::EOT);
        std::size_t stx = end;
        while (stx > start && stream[stx - 1] != Telegram::STX)
            --stx;
        FUZZ_CHECK(stx > start);
        FUZZ_CHECK(std::size_t(reply.size()) == end - stx);
        for (std::size_t i = stx; i < end; ++i)
            FUZZ_CHECK(uint8_t(reply.at(qsizetype(i - stx))) == stream[i]);
    }
}

// The monitor worker's passes: each reads until a frame ends, an EOT without a STX comes or a
// read gives no byte; a complete frame goes through the monitor's checks.
void MonitorPasses(const std::vector<int>& stream)
{
    Telegram::FrameCollector frame;
    std::size_t pos = 0;
    while (pos < stream.size()) {
        frame.Clear();
        while (pos < stream.size()) {
            const int v = stream[pos++];
            if (v < 0)
                break;
            const auto kind = frame.Feed(uint8_t(v));
            if (kind == Telegram::FrameCollector::Byte::End || kind == Telegram::FrameCollector::Byte::StrayEnd)
                break;
            // However long the stream, the frame in hand never grows past the bound.
            FUZZ_CHECK(frame.Text().capacity() <= 2 * Telegram::kMaxFrameLength + 64);
        }
        if (frame.Complete())
            CheckFrame(frame.Text());
    }
}

// A telegram built from the input's first bytes comes back whole through the reception, and
// its checksum passes.
void BuiltFrameComesBack(const uint8_t* data, std::size_t size)
{
    QByteArray body;
    for (std::size_t i = 0; i < size && body.size() < 64; ++i)
        if (data[i] != uint8_t(Telegram::STX) && data[i] != uint8_t(Telegram::EOT))
            body += char(data[i]);
    if (body.isEmpty())
        return;
    const QByteArray frame = Telegram::BuildAddressedFrame(body.at(0), body.mid(1));
    qsizetype pos = 0;
    const QByteArray reply = Telegram::ReceiveReply([&](uint8_t& byte) {
        if (pos >= frame.size())
            return 0;
        byte = uint8_t(frame.at(pos++));
        return 1;
    });
    FUZZ_CHECK(reply == frame.mid(1, frame.size() - 2));
    FUZZ_CHECK(Telegram::IsTelegramChecksumOK(reply) == 1);
    CheckFrame(reply);
}

void Run(const std::vector<int>& stream)
{
    DirectExchanges(stream);
    MonitorPasses(stream);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A megabyte in one frame, of noise, and of interim frames, each followed by a good reply.
    const QByteArray poll = Telegram::BuildAddressedFrame('C', "T0A1B2C3D4E");
    const QByteArray reply = poll.mid(1, poll.size() - 2);
    std::vector<int> frame{Telegram::STX};
    frame.insert(frame.end(), kMegabyte, 'A');
    std::vector<int> noise;
    for (std::size_t i = 0; i < kMegabyte; ++i)
        noise.push_back(int((i * 2654435761u) >> 24) & 0xFF);
    std::vector<int> interim;
    while (interim.size() < kMegabyte)
        interim.insert(interim.end(), {Telegram::STX, 'R', Telegram::EOT});
    for (std::vector<int>* stream : {&frame, &noise, &interim}) {
        stream->push_back(Telegram::STX);
        for (char c : reply)
            stream->push_back(uint8_t(c));
        stream->push_back(Telegram::EOT);
        Run(*stream);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static std::vector<int> stream;
    Expand(data, size, stream);
    Run(stream);
    BuiltFrameComesBack(data, size);
    return 0;
}
