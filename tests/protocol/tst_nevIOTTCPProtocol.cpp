#include "nevGPIOAPI.h"
#include "nevIOTTCPProtocol.h"

#include <QTest>

namespace {

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

QStringList HexList(const QList<QByteArray>& payloads) {
    QStringList out;
    for (const QByteArray& p : payloads)
        out << QString::fromLatin1(p.toHex(' '));
    return out;
}

QList<QByteArray> FeedInPieces(TIOTFrameReader& reader, const QByteArray& stream,
                               const QList<qsizetype>& cuts) {
    QList<QByteArray> out;
    qsizetype from = 0;
    for (const qsizetype cut : cuts) {
        out += reader.Feed(QByteArrayView(stream).sliced(from, cut - from));
        from = cut;
    }
    out += reader.Feed(QByteArrayView(stream).sliced(from));
    return out;
}

QByteArray WithBadSum(QByteArray frame) {
    frame.back() = char(quint8(frame.back()) + 1);
    return frame;
}

// The reply to PWM_Get_All for four channels (duty, frequency high, frequency low): channel 1 runs
// at 43605 Hz (AA 55), and the bytes after it happen to form a whole frame with a matching sum,
// AA 55 00 03 E8 10 04 FF, at offsets 7 to 14 of the reply frame.
QByteArray PwmReplyPayload() {
    return Hex("A4 32 AA 55 00 03 E8 10 04 FF 50 07 D0");
}

// A stream with everything a reader must get through: noise before, between and after frames,
// a zero-length header, a frame with a wrong sum, header bytes inside a payload, a one-byte
// frame, a nonzero skipped byte and a payload holding a whole frame-like run.
struct MixedStream {
    QByteArray bytes;
    QStringList payloads;

    MixedStream() {
        const QByteArray inner = Hex("AA 55 00 40 01"); // a header whose frame would run past its payload
        const QByteArray p2 = Hex("E3") + inner + Hex("AA 55 00 03 00 99 02 00"); // and one with a wrong sum
        QByteArray skipped = BuildReplyFrame(Hex("FE 08 00 02 04"));
        skipped[4] = char(0x7C);
        skipped.back() = char(quint8(skipped.back()) + 0x7C);
        bytes = Hex("00 AA 13 55") + BuildReplyFrame(Hex("82 03 01")) + Hex("55 AA") + BuildReplyFrame(p2) +
                Hex("AA 55 00 00 AA") + WithBadSum(BuildReplyFrame(Hex("85 01"))) + BuildReplyFrame({}) +
                skipped + BuildReplyFrame(PwmReplyPayload()) + Hex("AA 55 00");
        payloads = QStringList{"82 03 01", QString::fromLatin1(p2.toHex(' ')), "", "fe 08 00 02 04",
                               QString::fromLatin1(PwmReplyPayload().toHex(' '))};
    }
};

} // namespace

class TestIOTTCPProtocol : public QObject {
    Q_OBJECT

private slots:
    void frameSum();
    void buildFrame_data();
    void buildFrame();
    void buildFrameRefusesOversizedPayload();
    void tracedRequest();
    void singleBlock_data();
    void singleBlock();
    void frameSplitOverTwoDeliveriesIsKept();
    void everySplitPoint();
    void everyPairOfSplitPoints();
    void byteByByte();
    void payloadLookingLikeAFrameIsNotDecodedAgain();
    void splitWithFrameLikeRun_data();
    void splitWithFrameLikeRun();
    void falseHeaderDoesNotHoldBackLaterFrames();
    void bufferStaysBounded();
    void noiseIsNotKept();
    void longestFrame();
    void resetDropsUnfinishedFrame();
    void requestReaderCutsRequests();
    void receiveFramesFeedsDecoder();
};

void TestIOTTCPProtocol::frameSum() {
    QCOMPARE(FrameSum({}), quint8(0));
    QCOMPARE(FrameSum(Hex("00 03 00 02 03")), quint8(0x08));
    QCOMPARE(FrameSum(Hex("FF 02")), quint8(0x01)); // modulo 256
    QCOMPARE(FrameSum(QByteArray(256, char(0xFF))), quint8(0x00));
}

