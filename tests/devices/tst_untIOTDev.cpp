// The device connection against a scripted board or relay server on 127.0.0.1: logins, the state
// machine, the send gate, name replies and forwarding.
#include "untIOTDev.h"

#include "PC1_128.h"
#include "nevIOTTCPProtocol.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

QString S(TIOTNETSTATE s) {
    return NetStateText(s);
}

QByteArray NameReply(quint8 code, const QByteArray& name) {
    QByteArray payload(1, char(code));
    payload += name.leftJustified(16, '\0', true);
    return BuildReplyFrame(payload);
}

// One device connection and the scripted peer it talks to.
struct TRig {
    QTcpServer Server;
    QPointer<QTcpSocket> Peer;
    TNEV_IOTDevConn Dev;
    QStringList States; // texts of every OnIOTDevState, in order
    QList<QByteArray> Forwarded;
    QList<TIOTDevField> Changes;
    qint64 Now = 0;

    TRig() {
        Server.listen(QHostAddress::LocalHost, 0);
        Dev.setLanPort(Server.serverPort());
        Dev.setLoginClock([this] { return Now; });
        Dev.OnIOTDevState = [this](TIOTNETSTYLE, TIOTNETSTATE s) { States << S(s); };
        Dev.OnIOTDevReceive = [this](TNEV_IOTDevConn* sender, const QByteArray& b) {
            if (sender == &Dev)
                Forwarded << b;
        };
        Dev.OnIOTDevChange = [this](TIOTDevField f) { Changes << f; };
    }
    ~TRig() { delete Peer; }

    // Waits until the peer has accepted the connection and read `bytes` bytes.
    bool Accept() {
        if (!QTest::qWaitFor([this] { return Server.hasPendingConnections(); }, 5000))
            return false;
        Peer = Server.nextPendingConnection();
        return Peer != nullptr;
    }
    QByteArray Read(int bytes) {
        QByteArray got;
        const bool complete = QTest::qWaitFor(
            [&] {
                got += Peer->readAll();
                return got.size() >= bytes;
            },
            5000);
        return complete ? got : QByteArray();
    }
    void Answer(const QByteArray& bytes) {
        Peer->write(bytes);
        Peer->flush();
    }
    bool PeerClosed() {
        return QTest::qWaitFor(
            [this] {
                Peer->readAll();
                return Peer->state() == QAbstractSocket::UnconnectedState;
            },
            5000);
    }

    bool LanLogin() {
        Dev.setDevIPStr(QStringLiteral("127.0.0.1"));
        Dev.setNetStyle(TIOTNETSTYLE::NET_LAN);
        return Accept() && Read(7) == "qorvu\r\n";
    }
    bool LanOnline() {
        if (!LanLogin())
            return false;
        Answer("OK");
        return QTest::qWaitFor([this] { return Dev.NetState() == TIOTNETSTATE::NET_OK; }, 5000);
    }
    bool RelayLogin() {
        Dev.setNetIPStr(QStringLiteral("127.0.0.1"));
        Dev.setNetPort(Server.serverPort());
        Dev.setNetStyle(TIOTNETSTYLE::NET_REMOTE);
        return Accept() && Read(RelayLoginBlockSize).size() == RelayLoginBlockSize;
    }
};

} // namespace

class tst_untIOTDev : public QObject {
    Q_OBJECT

private slots:

    void defaults() {
        TNEV_IOTDevConn d;
        QCOMPARE(d.DevNameStr(), QStringLiteral("No name"));
        QCOMPARE(d.DevMACStr(), QStringLiteral("AA-BB-CC-DD-EE-FF"));
        QCOMPARE(d.DevPasswordStr(), QStringLiteral("qorvu"));
        QCOMPARE(d.NetStyle(), TIOTNETSTYLE::NET_DEFAULT);
        QCOMPARE(d.NetState(), TIOTNETSTATE::NET_DISCNNT);
        QVERIFY(d.DevParam().LockArr.isEmpty());
        QVERIFY(d.DevParam().TouchMode);
        QCOMPARE(d.NetImage(), QStringLiteral("NetOffLine"));
        QCOMPARE(d.StateText(), QStringLiteral("Unlogged"));
        QCOMPARE(d.LastCmd(), quint8(0));
        QVERIFY(d.LastRequest().isEmpty());
        TCloudSession session;
        session.Logged = true;
        d.setRelaySession(session);
        QCOMPARE(d.StateText(), QString());
        QVERIFY(!CloudSession.Logged); // the program's login is not touched
    }

