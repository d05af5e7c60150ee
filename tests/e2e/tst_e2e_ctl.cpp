// quillet-ctl end to end: the real program against simulated boards and the relay server on a
// virtual LAN (tools/virtual-lan). Started by ctest, the program starts the virtual LAN with the
// boards below and runs itself again inside its "pc" namespace, where the tests run. Without root
// there are no namespaces: it says so and exits with VirtualLanSkipStatus, which ctest reports as skipped.
#include "VirtualLan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* InsideVar = "QUILLET_E2E_INSIDE";

// The boards of the virtual LAN, in address order (10.77.1.1 upwards). Boards that a test changes
// are used by that test only, so each test starts from a known board.
struct TBoardDef {
    const char* mac;
    const char* name;
    int type;
    int ctrl;
    const char* keys; // further quillet-boardsim keys
};

enum BoardId {
    Lab,      // read only: status, discovery, relay
    Kitchen,  // small board without PWM, registers or infrared
    Bench,    // outputs, PWM, infrared, channel names
    Timer,    // timed tasks (a table of 2) and the clock; no IO configuration
    Config,   // device name, password, IO configuration, save
    Dud,      // infrared learning fails
    RefuseNo, // fault switches from here on
    RefuseDrop,
    Drop500,
    Drop1500,
    DropAfter,
    Slow,
    TooSlow,
    Split,
    Garbage,
    SplitGarbage,
    Deaf,
    DropLearning,
    BoardCount
};

const TBoardDef Boards[BoardCount] = {
    {"5C-CF-7F-01-02-0A", "Lab", 1, 6, "inputs=0110,regs=21.5/-3.5"},
    {"5C-CF-7F-01-02-0B", "Kitchen", 2, 2, "out=4,in=2,pwm=0,reg=0,ir=0"},
    {"5C-CF-7F-01-02-0C", "Bench", 3, 6, "irslots=2,ir-delay-ms=100"},
    {"5C-CF-7F-01-02-0D", "Timer", 1, 4, "tasks=2"},
    {"5C-CF-7F-01-02-0E", "Config", 1, 6, "maxreg=4"},
    {"5C-CF-7F-01-02-0F", "Dud", 1, 6, "ir-result=failure,ir-delay-ms=100"},
    {"02-51-4C-00-01-01", "Refuse NO", 1, 6, "refuse-password=no"},
    {"02-51-4C-00-01-02", "Refuse drop", 1, 6, "refuse-password=drop"},
    {"02-51-4C-00-01-03", "Drop 500 ms", 1, 6, "refuse-password=drop,login-drop-ms=500"},
    {"02-51-4C-00-01-04", "Drop 1500 ms", 1, 6, "refuse-password=drop,login-drop-ms=1500"},
    // Logged in after 600 ms, dropped at 1000 ms, before any reply (at 1200 ms at the earliest).
    {"02-51-4C-00-01-05", "Drop after", 1, 6, "drop-after=1000,delay=600"},
    {"02-51-4C-00-01-06", "Slow", 1, 6, "delay=1500"},
    {"02-51-4C-00-01-07", "Too slow", 1, 6, "delay=3500"},
    {"02-51-4C-00-01-08", "Split", 1, 6, "split=3,split-gap-ms=2"},
    {"02-51-4C-00-01-09", "Garbage", 1, 6, "garbage=1"},
    {"02-51-4C-00-01-0A", "Split garbage", 1, 6, "split=5,split-gap-ms=1,garbage=1"},
    {"02-51-4C-00-01-0B", "Deaf", 1, 6, "ignore=0x0A,ir-result=timeout,ir-delay-ms=100"},
    {"02-51-4C-00-01-0C", "Drop learning", 1, 6, "ir-delay-ms=2000,drop-after=700"},
};

// Relay accounts: demo may use every board and a MAC the relay has no route to; guest only Lab.
constexpr const char* Unroutable = "02-00-00-00-09-99";
constexpr const char* Unowned = "02-00-00-00-09-98";

// Networks the boards see.
const char* const Networks[] = {"Quillet Lab:80:secret12", "Workshop:45:tools123", "Open:20"};

QString BoardSpec(const TBoardDef& b) {
    return QStringLiteral("mac=%1,name=%2,type=%3,ctrl=%4,%5")
        .arg(QLatin1String(b.mac), QLatin1String(b.name))
        .arg(b.type)
        .arg(b.ctrl)
        .arg(QLatin1String(b.keys));
}

QStringList VirtualLanArgs() {
    QStringList a{"--boardsim", BOARDSIM, "--relaysim", RELAYSIM};
    QStringList macs;
    for (const TBoardDef& b : Boards) {
        a << "--board" << BoardSpec(b);
        macs << QLatin1String(b.mac);
    }
    for (const char* n : Networks)
        a << QStringLiteral("--sim-arg=--wifi=%1").arg(QLatin1String(n));
    a << "--account" << QStringLiteral("demo:demo:%1,%2").arg(macs.join(','), QLatin1String(Unroutable));
    a << "--account" << QStringLiteral("guest:guest:%1").arg(QLatin1String(Boards[Lab].mac));
    return a;
}