void TestIOTTCPProtocol::buildFrame_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("Out_Set_ON(3)") << BuildFrame(TNEV_GPIOAPI::Out_Set_ON(3))
                                   << Hex("55 AA 00 03 00 02 03 08");
    QTest::newRow("Task_Set_Time 2016-01-01")
        << BuildFrame(TNEV_GPIOAPI::Task_Set_Time(QDateTime(QDate(2016, 1, 1), QTime(0, 0))))
        << Hex("55 AA 00 06 00 54 56 85 C1 80 76");
    QTest::newRow("Name_Set_One Lamp")
        << BuildFrame(TNEV_GPIOAPI::Name_Set_One(TIOTYPE::IO_OUT, 1, TIOName{0, 0, QStringLiteral("Lamp")}))
        << Hex("55 AA 00 12 00 60 00 01 00 00 4C 61 6D 70 00 00 00 00 00 00 00 00 FD");
    QTest::newRow("empty payload") << BuildFrame({}) << Hex("55 AA 00 01 00 01");
    QTest::newRow("256-byte payload, high length byte")
        << BuildFrame(QByteArray(256, char(0x01)))
        << Hex("55 AA 01 01 00") + QByteArray(256, char(0x01)) + Hex("02");
    QTest::newRow("reply frame of 82 03 01")
        << BuildReplyFrame(Hex("82 03 01")) << Hex("AA 55 00 04 00 82 03 01 8A");
}

void TestIOTTCPProtocol::buildFrame() {
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(' '), expected.toHex(' '));
}

void TestIOTTCPProtocol::buildFrameRefusesOversizedPayload() {
    QCOMPARE(BuildFrame(QByteArray(MaxFramePayload, 'x')).size(), MaxFramePayload + 6);
    QVERIFY(BuildFrame(QByteArray(MaxFramePayload + 1, 'x')).isEmpty());
    QVERIFY(BuildReplyFrame(QByteArray(MaxFramePayload + 1, 'x')).isEmpty());
}

// Switching output 3 on: the request that leaves and the event that the answer raises.
void TestIOTTCPProtocol::tracedRequest() {
    const QByteArray request = BuildFrame(TNEV_GPIOAPI::Out_Set_ON(3));
    QCOMPARE(request.toHex(' '), Hex("55 AA 00 03 00 02 03 08").toHex(' '));
    QCOMPARE(quint8(request.at(5)), quint8(0x02)); // the code a sender records as the last command

    TNEV_GPIOAPI api;
    QList<std::tuple<int, int, bool>> calls;
    api.OnOut_One = [&](quint8 c, quint8 n, bool on) { calls.append({c, n, on}); };
    TIOTFrameReader reader;
    reader.ReceiveFrames(Hex("AA 55 00 04 00 82 03 01 8A"), api);
    QCOMPARE(calls, (QList<std::tuple<int, int, bool>>{{130, 3, true}}));
    QCOMPARE(reader.BufferedBytes(), 0);
}

void TestIOTTCPProtocol::singleBlock_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QStringList>("payloads");
    QTest::addColumn<int>("kept");
    const QByteArray f = Hex("AA 55 00 04 00 82 03 01 8A");
    QTest::newRow("one frame") << f << QStringList{"82 03 01"} << 0;
    QTest::newRow("two frames back to back")
        << f + BuildReplyFrame(Hex("81 03 00")) << QStringList{"82 03 01", "81 03 00"} << 0;
    QTest::newRow("wrong check byte") << WithBadSum(f) << QStringList{} << 0;
    QTest::newRow("ends before the check byte") << f.left(8) << QStringList{} << 8;
    QTest::newRow("leading garbage") << Hex("01 02 AA AA 55") + f << QStringList{"82 03 01"} << 0;
    QTest::newRow("garbage between and after")
        << f + Hex("13 37") + f + Hex("00 55") << QStringList{"82 03 01", "82 03 01"} << 0;
    QTest::newRow("zero length header is skipped") << Hex("AA 55 00 00") + f << QStringList{"82 03 01"} << 0;
    QTest::newRow("zero length header with sum 0") << Hex("AA 55 00 00 00") << QStringList{} << 0;
    QTest::newRow("length 1: empty payload") << Hex("AA 55 00 01 00 01") << QStringList{""} << 0;
    QTest::newRow("skipped byte is not examined")
        << Hex("AA 55 00 04 EE 82 03 01 78") << QStringList{"82 03 01"} << 0;
    QTest::newRow("request frame is not a reply") << Hex("55 AA 00 03 00 02 03 08") << QStringList{} << 0;
    QTest::newRow("bad frame, then a good one inside its bytes")
        << Hex("AA 55 00 0A 00") + f + Hex("00 00") << QStringList{"82 03 01"} << 0;
    QTest::newRow("lone AA at the end is kept") << f + Hex("AA") << QStringList{"82 03 01"} << 1;
    QTest::newRow("header without length yet") << Hex("AA 55 00") << QStringList{} << 3;
    QTest::newRow("empty block") << QByteArray() << QStringList{} << 0;
}

