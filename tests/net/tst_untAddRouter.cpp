// Router join: datagram format, list and join replies, and the exchange with simulated boards on
// loopback (127.0.0.1 stands in for the broadcast address).
#include "untAddRouter.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include <memory>

namespace {

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

// The data of a list reply: an unused byte, then name, unused byte, signal, CR, LF per network.
QByteArray ListData(const QList<QPair<QByteArray, int>>& nets) {
    QByteArray d(1, '\x00');
    for (const auto& [name, signal] : nets)
        d += name + QByteArray(1, '\x00') + QByteArray(1, char(signal)) + "\r\n";
    return d;
}

QByteArray Reply(quint8 cmd, const QByteArray& data) {
    return BuildRouterDatagram(QByteArray(1, char(cmd)) + data);
}

} // namespace

class tst_untAddRouter : public QObject {
    Q_OBJECT

private slots:
    void datagramsOnTheWire() {
        QCOMPARE(BuildRouterDatagram(QByteArray(1, '\x01')), Hex("FF00010102"));
        const QByteArray join = BuildRouterDatagram(BuildJoinPayload("ab", "1234"));
        QCOMPARE(join.size(), 14);
        quint8 sum = 0;
        for (char c : Hex("000A020061620D0A31323334"))
            sum = quint8(sum + quint8(c));
        QCOMPARE(join, Hex("FF000A020061620D0A31323334") + QByteArray(1, char(sum)));
        QVERIFY(BuildRouterDatagram(QByteArray(0x10000, 'x')).isEmpty());
    }

