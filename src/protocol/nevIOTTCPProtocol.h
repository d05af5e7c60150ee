// Framing of the board protocol: the 8-bit check sum, request and reply frames, and the stream
// reader that cuts received bytes into frames.
//
// Request (program to board):  55 AA  L(hi) L(lo)  00  payload(L-1)  sum
// Reply   (board to program):  AA 55  L(hi) L(lo)  xx  payload(L-1)  sum
// L counts the byte after the length and the payload; the sum covers L, that byte and the payload.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QVarLengthArray>

class TNEV_GPIOAPI;

// 8-bit sum (modulo 256) of the bytes.
quint8 FrameSum(QByteArrayView bytes);

// Largest payload a frame can carry (the 16-bit length counts one extra byte).
inline constexpr qsizetype MaxFramePayload = 0xFFFF - 1;

// Wraps a request payload in a request frame (payload size + 6 bytes). A payload longer than
// MaxFramePayload cannot be framed and gives an empty result.
QByteArray BuildFrame(QByteArrayView payload);
// The same for a reply frame, as a board sends it (used by the board simulator and tests).
QByteArray BuildReplyFrame(QByteArrayView payload);

enum class TFrameKind : quint8 {
    Reply,   // AA 55 ... : what the program reads from a board
    Request, // 55 AA ... : what a board (or the simulator) reads from the program
};

// Cuts a TCP byte stream into frames. Deliveries may split or merge frames arbitrarily: an
// unfinished frame is kept until the rest arrives, bytes outside frames are skipped, and a frame
// with a zero length or a wrong sum is skipped (the search resumes one byte after its header).
// The kept tail never exceeds one maximal frame. Reset() between connections.
//
// A payload may itself hold a frame-like run (a PWM frequency of 43605 is AA 55). When only part
// of such a frame has arrived, the run inside it can already look complete; it is then held back
// until the outer frame completes (and swallows it) or fails its sum (and it is delivered). Only
// an unfinished frame that could be a real one holds: its payload is at most MaxHoldingPayload
// bytes and its code byte has the direction's form (bit 7 set in a reply, clear in a request).
// A false header therefore holds later frames back by at most that many bytes; one that claims
// more does not hold them at all.
class TIOTFrameReader {
public:
    static constexpr qsizetype MaxFrameSize = MaxFramePayload + 6;
    // No reply of a board, nor any request of the program, comes near this size.
    static constexpr qsizetype MaxHoldingPayload = 1024;

    explicit TIOTFrameReader(TFrameKind kind = TFrameKind::Reply);

    // Adds one delivered block and returns the payloads of the frames it completes, in order.
    QList<QByteArray> Feed(QByteArrayView block);
    // Feeds the block and hands every payload to api.ReceiveData.
    void ReceiveFrames(QByteArrayView block, const TNEV_GPIOAPI& api);
    void Reset();
    // Bytes kept from earlier deliveries (the start of an unfinished frame).
    qsizetype BufferedBytes() const { return FBuf.size(); }

private:
    using TPayloads = QVarLengthArray<QByteArray, 4>;
    void Cut(QByteArrayView block, TPayloads& payloads);

    char FHead0;
    char FHead1;
    quint8 FCodeBit;     // bit 7 of a code byte in this direction
    QByteArray FBuf;     // starts at the first unfinished frame
    qsizetype FScan = 0; // where the search resumes in FBuf
    qsizetype FNeed;     // FBuf size at which an unfinished frame in it may be complete
};