struct TRun {
    int rc = -1;
    QStringList out; // stdout lines
    QStringList err; // stderr lines
};

QString Describe(const QStringList& args, const TRun& r) {
    return QStringLiteral("quillet-ctl %1\n exit %2\n stdout: %3\n stderr: %4")
        .arg(args.join(' '))
        .arg(r.rc)
        .arg(r.out.join(QLatin1String("\n         ")), r.err.join(QLatin1String("\n         ")));
}

QJsonObject ParseObject(const QString& line, QString* error) {
    QJsonParseError pe;
    const QJsonDocument d = QJsonDocument::fromJson(line.toUtf8(), &pe);
    if (pe.error != QJsonParseError::NoError || !d.isObject()) {
        *error = QStringLiteral("not a JSON object: %1 (%2)").arg(line, pe.errorString());
        return {};
    }
    return d.object();
}

QStringList Sorted(QStringList l) {
    l.sort();
    return l;
}

// The full read of an untouched default board (8 outputs, 4 inputs, 2 PWM, 2 registers, 1 IR).
const QString DefaultStatus = QStringLiteral(
    R"({"io":{"out":8,"in":4,"pwm":2,"reg":2,"ir":1},)"
    R"("out":[false,false,false,false,false,false,false,false],"in":[false,false,false,false],)"
    R"("pwm":[{"duty":0,"hz":1000},{"duty":0,"hz":1000}],"reg":[25.0,26.5],)"
    R"("names":{"out":["Out 1","Out 2","Out 3","Out 4","Out 5","Out 6","Out 7","Out 8"],)"
    R"("in":["In 1","In 2","In 3","In 4"],"pwm":["PWM 1","PWM 2"],"reg":["REG 1","REG 2"],"ir":["IR 1"]}})");

const QString LabStatus = QStringLiteral(
    R"({"io":{"out":8,"in":4,"pwm":2,"reg":2,"ir":1},)"
    R"("out":[false,false,false,false,false,false,false,false],"in":[false,true,true,false],)"
    R"("pwm":[{"duty":0,"hz":1000},{"duty":0,"hz":1000}],"reg":[21.5,-3.5],)"
    R"("names":{"out":["Out 1","Out 2","Out 3","Out 4","Out 5","Out 6","Out 7","Out 8"],)"
    R"("in":["In 1","In 2","In 3","In 4"],"pwm":["PWM 1","PWM 2"],"reg":["REG 1","REG 2"],"ir":["IR 1"]}})");

const QString KitchenStatus = QStringLiteral(
    R"({"io":{"out":4,"in":2,"pwm":0,"reg":0,"ir":0},"out":[false,false,false,false],"in":[false,false],)"
    R"("pwm":[],"reg":[],"names":{"out":["Out 1","Out 2","Out 3","Out 4"],"in":["In 1","In 2"],)"
    R"("pwm":[],"reg":[],"ir":[]}})");

// One run of quillet-ctl and what it must give. Exit 0: `out` exactly and nothing on stderr;
// exit 1: `out` exactly and the one stderr line `err`; exit 2: nothing on stdout, the stderr
// line `err` and the hint to --help.
struct TStep {
    QStringList args;
    int rc;
    QStringList out;
    QString err;
};

} // namespace

class tst_e2e_ctl : public QObject {
    Q_OBJECT

    QStringList FIps;
    QString FBroadcast;

    QString Ip(BoardId b) const { return FIps.value(b); }
    QStringList Host(BoardId b) const { return {"--host", Ip(b)}; }
    QStringList Relay(const QString& mac, const QString& account = "demo", const QString& pw = "demo") const {
        return {"--relay",
                qEnvironmentVariable("QUILLET_VLAN_RELAY_HOST"),
                "--mac",
                mac,
                "--account",
                account,
                "--account-password",
                pw};
    }

    static TRun Ctl(const QStringList& args, int timeoutMs = 60000) {
        QProcess p;
        p.start(QStringLiteral(CTL), args);
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
        }
        TRun r;
        r.rc = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        r.err = QString::fromUtf8(p.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        return r;
    }

    // Runs a step and checks it; returns the run for further checks.
    static TRun Check(const TStep& s) {
        const TRun r = Ctl(s.args);
        const QString what = Describe(s.args, r);
        [&] {
            QVERIFY2(r.rc == s.rc, qPrintable(what));
            QVERIFY2(r.out == s.out, qPrintable(what));
            QString bad;
            for (const QString& line : r.out) {
                ParseObject(line, &bad);
                QVERIFY2(bad.isEmpty(), qPrintable(bad + "\n" + what));
            }
            switch (s.rc) {
            case 0:
                QVERIFY2(r.err.isEmpty(), qPrintable(what));
                break;
            case 1:
                QVERIFY2(r.err == QStringList{s.err}, qPrintable(what));
                break;
            default:
                QVERIFY2(r.err == (QStringList{s.err, "Try 'quillet-ctl --help'."}), qPrintable(what));
            }
        }();
        return r;
    }

