// The frame reader on arbitrary bytes cut at arbitrary points: no crash, a bounded buffer, every
// payload it returns is a well-formed frame of the stream, and the result equals that of a
// plain reader that searches its whole buffer again on every delivery.
#include "nevGPIOAPI.h"
#include "nevIOTTCPProtocol.h"

#include <cstdlib>

namespace {

// Same rules as TIOTFrameReader, without its resume bookkeeping.
class PlainReader {
public:
    explicit PlainReader(quint8 h0, quint8 h1) : FH0(h0), FH1(h1) {}
    QList<QByteArray> Feed(QByteArrayView block) {
        QList<QByteArray> out;
        FBuf.append(block);
        const auto* p = reinterpret_cast<const quint8*>(FBuf.constData());
        const qsizetype n = FBuf.size();
        qsizetype pending = -1;
        qsizetype i = 0;
        while (i < n) {
            if (p[i] != FH0 || (i + 1 < n && p[i + 1] != FH1)) {
                ++i;
                continue;
            }
            if (i + 3 >= n) {
                if (pending < 0)
                    pending = i;
                break;
            }
            const qsizetype len = qsizetype(p[i + 2]) * 256 + p[i + 3];
            const qsizetype sumAt = i + len + 4;
            if (len == 0) {
                ++i;
            } else if (sumAt >= n) {
                if (pending < 0)
                    pending = i;
                ++i;
            } else if (FrameSum(QByteArrayView(FBuf).sliced(i + 2, len + 2)) == p[sumAt]) {
                out.append(FBuf.mid(i + 5, len - 1));
                pending = -1;
                i = sumAt + 1;
            } else {
                ++i;
            }
        }
        FBuf = pending < 0 ? QByteArray() : FBuf.mid(pending);
        return out;
    }

private:
    quint8 FH0, FH1;
    QByteArray FBuf;
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
    // Byte 0: bit 7 chooses the frame kind, bits 0-3 the number of cuts; then one byte per cut
    // giving the length of that delivery; the rest is the stream.
    const bool request = (data[0] & 0x80) != 0;
    size_t cuts = data[0] & 0x0F;
    size_t at = 1;
    QList<size_t> lengths;
    while (cuts-- > 0 && at < size)
        lengths.append(data[at++]);
    const QByteArray stream(reinterpret_cast<const char*>(data + at), qsizetype(size - at));

    TIOTFrameReader reader(request ? TFrameKind::Request : TFrameKind::Reply);
    PlainReader plain(request ? 0x55 : 0xAA, request ? 0xAA : 0x55);
    QList<QByteArray> got, expected;
    qsizetype from = 0;
    for (int k = 0; k <= lengths.size(); ++k) {
        const qsizetype len =
            k < lengths.size() ? std::min<qsizetype>(qsizetype(lengths[k]), stream.size() - from) : stream.size() - from;
        const QByteArrayView block = QByteArrayView(stream).sliced(from, len);
        got += reader.Feed(block);
        expected += plain.Feed(block);
        from += len;
        if (reader.BufferedBytes() >= TIOTFrameReader::MaxFrameSize)
            std::abort();
    }
    if (got != expected)
        std::abort();
    for (const QByteArray& payload : got)
        if (!HasFrame(stream, request ? BuildFrame(payload) : BuildReplyFrame(payload)))
            std::abort();

    const TNEV_GPIOAPI api;
    TIOTFrameReader again;
    again.ReceiveFrames(stream, api);
    return 0;
}
