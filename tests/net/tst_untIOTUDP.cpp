// LAN search on loopback: 127.0.0.1 stands in for the broadcast address and simulated boards are
// UDP sockets on other loopback ports.
#include "untIOTUDP.h"

#include <QNetworkDatagram>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

namespace {

TUDPRcvRcd Board(quint8 last, quint8 type = 1) {
    TUDPRcvRcd r;
    r.DevType = type;
    r.DevID = 6;
    r.DevIP = {10, 0, 0, last};
    r.DevMAC = {0x5C, 0xCF, 0x7F, 0x01, 0x02, last};
    r.SoftVer = {1, 2};
    r.HardVer = {3, 4};
    const QByteArray name = "Lab";
    std::copy(name.begin(), name.end(), r.DevName.begin());
    return r;
}

QByteArray WithByte(QByteArray b, int index, quint8 value) {
    b[index] = char(value);
    return b;
}

// Recomputes the check byte so that only the field under test is wrong.
QByteArray Resummed(QByteArray b) {
    quint8 sum = 0;
    for (int i = 0; i < b.size() - 1; ++i)
        sum = quint8(sum + quint8(b[i]));
    b[b.size() - 1] = char(quint8(0x100 - sum));
    return b;
}

} // namespace

class tst_untIOTUDP : public QObject {
    Q_OBJECT

private slots:
    void parseSearchAnswer_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("valid");
        const QByteArray good = BuildSearchAnswer(Board(5));
        QTest::newRow("valid, DevType 1") << good << true;
        QTest::newRow("valid, DevType 255") << BuildSearchAnswer(Board(5, 255)) << true;
        QTest::newRow("DevType 0") << BuildSearchAnswer(Board(5, 0)) << false;
        QTest::newRow("head FF 24 02") << Resummed(WithByte(good, 2, 0x02)) << false;
        QTest::newRow("head FE 24 01") << Resummed(WithByte(good, 0, 0xFE)) << false;
        QTest::newRow("head FF 25 01") << Resummed(WithByte(good, 1, 0x25)) << false;
        QTest::newRow("one name byte changed") << WithByte(good, 20, quint8(good[20]) + 1) << false;
        QTest::newRow("check byte changed") << WithByte(good, 35, quint8(good[35]) ^ 0x01) << false;
        QTest::newRow("35 bytes") << good.left(35) << false;
        QTest::newRow("37 bytes") << good + QByteArray(1, '\0') << false;
        QTest::newRow("own search request") << SearchRequest << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void parseSearchAnswer() {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, valid);
        const auto rcd = ParseSearchAnswer(datagram);
        QCOMPARE(rcd.has_value(), valid);
        if (valid)
            QCOMPARE(rcd->ToBytes(), datagram);
    }

    void answerFieldsArePassedOn() {
        const auto rcd = ParseSearchAnswer(BuildSearchAnswer(Board(9, 3)));
        QVERIFY(rcd);
        QCOMPARE(rcd->DevType, quint8(3));
        QCOMPARE(rcd->DevID, quint8(6));
        QCOMPARE(IPBufToStr(rcd->DevIP), QStringLiteral("10.0.0.9"));
        QCOMPARE(MACBufToStr(rcd->DevMAC), QStringLiteral("5C-CF-7F-01-02-09"));
        QCOMPARE(Utf8BufToStr(rcd->DevName), QStringLiteral("Lab"));
    }

    void searchOnLoopback() {
        QUdpSocket board1, board2;
        QVERIFY(board1.bind(QHostAddress::LocalHost, 0));
        QVERIFY(board2.bind(QHostAddress::LocalHost, 0));
        TNEV_IOTUDP udp(0, QHostAddress::LocalHost, board1.localPort());
        udp.setSearchWindowMs(2000);
        QStringList events;
        udp.OnUDPReceive = [&](const TUDPRcvRcd& r) { events << MACBufToStr(r.DevMAC); };
        udp.OnUDPTimeOut = [&] { events << "end"; };
        QVERIFY(udp.setActive(true));
        QVERIFY(udp.Active());
        QVERIFY(udp.SearchDevice());
        QVERIFY(udp.Searching());

        QTRY_VERIFY(board1.hasPendingDatagrams());
        const QNetworkDatagram request = board1.receiveDatagram();
        QCOMPARE(request.data(), QByteArray::fromHex("FF010102"));
        QCOMPARE(request.senderPort(), int(udp.LocalPort()));

        // Two boards answer, with noise between them: wrong sum, wrong sizes, an echo.
        const QHostAddress to = QHostAddress::LocalHost;
        board1.writeDatagram(BuildSearchAnswer(Board(1)), to, udp.LocalPort());
        board2.writeDatagram(WithByte(BuildSearchAnswer(Board(7)), 30, 0x41), to, udp.LocalPort());
        board2.writeDatagram(BuildSearchAnswer(Board(2)).left(35), to, udp.LocalPort());
        board2.writeDatagram(SearchRequest, to, udp.LocalPort());
        board2.writeDatagram(BuildSearchAnswer(Board(2)), to, udp.LocalPort());
        QTRY_COMPARE(events, QStringList({"5C-CF-7F-01-02-01", "5C-CF-7F-01-02-02", "end"}));
        QVERIFY(!udp.Searching());

        // After the window the socket stays bound and answers are still passed on.
        board1.writeDatagram(BuildSearchAnswer(Board(1)), to, udp.LocalPort());
        QTRY_COMPARE(events.size(), 4);
        QCOMPARE(events.last(), QStringLiteral("5C-CF-7F-01-02-01"));
    }

    // Hundreds of boards answer one broadcast at once; the answers wait in the system until the
    // event loop reads them, and none may be lost meanwhile.
    void answersArrivingAllAtOnceAreAllReported() {
        QUdpSocket boards;
        QVERIFY(boards.bind(QHostAddress::LocalHost, 0));
        TNEV_IOTUDP udp(0, QHostAddress::LocalHost, boards.localPort());
        QSet<QString> seen;
        int reports = 0;
        udp.OnUDPReceive = [&](const TUDPRcvRcd& r) {
            ++reports;
            seen.insert(MACBufToStr(r.DevMAC));
        };
        QVERIFY(udp.setActive(true));
        constexpr int count = 450;
        for (int i = 0; i < count; ++i) {
            TUDPRcvRcd r = Board(quint8(i));
            r.DevMAC[4] = quint8(i >> 8);
            QCOMPARE(boards.writeDatagram(BuildSearchAnswer(r), QHostAddress::LocalHost, udp.LocalPort()),
                     qint64(TUDPRcvRcd::Size));
        }
        QTRY_COMPARE(reports, count);
        QCOMPARE(seen.size(), count);
    }

    // Each report may open a connection: a burst is reported over several passes of the event
    // loop, which runs its timers and paints in between.
    void aBurstLetsTheEventLoopRunBetweenPasses() {
        QUdpSocket boards;
        QVERIFY(boards.bind(QHostAddress::LocalHost, 0));
        TNEV_IOTUDP udp(0, QHostAddress::LocalHost, boards.localPort());
        QVERIFY(udp.setActive(true));
        constexpr int count = 3 * TNEV_IOTUDP::MaxAnswersPerPass + 5;
        int reports = 0;
        int reportsWhenTimerRan = -1;
        udp.OnUDPReceive = [&](const TUDPRcvRcd&) {
            if (reports++ == 0)
                QTimer::singleShot(0, &udp, [&] { reportsWhenTimerRan = reports; });
        };
        for (int i = 0; i < count; ++i)
            QCOMPARE(boards.writeDatagram(BuildSearchAnswer(Board(quint8(i))), QHostAddress::LocalHost,
                                          udp.LocalPort()),
                     qint64(TUDPRcvRcd::Size));
        QTRY_COMPARE(reports, count);
        QVERIFY(reportsWhenTimerRan > 0);
        QVERIFY2(reportsWhenTimerRan < count, "the event loop did not run before the last answer");
    }

    // After a burst was reported over several passes, the socket still signals new answers.
    void answersAfterABurstStillArrive() {
        QUdpSocket boards;
        QVERIFY(boards.bind(QHostAddress::LocalHost, 0));
        TNEV_IOTUDP udp(0, QHostAddress::LocalHost, boards.localPort());
        QVERIFY(udp.setActive(true));
        int reports = 0;
        udp.OnUDPReceive = [&](const TUDPRcvRcd&) { ++reports; };
        constexpr int burst = 3 * TNEV_IOTUDP::MaxAnswersPerPass + 5;
        for (int round = 1; round <= 3; ++round) {
            for (int i = 0; i < burst; ++i)
                boards.writeDatagram(BuildSearchAnswer(Board(quint8(i))), QHostAddress::LocalHost,
                                     udp.LocalPort());
            QTRY_COMPARE(reports, round * burst);
        }
        boards.writeDatagram(BuildSearchAnswer(Board(7)), QHostAddress::LocalHost, udp.LocalPort());
        QTRY_COMPARE(reports, 3 * burst + 1);
    }

    // Answers read within the window are all reported before its end, even those still waiting
    // for their pass; answers of a released search are not reported at all.
    void theWindowsEndReportsWhatWasRead() {
        QUdpSocket boards;
        QVERIFY(boards.bind(QHostAddress::LocalHost, 0));
        TNEV_IOTUDP udp(0, QHostAddress::LocalHost, boards.localPort());
        QVERIFY(udp.setActive(true));
        udp.setSearchWindowMs(60000);
        constexpr int count = 2 * TNEV_IOTUDP::MaxAnswersPerPass + 1;
        int reports = 0;
        int reportsAtEnd = -1;
        udp.OnUDPTimeOut = [&] { reportsAtEnd = reports; };
        // The first report ends the window at once (a search restarted with a zero window).
        udp.OnUDPReceive = [&](const TUDPRcvRcd&) {
            if (reports++ == 0) {
                udp.setSearchWindowMs(0);
                udp.SearchDevice();
            }
        };
        udp.SearchDevice();
        for (int i = 0; i < count; ++i)
            boards.writeDatagram(BuildSearchAnswer(Board(quint8(i))), QHostAddress::LocalHost,
                                 udp.LocalPort());
        QTRY_VERIFY(reportsAtEnd >= 0);
        QCOMPARE(reportsAtEnd, count);
        QCOMPARE(reports, count);
    }

    void searchWhileUnboundSendsNothingButEnds() {
        QUdpSocket board;
        QVERIFY(board.bind(QHostAddress::LocalHost, 0));
        TNEV_IOTUDP udp(0, QHostAddress::LocalHost, board.localPort());
        udp.setSearchWindowMs(50);
        int ends = 0;
        udp.OnUDPTimeOut = [&] { ++ends; };
        QVERIFY(!udp.Active());
        QVERIFY(!udp.SearchDevice());
        QTRY_COMPARE(ends, 1);
        QVERIFY(!board.hasPendingDatagrams());
    }

    void repeatedSearchRestartsTheWindow() {
        TNEV_IOTUDP udp(0, QHostAddress::LocalHost, 9);
        udp.setSearchWindowMs(100);
        int ends = 0;
        udp.OnUDPTimeOut = [&] { ++ends; };
        udp.SearchDevice();
        udp.SearchDevice();
        QTRY_COMPARE(ends, 1);
        QVERIFY(!udp.Searching());
    }

    void configuredPortIsBoundAndAnswered() {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::LocalHost, 0));
        const quint16 port = probe.localPort();
        probe.close();
        TNEV_IOTUDP udp(port, QHostAddress::LocalHost);
        QCOMPARE(udp.TargetPort(), port);
        int answers = 0;
        udp.OnUDPReceive = [&](const TUDPRcvRcd&) { ++answers; };
        QVERIFY(udp.setActive(true));
        QCOMPARE(udp.LocalPort(), port);
        QVERIFY(udp.SearchDevice()); // comes back to itself: 4 bytes, ignored
        QUdpSocket board;
        QVERIFY(board.bind(QHostAddress::LocalHost, 0));
        board.writeDatagram(BuildSearchAnswer(Board(3)), QHostAddress::LocalHost, port);
        QTRY_COMPARE(answers, 1);
    }

    void occupiedPortIsReported() {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
        const quint16 port = holder.localPort();
        TNEV_IOTUDP udp(port, QHostAddress::LocalHost);
        QVERIFY(!udp.setActive(true));
        QVERIFY(!udp.Active());
        QVERIFY(!udp.ErrorString().isEmpty());
        QVERIFY(!udp.SearchDevice());
        holder.close();
        QVERIFY(udp.setActive(true));
        QVERIFY(udp.ErrorString().isEmpty());
        QVERIFY(udp.setActive(false));
        QVERIFY(!udp.Active());
    }

    void destroyedInsideItsOwnEvent() {
        auto udp = std::make_unique<TNEV_IOTUDP>(0, QHostAddress::LocalHost, 9);
        QVERIFY(udp->setActive(true));
        const quint16 port = udp->LocalPort();
        int answers = 0;
        udp->OnUDPReceive = [&](const TUDPRcvRcd&) {
            ++answers;
            udp.reset();
        };
        QUdpSocket board;
        QVERIFY(board.bind(QHostAddress::LocalHost, 0));
        for (quint8 i = 1; i <= 3; ++i)
            board.writeDatagram(BuildSearchAnswer(Board(i)), QHostAddress::LocalHost, port);
        QTRY_VERIFY(!udp);
        // A witness bound in the same way sees the remaining traffic pass.
        TNEV_IOTUDP witness(0, QHostAddress::LocalHost, 9);
        QVERIFY(witness.setActive(true));
        int seen = 0;
        witness.OnUDPReceive = [&](const TUDPRcvRcd&) { ++seen; };
        board.writeDatagram(BuildSearchAnswer(Board(4)), QHostAddress::LocalHost, witness.LocalPort());
        QTRY_COMPARE(seen, 1);
        QCOMPARE(answers, 1);
    }
};

QTEST_GUILESS_MAIN(tst_untIOTUDP)
#include "tst_untIOTUDP.moc"
