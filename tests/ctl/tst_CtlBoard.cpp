// quillet-ctl's board session against hostile boards on 127.0.0.1: a flood of valid frames while
// a reply is awaited, replies for another channel, empty payloads, odd login answers.
#include "CtlBoard.h"
#include "CtlRun.h"
#include "nevGPIOAPI.h"
#include "nevIOTTCPProtocol.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <sys/resource.h>

namespace {

// Peak resident memory of this process so far, in KiB.
long PeakRssKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// A scripted board: answers the password line with `LoginAnswer` (in parts, one per event-loop
// turn), then answers each request with `Replies` and, when `Flood` is set, keeps writing that
// frame for as long as the connection is open.
class TBoardPeer : public QObject {
public:
    QList<QByteArray> LoginAnswer{"OK"};
    QList<QByteArray> Replies;
    QByteArray Flood;
    QList<QByteArray> Requests;

    TBoardPeer() {
        FServer.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&FServer, &QTcpServer::newConnection, this, [this] {
            FPeer = FServer.nextPendingConnection();
            QObject::connect(FPeer, &QTcpSocket::readyRead, this, [this] { Read(); });
            QObject::connect(FPeer, &QTcpSocket::bytesWritten, this, [this] { Pump(); });
        });
    }
    ~TBoardPeer() override {
        if (FPeer)
            FPeer->abort();
    }
    quint16 Port() const { return FServer.serverPort(); }
    qint64 Flooded() const { return FFlooded; }
    void StopFlood() { Flood.clear(); }

private:
    void Read() {
        FIn += FPeer->readAll();
        if (!FLoggedIn) {
            if (!FIn.contains("\r\n"))
                return;
            FIn.clear();
            FLoggedIn = true;
            SendParts(LoginAnswer);
            return;
        }
        TIOTFrameReader reader(TFrameKind::Request);
        for (const QByteArray& request : reader.Feed(FIn)) {
            Requests << request;
            for (const QByteArray& r : Replies)
                FPeer->write(r);
            Pump();
        }
        FIn.clear();
    }
    // Parts go out one event-loop turn apart, so that they arrive as separate deliveries.
    void SendParts(QList<QByteArray> parts) {
        if (parts.isEmpty() || !FPeer)
            return;
        FPeer->write(parts.takeFirst());
        FPeer->flush();
        QTimer::singleShot(20, this, [this, parts] { SendParts(parts); });
    }
    void Pump() {
        // A few frames in flight at a time: the flood is bounded by the socket, not by us.
        while (FPeer && !Flood.isEmpty() && FPeer->bytesToWrite() < 4 * Flood.size())
            FFlooded += FPeer->write(Flood);
    }

    QTcpServer FServer;
    QPointer<QTcpSocket> FPeer;
    QByteArray FIn;
    bool FLoggedIn = false;
    qint64 FFlooded = 0;
};

TCtlTarget Lan(quint16 port) {
    TCtlTarget t;
    t.Host = QStringLiteral("127.0.0.1");
    t.Port = port;
    t.Password = QStringLiteral("qorvu");
    return t;
}

QByteArray Reply(const char* hex) {
    return BuildReplyFrame(QByteArray::fromHex(hex));
}

} // namespace

