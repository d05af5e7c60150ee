// Board-side framing: the reply frames a board writes and a stream reader for the frames it (or
// the relay, reading a board) receives. Kept apart from the program's own framing code on purpose,
// so that the simulator checks the program rather than agreeing with it by construction.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace sim {

// 8-bit sum of the bytes.
quint8 Sum8(QByteArrayView bytes);

// AA 55 L(hi) L(lo) 00 payload sum, with L = payload size + 1.
QByteArray ReplyFrame(QByteArrayView payload);
// 55 AA L(hi) L(lo) 00 payload sum: what the program sends.
QByteArray RequestFrame(QByteArrayView payload);

// Reassembles frames of one direction from a TCP stream. Bytes outside frames, frames with a
// zero or oversized length and frames with a wrong sum are skipped; an unfinished frame waits for
// the rest of its bytes.
class FrameStream {
public:
    // head0/head1: the two header bytes (0x55 0xAA for requests, 0xAA 0x55 for replies).
    FrameStream(char head0, char head1, int maxPayload = 1024);

    static FrameStream Requests() { return {'\x55', '\xAA'}; }
    static FrameStream Replies() { return {'\xAA', '\x55', 0xFFFE}; }

    // Adds received bytes; returns the payloads of the frames completed, in order.
    QList<QByteArray> Feed(QByteArrayView bytes);
    qsizetype Pending() const { return FBuf.size(); }
    void Clear() { FBuf.clear(); }

private:
    char FHead0;
    char FHead1;
    int FMaxPayload;
    QByteArray FBuf;
};

} // namespace sim