void TestIOTTCPProtocol::singleBlock() {
    QFETCH(QByteArray, block);
    QFETCH(QStringList, payloads);
    QFETCH(int, kept);
    TIOTFrameReader reader;
    QCOMPARE(HexList(reader.Feed(block)), payloads);
    QCOMPARE(reader.BufferedBytes(), kept);
}

void TestIOTTCPProtocol::frameSplitOverTwoDeliveriesIsKept() {
    TIOTFrameReader reader;
    QVERIFY(reader.Feed(Hex("AA 55 00 04 00 82 03 01")).isEmpty());
    QCOMPARE(HexList(reader.Feed(Hex("8A"))), QStringList{"82 03 01"});
    QCOMPARE(reader.BufferedBytes(), 0);
    // and the next frame in the same stream is not disturbed by the earlier split
    QCOMPARE(HexList(reader.Feed(Hex("AA 55 00 04 00 81 03 00 88"))), QStringList{"81 03 00"});
}

void TestIOTTCPProtocol::everySplitPoint() {
    const MixedStream s;
    {
        TIOTFrameReader whole;
        QCOMPARE(HexList(whole.Feed(s.bytes)), s.payloads);
    }
    for (qsizetype cut = 0; cut <= s.bytes.size(); ++cut) {
        TIOTFrameReader reader;
        const QStringList got = HexList(FeedInPieces(reader, s.bytes, {cut}));
        QVERIFY2(got == s.payloads,
                 qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(got.join(" | "))));
        QCOMPARE(reader.BufferedBytes(), 3); // the unfinished header at the end
    }
}

void TestIOTTCPProtocol::everyPairOfSplitPoints() {
    const MixedStream s;
    for (qsizetype a = 0; a <= s.bytes.size(); ++a)
        for (qsizetype b = a; b <= s.bytes.size(); ++b) {
            TIOTFrameReader reader;
            const QStringList got = HexList(FeedInPieces(reader, s.bytes, {a, b}));
            if (got != s.payloads)
                QFAIL(qPrintable(QStringLiteral("cuts at %1 and %2: %3").arg(a).arg(b).arg(got.join(" | "))));
        }
}

void TestIOTTCPProtocol::byteByByte() {
    const MixedStream s;
    TIOTFrameReader reader;
    QList<qsizetype> cuts;
    for (qsizetype k = 1; k < s.bytes.size(); ++k)
        cuts << k;
    QCOMPARE(HexList(FeedInPieces(reader, s.bytes, cuts)), s.payloads);
}

// A payload that holds a whole valid frame is decoded once, as the outer frame.
void TestIOTTCPProtocol::payloadLookingLikeAFrameIsNotDecodedAgain() {
    const QByteArray inner = BuildReplyFrame(Hex("FA"));
    const QByteArray outer = BuildReplyFrame(Hex("F8") + inner);
    TIOTFrameReader reader;
    QCOMPARE(HexList(reader.Feed(outer + outer)),
             (QStringList{QString::fromLatin1((Hex("F8") + inner).toHex(' ')),
                          QString::fromLatin1((Hex("F8") + inner).toHex(' '))}));

    TNEV_GPIOAPI api;
    int saves = 0;
    api.OnSys_Save = [&](quint8) { ++saves; };
    reader.ReceiveFrames(outer, api);
    QCOMPARE(saves, 0);
    reader.ReceiveFrames(inner, api);
    QCOMPARE(saves, 1);
}

