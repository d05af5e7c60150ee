// The selected board's controller against simulated boards (quillet-boardsim on loopback, whose
// request log shows what the controller sent) and against a scripted loopback board for the
// faults a real board may show: split or foreign bytes, silence, channels that do not exist and
// refusals. Nothing leaves loopback.
#include "untDevEvents.h"

#include "SimBoards.h"
#include "SimTestUtil.h"

#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

QString Hex(const QByteArray& b) {
    return QString::fromLatin1(b.toHex(' '));
}

// The window as the controller sees it: counts, cell contents and everything shown, with every
// call for a cell that does not exist recorded as a fault.
class RecordingSink : public TDevEventsSink {
public:
    QMap<TIOTYPE, int> counts;
    TDevParam param;
    bool appeared = false;
    bool animated = false;
    int adds = 0;
    QList<QList<int>> addArgs;
    QMap<int, bool> outs;
    QMap<int, bool> ins;
    QMap<int, int> duties;
    QMap<int, int> hzs;
    QMap<int, float> regs;
    QMap<QPair<TIOTYPE, int>, TIOName> names;
    QMap<int, bool> studied;
    QList<int> outAll; // 1 on, 0 off
    QStringList messages;
    QStringList overlay; // first lines shown, "-" for hidden
    int saves = 0;
    QList<int> taskLists; // counts of the list replies
    QList<quint8> taskAdds;
    QList<bool> taskTimes;
    QList<quint8> addedRed;
    QList<quint8> removedRed;
    bool autoSave = false;
    QStringList faults;
    std::function<void()> onAppeared;

    void Check(TIOTYPE t, int i, const char* what) {
        if (i < 0 || i >= counts.value(t))
            faults << QStringLiteral("%1 %2 of %3").arg(QLatin1String(what)).arg(i).arg(counts.value(t));
    }
    int Count(TIOTYPE t) const override { return counts.value(t); }
    void Add(int o, int i, int p, int r, int ir) override {
        ++adds;
        addArgs << QList<int>{o, i, p, r, ir};
        counts = {{TIOTYPE::IO_OUT, o},
                  {TIOTYPE::IO_IN, i},
                  {TIOTYPE::IO_PWM, p},
                  {TIOTYPE::IO_REG, r},
                  {TIOTYPE::IO_Red, ir}};
        outs.clear();
        names.clear();
    }
    void AddRed(quint8 n) override {
        addedRed << n;
        ++counts[TIOTYPE::IO_Red];
    }
    void RemoveRed(quint8 n) override {
        removedRed << n;
        if (counts.value(TIOTYPE::IO_Red) > 0)
            --counts[TIOTYPE::IO_Red];
    }
    TDevParam DevParam() const override { return param; }
    void SetDevParam(const TDevParam& p) override { param = p; }
    void SetAppeared(bool v) override {
        appeared = v;
        if (v && onAppeared)
            onAppeared();
    }
    void OutAll(bool on) override { outAll << (on ? 1 : 0); }
    void SetOutState(int i, bool on) override {
        Check(TIOTYPE::IO_OUT, i, "output");
        outs[i] = on;
    }
    void SetInState(int i, bool on) override {
        Check(TIOTYPE::IO_IN, i, "input");
        ins[i] = on;
    }
    void SetPWMDuty(int i, quint8 d) override {
        Check(TIOTYPE::IO_PWM, i, "duty");
        duties[i] = d;
    }
    void SetPWMHZ(int i, quint16 hz) override {
        Check(TIOTYPE::IO_PWM, i, "frequency");
        hzs[i] = hz;
    }
    void SetREGValue(int i, float v) override {
        Check(TIOTYPE::IO_REG, i, "register");
        regs[i] = v;
    }
    void SetName(TIOTYPE t, int i, const TIOName& n) override {
        Check(t, i, "name");
        names[{t, i}] = n;
    }
    void SetStudied(int i, bool v) override {
        Check(TIOTYPE::IO_Red, i, "infrared");
        studied[i] = v;
    }
    void SetListAnimated(bool v) override { animated = v; }
    void SaveDevices() override { ++saves; }
    void TaskListReply(quint8 count, const TTaskRcds&) override { taskLists << count; }
    void TaskAddReply(quint8 id, const TTaskRcd&) override { taskAdds << id; }
    void TaskStateReply(quint8, TTASKSTATE) override {}
    void TaskSetTimeReply(bool ok) override { taskTimes << ok; }
    void ShowSearching(const QString& l1, const QString&) override { overlay << l1; }
    void HideSearching() override { overlay << QStringLiteral("-"); }
    void ShowMessage(const QString& t) override { messages << t; }
    bool AutoSaveIO() const override { return autoSave; }
};

