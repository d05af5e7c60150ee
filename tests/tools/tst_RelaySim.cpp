// The simulated relay server: the 70-byte login block, the "$" answers for right and wrong
// credentials, and frames carried to a simulated board and back, all over loopback.
#include "PC1_128.h"
#include "RelaySim.h"
#include "SimTestUtil.h"
#include "SimWorld.h"

#include <QtTest>

#include <algorithm>
#include <memory>

using namespace simtest;

namespace {

const char* const LabMac = "5C-CF-7F-01-02-0A";

TBUF16 Buf16(const QByteArray& text) {
    TBUF16 b{};
    std::copy_n(text.constData(), std::min<qsizetype>(16, text.size()), b.begin());
    return b;
}

// The block built byte by byte as a client builds it: MAC, account, 16 zeros, password,
// 16 zeros; reversed; enciphered in place with the byte form under the relay key.
QByteArray ClientBlock(const QByteArray& mac6, const QByteArray& account, const QByteArray& password) {
    QByteArray b(70, '\0');
    b.replace(0, 6, mac6);
    b.replace(6, account.size(), account);
    b.replace(38, password.size(), password);
    std::reverse(b.begin(), b.end());
    TPC1_128 pc1;
    pc1.PC1Init(RelayLoginKey);
    pc1.PC1EncryptBuf(b);
    return b;
}

} // namespace

class tst_RelaySim : public QObject {
    Q_OBJECT

    std::unique_ptr<sim::World> FWorld;

    quint16 BoardPort(int i = 0) const { return FWorld->Servers().at(i)->Port(); }

    std::unique_ptr<relay::RelayServer> StartRelay(QStringList args) {
        QString error;
        bool help = false;
        args.prepend("127.0.0.1:0");
        args.prepend("--listen");
        const auto cfg = relay::ParseRelayArgs(args, &error, &help);
        if (!cfg) {
            qWarning() << error;
            return nullptr;
        }
        auto r = std::make_unique<relay::RelayServer>(*cfg);
        if (!r->Start(&error)) {
            qWarning() << error;
            return nullptr;
        }
        return r;
    }

    // The usual relay: alice may use the Lab board, bob the second board (which has no route).
    std::unique_ptr<relay::RelayServer> StandardRelay(const QStringList& more = {}) {
        return StartRelay(QStringList{"--device", QString("%1=127.0.0.1:%2").arg(LabMac).arg(BoardPort()),
                                      "--account", QString("alice:s3cr:et:%1").arg(LabMac), "--account",
                                      "bob:pw:02-51-4C-00-00-02,02-51-4C-00-00-03", "--account",
                                      "root:toor:*"} +
                          more);
    }

private slots:
    void initTestCase() {
        QLoggingCategory::setFilterRules("quillet.*.debug=false");
        QString error;
        bool help = false;
        const auto cfg = sim::ParseWorldArgs({"--listen", "127.0.0.1:0", "--no-search", "--no-router",
                                              "--board", QString("mac=%1,name=Lab").arg(LabMac), "--board",
                                              "name=Noisy,password=pw2,garbage,split=4,split-gap-ms=5"},
                                             &error, &help);
        QVERIFY2(cfg, qPrintable(error));
        FWorld = std::make_unique<sim::World>(*cfg);
        QVERIFY2(FWorld->Start(&error), qPrintable(error));
    }
    void cleanupTestCase() { FWorld.reset(); }

    void blockLayout() {
        relay::LoginBlock b;
        QVERIFY(MACStrToBuf(LabMac, b.mac));
        b.account = Buf16("alice");
        b.password = Buf16("s3cr:et");
        const QByteArray wire = ClientBlock(Hex("5CCF7F01020A"), "alice", "s3cr:et");
        QCOMPARE(wire.size(), 70);
        QCOMPARE(relay::EncodeLoginBlock(b), wire);
        const auto back = relay::DecodeLoginBlock(wire);
        QVERIFY(back);
        QCOMPARE(back->mac, b.mac);
        QCOMPARE(back->Account(), QString("alice"));
        QCOMPARE(back->Password(), QString("s3cr:et"));
        QVERIFY(!relay::DecodeLoginBlock(wire.left(69)));
        // Not enciphered in the clear order: the reversal matters.
        QByteArray unreversed(70, '\0');
        unreversed.replace(0, 6, Hex("5CCF7F01020A"));
        QVERIFY(relay::DecodeLoginBlock(PC1EncryptBytes(RelayLoginKey, unreversed))->mac != b.mac);
    }

