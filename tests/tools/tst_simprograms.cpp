// The two simulator programs as scripts and other tests run them: --help, usage errors, the lines
// printed when ready, and a session through the printed addresses.
#include "RelaySim.h"
#include "SimTestUtil.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

using namespace simtest;

class tst_simprograms : public QObject {
    Q_OBJECT

    // Starts a program and waits for its "ready" line; returns the lines before it.
    static QStringList StartReady(QProcess& p, const QString& program, const QStringList& args) {
        p.start(program, args);
        QStringList lines;
        QByteArray pending;
        const bool ready = QTest::qWaitFor(
            [&] {
                pending += p.readAllStandardOutput();
                qsizetype nl;
                while ((nl = pending.indexOf('\n')) >= 0) {
                    lines << QString::fromUtf8(pending.left(nl));
                    pending.remove(0, nl + 1);
                }
                return lines.contains("ready") || p.state() == QProcess::NotRunning;
            },
            10000);
        if (!ready || !lines.contains("ready"))
            return {};
        lines.removeAll("ready");
        return lines;
    }

    static quint16 PortOf(const QString& line, const QString& key) {
        const QRegularExpression re(key + "=[0-9.]+:([0-9]+)");
        return quint16(re.match(line).captured(1).toUInt());
    }

    static void Stop(QProcess& p) {
        p.kill();
        p.waitForFinished();
    }

private slots:
    void help_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("mentions");
        QTest::newRow("boardsim") << QString(BOARDSIM)
                                  << QStringList{"--board SPEC",   "--count",         "--refuse-password",
                                                 "--bad-password", "--login-drop-ms", "--drop-after",
                                                 "--delay",        "--split",         "--garbage",
                                                 "--ignore",       "--wifi",          "--step-address",
                                                 "ready"};
        QTest::newRow("relaysim")
            << QString(RELAYSIM)
            << QStringList{"--device MAC=HOST:PORT", "--account", "$0", "$1", "$2", "$3", "$4", "ready"};
    }
    void help() {
        QFETCH(QString, program);
        QFETCH(QStringList, mentions);
        QProcess p;
        p.start(program, {"--help"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        for (const QString& m : mentions)
            QVERIFY2(text.contains(m), qPrintable(m));
    }

    void usageError_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("boardsim option") << QString(BOARDSIM) << QStringList{"--nonsense"};
        QTest::newRow("boardsim board key") << QString(BOARDSIM) << QStringList{"--board", "out=99"};
        QTest::newRow("relaysim option") << QString(RELAYSIM) << QStringList{"--nonsense"};
        QTest::newRow("relaysim device") << QString(RELAYSIM) << QStringList{"--device", "x"};
    }
    void usageError() {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QProcess p;
        p.start(program, args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains("--help"));
    }

    void boardAndRelayProcesses() {
        QProcess board;
        const QStringList lines =
            StartReady(board, BOARDSIM,
                       {"--listen", "127.0.0.1:0", "--search-port", "0", "--router-port", "0", "--board",
                        "mac=5C-CF-7F-01-02-0A,name=Lab\\, east,password=pw1"});
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].startsWith("board mac=5C-CF-7F-01-02-0A tcp=127.0.0.1:"));
        QVERIFY(lines[0].endsWith(" ip=127.0.0.1 password=pw1 name=Lab, east"));
        QVERIFY(lines[1].startsWith("search udp=127.0.0.1:"));
        QVERIFY(lines[2].startsWith("router udp=127.0.0.1:"));
        const quint16 tcp = PortOf(lines[0], "tcp"), search = PortOf(lines[1], "udp");

        Client c;
        QVERIFY(c.Connect(tcp));
        QCOMPARE(c.Login("pw1"), QByteArray("OK"));
        QCOMPARE(c.Ask(Hex("0202"), 3), Reply(Hex("820201")));

        QUdpSocket u;
        QVERIFY(u.bind(QHostAddress::LocalHost, 0));
        u.writeDatagram(Hex("FF010102"), QHostAddress::LocalHost, search);
        QTRY_VERIFY(u.hasPendingDatagrams());
        const QByteArray answer = u.receiveDatagram().data();
        QCOMPARE(answer.size(), 36);
        QCOMPARE(Sum(answer, 0, 36), quint8(0));

        QProcess relayProc;
        const QStringList relayLines =
            StartReady(relayProc, RELAYSIM,
                       {"--listen", "127.0.0.1:0", "--device",
                        QString("5C-CF-7F-01-02-0A=127.0.0.1:%1:pw1").arg(tcp), "--account", "demo:demo:*"});
        QCOMPARE(relayLines.size(), 1);
        const quint16 relayPort = PortOf(relayLines[0], "tcp");
        QVERIFY(relayPort != 0);
        relay::LoginBlock b;
        QVERIFY(MACStrToBuf("5C-CF-7F-01-02-0A", b.mac));
        std::copy_n("demo", 4, b.account.begin());
        std::copy_n("demo", 4, b.password.begin());
        Client r;
        QVERIFY(r.Connect(relayPort));
        r.socket.write(relay::EncodeLoginBlock(b));
        QVERIFY(r.Wait([&] { return r.received.size() >= 11; }));
        QCOMPARE(r.Take(), QByteArray("$1Lab, east"));
        QCOMPARE(r.Ask(Hex("0A"), 2), Reply(Hex("8A02")));
        Stop(relayProc);
        Stop(board);
    }

    void addressTaken() {
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
        QProcess p;
        p.start(BOARDSIM,
                {"--listen", QString("127.0.0.1:%1").arg(holder.serverPort()), "--no-search", "--no-router"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains("cannot listen"));
    }
};

QTEST_GUILESS_MAIN(tst_simprograms)
#include "tst_simprograms.moc"