    static void RunSteps(const QList<TStep>& steps) {
        for (const TStep& s : steps) {
            Check(s);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // The full read of a board, parsed.
    static QJsonObject Status(const QStringList& target) {
        const QStringList args = target + QStringList{"status"};
        const TRun r = Ctl(args);
        QString bad = r.rc == 0 && r.out.size() == 1 && r.err.isEmpty() ? QString() : Describe(args, r);
        const QJsonObject o = bad.isEmpty() ? ParseObject(r.out.at(0), &bad) : QJsonObject();
        [&] { QVERIFY2(bad.isEmpty(), qPrintable(bad)); }();
        return o;
    }

    static QString Compact(const QJsonValue& v) {
        return QString::fromUtf8(v.isArray() ? QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact)
                                             : QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
    }

    // What --trace printed as sent ("> ...") lines, without the login line.
    static QStringList SentFrames(const TRun& r) {
        QStringList sent;
        for (const QString& l : r.err)
            if (l.startsWith(QLatin1String("> 55 AA ")))
                sent << l;
        return sent;
    }

private slots:
    void initTestCase() {
        QString why;
        if (!qEnvironmentVariableIsSet(InsideVar) || !OnlyVirtualLanInterfaces(&why))
            QFAIL(qPrintable("not inside the virtual LAN: " + why));
        FIps = qEnvironmentVariable("QUILLET_VLAN_BOARD_IPS").split(' ', Qt::SkipEmptyParts);
        QCOMPARE(FIps.size(), int(BoardCount));
        QCOMPARE(qEnvironmentVariable("QUILLET_VLAN_BOARD_MACS").split(' ', Qt::SkipEmptyParts).value(Lab),
                 QLatin1String(Boards[Lab].mac));
        FBroadcast = qEnvironmentVariable("QUILLET_VLAN_BROADCAST");
        QVERIFY(!FBroadcast.isEmpty());
        QVERIFY(!qEnvironmentVariable("QUILLET_VLAN_RELAY_HOST").isEmpty());
    }

    // Every board answers the search once, with its own address; keys in their fixed order.
    void discover() {
        const QStringList args{"discover", "--broadcast", FBroadcast, "--timeout-ms", "1000"};
        const TRun r = Ctl(args);
        QVERIFY2(r.rc == 0 && r.err.isEmpty(), qPrintable(Describe(args, r)));
        QStringList expected;
        for (int i = 0; i < BoardCount; ++i) {
            const TBoardDef& b = Boards[i];
            expected << QStringLiteral(R"({"mac":"%1","ip":"%2","name":"%3","type":%4,"ctrl":%5})")
                            .arg(QLatin1String(b.mac), FIps.at(i), QLatin1String(b.name))
                            .arg(b.type)
                            .arg(b.ctrl);
        }
        QCOMPARE(Sorted(r.out), Sorted(expected));
        QVERIFY(
            r.out.contains(R"({"mac":"5C-CF-7F-01-02-0A","ip":"10.77.1.1","name":"Lab","type":1,"ctrl":6})"));
        QVERIFY(r.out.contains(
            R"({"mac":"5C-CF-7F-01-02-0B","ip":"10.77.1.2","name":"Kitchen","type":2,"ctrl":2})"));
        for (const QString& line : r.out) {
            QString bad;
            const QJsonObject o = ParseObject(line, &bad);
            QVERIFY2(bad.isEmpty(), qPrintable(bad));
            QCOMPARE(o.keys().size(), 5);
        }

        // Nobody listens on another port: an empty result, not a failure.
        const TRun none =
            Ctl({"discover", "--broadcast", FBroadcast, "--port", "1999", "--timeout-ms", "300"});
        QCOMPARE(none.rc, 0);
        QCOMPARE(none.out, QStringList());
    }

    void status_data() {
        QTest::addColumn<QStringList>("target");
        QTest::addColumn<QString>("expected");
        QTest::newRow("LAN") << Host(Lab) << LabStatus;
        QTest::newRow("LAN, no PWM, registers or infrared") << Host(Kitchen) << KitchenStatus;
        QTest::newRow("relay") << Relay(Boards[Lab].mac) << LabStatus;
        QTest::newRow("relay, MAC without dashes") << Relay("5ccf7f01020a", "guest", "guest") << LabStatus;
    }

    void status() {
        QFETCH(QStringList, target);
        QFETCH(QString, expected);
        const TRun r = Check({target + QStringList{"status"}, 0, {expected}, {}});
        if (QTest::currentTestFailed())
            return;
        QString bad;
        const QJsonObject o = ParseObject(r.out.at(0), &bad);
        const QJsonObject io = o.value("io").toObject();
        for (const char* kind : {"out", "in", "pwm", "reg"}) {
            QCOMPARE(o.value(kind).toArray().size(), io.value(kind).toInt());
            QCOMPARE(o.value("names").toObject().value(kind).toArray().size(), io.value(kind).toInt());
        }
        QCOMPARE(o.value("names").toObject().value("ir").toArray().size(), io.value("ir").toInt());
    }

    // --trace shows every block as it is on the wire, the password line included.
    void trace() {
        TStep lan{
            Host(Kitchen) + QStringList{"--trace", "out", "off", "3"}, 0, {R"({"out":3,"on":false})"}, {}};
        TRun r = Ctl(lan.args);
        QVERIFY2(r.rc == 0 && r.out == lan.out, qPrintable(Describe(lan.args, r)));
        QCOMPARE(r.err, (QStringList{"> 71 6F 72 76 75 0D 0A", "< 4F 4B", "> 55 AA 00 03 00 01 03 07",
                                     "< AA 55 00 04 00 81 03 00 88"}));

        // A wrong password: the line, the refusal, the state text.
        const QStringList wrong = Host(Lab) + QStringList{"--password", "bad", "--trace", "status"};
        r = Ctl(wrong);
        QCOMPARE(r.rc, 1);
        QCOMPARE(r.out, QStringList());
        QCOMPARE(r.err, (QStringList{"> 62 61 64 0D 0A", "< 4E 4F", "Password error"}));

        // Through the relay: the 70-byte login block, "$1" and the board's name, then the frames.
        const QStringList relay = Relay(Boards[Lab].mac) + QStringList{"--trace", "out", "off", "1"};
        r = Ctl(relay);
        QVERIFY2(r.rc == 0, qPrintable(Describe(relay, r)));
        QCOMPARE(r.out, QStringList{R"({"out":1,"on":false})"});
        QCOMPARE(r.err.size(), 4);
        QVERIFY2(QRegularExpression("^> ([0-9A-F]{2} ){69}[0-9A-F]{2}$").match(r.err.at(0)).hasMatch(),
                 qPrintable(r.err.at(0)));
        QCOMPARE(r.err.mid(1), (QStringList{"< 24 31 4C 61 62", "> 55 AA 00 03 00 01 01 05",
                                            "< AA 55 00 04 00 81 01 00 86"}));
    }

    // Usage errors are found before anything is sent: exit 2, nothing traced.
    void usage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("err");
        const QStringList lab = Host(Lab) + QStringList{"--trace"};
        QTest::newRow("frequency 714") << lab + QStringList{"pwm", "freq", "1", "714"}
                                       << "quillet-ctl: frequency must be 715 to 65535 Hz";
        QTest::newRow("frequency 65536") << lab + QStringList{"pwm", "freq", "1", "65536"}
                                         << "quillet-ctl: frequency must be 715 to 65535 Hz";
        QTest::newRow("frequency not a number") << lab + QStringList{"pwm", "freq", "1", "1k"}
                                                << "quillet-ctl: frequency must be 715 to 65535 Hz";
        QTest::newRow("duty 101") << lab + QStringList{"pwm", "duty", "1", "101"}
                                  << "quillet-ctl: duty must be 0 to 100";
        QTest::newRow("output 0") << lab + QStringList{"out", "on", "0"}
                                  << "quillet-ctl: output number must be 1 to 255";
        QTest::newRow("out blink") << lab + QStringList{"out", "blink", "1"}
                                   << "quillet-ctl: out on|off|toggle N, out all-on, out all-off";
        QTest::newRow("device name of 17 bytes") << lab + QStringList{"device", "name", "ABCDEFGHIJKLMNOPQ"}
                                                 << "quillet-ctl: the device name must be 1 to 16 bytes";
        QTest::newRow("device name of 17 UTF-8 bytes")
            << lab + QStringList{"device", "name", "ÄÖÜäöüßéx"}
            << "quillet-ctl: the device name must be 1 to 16 bytes";
        QTest::newRow("empty device name") << lab + QStringList{"device", "name", ""}
                                           << "quillet-ctl: the device name must be 1 to 16 bytes";
        QTest::newRow("password of 7 bytes") << lab + QStringList{"device", "password", "qorvu", "1234567"}
                                             << "quillet-ctl: passwords must be 1 to 6 bytes";
        QTest::newRow("OUT + IN 25") << lab + QStringList{"device", "io", "20", "5", "0", "0"}
                                     << "quillet-ctl: OUT + IN must be at most 24 and PWM at most 2";
        QTest::newRow("PWM 3") << lab + QStringList{"device", "io", "4", "4", "3", "0"}
                               << "quillet-ctl: OUT + IN must be at most 24 and PWM at most 2";
        QTest::newRow("empty channel name")
            << lab + QStringList{"name", "out", "1", " "} << "quillet-ctl: the name must not be empty";
        QTest::newRow("task start") << lab + QStringList{"task", "add", "1", "on", "2030-13-01 10:00"}
                                    << "quillet-ctl: start time must be \"YYYY-MM-DD hh:mm\"";
        QTest::newRow("task days") << lab + QStringList{"task",   "add",  "1", "on", "2030-06-01 10:00",
                                                        "--days", "MO,XX"}
                                   << "quillet-ctl: days are SU,MO,TU,WE,TH,FR,SA";
        QTest::newRow("ir learn passes")
            << lab + QStringList{"ir", "learn", "1", "4"}
            << "quillet-ctl: ir create | ir learn N [1|2|3] | ir send N | ir remove N";
        QTest::newRow("unknown command")
            << lab + QStringList{"blink"} << "quillet-ctl: unknown command: blink";
        QTest::newRow("no command") << lab << "quillet-ctl: missing COMMAND";
        QTest::newRow("unknown option")
            << lab + QStringList{"--frobnicate", "status"} << "quillet-ctl: unknown option --frobnicate";
        QTest::newRow("no board") << QStringList{"status"}
                                  << "quillet-ctl: a board command needs --host or --relay";
        QTest::newRow("host and relay") << lab + QStringList{"--relay", "10.77.0.2", "status"}
                                        << "quillet-ctl: --host and --relay exclude each other";
        QTest::newRow("relay without account")
            << QStringList{"--relay", "10.77.0.2", "--mac", Boards[Lab].mac, "status"}
            << "quillet-ctl: --relay needs --account";
        QTest::newRow("relay, bad MAC")
            << Relay("5C-CF-7F-01-02") + QStringList{"status"}
            << "quillet-ctl: --mac must be six hexadecimal pairs, e.g. 5C-CF-7F-01-02-0A";
        QTest::newRow("discover, bad broadcast") << QStringList{"discover", "--broadcast", "lan"}
                                                 << "quillet-ctl: --broadcast needs an IPv4 address";
        QTest::newRow("wifi join without password")
            << QStringList{"wifi", "join", "Workshop", "--broadcast", FBroadcast}
            << "quillet-ctl: wifi scan [--timeout-ms MS] | wifi join SSID PASSWORD";
    }

    void usage() {
        QFETCH(QStringList, args);
        QFETCH(QString, err);
        Check({args, 2, {}, err});
    }

    void outputs() {
        const QStringList b = Host(Bench);
        RunSteps({
            {b + QStringList{"out", "on", "2"}, 0, {R"({"out":2,"on":true})"}, {}},
            {b + QStringList{"out", "toggle", "3"}, 0, {R"({"out":3,"on":true})"}, {}},
            {b + QStringList{"out", "toggle", "3"}, 0, {R"({"out":3,"on":false})"}, {}},
            {b + QStringList{"out", "off", "2"}, 0, {R"({"out":2,"on":false})"}, {}},
            {b + QStringList{"out", "all-on"}, 0, {R"({"out":"all","on":true})"}, {}},
        });
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(Compact(Status(b).value("out")), "[true,true,true,true,true,true,true,true]");
        RunSteps({
            {b + QStringList{"out", "all-off"}, 0, {R"({"out":"all","on":false})"}, {}},
            {b + QStringList{"out", "on", "8"}, 0, {R"({"out":8,"on":true})"}, {}},
            {b + QStringList{"out", "toggle", "1"}, 0, {R"({"out":1,"on":true})"}, {}},
            // The board refuses an output it does not have (code 255).
            {b + QStringList{"out", "on", "9"}, 1, {}, "The board does not support command 0x02"},
        });
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(Compact(Status(b).value("out")), "[true,false,false,false,false,false,false,true]");
    }

    void pwm() {
        const QStringList b = Host(Bench);
        RunSteps({
            {b + QStringList{"pwm", "duty", "1", "50"}, 0, {R"({"pwm":1,"duty":50})"}, {}},
            {b + QStringList{"pwm", "duty", "2", "100"}, 0, {R"({"pwm":2,"duty":100})"}, {}},
            {b + QStringList{"pwm", "freq", "1", "715"}, 0, {R"({"pwm":1,"hz":715})"}, {}},
            {b + QStringList{"pwm", "freq", "2", "65535"}, 0, {R"({"pwm":2,"hz":65535})"}, {}},
            {b + QStringList{"pwm", "freq", "2", "65536"},
             2,
             {},
             "quillet-ctl: frequency must be 715 to 65535 Hz"},
            {b + QStringList{"pwm", "freq", "1", "714"},
             2,
             {},
             "quillet-ctl: frequency must be 715 to 65535 Hz"},
            {b + QStringList{"pwm", "duty", "3", "10"}, 1, {}, "The board does not support command 0x22"},
        });
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(Compact(Status(b).value("pwm")), R"([{"duty":50,"hz":715},{"duty":100,"hz":65535}])");
    }

    void infrared() {
        const QStringList b = Host(Bench);
        RunSteps({
            // A slot of the board's IO configuration holds a code; a created one has none yet.
            {b + QStringList{"ir", "send", "1"}, 0, {R"({"ir":1,"ok":true})"}, {}},
            {b + QStringList{"ir", "create"}, 0, {R"({"ir":2})"}, {}},
            {b + QStringList{"ir", "send", "2"},
             1,
             {R"({"ir":2,"ok":false})"},
             "The board reported a failure (0)"},
            {b + QStringList{"ir", "create"}, 1, {}, "No free infrared slot on the board"},
            {b + QStringList{"ir", "learn", "1"}, 0, {R"({"ir":1,"result":"success"})"}, {}},
            {b + QStringList{"ir", "learn", "2", "3"}, 0, {R"({"ir":2,"result":"success"})"}, {}},
            {b + QStringList{"ir", "send", "2"}, 0, {R"({"ir":2,"ok":true})"}, {}},
            {b + QStringList{"ir", "learn", "3", "2"},
             1,
             {R"({"ir":3,"result":"failure"})"},
             "Infrared study failure!"},
            {b + QStringList{"ir", "remove", "2"}, 0, {R"({"ir":2,"ok":true})"}, {}},
            {b + QStringList{"ir", "remove", "2"},
             1,
             {R"({"ir":2,"ok":false})"},
             "The board reported a failure (0)"},
            {Host(Dud) + QStringList{"ir", "learn", "1"},
             1,
             {R"({"ir":1,"result":"failure"})"},
             "Infrared study failure!"},
            {Host(Deaf) + QStringList{"ir", "learn", "1", "2"},
             1,
             {R"({"ir":1,"result":"overtime"})"},
             "Infrared study overtime!"},
        });
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(Status(b).value("io").toObject().value("ir").toInt(), 1);
    }

    void names() {
        const QStringList b = Host(Bench);
        RunSteps({
            {b + QStringList{"name", "out", "1", "Lamp"}, 0, {R"({"kind":"out","n":1,"name":"Lamp"})"}, {}},
            {b + QStringList{"name", "out", "3", "ABCDEFGHIJKLM"},
             0,
             {R"({"kind":"out","n":3,"name":"ABCDEFGHIJKL"})"},
             {}},
            {b + QStringList{"name", "in", "2", "Door"}, 0, {R"({"kind":"in","n":2,"name":"Door"})"}, {}},
            {b + QStringList{"name", "pwm", "2", "Fan"}, 0, {R"({"kind":"pwm","n":2,"name":"Fan"})"}, {}},
            {b + QStringList{"name", "reg", "1", "Küche °C"},
             0,
             {R"({"kind":"reg","n":1,"name":"Küche °C"})"},
             {}},
            // A plain literal: moc misreads a backslash inside a raw string.
            {b + QStringList{"name", "ir", "1", "TV \"on\""},
             0,
             {"{\"kind\":\"ir\",\"n\":1,\"name\":\"TV \\\"on\\\"\"}"},
             {}},
            {b + QStringList{"name", "out", "9", "X"}, 1, {}, "The board has no out channel 9"},
            {b + QStringList{"name", "lamp", "1", "X"}, 2, {}, "quillet-ctl: name out|in|pwm|reg|ir N TEXT"},
        });
        if (QTest::currentTestFailed())
            return;
        const QJsonObject names = Status(b).value("names").toObject();
        QCOMPARE(Compact(names.value("out")),
                 R"(["Lamp","Out 2","ABCDEFGHIJKL","Out 4","Out 5","Out 6","Out 7","Out 8"])");
        QCOMPARE(Compact(names.value("in")), R"(["In 1","Door","In 3","In 4"])");
        QCOMPARE(Compact(names.value("pwm")), R"(["PWM 1","Fan"])");
        QCOMPARE(names.value("reg").toArray().at(0).toString(), QStringLiteral("Küche °C"));
        QCOMPARE(names.value("ir").toArray().at(0).toString(), QStringLiteral("TV \"on\""));
    }

    // A table of two tasks: board-given IDs, a full table, states, deletion and reuse of an ID.
    void tasks() {
        const QStringList b = Host(Timer);
        const QString task1 =
            R"({"id":1,"enable":true,"loop":"once","start":"2030-12-24 18:30","cmd":"on","out":1,"week":[]})";
        const QString task1Off =
            R"({"id":1,"enable":false,"loop":"once","start":"2030-12-24 18:30","cmd":"on","out":1,"week":[]})";
        const QString task2 =
            R"({"id":2,"enable":true,"loop":"day","start":"2031-01-02 07:05","cmd":"off","out":2,"week":["SU","MO","FR"]})";
        RunSteps({
            {b + QStringList{"task", "list", "1"}, 0, {}, {}},
            {b + QStringList{"task", "add", "1", "on", "2030-12-24 18:30"}, 0, {task1}, {}},
            {b + QStringList{"task", "add", "2", "off", "2031-01-02 07:05", "--days", "FR,SU,mo"},
             0,
             {task2},
             {}},
            {b + QStringList{"task", "list", "1"}, 0, {task1}, {}},
            {b + QStringList{"task", "list", "2"}, 0, {task2}, {}},
            {b + QStringList{"task", "disable", "1"}, 0, {R"({"id":1,"state":"disabled"})"}, {}},
            {b + QStringList{"task", "list", "1"}, 0, {task1Off}, {}},
            {b + QStringList{"task", "enable", "1"}, 0, {R"({"id":1,"state":"enabled"})"}, {}},
            {b + QStringList{"task", "list", "1"}, 0, {task1}, {}},
        });
        if (QTest::currentTestFailed())
            return;

        // Full: the clock is still set first, then the board answers ID 255.
        const QStringList full = b + QStringList{"--trace", "task", "add", "3", "toggle", "2030-06-01 12:00"};
        const TRun r = Ctl(full);
        QVERIFY2(r.rc == 1 && r.out.isEmpty() && r.err.value(r.err.size() - 1) == "Task list was full!",
                 qPrintable(Describe(full, r)));
        const QStringList sent = SentFrames(r);
        QCOMPARE(sent.size(), 2);
        QVERIFY2(sent.at(0).startsWith("> 55 AA 00 06 00 54 "), qPrintable(sent.at(0)));
        QVERIFY2(sent.at(1).startsWith("> 55 AA 00 0C 00 51 80 "), qPrintable(sent.at(1)));

        RunSteps({
            {b + QStringList{"task", "delete", "2"}, 0, {R"({"id":2,"state":"deleted"})"}, {}},
            {b + QStringList{"task", "list", "2"}, 0, {}, {}},
            {b + QStringList{"task", "delete", "2"}, 1, {}, "The board does not support command 0x52"},
            {b + QStringList{"task", "add", "3", "toggle", "2030-06-01 12:00", "--days", "SA"},
             0,
             {R"({"id":2,"enable":true,"loop":"day","start":"2030-06-01 12:00","cmd":"toggle","out":3,"week":["SA"]})"},
             {}},
            {b + QStringList{"task", "add", "1", "off", "2030-06-01 12:00"}, 1, {}, "Task list was full!"},
            {b + QStringList{"task", "list", "1"}, 0, {task1}, {}},
            {b + QStringList{"task", "add", "9", "on", "2030-06-01 12:00"},
             1,
             {},
             "The board does not support command 0x51"},
            {b + QStringList{"clock", "sync"}, 0, {R"({"clock":true})"}, {}},
        });
    }

    void device() {
        const QStringList b = Host(Config);
        const QStringList newPw = b + QStringList{"--password", "123456"};
        RunSteps({
            {b + QStringList{"device", "name", "Hall Lights"}, 0, {R"({"name":"Hall Lights"})"}, {}},
            {b + QStringList{"device", "name", "ÄÖÜäöüßé"}, 0, {R"({"name":"ÄÖÜäöüßé"})"}, {}},
            {b + QStringList{"device", "password", "qorvu", "123456"}, 0, {R"({"changed":true})"}, {}},
            {b + QStringList{"status"}, 1, {}, "Password error"},
            {newPw + QStringList{"device", "password", "qorvu", "654321"},
             1,
             {R"({"changed":false})"},
             "Failed to change device password!"},
            {newPw + QStringList{"device", "io", "6", "6", "1", "3"},
             0,
             {R"({"out":6,"in":6,"pwm":1,"reg":3,"ir":1})"},
             {}},
        });
        if (QTest::currentTestFailed())
            return;
        const QJsonObject s = Status(newPw);
        QCOMPARE(Compact(s.value("io")), R"({"in":6,"ir":1,"out":6,"pwm":1,"reg":3})");
        QCOMPARE(s.value("out").toArray().size(), 6);
        QCOMPARE(s.value("in").toArray().size(), 6);
        QCOMPARE(s.value("pwm").toArray().size(), 1);
        QCOMPARE(s.value("reg").toArray().size(), 3);

        // The new password on the wire, then the save request and its answer.
        const QStringList save = newPw + QStringList{"--trace", "device", "save"};
        const TRun r = Ctl(save);
        QVERIFY2(r.rc == 0, qPrintable(Describe(save, r)));
        QCOMPARE(r.out, QStringList{R"({"saved":true})"});
        QCOMPARE(r.err, (QStringList{"> 31 32 33 34 35 36 0D 0A", "< 4F 4B", "> 55 AA 00 02 00 7A 7C",
                                     "< AA 55 00 02 00 FA FC"}));

        RunSteps({
            {newPw + QStringList{"device", "io", "24", "0", "2", "4", "--save"},
             0,
             {R"({"out":24,"in":0,"pwm":2,"reg":4,"ir":1})"},
             {}},
            // More registers than this board takes, and a board without IO configuration.
            {newPw + QStringList{"device", "io", "4", "4", "0", "5"},
             1,
             {},
             "The board does not support command 0x72"},
            {Host(Timer) + QStringList{"device", "io", "4", "4", "0", "0"},
             1,
             {},
             "The board does not support command 0x72"},
            {newPw + QStringList{"device", "password", "123456", "qorvu"}, 0, {R"({"changed":true})"}, {}},
        });
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(Compact(Status(b).value("io")), R"({"in":0,"ir":1,"out":24,"pwm":2,"reg":4})");
    }

    void relayLogins_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("rc");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString lab = Boards[Lab].mac;
        const QStringList off1{"out", "off", "1"};
        QTest::newRow("demo") << Relay(lab) + off1 << 0 << R"({"out":1,"on":false})" << QString();
        QTest::newRow("guest, its board")
            << Relay(lab, "guest", "guest") + off1 << 0 << R"({"out":1,"on":false})" << QString();
        QTest::newRow("wrong account password")
            << Relay(lab, "demo", "demo1") + off1 << 1 << QString() << "Password error";
        QTest::newRow("unknown account")
            << Relay(lab, "nobody", "demo") + off1 << 1 << QString() << "Password error";
        QTest::newRow("board of another account")
            << Relay(Boards[Kitchen].mac, "guest", "guest") + off1 << 1 << QString() << "Not available";
        QTest::newRow("board of no account") << Relay(Unowned) + off1 << 1 << QString() << "Not available";
        QTest::newRow("board the relay cannot reach")
            << Relay(Unroutable) + off1 << 1 << QString() << "Device Offline";
        QTest::newRow("board refuses the relay")
            << Relay(Boards[RefuseNo].mac) + off1 << 1 << QString() << "Device Offline";
        QTest::newRow("no relay at the port")
            << Relay(lab) + QStringList{"--relay-port", "8901"} + off1 << 1 << QString() << "Connect failed";
    }