// One quillet-boardsim process serving one board on loopback, with its request log.
// A board written out by hand: answers the readings of its counts, refuses or holds what it is
// told, and lets a test add bytes after any reply.
class ScriptedBoard : public QObject {
public:
    QTcpServer server;
    QPointer<QTcpSocket> conn;
    TIOTFrameReader reader{TFrameKind::Request};
    QList<QByteArray> requests;
    int out = 2, in = 1, pwm = 0, reg = 1, ir = 1;
    int bitBytes = 0; // extra bytes of output and input bits
    int extraRegs = 0;
    int extraNames = 0;
    QSet<quint8> refuse;
    QSet<quint8> hold;
    QList<QByteArray> held;         // reply frames kept back, in order
    QMap<quint8, QByteArray> after; // bytes written right after the reply to a request code
    QByteArray line;
    bool loggedIn = false;

    ScriptedBoard() {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                if (conn)
                    conn->deleteLater();
                conn = s;
                loggedIn = false;
                line.clear();
                reader.Reset();
                QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] { Read(s); });
            }
        });
    }
    quint16 Port() const { return server.serverPort(); }
    QStringList Codes() const {
        QStringList r;
        for (const QByteArray& p : requests)
            r << Hex(p.left(1));
        return r;
    }
    void Write(const QByteArray& b) {
        if (conn)
            conn->write(b);
    }
    // Writes the first n replies kept back (all when n < 0) in one write.
    void Release(int n = -1) {
        QByteArray b;
        const int count = n < 0 ? int(held.size()) : std::min(n, int(held.size()));
        for (int i = 0; i < count; ++i)
            b += held.takeFirst();
        Write(b);
    }

    static QByteArray Bits(int count, int extra, bool firstOn) {
        QByteArray b((count + 7) / 8 + extra, '\0');
        if (b.isEmpty())
            b.append('\0');
        if (firstOn)
            b[0] = 1;
        return b;
    }
    QByteArray Answer(const QByteArray& p) const {
        const quint8 c = quint8(p.at(0));
        if (refuse.contains(c))
            return QByteArray::fromHex("FF") + p.left(1);
        QByteArray r(1, char(c + 0x80));
        switch (c) {
        case 0x7E:
            for (int v : {out, in, pwm, reg, ir})
                r.append(char(v));
            return r;
        case 0x0A:
            return r + Bits(out, bitBytes, true);
        case 0x14:
            return r + Bits(in, bitBytes, true);
        case 0x24:
            for (int i = 0; i < pwm; ++i)
                r += QByteArray::fromHex("3207D0");
            return r;
        case 0x40:
            for (int i = 0; i < reg + extraRegs; ++i)
                r += QByteArray::fromHex("00FA"); // 25.0
            return r;
        case 0x63:
            for (int i = 0; i < out + in + pwm + reg + ir + extraNames; ++i)
                r += TNEV_GPIOAPI::NameRecord(
                    TIOName{0, quint8(i == out + in + pwm + reg ? 1 : 0), QStringLiteral("n%1").arg(i)});
            return r;
        case 0x01:
        case 0x02:
            return r + p.mid(1, 1) + QByteArray(1, char(c == 0x02));
        case 0x74:
            return r + p.mid(1, 16);
        default:
            return QByteArray::fromHex("FF") + p.left(1);
        }
    }

private:
    void Read(QTcpSocket* s) {
        const QByteArray data = s->readAll();
        if (!loggedIn) {
            line += data;
            if (!line.contains("\r\n"))
                return;
            loggedIn = true;
            s->write("OK");
            return;
        }
        for (const QByteArray& p : reader.Feed(data)) {
            requests << p;
            const QByteArray reply = BuildReplyFrame(Answer(p)) + after.value(quint8(p.at(0)));
            if (hold.contains(quint8(p.at(0))))
                held << reply;
            else
                s->write(reply);
        }
    }
};

QByteArray ReplyFrame(const char* hex) {
    return BuildReplyFrame(QByteArray::fromHex(hex));
}

} // namespace

class tst_untDevEvents : public QObject {
    Q_OBJECT

    RecordingSink sink;
    std::unique_ptr<TDevEvents> ctrl;

    // A device on loopback with the given port; selected before or after it logs in.
    static std::unique_ptr<TNEV_IOTDevConn> Device(quint16 port) {
        auto dev = std::make_unique<TNEV_IOTDevConn>();
        dev->setDevIPStr(QStringLiteral("127.0.0.1"));
        dev->setLanPort(port);
        dev->setClickState(true);
        return dev;
    }
    static bool Online(TNEV_IOTDevConn& dev) {
        dev.setNetStyle(TIOTNETSTYLE::NET_LAN);
        return QTest::qWaitFor([&] { return dev.NetState() == TIOTNETSTATE::NET_OK; }, 5000);
    }
    // The chain is over once a request sent after it has reached the board: nothing of the
    // chain can come later.
    bool Marker() { return ctrl->TCPSend(QByteArray::fromHex("75")); }

private slots:
    void init() {
        sink = RecordingSink{};
        ctrl = std::make_unique<TDevEvents>(sink);
    }
    void cleanup() { ctrl.reset(); }

