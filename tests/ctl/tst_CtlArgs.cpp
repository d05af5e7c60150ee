// Usage errors of quillet-ctl are found before anything is sent: every row here names a host
// or server that nothing listens on, so an attempt to connect would fail with status 1, not 2.
#include "CtlArgs.h"
#include "CtlRun.h"

#include <QtTest>

namespace {

template <class... F> struct TOverloaded : F... { using F::operator()...; };
template <class... F> TOverloaded(F...) -> TOverloaded<F...>;

// The parts of a parsed command that the rows below check, in one line.
QString Describe(const ctl::TParsed& parsed) {
    using namespace ctl;
    if (const auto* e = std::get_if<TUsageError>(&parsed))
        return QStringLiteral("usage: ") + e->why;
    const auto boardOp = TOverloaded{
        [](const board::Status&) { return QStringLiteral("status"); },
        [](const board::OutSet& o) { return QStringLiteral("out %1 %2").arg(int(o.action)).arg(o.n); },
        [](const board::Name& o) {
            return QStringLiteral("name %1 %2 [%3]").arg(o.kind).arg(o.n).arg(o.text);
        },
        [](const board::TaskAdd& o) {
            QString week;
            for (bool d : o.task.Week)
                week += d ? '1' : '0';
            return QStringLiteral("task-add %1 %2 loop %3 week %4")
                .arg(o.task.CMD.toHex(), o.task.StartTime.toString(Qt::ISODate))
                .arg(int(o.task.LoopStyle))
                .arg(week);
        },
        [](const board::DeviceIo& o) {
            return QStringLiteral("io %1 %2 %3 %4 save %5")
                .arg(o.out)
                .arg(o.in)
                .arg(o.pwm)
                .arg(o.reg)
                .arg(o.save);
        },
        [](const auto&) { return QStringLiteral("other"); },
    };
    const auto command = TOverloaded{
        [](const THelpCmd&) { return QStringLiteral("help"); },
        [&](const TBoardCmd& c) {
            const TCtlTarget& t = c.target;
            return QStringLiteral("%1 %2:%3 %4 trace %5: %6")
                .arg(t.Relay ? QStringLiteral("relay") : QStringLiteral("lan"), t.Host)
                .arg(t.Port)
                .arg(t.Relay ? t.MAC + '/' + t.Account + '/' + t.AccountPassword : t.Password)
                .arg(c.trace)
                .arg(std::visit(boardOp, c.op));
        },
        [](const TDiscoverCmd& c) {
            return QStringLiteral("discover %1 %2 ms to %3")
                .arg(c.port)
                .arg(c.timeoutMs)
                .arg(c.broadcast.toString());
        },
        [](const TWifiScanCmd& c) { return QStringLiteral("wifi scan %1 ms").arg(c.timeoutMs); },
        [](const TWifiJoinCmd& c) { return QStringLiteral("wifi join [%1] [%2]").arg(c.ssid, c.password); },
        [](const TCloudCmd& c) {
            return QStringLiteral("cloud %1 %2/%3 op %4")
                .arg(c.server.toString(), c.account, c.password)
                .arg(c.op.index());
        },
    };
    return std::visit(command, std::get<TCommand>(parsed));
}

} // namespace

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

    // Both option forms, options anywhere, "--" before a text that starts with a dash, and the
    // defaults a command gets when an option is left out.
    void parsedCommands_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("parsed");
        QTest::newRow("separate values")
            << QStringList{"--host", "10.0.0.5", "--port", "9000", "out", "on", "3"}
            << "lan 10.0.0.5:9000 qorvu trace 0: out 0 3";
        QTest::newRow("values after =")
            << QStringList{"--host=10.0.0.5", "--port=9000", "--password=pw", "out", "toggle", "3"}
            << "lan 10.0.0.5:9000 pw trace 0: out 2 3";
        QTest::newRow("options after the command")
            << QStringList{"status", "--trace", "--host", "h"} << "lan h:8899 qorvu trace 1: status";
        QTest::newRow("dashed text after --") << QStringList{"--host", "h", "name", "pwm", "2", "--", "-dim-"}
                                              << "lan h:8899 qorvu trace 0: name 2 2 [-dim-]";
        QTest::newRow("relay defaults") << QStringList{"--relay",
                                                       "r",
                                                       "--mac",
                                                       "5ccf7f01020a",
                                                       "--account",
                                                       "a",
                                                       "--account-password=p:q",
                                                       "status"}
                                        << "relay r:8900 5ccf7f01020a/a/p:q trace 0: status";
        QTest::newRow("weekly task")
            << QStringList{"--host", "h", "task", "add", "2", "off", "2030-12-24 18:30", "--days", "sa,SU"}
            << "lan h:8899 qorvu trace 0: task-add 0102 2030-12-24T18:30:00 loop 3 week 1000001";
        QTest::newRow("once task")
            << QStringList{"--host", "h", "task", "add", "1", "on", "2030-01-02 03:04"}
            << "lan h:8899 qorvu trace 0: task-add 0201 2030-01-02T03:04:00 loop 0 week 0000000";
        QTest::newRow("io and save") << QStringList{"--host", "h", "--save", "device", "io",
                                                    "8",      "4", "2",      "2"}
                                     << "lan h:8899 qorvu trace 0: io 8 4 2 2 save 1";
        QTest::newRow("discover defaults")
            << QStringList{"discover"} << "discover 1901 3000 ms to 255.255.255.255";
        QTest::newRow("discover options")
            << QStringList{"discover", "--port=2000", "--timeout-ms", "1500", "--broadcast=10.77.255.255"}
            << "discover 2000 1500 ms to 10.77.255.255";
        QTest::newRow("wifi join") << QStringList{"wifi", "join", "Lab net", "--", "-secret"}
                                   << "wifi join [Lab net] [-secret]";
        QTest::newRow("cloud") << QStringList{"cloud", "--server=http://127.0.0.1:1", "devices", "--account",
                                              "a",     "--account-password",          "p"}
                               << "cloud http://127.0.0.1:1 a/p op 2";
        QTest::newRow("help anywhere") << QStringList{"--host", "h", "status", "-h"} << "help";
        QTest::newRow("empty host") << QStringList{"--host=", "status"}
                                    << "usage: the host must not be empty";
        QTest::newRow("switch with a value")
            << QStringList{"--host", "h", "--trace=1", "status"} << "usage: unknown option --trace";
        QTest::newRow("unknown short option")
            << QStringList{"--host", "h", "-x", "status"} << "usage: unknown option -x";
        QTest::newRow("value option last")
            << QStringList{"status", "--port"} << "usage: option --port needs a value";
    }
    void parsedCommands() {
        QFETCH(QStringList, args);
        QFETCH(QString, parsed);
        QCOMPARE(Describe(ctl::ParseArgs(args)), parsed);
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
#include "tst_CtlArgs.moc"
