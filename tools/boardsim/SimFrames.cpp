#include "SimFrames.h"

namespace sim {

quint8 Sum8(QByteArrayView bytes) {
    quint8 s = 0;
    for (char c : bytes)
        s = quint8(s + quint8(c));
    return s;
}

namespace {

QByteArray Frame(char h0, char h1, QByteArrayView payload) {
    const int len = int(payload.size()) + 1;
    QByteArray f;
    f.reserve(len + 5);
    f.append(h0).append(h1);
    f.append(char((len >> 8) & 0xFF)).append(char(len & 0xFF)).append('\0');
    f.append(payload.data(), payload.size());
    f.append(char(Sum8(QByteArrayView(f).sliced(2))));
    return f;
}

} // namespace

QByteArray ReplyFrame(QByteArrayView payload) {
    return Frame('\xAA', '\x55', payload);
}
QByteArray RequestFrame(QByteArrayView payload) {
    return Frame('\x55', '\xAA', payload);
}

FrameStream::FrameStream(char head0, char head1, int maxPayload)
    : FHead0(head0), FHead1(head1), FMaxPayload(maxPayload) {}

QList<QByteArray> FrameStream::Feed(QByteArrayView bytes) {
    FBuf.append(bytes.data(), bytes.size());
    QList<QByteArray> out;
    qsizetype i = 0;
    const auto at = [this](qsizetype k) { return quint8(FBuf.at(k)); };
    while (true) {
        // Find the next header.
        while (i < FBuf.size() &&
               !(FBuf.at(i) == FHead0 && (i + 1 >= FBuf.size() || FBuf.at(i + 1) == FHead1)))
            ++i;
        if (i + 4 > FBuf.size())
            break; // header (or its length) not complete yet
        const int len = at(i + 2) * 256 + at(i + 3);
        if (len == 0 || len - 1 > FMaxPayload) {
            ++i;
            continue;
        }
        if (i + len + 5 > FBuf.size())
            break; // wait for the rest of the frame
        if (Sum8(QByteArrayView(FBuf).sliced(i + 2, len + 2)) != at(i + len + 4)) {
            ++i;
            continue;
        }
        out.append(FBuf.mid(i + 5, len - 1));
        i += len + 5;
    }
    FBuf.remove(0, i);
    return out;
}

} // namespace sim