    void chainOnSimulatedBoards_data() {
        QTest::addColumn<QString>("board");
        QTest::addColumn<bool>("touch");
        QTest::addColumn<bool>("selectWhenOnline");
        QTest::addColumn<QString>("expected");
        const QString full = "out=8,in=4,pwm=2,reg=2,ir=1";
        QTest::newRow("8/4/2/2/1 touch") << full << true << false << "7e 0a 14 24 40 63";
        QTest::newRow("8/4/2/2/1 jog") << full << false << false << "7e 0a 14 24 40 63 04";
        QTest::newRow("8/4/2/2/1 chosen when online") << full << true << true << "7e 0a 14 24 40 63";
        QTest::newRow("outputs only touch") << "out=4,in=0,pwm=0,reg=0,ir=0" << true << false << "7e 0a 63";
        QTest::newRow("outputs only jog") << "out=4,in=0,pwm=0,reg=0,ir=0" << false << false << "7e 0a 63 04";
        QTest::newRow("inputs only") << "out=0,in=4,pwm=0,reg=0,ir=0" << true << false << "7e 14 63";
        QTest::newRow("PWM and registers only")
            << "out=0,in=0,pwm=2,reg=2,ir=0" << true << false << "7e 24 40 63";
        QTest::newRow("infrared only") << "out=0,in=0,pwm=0,reg=0,ir=2" << true << false << "7e 63";
        QTest::newRow("infrared only jog") << "out=0,in=0,pwm=0,reg=0,ir=2" << false << false << "7e 63";
        QTest::newRow("no channels") << "out=0,in=0,pwm=0,reg=0,ir=0" << true << false << "7e";
    }
    void chainOnSimulatedBoards() {
        QFETCH(QString, board);
        QFETCH(bool, touch);
        QFETCH(bool, selectWhenOnline);
        QFETCH(QString, expected);
        SimBoards sim;
        QVERIFY(sim.StartOne(board));
        auto dev = Device(sim.port());
        dev->DevParam().TouchMode = touch;
        if (!selectWhenOnline)
            ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        if (selectWhenOnline)
            ctrl->Select(dev.get());
        QTRY_VERIFY(sink.appeared);
        QTRY_VERIFY(!ctrl->ChainRunning());
        QVERIFY(Marker());
        QTRY_COMPARE(sim.Codes().join(' '), expected + " 75");
        QCOMPARE(sink.adds, 1);
        QVERIFY(sink.animated);
        int total = 0;
        for (int c : sink.counts)
            total += c;
        QCOMPARE(sink.names.size(), total);
        QCOMPARE(sink.outs.size(), touch ? sink.counts.value(TIOTYPE::IO_OUT) : 0);
        QCOMPARE(sink.faults, QStringList());
    }

    void splitRepliesWithGarbage() {
        SimBoards sim;
        QVERIFY(sim.StartOne("out=8,in=4,pwm=2,reg=2,ir=1",
                             {"--split", "3", "--split-gap-ms", "5", "--garbage"}));
        auto dev = Device(sim.port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 17);
        QVERIFY(Marker());
        QTRY_COMPARE(sim.Codes().join(' '), QString("7e 0a 14 24 40 63 75"));
        QCOMPARE(sink.regs.size(), 2);
        QCOMPARE(sink.faults, QStringList());
    }

    void ignoredRequestStopsTheChainUntilTheNextSelection() {
        SimBoards sim;
        QVERIFY(sim.StartOne("out=4,in=2,pwm=0,reg=0,ir=0", {"--ignore", "0x14"}));
        auto dev = Device(sim.port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sim.Codes().join(' '), QString("7e 0a 14"));
        // The user still works the board while the read hangs.
        ctrl->AllOn();
        QTRY_COMPARE(sink.outAll, QList<int>{1});
        QVERIFY(sink.names.isEmpty());
        ctrl->Select(nullptr);
        ctrl->Select(dev.get());
        QTRY_COMPARE(sim.Codes().join(' '), QString("7e 0a 14 05 7e 0a 14"));
    }

