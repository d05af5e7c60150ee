// Usage errors of quillet-ctl are found before anything is sent: every row here names a host
// or server that nothing listens on, so an attempt to connect would fail with status 1, not 2.
#include "CtlRun.h"

#include <QtTest>

class TestCtlArgs : public QObject {
    Q_OBJECT

private slots:
    void usageErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QStringList lan{"--host", "127.0.0.1", "--port", "1"};
        const QStringList relay{"--relay", "127.0.0.1", "--relay-port", "1"};
        QTest::newRow("nothing") << QStringList{} << "missing command";
        QTest::newRow("unknown option") << QStringList{"--hots", "x", "status"} << "unknown option --hots";
        QTest::newRow("option without value") << QStringList{"--host"} << "needs a value";
        QTest::newRow("board command without host") << QStringList{"status"} << "needs --host or --relay";
        QTest::newRow("unknown command") << (lan + QStringList{"reboot"}) << "unknown command";
        QTest::newRow("out without number") << (lan + QStringList{"out", "on"}) << "out on|off|toggle";
        QTest::newRow("out zero") << (lan + QStringList{"out", "on", "0"}) << "1 to 255";
        QTest::newRow("pwm freq too low") << (lan + QStringList{"pwm", "freq", "1", "714"}) << "715 to 65535";
        QTest::newRow("pwm freq too high")
            << (lan + QStringList{"pwm", "freq", "1", "65536"}) << "715 to 65535";
        QTest::newRow("ir learn passes") << (lan + QStringList{"ir", "learn", "1", "4"}) << "ir create";
        QTest::newRow("empty channel name")
            << (lan + QStringList{"name", "out", "1", " "}) << "must not be empty";
        QTest::newRow("bad kind") << (lan + QStringList{"name", "relay", "1", "x"}) << "name out|in";
        QTest::newRow("task time") << (lan + QStringList{"task", "add", "1", "on", "24.12.2026"})
                                   << "YYYY-MM-DD";
        QTest::newRow("task day") << (lan + QStringList{"task", "add", "1", "on", "2026-12-24 18:30",
                                                        "--days", "XX"})
                                  << "SU,MO";
        QTest::newRow("device name 17 bytes")
            << (lan + QStringList{"device", "name", "abcdefghijklmnopq"}) << "1 to 16 bytes";
        QTest::newRow("device password 7 bytes")
            << (lan + QStringList{"device", "password", "qorvu", "1234567"}) << "1 to 6 bytes";
        QTest::newRow("device io 25 channels")
            << (lan + QStringList{"device", "io", "20", "5", "0", "0"}) << "at most 24";
        QTest::newRow("device io 3 pwm")
            << (lan + QStringList{"device", "io", "8", "4", "3", "0"}) << "PWM at most 2";
        QTest::newRow("relay without mac")
            << (relay + QStringList{"--account", "a", "--account-password", "p", "status"})
            << "--relay needs --mac";
        QTest::newRow("relay bad mac")
            << (relay + QStringList{"--mac", "5C:CF", "--account", "a", "--account-password", "p", "status"})
            << "--mac must be";
        QTest::newRow("host and relay") << (lan + relay + QStringList{"status"}) << "exclude each other";
        QTest::newRow("discover argument") << QStringList{"discover", "now"} << "no arguments";
        QTest::newRow("discover broadcast") << QStringList{"discover", "--broadcast", "lan"} << "IPv4";
        QTest::newRow("wifi join without password") << QStringList{"wifi", "join", "lab"} << "wifi scan";
        const QStringList cloud{"cloud", "--server", "http://127.0.0.1:1"};
        QTest::newRow("cloud login without account") << (cloud + QStringList{"login"}) << "--account";
        QTest::newRow("cloud account too long")
            << (cloud + QStringList{"--account", QString(33, 'a'), "--account-password", "p", "login"})
            << "1 to 32";
        QTest::newRow("cloud mac with colons")
            << (cloud + QStringList{"--account", "a", "--account-password", "p", "activate",
                                    "5C:CF:7F:01:02:0A", "1"})
            << "valid MAC";
        QTest::newRow("cloud activation code missing")
            << (cloud +
                QStringList{"--account", "a", "--account-password", "p", "activate", "5ccf7f01020a", ""})
            << "activation code";
        QTest::newRow("cloud empty feedback")
            << (cloud + QStringList{"feedback", "anonymous", "  "}) << "no content";
        QTest::newRow("cloud server not http")
            << QStringList{"cloud", "--server", "ftp://x", "news"} << "http";
        QTest::newRow("cloud unknown") << (cloud + QStringList{"logout"}) << "cloud login";
    }
    void usageErrors() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const TCtlRun r = RunCtl(args);
        QCOMPARE(r.rc, ctl::ExitUsage);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
    }

    void helpListsEveryCommandFamily() {
        const TCtlRun r = RunCtl({"--help"});
        QCOMPARE(r.rc, ctl::ExitOk);
        for (const char* word :
             {"discover", "--relay", "status", "pwm freq", "ir learn", "task add", "clock sync", "device io",
              "wifi scan", "wifi join", "cloud", "upload-image", "feedback"})
            QVERIFY2(r.out.contains(QLatin1String(word)), word);
    }

    void refusedConnectionIsAFailureNotAUsageError() {
        const TCtlRun r = RunCtl({"--host", "127.0.0.1", "--port", "1", "status"});
        QCOMPARE(r.rc, ctl::ExitFailed);
        QCOMPARE(r.err.trimmed(), QStringLiteral("Connect failed"));
    }
};

QTEST_GUILESS_MAIN(TestCtlArgs)
#include "tst_ctl_args.moc"