// Two deliveries of one stream. An unfinished frame that may be real holds back the complete runs
// inside its span until its own end arrives; one that cannot be real holds nothing.
void TestIOTTCPProtocol::splitWithFrameLikeRun_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("cut");
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    const QByteArray pwm = BuildReplyFrame(PwmReplyPayload());
    const QStringList pwmOnly{QString::fromLatin1(PwmReplyPayload().toHex(' '))};
    for (const int cut : {10, 15, 16, 17, 18})
        QTest::addRow("PWM reply cut at %d", cut) << pwm << cut << QStringList{} << pwmOnly;
    QTest::newRow("PWM reply whole") << pwm << int(pwm.size()) << pwmOnly << QStringList{};
    QTest::newRow("PWM reply, then the next reply, cut inside the first")
        << pwm + BuildReplyFrame(Hex("82 03 01")) << 16 << QStringList{} << pwmOnly + QStringList{"82 03 01"};

    const QByteArray f = BuildReplyFrame(Hex("82 03 01"));
    // The outer header's end falls after the real frame and its sum fails: the frame comes once
    // the claimed end has arrived, not before.
    const QByteArray falseOuter = Hex("AA 55 00 0D 00 81") + f + Hex("11 22 33");
    QTest::newRow("false header, its end not yet here")
        << falseOuter << int(falseOuter.size() - 1) << QStringList{} << QStringList{"82 03 01"};
    QTest::newRow("false header, its end here")
        << falseOuter << int(falseOuter.size()) << QStringList{"82 03 01"} << QStringList{};
    QTest::newRow("false header with a request code holds nothing")
        << Hex("AA 55 00 0C 00 13") + f + Hex("11") << int(6 + f.size()) << QStringList{"82 03 01"}
        << QStringList{};
    QTest::newRow("false header longer than any reply holds nothing")
        << Hex("AA 55 04 02 00 81") + f + Hex("11") << int(6 + f.size()) << QStringList{"82 03 01"}
        << QStringList{};
}

void TestIOTTCPProtocol::splitWithFrameLikeRun() {
    QFETCH(QByteArray, stream);
    QFETCH(int, cut);
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    TIOTFrameReader reader;
    QCOMPARE(HexList(reader.Feed(QByteArrayView(stream).first(cut))), first);
    QCOMPARE(HexList(reader.Feed(QByteArrayView(stream).sliced(cut))), second);
    QCOMPARE(reader.BufferedBytes(), 0);

    // The same through the decoder: the PWM reply raises its event once, with its four channels.
    TNEV_GPIOAPI api;
    QList<int> hz;
    api.OnPWM_All = [&](quint8, const TPWMs& pwms) {
        for (const auto& pwm : pwms)
            hz << int(pwm.HZ);
    };
    TIOTFrameReader again;
    again.ReceiveFrames(QByteArrayView(stream).first(cut), api);
    again.ReceiveFrames(QByteArrayView(stream).sliced(cut), api);
    if (stream.startsWith(BuildReplyFrame(PwmReplyPayload())))
        QCOMPARE(hz, (QList<int>{43605, 1000, 1279, 2000}));
    else
        QVERIFY(hz.isEmpty());
}

// Noise that looks like the start of a long frame must not hold back the real frames after it.
void TestIOTTCPProtocol::falseHeaderDoesNotHoldBackLaterFrames() {
    TIOTFrameReader reader;
    const QByteArray f = BuildReplyFrame(Hex("82 03 01"));
    QVERIFY(reader.Feed(Hex("AA 55 7F FF 00 13")).isEmpty());
    QCOMPARE(reader.BufferedBytes(), 6);
    QCOMPARE(HexList(reader.Feed(f)), QStringList{"82 03 01"});
    QCOMPARE(reader.BufferedBytes(), 0);
    // also when the real frame itself arrives split behind the noise
    QVERIFY(reader.Feed(Hex("AA 55 7F FF 00") + f.left(4)).isEmpty());
    QCOMPARE(HexList(reader.Feed(f.mid(4))), QStringList{"82 03 01"});
    QCOMPARE(reader.BufferedBytes(), 0);
}