    void userCommandDuringTheChain_data() {
        QTest::addColumn<bool>("oneBlock");
        QTest::addColumn<bool>("refused");
        QTest::newRow("answers one after the other") << false << false;
        QTest::newRow("answers in one block") << true << false;
        QTest::newRow("user's command refused") << false << true;
    }
    void userCommandDuringTheChain() {
        QFETCH(bool, oneBlock);
        QFETCH(bool, refused);
        ScriptedBoard board;
        board.hold = {0x0A, 0x02};
        if (refused)
            board.refuse = {0x02};
        auto dev = Device(board.Port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(board.Codes().join(' '), QString("7e 0a"));
        // The user switches output 2 on while the outputs' reading is under way.
        ctrl->SwitchOutput(1, false);
        QTRY_COMPARE(board.Codes().join(' '), QString("7e 0a 02"));
        board.hold.clear();
        if (oneBlock) {
            board.Release();
        } else {
            // The outputs' reply is shown, but the chain waits for the answer to the user.
            board.Release(1);
            QTRY_COMPARE(sink.outs.size(), 2);
            QCOMPARE(ctrl->ChainWaiting(), quint8(0));
            QVERIFY(ctrl->ChainRunning());
            QCOMPARE(board.Codes().join(' '), QString("7e 0a 02"));
            board.Release();
        }
        QTRY_COMPARE(sink.names.size(), 5);
        QCOMPARE(board.Codes().join(' '), QString("7e 0a 02 14 40 63"));
        QCOMPARE(sink.outs.value(1), !refused);
        QCOMPARE(sink.faults, QStringList());
    }

    void channelsPastTheEnd() {
        ScriptedBoard board; // 2 outputs, 1 input, 1 register, 1 infrared
        board.bitBytes = 2;
        board.extraRegs = 5;
        board.extraNames = 4;
        // Unsolicited reports for cells that do not exist, after the registers' reply.
        board.after[0x40] =
            ReplyFrame("C300C80100FA00FA00FA")      // registers 0 to 199
            + ReplyFrame("C3050000FA")              // start past the end
            + ReplyFrame("C3FF0100FA")              // end before start
            + ReplyFrame("C1010064")                // register 1 (only 0 exists)
            + ReplyFrame("E5") + ReplyFrame("E500") // too short for a name
            +
            BuildReplyFrame(QByteArray::fromHex("E400") +
                            TNEV_GPIOAPI::NameRecord({0, 0, QStringLiteral("short")})) // one name, 2 outputs
            + BuildReplyFrame(QByteArray::fromHex("E401") + TNEV_GPIOAPI::NameRecord({}) +
                              TNEV_GPIOAPI::NameRecord({}) + TNEV_GPIOAPI::NameRecord({})) // 3 names, 1 input
            + BuildReplyFrame(QByteArray::fromHex("E10000") + TNEV_GPIOAPI::NameRecord({})) // output 0
            + BuildReplyFrame(QByteArray::fromHex("E10003") + TNEV_GPIOAPI::NameRecord({})) // output 3
            + BuildReplyFrame(QByteArray::fromHex("E10401") + TNEV_GPIOAPI::NameRecord({})) // infrared 1
            + ReplyFrame("820001") + ReplyFrame("820301")                                   // outputs 0 and 3
            + ReplyFrame("A20150") + ReplyFrame("B20107D0") // PWM 1 (none exist)
            + ReplyFrame("A90501");                         // infrared 5 learned
        auto dev = Device(board.Port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 5);
        QTRY_COMPARE(sink.overlay.size(), 1); // the learning report reached the controller
        QCOMPARE(board.Codes().join(' '), QString("7e 0a 14 40 63"));
        QCOMPARE(sink.faults, QStringList());
        QCOMPARE(sink.regs.keys(), QList<int>{0});
        QCOMPARE(sink.names.value({TIOTYPE::IO_OUT, 0}).Name, QString("n0"));
        QCOMPARE(sink.names.value({TIOTYPE::IO_Red, 0}).Name, QString("n4"));
        QCOMPARE(sink.studied.value(0), true);
        QCOMPARE(sink.outs.keys(), (QList<int>{0, 1}));
    }

    void refusals() {
        ScriptedBoard board;
        board.pwm = 1;
        board.refuse = {0x24, 0x74};
        auto dev = Device(board.Port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        // A board that refuses a reading still gets the others and the names.
        QTRY_COMPARE(sink.names.size(), 6);
        QCOMPARE(board.Codes().join(' '), QString("7e 0a 14 24 40 63"));
        QVERIFY(ctrl->ChangeName(QStringLiteral("Lab")));
        QTRY_COMPARE(sink.messages, QStringList{"Not to support the change devie name now!"});
        // A refusal of something other than the last command shows nothing.
        board.Write(ReplyFrame("FF73") + ReplyFrame("FF72"));
        ctrl->SwitchOutput(0, true);
        QTRY_COMPARE(board.Codes().size(), 8);
        QTRY_COMPARE(sink.outs.value(0), false);
        QCOMPARE(sink.messages.size(), 1);
    }

    // A board without the feature, or with its store full, refuses: the user is told.
    void refusalsOfChangesAreShown_data() {
        QTest::addColumn<QByteArray>("request");
        TTaskRcd task;
        task.Enable = true;
        task.StartTime = QDateTime(QDate(2030, 1, 1), QTime(8, 0));
        task.CMD = TNEV_GPIOAPI::Out_Set_ON(1);
        QTest::newRow("task add") << TNEV_GPIOAPI::Task_Set_Add(task);
        QTest::newRow("task state") << TNEV_GPIOAPI::Task_Set_State(1, TTASKSTATE::TASK_STATE_OFF);
        QTest::newRow("channel name") << TNEV_GPIOAPI::Name_Set_One(TIOTYPE::IO_OUT, 1, TIOName{});
        QTest::newRow("infrared slot") << TNEV_GPIOAPI::Red_Create();
    }
    void refusalsOfChangesAreShown() {
        QFETCH(QByteArray, request);
        ScriptedBoard board;
        board.refuse = {quint8(request.at(0))};
        auto dev = Device(board.Port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_VERIFY(!ctrl->ChainRunning() && sink.names.size() == 5);
        QVERIFY(ctrl->TCPSend(request));
        QTRY_COMPARE(sink.messages, QStringList{"The device refused the request!"});
    }

    void onlyTheSelectedDeviceActs() {
        ScriptedBoard boardA, boardB;
        auto a = Device(boardA.Port());
        auto b = Device(boardB.Port());
        ctrl->Select(a.get());
        QVERIFY(Online(*a));
        QTRY_COMPARE(sink.names.size(), 5);
        QVERIFY(Online(*b));
        ctrl->Select(b.get());
        QTRY_COMPARE(boardB.Codes().join(' '), QString("7e 0a 14 40 63"));
        QTRY_COMPARE(sink.adds, 2);
        // A reconnects after a search and talks, still marked as clicked: B's panel stays.
        boardA.requests.clear();
        a->setNetStyle(TIOTNETSTYLE::NET_LAN);
        QTRY_COMPARE(a->NetState(), TIOTNETSTATE::NET_OK);
        boardA.Write(ReplyFrame("FE0800000000"));
        a->TCPSend(BuildFrame(QByteArray::fromHex("75")));
        QTRY_COMPARE(boardA.Codes(), QStringList{"75"});
        QVERIFY(Marker());
        QTRY_COMPARE(boardB.Codes().join(' '), QString("7e 0a 14 40 63 75"));
        QCOMPARE(sink.adds, 2);
        QCOMPARE(sink.counts.value(TIOTYPE::IO_OUT), 2);
    }

    void jogOutputsGoOffWhenReleasedOrLeft() {
        SimBoards sim;
        QVERIFY(sim.StartOne("out=4,in=0,pwm=0,reg=0,ir=0"));
        SimBoards other;
        QVERIFY(other.StartOne("out=1,in=0,pwm=0,reg=0,ir=0"));
        auto dev = Device(sim.port());
        dev->DevParam().TouchMode = false;
        auto dev2 = Device(other.port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sim.Codes().join(' '), QString("7e 0a 63 04"));
        ctrl->JogMode(1, true);
        QVERIFY(ctrl->JogHeld());
        ctrl->ReleaseJog(); // a modal box opens while output 2 is held
        ctrl->ReleaseJog();
        ctrl->JogMode(2, true);
        ctrl->Select(dev2.get()); // another device while output 3 is held
        QTRY_COMPARE(sim.Requests().mid(4).join(','), QString("02 02,01 02,02 03,01 03"));
        QCOMPARE(sim.OutputChanges(), (QStringList{"2 on", "2 off", "3 on", "3 off"}));
        QVERIFY(!ctrl->JogHeld());
        QVERIFY(Online(*dev2));
        QTRY_COMPARE(other.Codes().join(QLatin1Char(' ')), QString("7e 0a 63"));
    }

    void jogReleaseAfterThePanelShrank() {
        SimBoards sim;
        QVERIFY(sim.StartOne("out=4,in=0,pwm=0,reg=0,ir=0,ctrl=2"));
        auto dev = Device(sim.port());
        dev->DevParam().TouchMode = false;
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 4);
        ctrl->JogMode(3, true);
        QVERIFY(ctrl->ChangeIO("1", "0", "0", "0"));
        QTRY_COMPARE(sink.adds, 2);
        ctrl->ReleaseJog();
        // The switch-off still goes to the board, which no longer has that output.
        QTRY_VERIFY(sim.Requests().contains("01 04"));
        QCOMPARE(sink.faults, QStringList());
    }

    void allOnOffWithLocks_data() {
        QTest::addColumn<QList<bool>>("locks");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none locked") << QList<bool>{} << "05,04";
        QTest::newRow("output 2 locked")
            << QList<bool>{false, true, false, false} << "02 01,02 03,02 04,01 01,01 03,01 04";
        QTest::newRow("lock list shorter than outputs")
            << QList<bool>{true} << "02 02,02 03,02 04,01 02,01 03,01 04";
        QTest::newRow("all locked") << QList<bool>{true, true, true, true} << "";
    }
    void allOnOffWithLocks() {
        QFETCH(QList<bool>, locks);
        QFETCH(QString, expected);
        SimBoards sim;
        QVERIFY(sim.StartOne("out=4,in=0,pwm=0,reg=0,ir=0"));
        auto dev = Device(sim.port());
        dev->DevParam().LockArr = locks;
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 4);
        ctrl->AllOn();
        ctrl->AllOff();
        QVERIFY(Marker());
        QTRY_COMPARE(sim.Requests().mid(3).join(','), expected.isEmpty() ? QString("75") : expected + ",75");
        for (int i = 0; i < locks.size(); ++i)
            if (locks.at(i))
                QVERIFY(!sim.OutputChanges().contains(QString("%1 on").arg(i + 1)));
    }

    void toggleTouchMode() {
        SimBoards sim;
        QVERIFY(sim.StartOne("out=2,in=1,pwm=0,reg=0,ir=0"));
        auto dev = Device(sim.port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 3);
        ctrl->ToggleTouchMode();
        QVERIFY(!dev->DevParam().TouchMode);
        ctrl->ToggleTouchMode();
        QVERIFY(dev->DevParam().TouchMode);
        QVERIFY(sink.param.TouchMode);
        QTRY_VERIFY(!ctrl->ChainRunning());
        QVERIFY(Marker());
        QTRY_COMPARE(sim.Codes().join(' '), QString("7e 0a 14 63 04 0a 14 63 75"));
    }

    void passwordChange_data() {
        QTest::addColumn<QString>("old");
        QTest::addColumn<bool>("ok");
        QTest::newRow("accepted") << "qorvu" << true;
        QTest::newRow("wrong old password") << "nope" << false;
    }
    void passwordChange() {
        QFETCH(QString, old);
        QFETCH(bool, ok);
        SimBoards sim;
        QVERIFY(sim.StartOne("out=1,in=0,pwm=0,reg=0,ir=0"));
        auto dev = Device(sim.port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 1);
        QVERIFY(ctrl->ChangePassword(old, "ab1", "ab1"));
        QTRY_COMPARE(sink.messages.size(), 1);
        QCOMPARE(sink.messages.first(), ok ? QString("Change device Password success!")
                                           : QString("Failed to change device password!"));
        QCOMPARE(dev->DevPasswordStr(), ok ? QString("ab1") : QString("qorvu"));
        QCOMPARE(sink.saves, ok ? 1 : 0);
        // The stored password is the one the board now takes.
        QVERIFY(Online(*dev));
    }

    void nameChange_data() {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("whole replies") << QStringList{};
        QTest::newRow("split replies") << QStringList{"--split", "5", "--split-gap-ms", "5"};
    }
    void nameChange() {
        QFETCH(QStringList, options);
        SimBoards sim;
        QVERIFY(sim.StartOne("out=1,in=0,pwm=0,reg=0,ir=0", options));
        auto dev = Device(sim.port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 1);
        QVERIFY(!ctrl->ChangeName("   "));
        QCOMPARE(sink.messages, QStringList{"Device name length requires 1 to 16 bytes!"});
        QVERIFY(ctrl->ChangeName("  Lab east  "));
        QTRY_COMPARE(sink.messages.size(), 2);
        QCOMPARE(sink.messages.last(), QString("Change device name success!"));
        QCOMPARE(dev->DevNameStr(), QString("Lab east"));
        QTRY_COMPARE(sim.Requests().last().left(26), QString("74 4c 61 62 20 65 61 73 74"));
    }

    void ioConfiguration_data() {
        QTest::addColumn<bool>("autoSave");
        QTest::addColumn<QString>("fault"); // of the board
        QTest::addColumn<QString>("expected");
        QTest::newRow("without auto save") << false << ""
                                           << "72 0a 14 24 40 63";
        QTest::newRow("with auto save") << true << ""
                                        << "72 7a 0a 14 24 40 63";
        QTest::newRow("save never answered") << true << ",ignore=0x7A"
                                             << "72 7a 0a 14 24 40 63";
    }
    void ioConfiguration() {
        QFETCH(bool, autoSave);
        QFETCH(QString, fault);
        QFETCH(QString, expected);
        SimBoards sim;
        QVERIFY(sim.StartOne("out=8,in=0,pwm=0,reg=0,ir=0,ctrl=2" + fault));
        auto dev = Device(sim.port());
        ctrl->setChainStepMs(300);
        sink.autoSave = autoSave;
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 8);
        QVERIFY(!ctrl->ChangeIO("4", "2", "1", "300"));
        QVERIFY(!ctrl->ChangeIO("-1", "2", "1", "1"));
        QVERIFY(ctrl->ChangeIO("4", "2", "1", "1"));
        QTRY_COMPARE(sink.adds, 2);
        QTRY_COMPARE(sink.names.size(), 8);
        QVERIFY(Marker());
        QTRY_COMPARE(sim.Codes().mid(3).join(' '), expected + " 75");
        QCOMPARE(sim.Requests().at(3), QString("72 04 02 01 01"));
        QCOMPARE(sink.addArgs.last(), (QList<int>{4, 2, 1, 1, 0}));
        QStringList msgs{
            "Input error:\rInput and output sum can not greater than 24;PWM number can not greater than 2.",
            "Input error:\rInput and output sum can not greater than 24;PWM number can not greater than 2.",
            "Change device IO success!"};
        if (autoSave && fault.isEmpty())
            msgs << "Device status has been saved!";
        QCOMPARE(sink.messages, msgs);
    }