    void stateTexts_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::newRow("CNNT") << int(TIOTNETSTATE::NET_CNNT) << "No validation";
        QTest::newRow("CNNTING") << int(TIOTNETSTATE::NET_CNNTING) << "Connecting...";
        QTest::newRow("DISCNNT") << int(TIOTNETSTATE::NET_DISCNNT) << "Disconnected";
        QTest::newRow("PSDERR") << int(TIOTNETSTATE::NET_PSDERR) << "Password error";
        QTest::newRow("TIMEOUT") << int(TIOTNETSTATE::NET_TIMEOUT) << "Connect Timeout";
        QTest::newRow("OK") << int(TIOTNETSTATE::NET_OK) << "Device Online";
        QTest::newRow("OFFLINE") << int(TIOTNETSTATE::NET_OFFLINE) << "Device Offline";
        QTest::newRow("NOPER") << int(TIOTNETSTATE::NET_NOPER) << "Not available";
        QTest::newRow("CNNTFAILED") << int(TIOTNETSTATE::NET_CNNTFAILED) << "Connect failed";
    }
    void stateTexts() {
        QFETCH(int, state);
        QFETCH(QString, text);
        const auto st = TIOTNETSTATE(state);
        QCOMPARE(StateLabelText(TIOTNETSTYLE::NET_LAN, st, false), text);
        QCOMPARE(StateLabelText(TIOTNETSTYLE::NET_REMOTE, st, true), text);
        QCOMPARE(StateLabelText(TIOTNETSTYLE::NET_DEFAULT, st, false), QStringLiteral("Unlogged"));
        QCOMPARE(StateLabelText(TIOTNETSTYLE::NET_DEFAULT, st, true), QString());
        const bool ok = st == TIOTNETSTATE::NET_OK;
        QCOMPARE(NetImageName(TIOTNETSTYLE::NET_LAN, st), ok ? "WifiOnLine" : "WifiOffLine");
        QCOMPARE(NetImageName(TIOTNETSTYLE::NET_REMOTE, st), ok ? "NetOnLine" : "NetOffLine");
        QCOMPARE(NetImageName(TIOTNETSTYLE::NET_DEFAULT, st), QStringLiteral("NetOffLine"));
    }

    void lanLogin() {
        TRig r;
        r.Dev.setDevIPStr(QStringLiteral("127.0.0.1"));
        r.Dev.setNetStyle(TIOTNETSTYLE::NET_LAN);
        QVERIFY(r.Accept());
        QTRY_COMPARE(r.States, QStringList({S(TIOTNETSTATE::NET_CNNTING), S(TIOTNETSTATE::NET_CNNT)}));
        QCOMPARE(r.Dev.StateText(), QStringLiteral("No validation"));
        QVERIFY(r.Dev.TCPClient()->isKeepAlive());
        QCOMPARE(r.Read(7), QByteArray("qorvu\r\n")); // the password line and nothing else
        QCOMPARE(r.Dev.NetImage(), QStringLiteral("WifiOffLine"));
        r.Answer("OK");
        QTRY_COMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_OK);
        QCOMPARE(r.States.last(), QStringLiteral("Device Online"));
        QCOMPARE(r.Dev.NetImage(), QStringLiteral("WifiOnLine"));
        QVERIFY(r.Forwarded.isEmpty());
        r.Peer->waitForReadyRead(0);
        QVERIFY(r.Peer->readAll().isEmpty());
    }

    void lanPasswordRefusedWithNO() {
        TRig r;
        r.Dev.setDevPasswordStr(QStringLiteral("abc"));
        r.Dev.setDevIPStr(QStringLiteral("127.0.0.1"));
        r.Dev.setNetStyle(TIOTNETSTYLE::NET_LAN);
        QVERIFY(r.Accept());
        QCOMPARE(r.Read(5), QByteArray("abc\r\n"));
        r.Answer("NO");
        QTRY_COMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_PSDERR);
        QVERIFY(r.PeerClosed());
        QVERIFY(!r.Dev.Connected());
        QCOMPARE(r.States.last(), QStringLiteral("Password error"));
        QCOMPARE(r.States.count(QStringLiteral("Disconnected")), 0);
    }

    // A board that drops the connection soon after the password line refused it; one that drops
    // it later, or after accepting the password, was merely lost.
    void lanDrop_data() {
        QTest::addColumn<bool>("acceptedFirst");
        QTest::addColumn<int>("dropAfterMs");
        QTest::addColumn<int>("expected");
        QTest::newRow("unanswered, 500 ms") << false << 500 << int(TIOTNETSTATE::NET_PSDERR);
        QTest::newRow("unanswered, exactly 1200 ms") << false << 1200 << int(TIOTNETSTATE::NET_PSDERR);
        QTest::newRow("unanswered, 1201 ms") << false << 1201 << int(TIOTNETSTATE::NET_DISCNNT);
        QTest::newRow("unanswered, 5 s") << false << 5000 << int(TIOTNETSTATE::NET_DISCNNT);
        QTest::newRow("after OK, 500 ms") << true << 500 << int(TIOTNETSTATE::NET_DISCNNT);
        QTest::newRow("after OK, 5 s") << true << 5000 << int(TIOTNETSTATE::NET_DISCNNT);
    }
    void lanDrop() {
        QFETCH(bool, acceptedFirst);
        QFETCH(int, dropAfterMs);
        QFETCH(int, expected);
        TRig r;
        r.Now = 100000;
        QVERIFY(acceptedFirst ? r.LanOnline() : r.LanLogin());
        r.Now += dropAfterMs;
        r.Peer->disconnectFromHost();
        QTRY_COMPARE(int(r.Dev.NetState()), expected);
        QVERIFY(!r.Dev.Connected());
        QVERIFY(!r.Dev.TCPClient()->isKeepAlive());
    }

    // Reconnecting while the login is still unanswered closes the connection ourselves: that
    // says nothing about the password.
    void ownCloseIsNotAPasswordError() {
        TRig r;
        QVERIFY(r.LanLogin());
        r.States.clear();
        r.Dev.setNetStyle(TIOTNETSTYLE::NET_LAN);
        QVERIFY(r.PeerClosed());
        QCOMPARE(r.States.value(0), QStringLiteral("Disconnected"));
        QTRY_COMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_CNNT);
        QVERIFY(!r.States.contains(QStringLiteral("Password error")));
    }

    void defaultStyleClosesWithoutChangingTheState() {
        TRig r;
        QVERIFY(r.LanOnline());
        const int before = r.States.size();
        r.Dev.setNetStyle(TIOTNETSTYLE::NET_DEFAULT);
        QVERIFY(r.PeerClosed());
        QVERIFY(!r.Dev.Connected());
        QCOMPARE(r.States.size(), before);
        QCOMPARE(r.Dev.StateText(), QStringLiteral("Unlogged"));
        QCOMPARE(r.Dev.NetImage(), QStringLiteral("NetOffLine"));
        // Nothing goes out on a closed connection, whatever the state says.
        QVERIFY(!r.Dev.TCPSend(BuildFrame(QByteArray::fromHex("0203"))));
        QCOMPARE(r.Dev.LastCmd(), quint8(0));
    }

    void connectFailures_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("expected");
        QTest::newRow("no address yet") << QString() << int(TIOTNETSTATE::NET_DISCNNT);
        QTest::newRow("refused") << QStringLiteral("127.0.0.1") << int(TIOTNETSTATE::NET_CNNTFAILED);
    }
    void connectFailures() {
        QFETCH(QString, host);
        QFETCH(int, expected);
        TRig r;
        r.Server.close(); // nobody listens on the port any more
        r.Dev.setDevIPStr(host);
        r.Dev.setNetStyle(TIOTNETSTYLE::NET_LAN);
        QTRY_COMPARE(int(r.Dev.NetState()), expected);
    }

    void relayLoginBlock() {
        TRig r;
        TCloudSession session;
        QVERIFY(session.SetAccount(QStringLiteral("alice@example")));
        QVERIFY(session.SetPassword(QStringLiteral("s3cret")));
        session.Logged = true;
        r.Dev.setRelaySession(session);
        r.Dev.setDevMACStr(QStringLiteral("5C-CF-7F-01-02-0A"));
        r.Dev.setNetIPStr(QStringLiteral("127.0.0.1"));
        r.Dev.setNetPort(r.Server.serverPort());
        r.Dev.setNetStyle(TIOTNETSTYLE::NET_REMOTE);
        QVERIFY(r.Accept());
        const QByteArray wire = r.Read(RelayLoginBlockSize);
        QCOMPARE(wire.size(), RelayLoginBlockSize);
        QCOMPARE(wire, BuildRelayLoginBlock(r.Dev.DevMACBuf(), session));
        QCOMPARE(r.Dev.LastCmd(), quint8(0)); // not a frame

        QByteArray plain = PC1DecryptBytes(RelayLoginKey, wire);
        std::reverse(plain.begin(), plain.end());
        QCOMPARE(plain.size(), 70);
        QCOMPARE(plain.mid(0, 6), QByteArray::fromHex("5CCF7F01020A"));
        QCOMPARE(plain.mid(6, 16), QByteArray("alice@example").leftJustified(16, '\0'));
        QCOMPARE(plain.mid(22, 16), QByteArray(16, '\0'));
        QCOMPARE(plain.mid(38, 16), QByteArray("s3cret").leftJustified(16, '\0'));
        QCOMPARE(plain.mid(54, 16), QByteArray(16, '\0'));
        QVERIFY(wire != QByteArray(plain).mid(0)); // enciphered on the wire
        QCOMPARE(r.States, QStringList({S(TIOTNETSTATE::NET_CNNTING), S(TIOTNETSTATE::NET_CNNT)}));
        QCOMPARE(r.Dev.NetImage(), QStringLiteral("NetOffLine"));
    }

    void relayAnswers_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("forwarded");
        QTest::newRow("$0 off-line") << QByteArray("$0") << int(TIOTNETSTATE::NET_OFFLINE) << false << "Old"
                                     << false;
        QTest::newRow("$1 online, name kept")
            << QByteArray("$1") << int(TIOTNETSTATE::NET_OK) << false << "Old" << false;
        QTest::newRow("$1 with a name") << QByteArray("$1Lab \xE5\xAE\xB6") << int(TIOTNETSTATE::NET_OK)
                                        << false << QStringLiteral("Lab 家") << false;
        QTest::newRow("$2 account password")
            << QByteArray("$2") << int(TIOTNETSTATE::NET_PSDERR) << true << "Old" << false;
        QTest::newRow("$3 no permission")
            << QByteArray("$3") << int(TIOTNETSTATE::NET_NOPER) << true << "Old" << false;
        QTest::newRow("$4 no permission")
            << QByteArray("$4") << int(TIOTNETSTATE::NET_NOPER) << true << "Old" << false;
        // Neither is a relay answer: passed on like data, and reported as an unexpected answer.
        QTest::newRow("$5 is data") << QByteArray("$5") << int(TIOTNETSTATE::NET_CNNT) << false << "Old"
                                    << true;
        QTest::newRow("OK is data on the relay")
            << QByteArray("OK") << int(TIOTNETSTATE::NET_CNNT) << false << "Old" << true;
    }
    void relayAnswers() {
        QFETCH(QByteArray, answer);
        QFETCH(int, state);
        QFETCH(bool, closed);
        QFETCH(QString, name);
        QFETCH(bool, forwarded);
        TRig r;
        r.Dev.setDevNameStr(QStringLiteral("Old"));
        r.Dev.setClickState(true);
        QVERIFY(r.RelayLogin());
        r.Answer(answer);
        if (forwarded)
            QTRY_COMPARE(r.Forwarded, QList<QByteArray>{answer});
        else
            QTRY_COMPARE(int(r.Dev.NetState()), state);
        QCOMPARE(int(r.Dev.NetState()), state);
        QCOMPARE(r.Dev.DevNameStr(), name);
        QCOMPARE(r.Dev.UnexpectedLoginAnswer(), forwarded ? answer : QByteArray());
        if (!forwarded)
            QVERIFY(r.Forwarded.isEmpty());
        if (closed) {
            QVERIFY(r.PeerClosed());
            QCOMPARE(int(r.Dev.NetState()), state); // the close does not overwrite the refusal
            QCOMPARE(r.States.count(QStringLiteral("Disconnected")), 0);
        } else {
            QVERIFY(r.Dev.Connected());
            r.Peer->disconnectFromHost();
            QTRY_COMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_DISCNNT);
        }
    }

    // Boards on weak WiFi and relays split TCP segments anywhere: the answer counts once enough
    // of it has arrived. "$1" takes the name up to the end of the delivery that completes it.
    void splitLoginAnswers_data() {
        QTest::addColumn<bool>("relay");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<QByteArray>>("forwarded");
        const auto split = [](bool relay, const QByteArray& answer, int state, const auto& nameAt,
                              const auto& dataAt) {
            for (int at = 1; at < answer.size(); ++at)
                QTest::addRow("%s split at %d", answer.constData(), at)
                    << relay << answer.left(at) << answer.mid(at) << state << nameAt(at) << dataAt(at);
        };
        const auto none = [](int) { return QList<QByteArray>{}; };
        const auto old = [](int) { return QStringLiteral("Old"); };
        split(false, "OK", int(TIOTNETSTATE::NET_OK), old, none);
        split(false, "NO", int(TIOTNETSTATE::NET_PSDERR), old, none);
        const QByteArray relayAnswer = "$1name";
        split(
            true, relayAnswer, int(TIOTNETSTATE::NET_OK),
            [&](int at) {
                return at <= 2 ? (at == 1 ? QStringLiteral("name") : QStringLiteral("Old"))
                               : QString::fromLatin1(relayAnswer.mid(2, at - 2));
            },
            [&](int at) { return at < 2 ? QList<QByteArray>{} : QList<QByteArray>{relayAnswer.mid(at)}; });
    }
    void splitLoginAnswers() {
        QFETCH(bool, relay);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(int, state);
        QFETCH(QString, name);
        QFETCH(QList<QByteArray>, forwarded);
        TRig r;
        r.Dev.setDevNameStr(QStringLiteral("Old"));
        r.Dev.setClickState(true);
        QVERIFY(relay ? r.RelayLogin() : r.LanLogin());
        // Deliver the two parts as two blocks, exactly as the transport would.
        auto deliver = r.Dev.TCPClient()->OnReceiveData;
        deliver(r.Dev.TCPClient(), first);
        if (first.size() < 2) // not yet decided
            QCOMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_CNNT);
        deliver(r.Dev.TCPClient(), second);
        QCOMPARE(int(r.Dev.NetState()), state);
        QCOMPARE(r.Dev.DevNameStr(), name);
        QCOMPARE(r.Forwarded, forwarded);
        QVERIFY(r.Dev.UnexpectedLoginAnswer().isEmpty());
    }

    // An answer that is neither "OK"/"NO" nor "$0".."$4" is reported as such at once instead of
    // leaving the login to time out; the bytes still go on like data.
    void unexpectedLoginAnswers_data() {
        QTest::addColumn<bool>("relay");
        QTest::addColumn<QList<QByteArray>>("blocks");
        QTest::addColumn<QByteArray>("reported");
        QTest::newRow("LAN, text") << false << QList<QByteArray>{"HTTP/1.0 400"}
                                   << QByteArray("HTTP/1.0 400");
        QTest::newRow("LAN, one odd byte") << false << QList<QByteArray>{"x"} << QByteArray("x");
        QTest::newRow("LAN, O then k") << false << QList<QByteArray>{"O", "k"} << QByteArray("Ok");
        QTest::newRow("LAN, a frame before the answer")
            << false << QList<QByteArray>{BuildReplyFrame(QByteArray::fromHex("8203 01"))}
            << BuildReplyFrame(QByteArray::fromHex("8203 01"));
        QTest::newRow("relay, $ then 9") << true << QList<QByteArray>{"$", "9"} << QByteArray("$9");
        QTest::newRow("relay, no $") << true << QList<QByteArray>{"#1"} << QByteArray("#1");
    }
    void unexpectedLoginAnswers() {
        QFETCH(bool, relay);
        QFETCH(QList<QByteArray>, blocks);
        QFETCH(QByteArray, reported);
        TRig r;
        r.Dev.setClickState(true);
        QVERIFY(relay ? r.RelayLogin() : r.LanLogin());
        auto deliver = r.Dev.TCPClient()->OnReceiveData;
        for (const QByteArray& b : blocks)
            deliver(r.Dev.TCPClient(), b);
        QCOMPARE(r.Dev.UnexpectedLoginAnswer(), reported);
        QCOMPARE(r.Forwarded, QList<QByteArray>{reported});
        QCOMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_CNNT);
        // A real answer may still follow.
        deliver(r.Dev.TCPClient(), relay ? QByteArray("$1") : QByteArray("OK"));
        QCOMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_OK);
    }

    // An off-line board that comes back is announced by the relay again, which may be split too.
    void relayBoardComesBackOnline() {
        TRig r;
        r.Dev.setClickState(true);
        QVERIFY(r.RelayLogin());
        auto deliver = r.Dev.TCPClient()->OnReceiveData;
        deliver(r.Dev.TCPClient(), "$0");
        QCOMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_OFFLINE);
        deliver(r.Dev.TCPClient(), "$");
        QCOMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_OFFLINE);
        deliver(r.Dev.TCPClient(), "1Lab");
        QCOMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_OK);
        QCOMPARE(r.Dev.DevNameStr(), QStringLiteral("Lab"));
        // Later reports arrive whole, as before.
        deliver(r.Dev.TCPClient(), "$0");
        QCOMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_OFFLINE);
        QVERIFY(r.Forwarded.isEmpty());
        QVERIFY(r.Dev.UnexpectedLoginAnswer().isEmpty());
    }

    // Bytes after the answer in the same segment are data, not lost and not part of the name.
    void answerFollowedByAFrame_data() {
        QTest::addColumn<bool>("relay");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("name");
        QTest::newRow("LAN OK") << false << QByteArray("OK") << "Old";
        QTest::newRow("relay $1 with a name") << true << QByteArray("$1Lab") << "Lab";
        QTest::newRow("relay $1 alone") << true << QByteArray("$1") << "Old";
    }
    void answerFollowedByAFrame() {
        QFETCH(bool, relay);
        QFETCH(QByteArray, answer);
        QFETCH(QString, name);
        const QByteArray frame = BuildReplyFrame(QByteArray::fromHex("820301"));
        TRig r;
        r.Dev.setDevNameStr(QStringLiteral("Old"));
        r.Dev.setClickState(true);
        QVERIFY(relay ? r.RelayLogin() : r.LanLogin());
        r.Dev.TCPClient()->OnReceiveData(r.Dev.TCPClient(), answer + frame);
        QCOMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_OK);
        QCOMPARE(r.Dev.DevNameStr(), name);
        QCOMPARE(r.Forwarded, QList<QByteArray>{frame});
    }

    // Once logged in, "OK" and "NO" are data: a reply split so that two bytes arrive alone must
    // not be taken for a login answer.
    void loginAnswersAfterLoginAreData() {
        TRig r;
        r.Dev.setClickState(true);
        QVERIFY(r.LanOnline());
        for (const QByteArray& b : {QByteArray("OK"), QByteArray("NO")})
            r.Dev.TCPClient()->OnReceiveData(r.Dev.TCPClient(), b);
        QCOMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_OK);
        QCOMPARE(r.Forwarded, (QList<QByteArray>{"OK", "NO"}));
    }

    // Each connection keeps its own last command: the replies of one board are matched against
    // what was sent to that board only.
    void lastCommandBelongsToItsConnection_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("codeMatches");
        QTest::addColumn<bool>("answers");
        QTest::newRow("02 03 -> 82 03")
            << QByteArray::fromHex("0203") << QByteArray::fromHex("820301") << true << true;
        QTest::newRow("02 03 -> 82 05: other output")
            << QByteArray::fromHex("0203") << QByteArray::fromHex("820501") << true << false;
        QTest::newRow("02 03 -> 83 03")
            << QByteArray::fromHex("0203") << QByteArray::fromHex("830301") << false << false;
        QTest::newRow("7E -> FE") << QByteArray::fromHex("7E") << QByteArray::fromHex("FE0400000002") << true
                                  << true;
        QTest::newRow("7F -> FF") << QByteArray::fromHex("7F") << QByteArray::fromHex("FF7F") << true
                                  << false;
    }
    void lastCommandBelongsToItsConnection() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(bool, codeMatches);
        QFETCH(bool, answers);
        TRig a;
        TRig b;
        QVERIFY(a.LanOnline());
        QVERIFY(b.LanOnline());
        QVERIFY(a.Dev.TCPSend(BuildFrame(request)));
        QVERIFY(b.Dev.TCPSend(BuildFrame(QByteArray::fromHex("63"))));
        QCOMPARE(a.Dev.LastCmd(), quint8(request.at(0)));
        QCOMPARE(a.Dev.LastRequest(), request);
        QCOMPARE(a.Dev.ReplyMatchesLastCmd(quint8(reply.at(0))), codeMatches);
        QCOMPARE(a.Dev.AnswersLastRequest(reply), answers);
        QCOMPARE(b.Dev.LastCmd(), quint8(0x63));
        QVERIFY(!b.Dev.ReplyMatchesLastCmd(quint8(reply.at(0))));
        QVERIFY(!b.Dev.AnswersLastRequest(reply));
    }

    void relayHostZeroDoesNotConnect() {
        TRig r;
        r.Dev.setNetIPStr(QStringLiteral("0.0.0.0"));
        r.Dev.setNetPort(r.Server.serverPort());
        r.Dev.setNetStyle(TIOTNETSTYLE::NET_REMOTE);
        QVERIFY(r.Changes.contains(TIOTDevField::NetStyle));
        QVERIFY(r.States.isEmpty());
        QVERIFY(!r.Dev.TCPClient()->Connecting());
        QCOMPARE(r.Dev.NetImage(), QStringLiteral("NetOffLine"));
        QCOMPARE(r.Dev.StateText(), QStringLiteral("Disconnected"));
    }

    void sendGate() {
        TRig r;
        const QByteArray frame = BuildFrame(QByteArray::fromHex("0203")); // 55 AA 00 03 00 02 03 08
        QCOMPARE(frame, QByteArray::fromHex("55AA00030002 0308"));
        QVERIFY(!r.Dev.TCPSend(frame)); // NET_DISCNNT
        QVERIFY(!r.Dev.TCPSend(QStringLiteral("x")));
        QCOMPARE(r.Dev.LastCmd(), quint8(0));

        QVERIFY(r.LanLogin()); // NET_CNNT: both kinds go out
        QVERIFY(r.Dev.TCPSend(QStringLiteral("again")));
        QCOMPARE(r.Read(7), QByteArray("again\r\n"));
        r.Answer("OK");
        QTRY_COMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_OK);
        QVERIFY(!r.Dev.TCPSend(QStringLiteral("text"))); // NET_OK: frames only
        QVERIFY(r.Dev.TCPSend(frame));
        QCOMPARE(r.Dev.LastCmd(), quint8(0x02));
        QCOMPARE(r.Dev.LastRequest(), QByteArray::fromHex("0203"));
        QCOMPARE(r.Read(8), frame);
        QVERIFY(r.Dev.TCPSend(QByteArray::fromHex("55AA"))); // too short to carry a code
        QCOMPARE(r.Dev.LastCmd(), quint8(0x02));
        QCOMPARE(r.Dev.LastRequest(), QByteArray::fromHex("0203"));
    }

    void receivedBlocks_data() {
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("forwarded");
        const QByteArray reply = QByteArray::fromHex("AA55000400820301 8A");
        QTest::newRow("reply, selected") << true << reply << "Old" << true;
        QTest::newRow("reply, not selected") << false << reply << "Old" << false;
        QTest::newRow("name reply 244, not selected")
            << false << NameReply(244, "Garage") << "Garage" << false;
        QTest::newRow("name reply 245, selected") << true << NameReply(245, "Attic") << "Attic" << true;
        QTest::newRow("name reply of 16 bytes")
            << false << NameReply(244, "0123456789ABCDEF") << "0123456789ABCDEF" << false;
        QByteArray badSum = NameReply(244, "Garage");
        badSum[22] = char(badSum[22] + 1);
        QTest::newRow("name reply, wrong sum") << true << badSum << "Old" << true;
        QTest::newRow("name reply with a trailing byte") << false << NameReply(244, "Garage") + "x"
                                                         << "Old" << false;
        QTest::newRow("other code, 23 bytes") << false << NameReply(0xE3, "Garage") << "Old" << false;
        // A short frame followed by bytes that would be taken for a name.
        const QByteArray shortFrame = BuildReplyFrame(QByteArray::fromHex("F4"));
        QTest::newRow("short name frame padded to 23")
            << false << shortFrame + QByteArray("Garbage").leftJustified(23 - shortFrame.size(), 'x') << "Old"
            << false;
        QTest::newRow("two bytes that are not OK or NO") << true << QByteArray("ok") << "Old" << true;
    }
    void receivedBlocks() {
        QFETCH(bool, selected);
        QFETCH(QByteArray, block);
        QFETCH(QString, name);
        QFETCH(bool, forwarded);
        TRig r;
        r.Dev.setDevNameStr(QStringLiteral("Old"));
        QVERIFY(r.LanOnline());
        r.Dev.setClickState(selected);
        // See each block right after the connection has handled it.
        QByteArray handled;
        auto handler = r.Dev.TCPClient()->OnReceiveData;
        r.Dev.TCPClient()->OnReceiveData = [&](TwwTCPClient* c, const QByteArray& b) {
            handler(c, b);
            handled += b;
        };
        r.Answer(block);
        QTRY_COMPARE(handled, block);
        QCOMPARE(r.Forwarded, forwarded ? QList<QByteArray>{block} : QList<QByteArray>{});
        QCOMPARE(r.Dev.DevNameStr(), name);
        QCOMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_OK);
    }

    void searchAnswerInit() {
        TRig r;
        TUDPRcvRcd rcd;
        rcd.DevType = 2;
        rcd.DevID = 0x06;
        rcd.DevIP = {127, 0, 0, 1};
        rcd.DevMAC = {0x5C, 0xCF, 0x7F, 0x01, 0x02, 0x0A};
        const QByteArray name = "Lab";
        std::copy(name.begin(), name.end(), rcd.DevName.begin());
        r.Dev.Init(rcd);
        QCOMPARE(r.Dev.CtrlByte(), quint8(6));
        QCOMPARE(r.Dev.DevType(), quint8(2));
        QCOMPARE(r.Dev.DevNameStr(), QStringLiteral("Lab"));
        QCOMPARE(r.Dev.DevMACStr(), QStringLiteral("5C-CF-7F-01-02-0A"));
        QCOMPARE(r.Dev.DevIPStr(), QStringLiteral("127.0.0.1"));
        QCOMPARE(r.Dev.NetStyle(), TIOTNETSTYLE::NET_LAN);
        QVERIFY(r.Accept());
        QCOMPARE(r.Read(7), QByteArray("qorvu\r\n"));
        r.Answer("OK");
        QTRY_COMPARE(r.Dev.NetState(), TIOTNETSTATE::NET_OK);

        // The same board answering again at the same address keeps its connection.
        const int states = r.States.size();
        r.Dev.Init(rcd);
        QCOMPARE(r.States.size(), states);
        QVERIFY(r.Dev.Connected());

        // At a new address it reconnects there (127.0.0.2 is loopback; nobody listens on it).
        rcd.DevIP = {127, 0, 0, 2};
        r.Dev.Init(rcd);
        QCOMPARE(r.Dev.DevIPStr(), QStringLiteral("127.0.0.2"));
        QCOMPARE(r.States.value(states), QStringLiteral("Disconnected"));
        QCOMPARE(r.States.value(states + 1), QStringLiteral("Connecting..."));
        QVERIFY(r.PeerClosed());
    }

    void storedAndCloudInit() {
        TRig r;
        TIniDev ini;
        ini.Name = QStringLiteral("Kitchen");
        ini.MAC = QStringLiteral("5C-CF-7F-01-02-0B");
        ini.IP = QStringLiteral("127.0.0.1");
        ini.Port = r.Server.serverPort();
        ini.DevPassword = QStringLiteral("pw1");
        ini.DevType = 4;
        ini.CtrlByte = 0x04;
        ini.Activation = true;
        ini.DevParam.LockArr = {true, false};
        ini.DevParam.TouchMode = false;
        r.Dev.Init(ini, true);
        QCOMPARE(r.Dev.DevNameStr(), ini.Name);
        QCOMPARE(r.Dev.DevMACBuf(), (TBUF6{0x5C, 0xCF, 0x7F, 0x01, 0x02, 0x0B}));
        QCOMPARE(r.Dev.NetIPStr(), ini.IP);
        QCOMPARE(r.Dev.NetPort(), ini.Port);
        QCOMPARE(r.Dev.DevPasswordStr(), QStringLiteral("pw1"));
        QCOMPARE(r.Dev.DevType(), quint8(4));
        QCOMPARE(r.Dev.CtrlByte(), quint8(4));
        QVERIFY(r.Dev.Activation());
        QCOMPARE(r.Dev.DevParam(), ini.DevParam);
        QCOMPARE(r.Dev.NetStyle(), TIOTNETSTYLE::NET_DEFAULT); // restored at start-up: no connection
        QVERIFY(r.States.isEmpty());

        ini.DevPassword.clear(); // an empty stored password keeps the current one
        r.Dev.Init(ini, false);  // from the cloud: through the relay server
        QCOMPARE(r.Dev.DevPasswordStr(), QStringLiteral("pw1"));
        QCOMPARE(r.Dev.NetStyle(), TIOTNETSTYLE::NET_REMOTE);
        QVERIFY(r.Accept());
        QCOMPARE(r.Read(RelayLoginBlockSize).size(), RelayLoginBlockSize);
    }

    void names() {
        TNEV_IOTDevConn d;
        d.setDevNameStr(QString()); // changes nothing
        QCOMPARE(d.DevNameStr(), QStringLiteral("No name"));
        d.setDevNameStr(QStringLiteral("  A name longer than sixteen bytes "));
        QCOMPARE(d.DevNameStr(), QStringLiteral("  A name longer than sixteen bytes "));
        QCOMPARE(Utf8BufToStr(d.DevNameBuf()), QStringLiteral("A name longer th"));
        // Six three-byte characters do not fit in 16 bytes: the cut one is dropped, not the name.
        TBUF16 cut{};
        const QByteArray utf8 = QStringLiteral("温度传感器一").toUtf8();
        std::copy_n(utf8.begin(), 16, cut.begin());
        d.setDevNameBuf(cut);
        QCOMPARE(d.DevNameStr(), QStringLiteral("温度传感器"));
        d.setDevMACStr(QStringLiteral("5c-cf-7f-01-02-0a"));
        QCOMPARE(d.DevMACStr(), QStringLiteral("5c-cf-7f-01-02-0a")); // shown as given
        QCOMPARE(d.DevMACBuf(), (TBUF6{0x5C, 0xCF, 0x7F, 0x01, 0x02, 0x0A}));
        d.setDevMACBuf(TBUF6{0xAB, 0x01, 0, 0, 0, 0xFF});
        QCOMPARE(d.DevMACStr(), QStringLiteral("AB-01-00-00-00-FF"));
    }

    void destroyedFromItsOwnEvents_data() {
        QTest::addColumn<QString>("at");
        QTest::newRow("Connecting...") << "Connecting...";
        QTest::newRow("No validation") << "No validation";
        QTest::newRow("Device Online") << "Device Online";
        QTest::newRow("Password error") << "Password error";
        QTest::newRow("Disconnected") << "Disconnected";
    }
    void destroyedFromItsOwnEvents() {
        QFETCH(QString, at);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        auto dev = std::make_unique<TNEV_IOTDevConn>();
        QStringList states;
        dev->setLanPort(server.serverPort());
        dev->setLoginDropMs(-1); // any drop counts as a loss, not as a refused password
        dev->setDevIPStr(QStringLiteral("127.0.0.1"));
        dev->OnIOTDevState = [&](TIOTNETSTYLE, TIOTNETSTATE s) {
            states << S(s);
            if (S(s) == at)
                dev.reset();
        };
        dev->setNetStyle(TIOTNETSTYLE::NET_LAN);
        std::unique_ptr<QTcpSocket> peer;
        if (dev) {
            QTRY_VERIFY(!dev || server.hasPendingConnections());
            if (server.hasPendingConnections())
                peer.reset(server.nextPendingConnection());
        }
        if (dev && peer) {
            QTRY_VERIFY(!dev || peer->bytesAvailable() >= 7 || peer->waitForReadyRead(0));
            if (at == "Device Online")
                peer->write("OK");
            else if (at == "Password error")
                peer->write("NO");
            else if (at == "Disconnected")
                peer->disconnectFromHost();
            peer->flush();
        }
        QTRY_VERIFY(!dev);
        QCOMPARE(states.last(), at);
        const QStringList before = states;
        if (peer)
            QTRY_VERIFY(peer->state() == QAbstractSocket::UnconnectedState || !peer->waitForReadyRead(0));
        QCOMPARE(states, before);
    }
};

QTEST_GUILESS_MAIN(tst_untIOTDev)
#include "tst_untIOTDev.moc"