    void decide_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QByteArray>("account");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<char>("answer");
        QTest::newRow("allowed") << LabMac << QByteArray("alice") << QByteArray("s3cr:et") << '1';
        QTest::newRow("wrong password") << LabMac << QByteArray("alice") << QByteArray("s3cr") << '2';
        QTest::newRow("empty password") << LabMac << QByteArray("alice") << QByteArray() << '2';
        QTest::newRow("unknown account") << LabMac << QByteArray("mallory") << QByteArray("s3cr:et") << '2';
        QTest::newRow("account of all boards") << LabMac << QByteArray("root") << QByteArray("toor") << '1';
        QTest::newRow("board of another account") << LabMac << QByteArray("bob") << QByteArray("pw") << '4';
        QTest::newRow("board of nobody")
            << "02-00-00-00-00-99" << QByteArray("bob") << QByteArray("pw") << '3';
        QTest::newRow("allowed, no route")
            << "02-51-4C-00-00-02" << QByteArray("bob") << QByteArray("pw") << '0';
    }
    void decide() {
        QFETCH(QString, mac);
        QFETCH(QByteArray, account);
        QFETCH(QByteArray, password);
        QFETCH(char, answer);
        // A relay without the "all boards" account, to tell 3 from 4.
        QString error;
        bool help = false;
        auto cfg = relay::ParseRelayArgs({"--device", QString("%1=127.0.0.1:1").arg(LabMac), "--account",
                                          QString("alice:s3cr:et:%1").arg(LabMac), "--account",
                                          "bob:pw:02-51-4C-00-00-02"},
                                         &error, &help);
        QVERIFY2(cfg, qPrintable(error));
        if (account == "root")
            cfg->accounts.append({"root", "toor", {}, true});
        relay::LoginBlock b;
        QVERIFY(MACStrToBuf(mac, b.mac));
        b.account = Buf16(account);
        b.password = Buf16(password);
        const relay::DeviceRoute* route = nullptr;
        QCOMPARE(relay::Decide(*cfg, b, &route), answer);
        QCOMPARE(route != nullptr, answer == '1');
    }

    void loginAndCarry() {
        auto r = StandardRelay();
        QVERIFY(r);
        Client c;
        QVERIFY(c.Connect(r->Port()));
        const QByteArray block = ClientBlock(Hex("5CCF7F01020A"), "alice", "s3cr:et");
        c.socket.write(block.left(30)); // the block may come in pieces
        c.socket.flush();
        QTest::qWait(0);
        c.socket.write(block.mid(30));
        QVERIFY(c.Wait([&] { return c.received.size() >= 5; }));
        QCOMPARE(c.Take(), QByteArray("$1Lab"));
        QCOMPARE(c.Ask(Hex("0203"), 3), Hex("AA550004008203018A"));
        QCOMPARE(c.Ask(Hex("0A"), 2), Reply(Hex("8A04")));
        // The board's state really changed (seen on a direct connection).
        Client direct;
        QVERIFY(direct.Connect(BoardPort()));
        QCOMPARE(direct.Login("qorvu"), QByteArray("OK"));
        QCOMPARE(direct.Ask(Hex("0A"), 2), Reply(Hex("8A04")));
        QCOMPARE(direct.Ask(Hex("0103"), 3), Reply(Hex("810300")));
    }

    void framesRightAfterBlock() {
        // A client that sends its first request together with the block: kept until the board is in.
        auto r = StandardRelay();
        QVERIFY(r);
        Client c;
        QVERIFY(c.Connect(r->Port()));
        c.socket.write(ClientBlock(Hex("5CCF7F01020A"), "root", "toor") + Request(Hex("7E")));
        QVERIFY(c.Wait([&] { return c.received.size() >= 5 + 12; }));
        QCOMPARE(c.Take(), QByteArray("$1Lab") + Reply(Hex("FE0804020201")));
    }

    void refusals_data() {
        QTest::addColumn<QByteArray>("mac");
        QTest::addColumn<QByteArray>("account");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("wrong password")
            << Hex("5CCF7F01020A") << QByteArray("alice") << QByteArray("nope") << QByteArray("$2") << true;
        QTest::newRow("unknown account")
            << Hex("5CCF7F01020A") << QByteArray("eve") << QByteArray("x") << QByteArray("$2") << true;
        QTest::newRow("board of another account") << Hex("02514C000003") << QByteArray("alice")
                                                  << QByteArray("s3cr:et") << QByteArray("$4") << true;
        QTest::newRow("board off-line")
            << Hex("02514C000002") << QByteArray("bob") << QByteArray("pw") << QByteArray("$0") << false;
    }
    void refusals() {
        QFETCH(QByteArray, mac);
        QFETCH(QByteArray, account);
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, answer);
        QFETCH(bool, closes);
        auto r = StandardRelay();
        QVERIFY(r);
        Client c;
        QVERIFY(c.Connect(r->Port()));
        c.socket.write(ClientBlock(mac, account, password));
        QVERIFY(c.Wait([&] { return c.received.size() >= 2; }));
        QCOMPARE(c.Take(), answer);
        if (closes) {
            QVERIFY(c.Wait([&] { return c.closed; }));
        } else {
            // Off-line keeps the connection, and frames go nowhere.
            c.Send(Hex("7E"));
            QVERIFY(!c.Wait([&] { return c.closed || !c.received.isEmpty(); }, 200));
        }
    }

    void noPermission() {
        auto r = StartRelay({"--device", QString("%1=127.0.0.1:%2").arg(LabMac).arg(BoardPort()), "--account",
                             "carol:pw:02-51-4C-00-00-05"});
        QVERIFY(r);
        Client c;
        QVERIFY(c.Connect(r->Port()));
        c.socket.write(ClientBlock(Hex("5CCF7F01020A"), "carol", "pw"));
        QVERIFY(c.Wait([&] { return c.closed; }));
        QCOMPARE(c.Take(), QByteArray("$3"));
    }

    void boardUnreachableOrRefusing_data() {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<QString>("password");
        QTest::newRow("nobody listens") << false << "qorvu";
        QTest::newRow("wrong board password") << true << "wrong";
    }
    void boardUnreachableOrRefusing() {
        QFETCH(bool, listening);
        QFETCH(QString, password);
        QTcpServer probe; // a port that was free a moment ago
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 closedPort = probe.serverPort();
        probe.close();
        const QString device =
            QString("%1=127.0.0.1:%2:%3").arg(LabMac).arg(listening ? BoardPort() : closedPort).arg(password);
        auto r = StartRelay({"--device", device, "--account", "root:toor:*", "--board-timeout-ms", "2000"});
        QVERIFY(r);
        Client c;
        QVERIFY(c.Connect(r->Port()));
        c.socket.write(ClientBlock(Hex("5CCF7F01020A"), "root", "toor"));
        QVERIFY(c.Wait([&] { return c.received.size() >= 2; }));
        QCOMPARE(c.Take(), QByteArray("$0"));
        QVERIFY(!c.closed);
    }

    void nameFromConfigAndNoisyBoard() {
        const QString noisyMac = MACBufToStr(FWorld->Boards().at(1)->Config().mac);
        auto r =
            StartRelay({"--device", QString("%1=127.0.0.1:%2:pw2").arg(noisyMac).arg(BoardPort(1)),
                        "--device", QString("%1=127.0.0.1:%2").arg(LabMac).arg(BoardPort()), "--device-name",
                        QString("%1=Front door").arg(LabMac), "--account", "root:toor:*"});
        QVERIFY(r);
        Client named;
        QVERIFY(named.Connect(r->Port()));
        named.socket.write(ClientBlock(Hex("5CCF7F01020A"), "root", "toor"));
        QVERIFY(named.Wait([&] { return named.received.size() >= 12; }));
        QCOMPARE(named.Take(), QByteArray("$1Front door"));

        // A board that splits its replies and puts junk between them is still asked its name.
        Client noisy;
        QVERIFY(noisy.Connect(r->Port()));
        TBUF6 mac{};
        QVERIFY(MACStrToBuf(noisyMac, mac));
        noisy.socket.write(
            ClientBlock(QByteArray(reinterpret_cast<const char*>(mac.data()), 6), "root", "toor"));
        QVERIFY(noisy.Wait([&] { return noisy.received.size() >= 7; }));
        QCOMPARE(noisy.Take(), QByteArray("$1Noisy"));
        noisy.Send(Hex("7E"));
        QVERIFY(noisy.Wait([&] { return ReplyPayloads(noisy.received).size() == 1; }));
        QCOMPARE(ReplyPayloads(noisy.received), QList<QByteArray>{Hex("FE0804020201")});
    }

    void boardClosingClosesClient() {
        QString error;
        bool help = false;
        const auto cfg = sim::ParseWorldArgs(
            {"--listen", "127.0.0.1:0", "--no-search", "--no-router", "--board", "drop-after=300"}, &error,
            &help);
        QVERIFY(cfg);
        sim::World dropping(*cfg);
        QVERIFY(dropping.Start(&error));
        auto r = StartRelay({"--device",
                             QString("%1=127.0.0.1:%2")
                                 .arg(MACBufToStr(dropping.Boards().first()->Config().mac))
                                 .arg(dropping.Servers().first()->Port()),
                             "--account", "root:toor:*"});
        QVERIFY(r);
        Client c;
        QVERIFY(c.Connect(r->Port()));
        c.socket.write(ClientBlock(Hex("02514C000001"), "root", "toor"));
        QVERIFY(c.Wait([&] { return c.received.startsWith("$1"); }));
        QVERIFY(c.Wait([&] { return c.closed; }));
    }

    // "--name value" and "--name=value" alike, repeatable options in order, switches anywhere.
    void optionForms() {
        QString message;
        bool help = true;
        const auto cfg =
            relay::ParseRelayArgs({"--listen=127.0.0.2:9000", "--device", "5C-CF-7F-01-02-0A=h:1:p:w",
                                   "--device=5ccf7f01020b=g:2", "--device-name=5C-CF-7F-01-02-0B=Hall",
                                   "--account=alice:p:w:*", "-v", "--board-timeout-ms", "250"},
                                  &message, &help);
        QVERIFY2(cfg, qPrintable(message));
        QVERIFY(!help);
        QCOMPARE(cfg->listenAddress, QHostAddress("127.0.0.2"));
        QCOMPARE(cfg->port, 9000);
        QCOMPARE(cfg->devices.size(), 2);
        QCOMPARE(cfg->devices[0].host, QStringLiteral("h"));
        QCOMPARE(cfg->devices[0].password, QByteArray("p:w"));
        QCOMPARE(cfg->devices[1].port, quint16(2));
        QCOMPARE(cfg->devices[1].name, QStringLiteral("Hall"));
        QCOMPARE(cfg->accounts.size(), 1);
        QCOMPARE(cfg->accounts[0].password, QStringLiteral("p:w"));
        QVERIFY(cfg->accounts[0].allDevices);
        QVERIFY(cfg->verbose);
        QCOMPARE(cfg->boardTimeoutMs, 250);
        QVERIFY(!relay::ParseRelayArgs({"--listen=127.0.0.1:0", "-h"}, &message, &help));
        QVERIFY(help);
    }

    void options_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("device without port")
            << QStringList{"--device", "5C-CF-7F-01-02-0A=host"} << "MAC=HOST:PORT";
        QTest::newRow("device with bad MAC") << QStringList{"--device", "5C-CF=host:1"} << "MAC=HOST:PORT";
        QTest::newRow("account without boards") << QStringList{"--account", "alice:pw"} << "NAME:PASSWORD";
        QTest::newRow("account with bad MAC") << QStringList{"--account", "alice:pw:zz"} << "not a MAC";
        QTest::newRow("name for unknown device")
            << QStringList{"--device-name", "5C-CF-7F-01-02-0A=x"} << "no --device";
        QTest::newRow("unknown option") << QStringList{"--color", "red"} << "unknown option";
        QTest::newRow("unknown short option") << QStringList{"-x"} << "unknown option \"-x\"";
        QTest::newRow("missing value") << QStringList{"-v", "--listen"} << "--listen needs a value";
        QTest::newRow("switch with a value") << QStringList{"--verbose=yes"} << "--verbose";
        QTest::newRow("argument") << QStringList{"--listen=127.0.0.1:0", "now"}
                                  << "unexpected argument \"now\"";
        QTest::newRow("bad value after =") << QStringList{"--board-timeout-ms=0"} << "expected milliseconds";
    }
    void options() {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        QString message;
        bool help = false;
        QVERIFY(!relay::ParseRelayArgs(args, &message, &help));
        QVERIFY2(message.contains(error), qPrintable(message));
    }
};

QTEST_GUILESS_MAIN(tst_RelaySim)
#include "tst_RelaySim.moc"