    void checkDatagram_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("cmd");
        QTest::addColumn<QByteArray>("buf");
        const QByteArray good = Reply(0x82, Hex("0101"));
        QTest::newRow("join result") << good << true << 0x82 << Hex("0101");
        QTest::newRow("command only") << Hex("FF00010102") << true << 0x01 << QByteArray();
        QTest::newRow("wrong sum") << Hex("FF00010103") << false << 0 << QByteArray();
        QTest::newRow("length says more") << Hex("FF00020102") << false << 0 << QByteArray();
        QTest::newRow("length says less") << good + QByteArray(1, '\x00') << false << 0 << QByteArray();
        QTest::newRow("not FF") << Hex("FE00010102") << false << 0 << QByteArray();
        QTest::newRow("zero-length payload") << Hex("FF000000") << false << 0 << QByteArray();
        QTest::newRow("empty") << QByteArray() << false << 0 << QByteArray();
    }
    void checkDatagram() {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, ok);
        QFETCH(int, cmd);
        QFETCH(QByteArray, buf);
        const TSearchRe re = CheckRouterDatagram(datagram);
        QCOMPARE(re.isOk, ok);
        if (ok) {
            QCOMPARE(int(re.CMD), cmd);
            QCOMPARE(re.Buf, buf);
        }
    }

    void parseList_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArrayList>("names");
        QTest::addColumn<QList<int>>("signals_");
        QTest::newRow("one") << ListData({{"lab", 76}}) << QByteArrayList{"lab"} << QList<int>{76};
        QTest::newRow("two") << ListData({{"lab", 76}, {"home-5G", 40}}) << QByteArrayList{"lab", "home-5G"}
                             << QList<int>{76, 40};
        QTest::newRow("signal 13 looks like CR")
            << ListData({{"a", 13}, {"b", 10}}) << QByteArrayList{"a", "b"} << QList<int>{13, 10};
        QTest::newRow("raw bytes kept")
            << ListData({{"caf\xE9", 5}}) << QByteArrayList{"caf\xE9"} << QList<int>{5};
        QTest::newRow("empty name") << ListData({{"", 9}}) << QByteArrayList{""} << QList<int>{9};
        QTest::newRow("too short a record is skipped")
            << Hex("00") + "\x07\r\n" + ListData({{"x", 1}}).mid(1) << QByteArrayList{"x"} << QList<int>{1};
        QTest::newRow("bare CR LF first") << Hex("000D0A") << QByteArrayList{} << QList<int>{};
        QTest::newRow("no terminator") << Hex("00616263") << QByteArrayList{} << QList<int>{};
        QTest::newRow("only the unused byte") << Hex("00") << QByteArrayList{} << QList<int>{};
        QTest::newRow("empty") << QByteArray() << QByteArrayList{} << QList<int>{};
        QList<QPair<QByteArray, int>> many;
        QByteArrayList first30;
        QList<int> sig30;
        for (int i = 0; i < 31; ++i) {
            many.append({QByteArray("net") + QByteArray::number(i), i});
            if (i < 30) {
                first30 << many.last().first;
                sig30 << i;
            }
        }
        QTest::newRow("31 records give 30") << ListData(many) << first30 << sig30;
    }
    void parseList() {
        QFETCH(QByteArray, data);
        QFETCH(QByteArrayList, names);
        QFETCH(QList<int>, signals_);
        const TRouterNets nets = ParseRouterList(data);
        QCOMPARE(nets.size(), names.size());
        for (int i = 0; i < nets.size(); ++i) {
            QCOMPARE(nets[i].Name, names[i]);
            QCOMPARE(int(nets[i].Signal), signals_[i]);
        }
    }

    void caption() {
        QCOMPARE((TRouterNet{"lab", 76}.Caption()), QStringLiteral("lab   [76%]"));
        QCOMPARE((TRouterNet{" \xE5\xAE\xB6 ", 5}.Caption()), QStringLiteral("家   [5%]"));
    }

    void joinResult_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("result"); // -1: none
        QTest::newRow("no such network") << Hex("0000") << int(TRouterJoinResult::JOIN_NOSSID);
        QTest::newRow("no such network, any second byte")
            << Hex("00FF") << int(TRouterJoinResult::JOIN_NOSSID);
        QTest::newRow("wrong password") << Hex("0100") << int(TRouterJoinResult::JOIN_PSDERR);
        QTest::newRow("joined") << Hex("0101") << int(TRouterJoinResult::JOIN_OK);
        QTest::newRow("unknown") << Hex("0102") << -1;
        QTest::newRow("three bytes") << Hex("010100") << -1;
        QTest::newRow("one byte") << Hex("01") << -1;
    }
    void joinResult() {
        QFETCH(QByteArray, data);
        QFETCH(int, result);
        const auto r = ParseJoinResult(data);
        QCOMPARE(r ? int(*r) : -1, result);
    }

    // Two boards answer one search; every listed name keeps its own bytes, so the name chosen
    // is the name sent.
    void searchAndJoinOnLoopback() {
        QUdpSocket board1, board2;
        QVERIFY(board1.bind(QHostAddress::LocalHost, 0));
        QVERIFY(board2.bind(QHostAddress::LocalHost, 0));
        TAddRouter router(0, QHostAddress::LocalHost, board1.localPort());
        QVERIFY(router.isListening());
        router.setSearchTimeoutMs(100);
        QList<TRouterNets> lists;
        int ends = 0;
        QList<TRouterJoinResult> results;
        router.OnRouterList = [&](const TRouterNets& n) { lists << n; };
        router.OnRouterSearchEnd = [&] { ++ends; };
        router.OnJoinResult = [&](TRouterJoinResult r) { results << r; };

        QVERIFY(router.Search());
        QVERIFY(router.Searching());
        QTRY_VERIFY(board1.hasPendingDatagrams());
        const QNetworkDatagram request = board1.receiveDatagram();
        QCOMPARE(request.data(), Hex("FF00010102"));
        const quint16 back = router.LocalPort();
        board1.writeDatagram(Reply(0x81, ListData({{"lab", 76}, {"caf\xE9", 30}})), QHostAddress::LocalHost,
                             back);
        QTRY_COMPARE(lists.size(), 1);
        board2.writeDatagram(Reply(0x81, ListData({{"attic", 20}, {"lab", 90}})), QHostAddress::LocalHost,
                             back);
        QTRY_COMPARE(lists.size(), 2);
        QTRY_COMPARE(ends, 1);
        const TRouterNets expected{{"lab", 90}, {"caf\xE9", 30}, {"attic", 20}};
        QCOMPARE(lists.last(), expected);
        QCOMPARE(router.Nets(), expected);

        // Position 2 of the name box is the second network: its raw bytes go out unchanged.
        QVERIFY(router.Add(2, QStringLiteral("ignored"), QStringLiteral("pw")));
        QTRY_VERIFY(board1.hasPendingDatagrams());
        QCOMPARE(board1.receiveDatagram().data(), BuildRouterDatagram(BuildJoinPayload("caf\xE9", "pw")));
        // Position 0 (manual entry) or beyond the list sends the typed text.
        QVERIFY(router.Add(0, QStringLiteral("typed"), QStringLiteral("secret")));
        QVERIFY(router.Add(9, QStringLiteral("typed"), QString()));
        QTRY_VERIFY(board1.hasPendingDatagrams());
        QCOMPARE(board1.receiveDatagram().data(), BuildRouterDatagram(BuildJoinPayload("typed", "secret")));
        QTRY_VERIFY(board1.hasPendingDatagrams());
        QCOMPARE(board1.receiveDatagram().data(), BuildRouterDatagram(BuildJoinPayload("typed", "")));

        // Join results; noise in between changes nothing.
        board1.writeDatagram(Reply(0x82, Hex("010100")), QHostAddress::LocalHost, back);
        board1.writeDatagram(Hex("FF0003820101FF"), QHostAddress::LocalHost, back);
        board1.writeDatagram(Reply(0x83, Hex("0101")), QHostAddress::LocalHost, back);
        board1.writeDatagram(Reply(0x82, Hex("0100")), QHostAddress::LocalHost, back);
        board1.writeDatagram(Reply(0x82, Hex("0101")), QHostAddress::LocalHost, back);
        QTRY_COMPARE(results.size(), 2);
        QCOMPARE(results,
                 (QList<TRouterJoinResult>{TRouterJoinResult::JOIN_PSDERR, TRouterJoinResult::JOIN_OK}));
        QCOMPARE(lists.size(), 2);

        // A new search forgets the old list; an empty reply is still reported.
        QVERIFY(router.Search());
        QVERIFY(router.Nets().isEmpty());
        board2.writeDatagram(Reply(0x81, Hex("00")), QHostAddress::LocalHost, back);
        QTRY_COMPARE(lists.size(), 3);
        QVERIFY(lists.last().isEmpty());
        QTRY_COMPARE(ends, 2);
    }

    void occupiedPortIsReported() {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
        TAddRouter router(holder.localPort(), QHostAddress::LocalHost, 9);
        QVERIFY(!router.isListening());
        QVERIFY(!router.ErrorString().isEmpty());
        QVERIFY(!router.Search());
        QVERIFY(!router.AddRaw("a", "b"));
        holder.close();
        QVERIFY(router.Search()); // binds again when the port is free
        QVERIFY(router.isListening());
    }

    void destroyedInsideItsOwnEvent() {
        auto router = std::make_unique<TAddRouter>(0, QHostAddress::LocalHost, 9);
        QVERIFY(router->isListening());
        const quint16 port = router->LocalPort();
        int calls = 0;
        router->OnJoinResult = [&](TRouterJoinResult) {
            ++calls;
            router.reset();
        };
        QUdpSocket board;
        QVERIFY(board.bind(QHostAddress::LocalHost, 0));
        for (int i = 0; i < 3; ++i)
            board.writeDatagram(Reply(0x82, Hex("0101")), QHostAddress::LocalHost, port);
        QTRY_VERIFY(!router);
        TAddRouter witness(0, QHostAddress::LocalHost, 9);
        int seen = 0;
        witness.OnJoinResult = [&](TRouterJoinResult) { ++seen; };
        board.writeDatagram(Reply(0x82, Hex("0101")), QHostAddress::LocalHost, witness.LocalPort());
        QTRY_COMPARE(seen, 1);
        QCOMPARE(calls, 1);
    }
};

QTEST_GUILESS_MAIN(tst_untAddRouter)
#include "tst_untAddRouter.moc"