    void relayLogins() {
        QFETCH(QStringList, args);
        QFETCH(int, rc);
        QFETCH(QString, out);
        QFETCH(QString, err);
        Check({args, rc, out.isEmpty() ? QStringList() : QStringList{out}, err});
    }

    void wifi() {
        QString why;
        QVERIFY2(OnlyVirtualLanInterfaces(&why), qPrintable(why));
        const QStringList bc{"--broadcast", FBroadcast};
        RunSteps({
            {QStringList{"wifi", "scan", "--timeout-ms", "1000"} + bc,
             0,
             {R"({"ssid":"Quillet Lab","signal":80})", R"({"ssid":"Workshop","signal":45})",
              R"({"ssid":"Open","signal":20})"},
             {}},
            {QStringList{"wifi", "join", "Workshop", "tools123"} + bc,
             0,
             {R"({"ssid":"Workshop","joined":true})"},
             {}},
            {QStringList{"wifi", "join", "Quillet Lab", "secret12"} + bc,
             0,
             {R"({"ssid":"Quillet Lab","joined":true})"},
             {}},
            {QStringList{"wifi", "join", "Workshop", "tools12"} + bc, 1, {}, "SSID password error!"},
            {QStringList{"wifi", "join", "Nowhere", "whatever"} + bc, 1, {}, "SSID not exist!"},
        });
    }

