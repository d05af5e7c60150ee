// The frame reader on bytes cut into deliveries at arbitrary points. Two oracles:
// - a stream made only of real frames (any payloads a board could send) gives back exactly those
//   payloads, in order, however it is cut, and nothing stays buffered; this is what the reader is
//   for, and it does not depend on how the reader resynchronises;
// - any stream gives what a simple reference reader gives: one that keeps every byte and looks at
//   each start position afresh on every delivery, without the reader's resume bookkeeping or
//   running sums. Every payload is also checked to be a frame of the stream, and the buffer to stay
//   below one maximal frame.
#include "nevGPIOAPI.h"
#include "nevIOTTCPProtocol.h"

#include <cstdlib>

namespace {

// Keeps the whole stream; `FFrom` is where undecided bytes start. On each delivery it walks the
// start positions from there and classifies each one on its own.
class ReferenceReader {
public:
    ReferenceReader(quint8 h0, quint8 h1, bool replies) : FH0(h0), FH1(h1), FReplies(replies) {}

    QList<QByteArray> Feed(QByteArrayView block) {
        FAll.append(block);
        QList<QByteArray> out;
        qsizetype firstOpen = -1; // an unfinished frame passed over since the last whole one
        for (qsizetype at = FFrom; at < FAll.size(); ++at) {
            const Start s = Classify(at);
            if (s.what == Start::Frame) {
                out.append(FAll.mid(at + 5, s.len - 1));
                firstOpen = -1;
                at = at + s.len + 4; // the loop steps past the check byte
            } else if (s.what == Start::Wait) {
                FFrom = firstOpen >= 0 ? firstOpen : at;
                return out;
            } else if (s.what == Start::Open && firstOpen < 0) {
                firstOpen = at;
            }
        }
        FFrom = firstOpen >= 0 ? firstOpen : FAll.size();
        return out;
    }

    qsizetype Undecided() const { return FAll.size() - FFrom; }

private:
    struct Start {
        enum What { None, Frame, Wait, Open } what = None;
        qsizetype len = 0;
    };

    quint8 At(qsizetype k) const { return quint8(FAll.at(k)); }

    Start Classify(qsizetype at) const {
        const qsizetype have = FAll.size() - at;
        if (At(at) != FH0)
            return {};
        if (have == 1)
            return {Start::Wait}; // could be the start of a header
        if (At(at + 1) != FH1)
            return {};
        if (have < 4)
            return {Start::Wait};
        const qsizetype len = At(at + 2) * 256 + At(at + 3);
        if (len == 0)
            return {};
        const qsizetype total = len + 5;
        if (have < total) {
            // Unfinished. A real-looking one (short enough, code byte of this direction or not yet
            // here) is waited for; anything else is passed over.
            const bool codeFits = have < 6 || ((At(at + 5) >= 0x80) == FReplies);
            if (len - 1 <= TIOTFrameReader::MaxHoldingPayload && codeFits)
                return {Start::Wait};
            return {Start::Open};
        }
        if (FrameSum(QByteArrayView(FAll).sliced(at + 2, len + 2)) != At(at + len + 4))
            return {};
        return {Start::Frame, len};
    }

    quint8 FH0, FH1;
    bool FReplies;
    QByteArray FAll;
    qsizetype FFrom = 0;
};

// True when the stream holds `frame` with any byte at offset 4 (a reply does not examine it).
bool HasFrame(const QByteArray& stream, const QByteArray& frame) {
    const QByteArrayView head = QByteArrayView(frame).first(4);
    const QByteArrayView body = QByteArrayView(frame).sliced(5, frame.size() - 6);
    for (qsizetype at = stream.indexOf(head); at >= 0; at = stream.indexOf(head, at + 1)) {
        if (at + frame.size() > stream.size() || QByteArrayView(stream).sliced(at + 5, body.size()) != body)
            continue;
        const quint8 sum = FrameSum(QByteArrayView(stream).sliced(at + 2, frame.size() - 3));
        if (sum == quint8(stream.at(at + frame.size() - 1)))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // Byte 0: bit 7 chooses the frame kind, bit 6 a stream of real frames, bits 0-3 the number of
    // cuts; then one byte per cut giving the length of that delivery; the rest is the stream, or
    // in the real-frames case a list of payloads, each a length byte and that many bytes.
    const bool request = (data[0] & 0x80) != 0;
    const bool realFrames = (data[0] & 0x40) != 0;
    size_t cuts = data[0] & 0x0F;
    size_t at = 1;
    QList<size_t> lengths;
    while (cuts-- > 0 && at < size)
        lengths.append(data[at++]);

    QByteArray stream;
    QList<QByteArray> sent;
    if (realFrames) {
        while (at < size) {
            const size_t want = data[at++];
            const size_t n = std::min(want, size - at);
            QByteArray payload(reinterpret_cast<const char*>(data + at), qsizetype(n));
            at += n;
            if (!payload.isEmpty()) // a request code has bit 7 clear, a reply code set
                payload[0] = char(request ? (quint8(payload[0]) & 0x7F) : (quint8(payload[0]) | 0x80));
            stream += request ? BuildFrame(payload) : BuildReplyFrame(payload);
            sent.append(payload);
        }
    } else {
        stream = QByteArray(reinterpret_cast<const char*>(data + at), qsizetype(size - at));
    }

    TIOTFrameReader reader(request ? TFrameKind::Request : TFrameKind::Reply);
    ReferenceReader reference(request ? 0x55 : 0xAA, request ? 0xAA : 0x55, !request);
    QList<QByteArray> got, expected;
    qsizetype from = 0;
    for (int k = 0; k <= lengths.size(); ++k) {
        const qsizetype len = k < lengths.size()
                                  ? std::min<qsizetype>(qsizetype(lengths[k]), stream.size() - from)
                                  : stream.size() - from;
        const QByteArrayView block = QByteArrayView(stream).sliced(from, len);
        got += reader.Feed(block);
        expected += reference.Feed(block);
        from += len;
        if (reader.BufferedBytes() >= TIOTFrameReader::MaxFrameSize ||
            reader.BufferedBytes() != reference.Undecided())
            std::abort();
    }
    if (got != expected)
        std::abort();
    if (realFrames && (got != sent || reader.BufferedBytes() != 0))
        std::abort();
    for (const QByteArray& payload : got)
        if (!HasFrame(stream, request ? BuildFrame(payload) : BuildReplyFrame(payload)))
            std::abort();

    const TNEV_GPIOAPI api;
    TIOTFrameReader again;
    again.ReceiveFrames(stream, api);
    return 0;
}