void TestIOTTCPProtocol::bufferStaysBounded() {
    TIOTFrameReader reader;
    QVERIFY(reader.Feed(Hex("AA 55 FF FF")).isEmpty());
    const QByteArray chunk(1000, '\x11');
    qsizetype largest = 0;
    for (int k = 0; k < 70; ++k) {
        QVERIFY(reader.Feed(chunk).isEmpty());
        largest = std::max(largest, reader.BufferedBytes());
    }
    QVERIFY(largest < TIOTFrameReader::MaxFrameSize);
    // the long header was resolved as noise once its claimed end arrived
    QCOMPARE(reader.BufferedBytes(), 0);
    QCOMPARE(HexList(reader.Feed(BuildReplyFrame(Hex("85 01")))), QStringList{"85 01"});
}

void TestIOTTCPProtocol::noiseIsNotKept() {
    TIOTFrameReader reader;
    QByteArray noise;
    for (int k = 0; k < 100000; ++k)
        noise.append(char(k * 7 % 251 == 0xAA ? 0x00 : k * 7 % 251));
    QVERIFY(reader.Feed(noise).isEmpty());
    QCOMPARE(reader.BufferedBytes(), 0);
}

void TestIOTTCPProtocol::longestFrame() {
    const QByteArray payload(MaxFramePayload, char(0xC0));
    const QByteArray frame = BuildReplyFrame(payload);
    QCOMPARE(frame.size(), TIOTFrameReader::MaxFrameSize);
    TIOTFrameReader reader;
    QList<QByteArray> got;
    for (qsizetype at = 0; at < frame.size(); at += 4096)
        got += reader.Feed(QByteArrayView(frame).sliced(at, std::min<qsizetype>(4096, frame.size() - at)));
    QCOMPARE(got.size(), 1);
    QCOMPARE(got.first(), payload);
}

void TestIOTTCPProtocol::resetDropsUnfinishedFrame() {
    TIOTFrameReader reader;
    const QByteArray f = BuildReplyFrame(Hex("82 03 01"));
    QVERIFY(reader.Feed(f.left(5)).isEmpty());
    reader.Reset();
    QCOMPARE(reader.BufferedBytes(), 0);
    QVERIFY(reader.Feed(f.mid(5)).isEmpty());
    QCOMPARE(HexList(reader.Feed(f)), QStringList{"82 03 01"});
}

void TestIOTTCPProtocol::requestReaderCutsRequests() {
    TIOTFrameReader reader(TFrameKind::Request);
    const QByteArray a = BuildFrame(TNEV_GPIOAPI::Out_Set_ON(3));
    const QByteArray b = BuildFrame(TNEV_GPIOAPI::Sys_Get_IO());
    QVERIFY(
        reader.Feed(Hex("71 6F 72 76 75 0D 0A") + a.left(3)).isEmpty()); // password line, then a split frame
    QCOMPARE(HexList(reader.Feed(a.mid(3) + b + BuildReplyFrame(Hex("82 03 01")))),
             (QStringList{"02 03", "7e"}));
}

void TestIOTTCPProtocol::receiveFramesFeedsDecoder() {
    TNEV_GPIOAPI api;
    QStringList seen;
    api.OnOut_One = [&](quint8 c, quint8 n, bool on) {
        seen << QStringLiteral("one %1 %2 %3").arg(c).arg(n).arg(on);
    };
    api.OnSys_IO = [&](quint8 c, quint8 x, quint8 y, quint8 z, quint8 k, quint8 m) {
        seen << QStringLiteral("io %1 %2 %3 %4 %5 %6").arg(c).arg(x).arg(y).arg(z).arg(k).arg(m);
    };
    TIOTFrameReader reader;
    const QByteArray stream = BuildReplyFrame(Hex("FE 08 00 02 04")) + BuildReplyFrame(Hex("02 03 01")) +
                              BuildReplyFrame(Hex("82 03 01"));
    reader.ReceiveFrames(QByteArrayView(stream).first(7), api);
    QVERIFY(seen.isEmpty());
    reader.ReceiveFrames(QByteArrayView(stream).sliced(7), api);
    QCOMPARE(seen, (QStringList{"io 254 8 0 2 4 0", "one 130 3 1"}));
}

QTEST_GUILESS_MAIN(TestIOTTCPProtocol)
#include "tst_nevIOTTCPProtocol.moc"
