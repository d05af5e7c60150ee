// TwwTCPClient against peers on 127.0.0.1: events and their order, time-outs, bytes on the wire,
// keep-alive, and destruction at every stage.
#include "untTCPClient.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

// Writes every event of a client into one log, in the order raised.
struct TEventLog {
    QStringList Events;
    QByteArray Received;

    void Attach(TwwTCPClient& c) {
        c.OnConnecting = [this](TwwTCPClient*) { Events << "connecting"; };
        c.OnConnect = [this](TwwTCPClient*) { Events << "connect"; };
        c.OnDisconnect = [this](TwwTCPClient*) { Events << "disconnect"; };
        c.OnConnectError = [this](TwwTCPClient*, TTCPERRCODE e) {
            Events << QStringLiteral("error:%1").arg(int(e));
        };
        c.OnReceiveData = [this](TwwTCPClient*, const QByteArray& b) {
            if (b.isEmpty())
                Events << "empty block";
            Received += b;
        };
    }
};

// A port on 127.0.0.1 that nobody listens on (refuses connections).
quint16 ClosedPort() {
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = s.serverPort();
    s.close();
    return port;
}

// A listener whose accept queue is full, so that further handshakes are left unanswered.
class TFullBacklog {
public:
    TFullBacklog() {
        FListen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(FListen, 0) != 0)
            return;
        socklen_t len = sizeof a;
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len);
        Port = ntohs(a.sin_port);
        for (int i = 0; i < 3; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
            ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
            FFillers.push_back(fd);
        }
    }
    ~TFullBacklog() {
        for (int fd : FFillers)
            ::close(fd);
        ::close(FListen);
    }
    quint16 Port = 0;

private:
    int FListen = -1;
    std::vector<int> FFillers;
};

int IntSockOpt(QTcpSocket* s, int level, int name) {
    int v = -1;
    socklen_t len = sizeof v;
    if (!s || ::getsockopt(int(s->socketDescriptor()), level, name, &v, &len) != 0)
        return -1;
    return v;
}

} // namespace

class tst_untTCPClient : public QObject {
    Q_OBJECT

private:
    QTcpServer FServer;
    QPointer<QTcpSocket> FPeer;

    // Connects the client to FServer and waits until both ends are up.
    bool ConnectToServer(TwwTCPClient& c, TEventLog& log) {
        if (!c.Connect(QStringLiteral("127.0.0.1"), FServer.serverPort()))
            return false;
        if (!QTest::qWaitFor(
                [&] { return log.Events.contains("connect") && FServer.hasPendingConnections(); }, 5000))
            return false;
        FPeer = FServer.nextPendingConnection();
        return FPeer != nullptr;
    }

private slots:
    void init() { QVERIFY(FServer.listen(QHostAddress::LocalHost, 0)); }
    void cleanup() {
        delete FPeer;
        FServer.close();
    }

    void sendWithoutConnectionRaisesNothing() {
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(!c.Send(QByteArray("\x55\xAA", 2)));
        QVERIFY(!c.Send(QStringLiteral("qorvu")));
        QVERIFY(!c.Connected());
        QVERIFY(log.Events.isEmpty());
    }

    void connectRaisesConnectingThenConnect() {
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(ConnectToServer(c, log));
        QCOMPARE(log.Events, QStringList({"connecting", "connect"}));
        QVERIFY(c.Connected());
        QCOMPARE(IntSockOpt(c.IdTCPClient(), IPPROTO_TCP, TCP_NODELAY), 1);
    }

    void connectByHostName() {
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(c.Connect(QStringLiteral("localhost"), FServer.serverPort()));
        QTRY_VERIFY(log.Events.contains("connect") || log.Events.contains("error:3"));
        QCOMPARE(log.Events, QStringList({"connecting", "connect"}));
    }

