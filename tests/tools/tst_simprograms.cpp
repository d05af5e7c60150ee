// The simulator programs as scripts and other tests run them: --help, usage errors, the lines
// printed when ready, and a session through the printed addresses. The argument style (both
// option forms, -h/--help, usage errors on stderr with status 2) is checked for quillet-ctl too.
#include "RelaySim.h"
#include "SimTestUtil.h"

#include <QFileInfo>
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
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("mentions");
        const QStringList board{"--board SPEC",   "--count",         "--refuse-password",
                                "--bad-password", "--login-drop-ms", "--drop-after",
                                "--delay",        "--split",         "--garbage",
                                "--ignore",       "--wifi",          "--step-address",
                                "ready"};
        const QStringList relay{"--device MAC=HOST:PORT", "--account", "$0", "$1", "$2", "$3", "$4", "ready"};
        const QStringList cloud{"--account", "--device", "--http-500", "--fault-only", "--port"};
        const QStringList ctl{"discover", "--relay", "wifi scan", "cloud"};
        for (const char* option : {"--help", "-h"}) {
            QTest::addRow("boardsim %s", option) << QString(BOARDSIM) << option << board;
            QTest::addRow("relaysim %s", option) << QString(RELAYSIM) << option << relay;
#ifdef CLOUDSIM
            QTest::addRow("cloudsim %s", option) << QString(CLOUDSIM) << option << cloud;
#endif
            QTest::addRow("quillet-ctl %s", option) << QString(CTL) << option << ctl;
        }
    }
    void help() {
        QFETCH(QString, program);
        QFETCH(QString, option);
        QFETCH(QStringList, mentions);
        QProcess p;
        p.start(program, {option});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        for (const QString& m : mentions)
            QVERIFY2(text.contains(m), qPrintable(m));
    }

    // Every tool names itself, says what is wrong and where help is, on stderr, with status 2.
    void usageError_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("boardsim option") << QString(BOARDSIM) << QStringList{"--nonsense"};
        QTest::newRow("boardsim board key") << QString(BOARDSIM) << QStringList{"--board", "out=99"};
        QTest::newRow("boardsim missing value") << QString(BOARDSIM) << QStringList{"--listen"};
        QTest::newRow("relaysim option") << QString(RELAYSIM) << QStringList{"--nonsense"};
        QTest::newRow("relaysim device") << QString(RELAYSIM) << QStringList{"--device", "x"};
        QTest::newRow("relaysim bad value after =") << QString(RELAYSIM) << QStringList{"--listen=nowhere"};
#ifdef CLOUDSIM
        QTest::newRow("cloudsim option") << QString(CLOUDSIM) << QStringList{"--nonsense"};
        QTest::newRow("cloudsim missing value") << QString(CLOUDSIM) << QStringList{"--port"};
        QTest::newRow("cloudsim bad port after =") << QString(CLOUDSIM) << QStringList{"--port=70000"};
        QTest::newRow("cloudsim argument") << QString(CLOUDSIM) << QStringList{"now"};
#endif
        QTest::newRow("quillet-ctl option") << QString(CTL) << QStringList{"--nonsense"};
        QTest::newRow("quillet-ctl bad value after =") << QString(CTL) << QStringList{"discover", "--port=0"};
    }
    void usageError() {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QProcess p;
        p.start(program, args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        const QString name = QFileInfo(program).fileName();
        const QStringList err = QString::fromUtf8(p.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(err.size(), 2);
        QVERIFY2(err.at(0).startsWith(name + ": "), qPrintable(err.at(0)));
        QCOMPARE(err.at(1), QStringLiteral("Try '%1 --help'.").arg(name));
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
    }

    // "--name=value" is read as "--name value".
    void valuesAfterEquals_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("boardsim") << QString(BOARDSIM)
                                  << QStringList{"--listen=127.0.0.1:0", "--no-search", "--router-port=0",
                                                 "--board=mac=02-51-4C-00-00-07"}
                                  << "board mac=02-51-4C-00-00-07 tcp=127.0.0.1:";
        QTest::newRow("relaysim") << QString(RELAYSIM)
                                  << QStringList{"--listen=127.0.0.1:0", "--board-timeout-ms=500"}
                                  << "relay tcp=127.0.0.1:";
#ifdef CLOUDSIM
        QTest::newRow("cloudsim") << QString(CLOUDSIM)
                                  << QStringList{"--host=127.0.0.1", "--port=0", "--quiet"} << "";
#endif
    }
    void valuesAfterEquals() {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, firstLine);
        QProcess p;
        p.start(program, args);
        QVERIFY(p.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return p.canReadLine() || p.state() == QProcess::NotRunning; }, 10000));
        const QString line = QString::fromUtf8(p.readLine()).trimmed();
        Stop(p);
        if (firstLine.isEmpty()) // the cloud simulator prints only its port
            QVERIFY2(line.toUInt() > 0, qPrintable(line));
        else
            QVERIFY2(line.startsWith(firstLine), qPrintable(line));
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