    // The board simulator's fault switches, each on a board of its own.
    void faults_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("rc");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QStringList st{"status"}, on1{"out", "on", "1"};
        QTest::newRow("password refused with NO")
            << Host(RefuseNo) + st << 1 << QString() << "Password error";
        QTest::newRow("password refused by a drop")
            << Host(RefuseDrop) + st << 1 << QString() << "Password error";
        QTest::newRow("drop 500 ms after the login")
            << Host(Drop500) + st << 1 << QString() << "Password error";
        QTest::newRow("drop 1500 ms after the login")
            << Host(Drop1500) + st << 1 << QString() << "Disconnected";
        QTest::newRow("wrong password")
            << Host(Lab) + QStringList{"--password", "qorvu1"} + st << 1 << QString() << "Password error";
        QTest::newRow("connection dropped while waiting")
            << Host(DropAfter) + on1 << 1 << QString() << "Disconnected";
        QTest::newRow("connection dropped while learning")
            << Host(DropLearning) + QStringList{"ir", "learn", "1"} << 1 << QString() << "Disconnected";
        QTest::newRow("replies after 1500 ms")
            << Host(Slow) + on1 << 0 << R"({"out":1,"on":true})" << QString();
        // The board holds its "OK" as well: the login itself gets no answer within 3 s.
        QTest::newRow("replies after 3500 ms") << Host(TooSlow) + on1 << 1 << QString() << "Connect Timeout";
        QTest::newRow("split replies") << Host(Split) + st << 0 << DefaultStatus << QString();
        QTest::newRow("garbage between frames") << Host(Garbage) + st << 0 << DefaultStatus << QString();
        QTest::newRow("split replies and garbage")
            << Host(SplitGarbage) + st << 0 << DefaultStatus << QString();
        QTest::newRow("split replies through the relay")
            << Relay(Boards[SplitGarbage].mac) + st << 0 << DefaultStatus << QString();
        QTest::newRow("ignored command")
            << Host(Deaf) + st << 1 << QString() << "No reply from the board within 3000 ms";
        QTest::newRow("other commands of that board")
            << Host(Deaf) + on1 << 0 << R"({"out":1,"on":true})" << QString();
        QTest::newRow("no board at the address")
            << QStringList{"--host", qEnvironmentVariable("QUILLET_VLAN_PC_IP")} + st << 1 << QString()
            << "Connect failed";
    }

    void faults() {
        QFETCH(QStringList, args);
        QFETCH(int, rc);
        QFETCH(QString, out);
        QFETCH(QString, err);
        Check({args, rc, out.isEmpty() ? QStringList() : QStringList{out}, err});
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet(InsideVar))
        return RunInVirtualLan("tst_e2e_ctl", InsideVar, VirtualLanArgs(), argc, argv);
    QCoreApplication app(argc, argv);
    tst_e2e_ctl test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_ctl.moc"