    void checkIOSetting_data() {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("ok");
        QTest::newRow("20 out 4 in 2 PWM") << QStringList{"20", "4", "2", "0"} << true;
        QTest::newRow("20 out 5 in") << QStringList{"20", "5", "0", "0"} << false;
        QTest::newRow("3 PWM") << QStringList{"0", "0", "3", "0"} << false;
        QTest::newRow("50 registers") << QStringList{"0", "0", "0", "50"} << true;
        QTest::newRow("255 registers") << QStringList{"0", "0", "0", "255"} << true;
        QTest::newRow("300 registers") << QStringList{"0", "0", "0", "300"} << false;
        QTest::newRow("-1 outputs") << QStringList{"-1", "4", "0", "0"} << false;
        QTest::newRow("not a number") << QStringList{"a", "0", "0", "0"} << false;
        QTest::newRow("fraction") << QStringList{"2.5", "0", "0", "0"} << false;
        QTest::newRow("empty") << QStringList{"", "0", "0", "0"} << false;
        QTest::newRow("blanks around") << QStringList{" 8 ", "4", "2", "2"} << true;
    }
    void checkIOSetting() {
        QFETCH(QStringList, texts);
        QFETCH(bool, ok);
        const auto io = TDevEvents::CheckIOSetting(texts[0], texts[1], texts[2], texts[3]);
        QCOMPARE(io.has_value(), ok);
        if (ok)
            QCOMPARE(io->Out + io->In + io->PWM + io->REG,
                     texts[0].toInt() + texts[1].toInt() + texts[2].toInt() + texts[3].toInt());
    }

