#include "nevIOTTCPProtocol.h"

#include "nevGPIOAPI.h"

#include <QLoggingCategory>

#include <iterator>
#include <limits>

Q_LOGGING_CATEGORY(lcFrame, "quillet.protocol")

quint8 FrameSum(QByteArrayView bytes) {
    quint8 sum = 0;
    for (const char c : bytes)
        sum = quint8(sum + quint8(c));
    return sum;
}

namespace {

QByteArray Frame(char head0, char head1, QByteArrayView payload) {
    if (payload.size() > MaxFramePayload) {
        qCWarning(lcFrame) << "payload of" << payload.size() << "bytes is too long for a frame";
        return {};
    }
    const qsizetype n = payload.size();
    const qsizetype len = n + 1;
    QByteArray frame(n + 6, '\0');
    frame[0] = head0;
    frame[1] = head1;
    frame[2] = char(quint8(len >> 8));
    frame[3] = char(quint8(len));
    frame[4] = '\0';
    if (n > 0)
        std::copy(payload.begin(), payload.end(), frame.begin() + 5);
    frame[5 + n] = char(FrameSum(QByteArrayView(frame).sliced(2, n + 3)));
    return frame;
}

constexpr qsizetype NoNeed = std::numeric_limits<qsizetype>::max();

} // namespace

QByteArray BuildFrame(QByteArrayView payload) {
    return Frame(char(0x55), char(0xAA), payload);
}

QByteArray BuildReplyFrame(QByteArrayView payload) {
    return Frame(char(0xAA), char(0x55), payload);
}

TIOTFrameReader::TIOTFrameReader(TFrameKind kind)
    : FHead0(kind == TFrameKind::Reply ? char(0xAA) : char(0x55)),
      FHead1(kind == TFrameKind::Reply ? char(0x55) : char(0xAA)),
      FCodeBit(kind == TFrameKind::Reply ? 0x80 : 0x00), FNeed(NoNeed) {}

void TIOTFrameReader::Reset() {
    FBuf.clear();
    FScan = 0;
    FNeed = NoNeed;
}

// FBuf starts at the first unfinished frame (or is empty). Positions before FScan were examined
// already; only when the buffer reaches FNeed bytes can one of the unfinished frames there be
// complete, and only then is the whole buffer searched again. Otherwise the search resumes at
// FScan, so a long stream of small deliveries costs each byte once.
//
// With nothing kept from earlier deliveries (the usual case: one reply per delivery) the block is
// searched where it lies, and only an unfinished tail is copied.
void TIOTFrameReader::Cut(QByteArrayView block, TPayloads& payloads) {
    const bool inPlace = FBuf.isEmpty();
    if (!inPlace)
        FBuf.append(block);
    const QByteArrayView buf = inPlace ? block : QByteArrayView(FBuf);
    const qsizetype n = buf.size();
    const auto* p = reinterpret_cast<const quint8*>(buf.data());
    const quint8 h0 = quint8(FHead0), h1 = quint8(FHead1);

    const bool rescan = n >= FNeed;
    const qsizetype start = rescan ? 0 : FScan;
    qsizetype pending = (!rescan && FScan > 0) ? 0 : -1; // first unfinished frame
    qsizetype need = rescan ? NoNeed : FNeed;
    qsizetype stop = n;

    // Running sums from `start`, so that checking a frame costs the same whatever its length.
    QVarLengthArray<quint8, 256> sums(n - start + 1);
    sums[0] = 0;
    for (qsizetype k = start; k < n; ++k)
        sums[k - start + 1] = quint8(sums[k - start] + p[k]);
    const auto rangeSum = [&](qsizetype from, qsizetype count) {
        return quint8(sums[from - start + count] - sums[from - start]);
    };

    qsizetype i = start;
    while (i < n) {
        if (p[i] != h0) {
            ++i;
            continue;
        }
        if (i + 1 < n && p[i + 1] != h1) {
            ++i;
            continue;
        }
        if (i + 3 >= n) { // header not complete yet
            if (pending < 0)
                pending = i;
            stop = i;
            break;
        }
        const qsizetype len = qsizetype(p[i + 2]) * 256 + p[i + 3];
        if (len == 0) {
            ++i;
            continue;
        }
        const qsizetype sumAt = i + len + 4;
        if (sumAt >= n) { // the rest has not arrived
            if (pending < 0)
                pending = i;
            need = std::min(need, sumAt + 1);
            // Every complete frame after it lies inside its span. If it may be real, those are
            // runs of its payload: wait for its end. Otherwise look for complete frames after it.
            const bool mayBeReal =
                len - 1 <= MaxHoldingPayload && (i + 5 >= n || (p[i + 5] & 0x80) == FCodeBit);
            if (mayBeReal) {
                stop = i;
                break;
            }
            ++i;
            continue;
        }
        if (rangeSum(i + 2, len + 2) == p[sumAt]) {
            payloads.append(QByteArray(buf.data() + i + 5, len - 1));
            // A complete frame proves that earlier unfinished headers were noise.
            pending = -1;
            need = NoNeed;
            i = sumAt + 1;
            continue;
        }
        ++i;
    }

    if (pending < 0) {
        FBuf.clear();
        FScan = 0;
        FNeed = NoNeed;
    } else {
        if (inPlace)
            FBuf = buf.sliced(pending).toByteArray();
        else
            FBuf.remove(0, pending);
        FScan = stop - pending;
        FNeed = need == NoNeed ? NoNeed : need - pending;
    }
}

QList<QByteArray> TIOTFrameReader::Feed(QByteArrayView block) {
    TPayloads payloads;
    Cut(block, payloads);
    return QList<QByteArray>(std::make_move_iterator(payloads.begin()),
                             std::make_move_iterator(payloads.end()));
}

// All payloads are cut before the first is decoded: a handler may feed or reset this reader.
void TIOTFrameReader::ReceiveFrames(QByteArrayView block, const TNEV_GPIOAPI& api) {
    TPayloads payloads;
    Cut(block, payloads);
    for (const QByteArray& payload : payloads)
        api.ReceiveData(payload);
}