    void startFailures_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("empty host") << QString() << 8899;
        QTest::newRow("blank host") << QStringLiteral("  ") << 8899;
        QTest::newRow("port 0") << QStringLiteral("127.0.0.1") << 0;
    }
    void startFailures() {
        QFETCH(QString, host);
        QFETCH(int, port);
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(!c.Connect(host, quint16(port)));
        QCOMPARE(log.Events, QStringList({"error:0"})); // raised inside Connect
        QVERIFY(!c.Connecting());
    }

    void refusedConnection() {
        const quint16 port = ClosedPort();
        QVERIFY(port != 0);
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(c.Connect(QStringLiteral("127.0.0.1"), port));
        QTRY_COMPARE(log.Events, QStringList({"connecting", "error:3"}));
        QVERIFY(!c.Connected());
        QVERIFY(c.IdTCPClient() == nullptr);
    }

    void unansweredHandshakeTimesOut() {
        TFullBacklog listener;
        QVERIFY(listener.Port != 0);
        TwwTCPClient c;
        c.setConnectTimeoutMs(200);
        TEventLog log;
        log.Attach(c);
        QVERIFY(c.Connect(QStringLiteral("127.0.0.1"), listener.Port));
        QTRY_COMPARE(log.Events, QStringList({"connecting", "error:3"}));
        QVERIFY(!c.Connected());
    }

    void bytesOnTheWire_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("password line") << QStringLiteral("qorvu") << QByteArray("qorvu\r\n");
        QTest::newRow("empty line") << QString() << QByteArray("\r\n");
        QTest::newRow("non-ASCII becomes ?") << QStringLiteral("pä€x") << QByteArray("p??x\r\n");
        QTest::newRow("one ? per character beyond 16 bits")
            << QString::fromUtf8("a\xF0\x9F\x98\x80z") << QByteArray("a?z\r\n");
    }
    void bytesOnTheWire() {
        QFETCH(QString, text);
        QFETCH(QByteArray, wire);
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(ConnectToServer(c, log));
        QVERIFY(c.Send(text));
        const QByteArray frame = QByteArray::fromHex("55AA0003000203 08");
        QVERIFY(c.Send(frame));
        QByteArray got;
        QTRY_COMPARE((got += FPeer->readAll()), wire + frame);
        QVERIFY(!log.Events.contains("error:2"));
    }

    // Writes go to the system directly while nothing waits before them; once the system has taken
    // only part of one, later writes must queue behind the rest, even when the system has room
    // again before the client's event loop has run.
    void sendsKeepTheirOrderWhenTheSystemTakesOnlyPart() {
        const int small = 4096;
        ::setsockopt(int(FServer.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(ConnectToServer(c, log));
        ::setsockopt(int(c.IdTCPClient()->socketDescriptor()), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        const QByteArray first(100000, 'a');
        QVERIFY(c.Send(first));
        QVERIFY(c.IdTCPClient()->bytesToWrite() > 0); // the system took only part of it
        QByteArray got;
        char buf[65536];
        for (ssize_t n; (n = ::recv(int(FPeer->socketDescriptor()), buf, sizeof buf, MSG_DONTWAIT)) > 0;)
            got.append(buf, n);
        QVERIFY(!got.isEmpty());
        const QByteArray second = QByteArray::fromHex("55AA000300020308");
        QVERIFY(c.Send(second));
        QTRY_VERIFY_WITH_TIMEOUT((got += FPeer->readAll()).size() >= first.size() + second.size(), 10000);
        QCOMPARE(got, first + second);
        QCOMPARE(log.Events, QStringList({"connecting", "connect"}));
    }

    void receivesEveryByteInOrder() {
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(ConnectToServer(c, log));
        const QByteArray a = QByteArray::fromHex("AA55000400820301"), b = QByteArray::fromHex("8A"),
                         d = QByteArray(70000, '\x5A');
        FPeer->write(a);
        FPeer->flush();
        FPeer->write(b);
        FPeer->flush();
        FPeer->write(d);
        QTRY_COMPARE(log.Received.size(), a.size() + b.size() + d.size());
        QCOMPARE(log.Received, a + b + d);
        QVERIFY(!log.Events.contains("empty block"));
    }

    void peerCloseDeliversDataThenDisconnect() {
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(ConnectToServer(c, log));
        c.setKeepAlive(true);
        FPeer->write("NO");
        FPeer->disconnectFromHost();
        QTRY_VERIFY(log.Events.contains("disconnect"));
        QCOMPARE(log.Received, QByteArray("NO"));
        QCOMPARE(log.Events, QStringList({"connecting", "connect", "disconnect"}));
        QVERIFY(!c.Connected());
        QVERIFY(!c.isKeepAlive());
        QVERIFY(!c.Send(QByteArray("x")));
    }

    void disconnectIsImmediateAndDeliversPendingBytes() {
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(ConnectToServer(c, log));
        const QByteArray big(300000, '\x33'); // more than one write to the system can take
        QVERIFY(c.Send(big));
        c.Disconnect();
        QCOMPARE(log.Events.last(), QStringLiteral("disconnect"));
        QVERIFY(!c.Connected());
        QByteArray got;
        QTRY_VERIFY_WITH_TIMEOUT((got += FPeer->readAll(), FPeer->state() != QAbstractSocket::ConnectedState),
                                 10000);
        got += FPeer->readAll();
        QCOMPARE(got.size(), big.size());
        c.Disconnect(); // a second call raises nothing
        QCOMPARE(log.Events.count("disconnect"), 1);
    }

    void reconnectClosesTheOldConnectionFirst() {
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(ConnectToServer(c, log));
        QPointer<QTcpSocket> first = FPeer;
        log.Events.clear();
        QVERIFY(c.Connect(QStringLiteral("127.0.0.1"), FServer.serverPort()));
        QCOMPARE(log.Events.value(0), QStringLiteral("disconnect"));
        QTRY_COMPARE(log.Events, QStringList({"disconnect", "connecting", "connect"}));
        QTRY_VERIFY(first->state() != QAbstractSocket::ConnectedState || first->waitForDisconnected(0));
        QTRY_VERIFY(FServer.hasPendingConnections());
        delete first;
        FPeer = FServer.nextPendingConnection();
    }

    void connectWhileConnectingCancelsTheFirstAttemptSilently() {
        TFullBacklog stuck;
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(c.Connect(QStringLiteral("127.0.0.1"), stuck.Port));
        QTRY_COMPARE(log.Events, QStringList({"connecting"}));
        QVERIFY(ConnectToServer(c, log));
        QCOMPARE(log.Events, QStringList({"connecting", "connecting", "connect"}));
    }

    void failedWriteClosesAndReportsSendError() {
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(ConnectToServer(c, log));
        // Reset the connection from the peer's side without letting the client see it first.
        const linger hard{1, 0};
        ::setsockopt(int(FPeer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        ::close(int(FPeer->socketDescriptor()));
        FPeer->setSocketDescriptor(-1);
        QVERIFY(!c.Send(QByteArray(1000, 'x')));
        QCOMPARE(log.Events, QStringList({"connecting", "connect", "disconnect", "error:2"}));
        QVERIFY(!c.Connected());
    }

    void keepAlive() {
        TwwTCPClient c;
        TEventLog log;
        log.Attach(c);
        QVERIFY(ConnectToServer(c, log));
        QVERIFY(!c.isKeepAlive());
        QCOMPARE(IntSockOpt(c.IdTCPClient(), SOL_SOCKET, SO_KEEPALIVE), 0);
        c.setKeepAlive(true);
        QVERIFY(c.isKeepAlive());
        QCOMPARE(IntSockOpt(c.IdTCPClient(), SOL_SOCKET, SO_KEEPALIVE), 1);
        QCOMPARE(IntSockOpt(c.IdTCPClient(), IPPROTO_TCP, TCP_KEEPIDLE), 3);
        QCOMPARE(IntSockOpt(c.IdTCPClient(), IPPROTO_TCP, TCP_KEEPINTVL), 1);
        c.setKeepAlive(false);
        QCOMPARE(IntSockOpt(c.IdTCPClient(), SOL_SOCKET, SO_KEEPALIVE), 0);
        c.setKeepAlive(true);
        c.Disconnect();
        QVERIFY(!c.isKeepAlive());
    }

    // Deleting the client from inside each of its events, or at any stage, must neither crash
    // (the sanitizer build checks the memory) nor raise anything afterwards.
    void destroyAnywhere_data() {
        QTest::addColumn<QString>("when");
        QTest::newRow("in OnConnecting") << "connecting";
        QTest::newRow("in OnConnect") << "connect";
        QTest::newRow("in OnReceiveData") << "data";
        QTest::newRow("in OnDisconnect after peer close") << "disconnect";
        QTest::newRow("in OnDisconnect of own Disconnect") << "own disconnect";
        QTest::newRow("in OnConnectError, refused") << "refused";
        QTest::newRow("in OnConnectError, time-out") << "timeout";
        QTest::newRow("in OnConnectError, send failed") << "send error";
        QTest::newRow("while connecting") << "while connecting";
        QTest::newRow("while connected") << "while connected";
    }
    void destroyAnywhere() {
        QFETCH(QString, when);
        TFullBacklog stuck;
        auto owner = std::make_unique<TwwTCPClient>();
        QPointer<TwwTCPClient> c = owner.get();
        TEventLog log;
        log.Attach(*c);
        bool deleted = false;
        auto deleteIn = [&](TwwTCPClient::TNotifyEvent& ev, const QString& name) {
            ev = [&, name](TwwTCPClient*) {
                log.Events << name;
                owner.reset();
                deleted = true;
            };
        };

        quint16 port = FServer.serverPort();
        if (when == "connecting")
            deleteIn(c->OnConnecting, "connecting");
        else if (when == "connect")
            deleteIn(c->OnConnect, "connect");
        else if (when == "disconnect" || when == "own disconnect")
            deleteIn(c->OnDisconnect, "disconnect");
        else if (when == "data")
            c->OnReceiveData = [&](TwwTCPClient*, const QByteArray&) {
                owner.reset();
                deleted = true;
            };
        else if (when == "refused" || when == "timeout" || when == "send error")
            c->OnConnectError = [&](TwwTCPClient*, TTCPERRCODE) {
                owner.reset();
                deleted = true;
            };
        if (when == "refused")
            port = ClosedPort();
        if (when == "timeout") {
            port = stuck.Port;
            c->setConnectTimeoutMs(100);
        }

        QVERIFY(c->Connect(QStringLiteral("127.0.0.1"), port));
        if (when == "while connecting") {
            owner.reset();
            deleted = true;
        }
        if (!deleted) {
            QTRY_VERIFY(deleted || log.Events.contains("connect"));
        }
        if (!deleted) {
            QTRY_VERIFY(FServer.hasPendingConnections());
            FPeer = FServer.nextPendingConnection();
            if (when == "data") {
                FPeer->write("OK");
            } else if (when == "disconnect") {
                FPeer->disconnectFromHost();
            } else if (when == "own disconnect") {
                c->Disconnect();
            } else if (when == "send error") {
                const linger hard{1, 0};
                ::setsockopt(int(FPeer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
                ::close(int(FPeer->socketDescriptor()));
                FPeer->setSocketDescriptor(-1);
                c->Send(QByteArray(100, 'x'));
            } else if (when == "while connected") {
                FPeer->write("late bytes");
                owner.reset();
                deleted = true;
            }
        }
        QTRY_VERIFY(deleted);
        QVERIFY(c.isNull());
        const QStringList before = log.Events;

        // Let everything the dead client could still have raised happen: a witness client goes
        // through the same steps, and the peer (when there is one) sees the close.
        TwwTCPClient witness;
        TEventLog wlog;
        wlog.Attach(witness);
        QVERIFY(witness.Connect(QStringLiteral("127.0.0.1"), FServer.serverPort()));
        QTRY_VERIFY(wlog.Events.contains("connect"));
        if (FPeer && FPeer->state() == QAbstractSocket::ConnectedState)
            QTRY_VERIFY(FPeer->state() != QAbstractSocket::ConnectedState || !FPeer->isValid());
        QCOMPARE(log.Events, before);
    }
};

QTEST_GUILESS_MAIN(tst_untTCPClient)
#include "tst_untTCPClient.moc"