    void checkDevName_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name"); // empty: refused
        QTest::newRow("16 letters") << "abcdefghijklmnop"
                                    << "abcdefghijklmnop";
        QTest::newRow("17 letters") << "abcdefghijklmnopq"
                                    << "";
        QTest::newRow("six Chinese characters") << QString::fromUtf8("澜桥匣澜桥匣") << "";
        QTest::newRow("three blanks") << "   "
                                      << "";
        QTest::newRow("trimmed before measuring") << "  abcdefghijklmnop  "
                                                  << "abcdefghijklmnop";
    }
    void checkDevName() {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QCOMPARE(TDevEvents::CheckDevName(text).value_or(QString()), name);
    }

    void checkPassword_data() {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("message");
        const QString len = "Password length requires 1 to 6 bytes!";
        QTest::newRow("fine") << QStringList{"qorvu", "abc123", "abc123"} << "";
        QTest::newRow("old empty") << QStringList{"", "abc", "abc"} << len;
        QTest::newRow("new and retype empty") << QStringList{"qorvu", "", ""} << len;
        QTest::newRow("seven characters") << QStringList{"qorvu", "abcdefg", "abcdefg"} << len;
        QTest::newRow("differ in the last letter")
            << QStringList{"qorvu", "abcd", "abce"} << "Two different password!";
        QTest::newRow("blank inside") << QStringList{"qorvu", "ab c", "ab c"} << "Input error!";
        QTest::newRow("not ASCII") << QStringList{"qorvu", QString::fromUtf8("pä"), QString::fromUtf8("pä")}
                                   << "Input error!";
        QTest::newRow("control character") << QStringList{"qorvu", "a\tb", "a\tb"} << "Input error!";
    }
    void checkPassword() {
        QFETCH(QStringList, texts);
        QFETCH(QString, message);
        QCOMPARE(TDevEvents::CheckPassword(texts[0], texts[1], texts[2]), message);
    }

    void pwmFrequency_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sent"); // empty: nothing
        QTest::addColumn<QString>("message");
        QTest::newRow("714") << "714"
                             << ""
                             << "PWM values between 715 and 65535!";
        QTest::newRow("715") << "715"
                             << "32 01 02 cb"
                             << "";
        QTest::newRow("65535") << "65535"
                               << "32 01 ff ff"
                               << "";
        QTest::newRow("65536") << "65536"
                               << ""
                               << "PWM values between 715 and 65535!";
        QTest::newRow("not a number") << "1k"
                                      << ""
                                      << "Input error!";
    }
    void pwmFrequency() {
        QFETCH(QString, text);
        QFETCH(QString, sent);
        QFETCH(QString, message);
        SimBoards sim;
        QVERIFY(sim.StartOne("out=0,in=0,pwm=1,reg=0,ir=0"));
        auto dev = Device(sim.port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 1);
        QCOMPARE(ctrl->SetPWMFrequency(0, text), !sent.isEmpty());
        QCOMPARE(sink.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QVERIFY(Marker());
        const QStringList expected = sent.isEmpty() ? QStringList{"75"} : QStringList{sent, "75"};
        QTRY_COMPARE(sim.Requests().mid(3), expected);
        if (!sent.isEmpty())
            QTRY_COMPARE(sink.hzs.value(0), text.toInt());
    }

    void infraredLearning_data() {
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("boardDelayMs");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("learned");
        QTest::newRow("success") << "success" << 20 << "Infrared study success!" << true;
        QTest::newRow("failure") << "failure" << 20 << "Infrared study failure!" << false;
        QTest::newRow("board's overtime") << "timeout" << 20 << "Infrared study overtime!" << false;
        QTest::newRow("no result in time") << "success" << 60000 << "Infrared study overtime!" << false;
    }
    void infraredLearning() {
        QFETCH(QString, result);
        QFETCH(int, boardDelayMs);
        QFETCH(QString, shown);
        QFETCH(bool, learned);
        SimBoards sim;
        QVERIFY(sim.StartOne(QString("out=0,in=0,pwm=0,reg=0,ir=1,ir-result=%1,ir-delay-ms=%2")
                                 .arg(result)
                                 .arg(boardDelayMs)));
        ctrl->setRedIntervals(boardDelayMs > 1000 ? 100 : 5000, 30);
        auto dev = Device(sim.port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 1);
        sink.studied.clear();
        ctrl->StudyRed(1, 2);
        QTRY_COMPARE(sink.overlay, (QStringList{"Infrared studying ...", shown, "-"}));
        QCOMPARE(sink.studied.value(0, false), learned);
        QTRY_COMPARE(sim.Requests().mid(2, 1), QStringList{"29 01 02"});
        QVERIFY(!ctrl->RedTimer().isActive());
        QVERIFY(!ctrl->RedCloseTimer().isActive());
    }

    void infraredCreateAndRemove() {
        SimBoards sim;
        QVERIFY(sim.StartOne("out=1,in=0,pwm=0,reg=0,ir=0,irslots=1"));
        auto dev = Device(sim.port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 1);
        ctrl->CreateRed();
        QTRY_COMPARE(sink.addedRed, QList<quint8>{1});
        ctrl->CreateRed(); // no slot left: the board answers 255
        ctrl->RemoveRed(1);
        QTRY_COMPARE(sink.removedRed, QList<quint8>{1});
        QCOMPARE(sink.addedRed, QList<quint8>{1});
        QTRY_COMPARE(sim.Codes().mid(3).join(' '), QString("28 28 2b"));
    }

    void tasks() {
        SimBoards sim;
        QVERIFY(sim.StartOne("out=2,in=0,pwm=0,reg=0,ir=0,tasks=1"));
        auto dev = Device(sim.port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 2);
        TTaskRcd task;
        task.Enable = true;
        task.StartTime = QDateTime(QDate(2030, 1, 1), QTime(8, 0));
        task.CMD = TNEV_GPIOAPI::Out_Set_ON(2);
        QVERIFY(ctrl->TCPSend(TNEV_GPIOAPI::Task_Get_List(2)));
        QTRY_COMPARE(sink.taskLists, QList<int>{0});
        QVERIFY(ctrl->TCPSend(TNEV_GPIOAPI::Task_Set_Time(QDateTime(QDate(2029, 12, 31), QTime(23, 0)))));
        QTRY_COMPARE(sink.taskTimes, QList<bool>{true});
        QVERIFY(ctrl->TCPSend(TNEV_GPIOAPI::Task_Set_Add(task)));
        QTRY_COMPARE(sink.taskAdds.size(), 1);
        QVERIFY(sink.taskAdds.first() != 0xFF);
        // The board's one slot is taken: the second task is refused with 255.
        QVERIFY(ctrl->TCPSend(TNEV_GPIOAPI::Task_Set_Add(task)));
        QTRY_COMPARE(sink.taskAdds.size(), 2);
        QCOMPARE(sink.taskAdds.last(), quint8(0xFF));
        // A time reply counts only when the time command was the last one sent.
        QVERIFY(ctrl->TCPSend(TNEV_GPIOAPI::Task_Set_Time(QDateTime(QDate(2029, 12, 31), QTime(23, 0)))));
        QVERIFY(ctrl->TCPSend(TNEV_GPIOAPI::Task_Get_List(2)));
        QTRY_COMPARE(sink.taskLists.size(), 2);
        QCOMPARE(sink.taskTimes, QList<bool>{true});
        QCOMPARE(sim.Codes().mid(3).join(' '), QString("50 54 51 51 54 50"));
    }

    void destroyedWhileSelected() {
        ScriptedBoard board;
        auto dev = Device(board.Port());
        ctrl->Select(dev.get());
        QVERIFY(Online(*dev));
        QTRY_COMPARE(sink.names.size(), 5);
        ctrl->StudyRed(1, 1);
        ctrl.reset();
        QVERIFY(!dev->OnIOTDevState);
        QVERIFY(!dev->OnIOTDevReceive);
        board.Write(ReplyFrame("FE0100000000"));
        dev->setNetStyle(TIOTNETSTYLE::NET_LAN);
        QTRY_COMPARE(dev->NetState(), TIOTNETSTATE::NET_OK);
        QCOMPARE(sink.adds, 1);
    }
};

QTEST_GUILESS_MAIN(tst_untDevEvents)
#include "tst_untDevEvents.moc"