class TestCtlBoard : public QObject {
    Q_OBJECT

private slots:
    // Valid frames that answer nothing, sent as fast as loopback carries them for the whole
    // wait: the session keeps none of them and the wait ends with "no reply".
    void floodWhileWaiting_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("flood");
        const QByteArray big(60 * 1024, 'x');
        QTest::newRow("60 KB frames of another code")
            << TNEV_GPIOAPI::Sys_Get_IO() << BuildReplyFrame(QByteArray::fromHex("E3") + big);
        QTest::newRow("60 KB answers for another output")
            << TNEV_GPIOAPI::Out_Set_ON(1) << BuildReplyFrame(QByteArray::fromHex("8205") + big);
        QTest::newRow("60 KB answers for another infrared slot")
            << TNEV_GPIOAPI::Red_Study(2, 1) << BuildReplyFrame(QByteArray::fromHex("A90100") + big);
    }
    void floodWhileWaiting() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, flood);
        TBoardPeer peer;
        TCtlBoard board(Lan(peer.Port()), false);
        QString error;
        QVERIFY2(board.Login(error), qPrintable(error));
        peer.Flood = flood;
        const long before = PeakRssKiB();
        const TCtlReply r = board.Request(request, 1500);
        peer.StopFlood();
        const long grownMiB = (PeakRssKiB() - before) / 1024;
        qInfo("%lld MiB flooded, peak memory grew by %ld MiB", peer.Flooded() / (1024 * 1024), grownMiB);
        QVERIFY(peer.Flooded() > 50 * flood.size()); // the flood did reach the session
        QCOMPARE(int(r.What), int(TCtlReply::Kind::NoReply));
        QCOMPARE(board.KeptReplies(), 0);
        QVERIFY2(grownMiB < 64, qPrintable(QStringLiteral("grew by %1 MiB").arg(grownMiB)));
    }

    // A reply answers a request only when its code and, where the request names one, its
    // channel match; anything else is skipped and the wait goes on.
    void replyMatching_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("payload");
        const int answer = int(TCtlReply::Kind::Answer);
        const int none = int(TCtlReply::Kind::NoReply);
        const QByteArray on1 = TNEV_GPIOAPI::Out_Set_ON(1);
        QTest::newRow("output 5 only") << on1 << QList<QByteArray>{Reply("820501")} << none << QByteArray();
        QTest::newRow("output 5, then output 1") << on1 << QList<QByteArray>{Reply("820501"), Reply("820101")}
                                                 << answer << QByteArray::fromHex("820101");
        QTest::newRow("empty payload, then the answer")
            << on1 << QList<QByteArray>{QByteArray::fromHex("AA55 0001 00 01"), Reply("820101")} << answer
            << QByteArray::fromHex("820101");
        QTest::newRow("refusal of this request")
            << on1 << QList<QByteArray>{Reply("FF02")} << int(TCtlReply::Kind::Refused)
            << QByteArray::fromHex("FF02");
        QTest::newRow("refusal of another request")
            << on1 << QList<QByteArray>{Reply("FF7E")} << none << QByteArray();
        QTest::newRow("PWM 2 for PWM 1") << TNEV_GPIOAPI::PWM_HZ_Set_One(1, 1000)
                                         << QList<QByteArray>{Reply("B20203E8")} << none << QByteArray();
        QTest::newRow("PWM 1") << TNEV_GPIOAPI::PWM_HZ_Set_One(1, 1000)
                               << QList<QByteArray>{Reply("B20103E8")} << answer
                               << QByteArray::fromHex("B20103E8");
        QTest::newRow("infrared slot 3 for slot 2")
            << TNEV_GPIOAPI::Red_Send(2) << QList<QByteArray>{Reply("AA0301")} << none << QByteArray();
        QTest::newRow("reply without the channel byte")
            << on1 << QList<QByteArray>{Reply("82")} << none << QByteArray();
        QTest::newRow("whole-board request")
            << TNEV_GPIOAPI::Sys_Get_IO() << QList<QByteArray>{Reply("FE0402000001")} << answer
            << QByteArray::fromHex("FE0402000001");
    }
    void replyMatching() {
        QFETCH(QByteArray, request);
        QFETCH(QList<QByteArray>, replies);
        QFETCH(int, kind);
        QFETCH(QByteArray, payload);
        TBoardPeer peer;
        peer.Replies = replies;
        TCtlBoard board(Lan(peer.Port()), false);
        QString error;
        QVERIFY2(board.Login(error), qPrintable(error));
        const TCtlReply r = board.Request(request, 500);
        QCOMPARE(int(r.What), kind);
        QCOMPARE(r.Payload, payload);
        QCOMPARE(peer.Requests, QList<QByteArray>{request});
    }

    // quillet-ctl itself: a reply for another output is not printed as the answer.
    void outputReplyForAnotherChannel() {
        TBoardPeer peer;
        peer.Replies = {Reply("820501")};
        const TCtlRun r =
            RunCtl({"--host", "127.0.0.1", "--port", QString::number(peer.Port()), "out", "on", "1"});
        QCOMPARE(r.rc, 1);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.contains("No reply from the board"), qPrintable(r.err));
    }

    void loginAnswers_data() {
        QTest::addColumn<QList<QByteArray>>("answer");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("error");
        QTest::newRow("OK in two parts") << QList<QByteArray>{"O", "K"} << true << QString();
        QTest::newRow("NO in two parts") << QList<QByteArray>{"N", "O"} << false << "Password error";
        QTest::newRow("OK with frames behind it")
            << QList<QByteArray>{"OK" + Reply("820101") + Reply("FE0402000001")} << true << QString();
        QTest::newRow("neither")
            << QList<QByteArray>{"HTTP/1.1 200 OK\r\n"} << false
            << "Unexpected login answer: 48 54 54 50 2F 31 2E 31 20 32 30 30 20 4F 4B 0D ...";
        QTest::newRow("a frame before the answer") << QList<QByteArray>{Reply("820101")} << false
                                                   << "Unexpected login answer: AA 55 00 04 00 82 01 01 88";
    }
    void loginAnswers() {
        QFETCH(QList<QByteArray>, answer);
        QFETCH(bool, ok);
        QFETCH(QString, error);
        TBoardPeer peer;
        peer.LoginAnswer = answer;
        peer.Replies = {Reply("FE0402000001")};
        TCtlBoard board(Lan(peer.Port()), false);
        QString why;
        QCOMPARE(board.Login(why), ok);
        QCOMPARE(why, error);
        if (ok) {
            // Frames that came with the answer are not taken for the answer to the first request.
            const TCtlReply r = board.Request(TNEV_GPIOAPI::Sys_Get_IO(), 2000);
            QCOMPARE(int(r.What), int(TCtlReply::Kind::Answer));
            QCOMPARE(board.KeptReplies(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestCtlBoard)
#include "tst_CtlBoard.moc"
