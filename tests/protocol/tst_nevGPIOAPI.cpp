#include "nevGPIOAPI.h"

#include <QTest>

namespace {

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

QDateTime Local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

QString Bits(const TBools& bools) {
    QString s;
    for (const bool b : bools)
        s += b ? QLatin1Char('1') : QLatin1Char('0');
    return s;
}

QString Floats(const TREGs& regs) {
    QStringList parts;
    for (const float v : regs)
        parts << QString::number(double(v));
    return parts.join(QLatin1Char(' '));
}

QString Time(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) +
           (t.timeSpec() == Qt::LocalTime ? "" : " (not local)");
}

QString Task(const TTaskRcd& t) {
    QString week;
    for (const bool b : t.Week)
        week += b ? QLatin1Char('1') : QLatin1Char('0');
    return QStringLiteral("%1/%2/%3/%4/%5/%6")
        .arg(t.ID)
        .arg(int(t.Enable))
        .arg(int(t.LoopStyle))
        .arg(Time(t.StartTime), QString::fromLatin1(t.CMD.toHex()), week);
}

QString Name(const TIOName& n) {
    return QStringLiteral("%1/%2/%3").arg(n.CtrlType).arg(n.BeiYong).arg(n.Name);
}

QString Names(const TIONames& names) {
    QStringList parts;
    for (const TIOName& n : names)
        parts << Name(n);
    return parts.join(QLatin1Char(';'));
}

// A decoder whose every event appends one line describing its arguments.
struct LoggingAPI {
    TNEV_GPIOAPI api;
    QStringList log;

    LoggingAPI() {
        auto add = [this](const QString& s) { log << s; };
        api.OnData_Incompatible = [=](quint8 c) { add(QStringLiteral("Data_Incompatible(%1)").arg(c)); };
        api.OnOut_One = [=](quint8 c, quint8 n, bool on) {
            add(QStringLiteral("Out_One(%1,%2,%3)").arg(c).arg(n).arg(int(on)));
        };
        api.OnOut_All = [=](quint8 c, bool on) { add(QStringLiteral("Out_All(%1,%2)").arg(c).arg(int(on))); };
        api.OnOut_Bools = [=](quint8 c, const TBools& b) {
            add(QStringLiteral("Out_Bools(%1,%2)").arg(c).arg(Bits(b)));
        };
        api.OnIn_All = [=](quint8 c, const TBools& b) {
            add(QStringLiteral("In_All(%1,%2)").arg(c).arg(Bits(b)));
        };
        api.OnPWM_Duty_All = [=](quint8 c, std::span<const quint8> d, int count) {
            const QByteArray bytes(reinterpret_cast<const char*>(d.data()), qsizetype(d.size()));
            add(QStringLiteral("PWM_Duty_All(%1,%2,%3)")
                    .arg(c)
                    .arg(QString::fromLatin1(bytes.toHex()))
                    .arg(count));
        };
        api.OnPWM_Duty_One = [=](quint8 c, quint8 n, quint8 d) {
            add(QStringLiteral("PWM_Duty_One(%1,%2,%3)").arg(c).arg(n).arg(d));
        };
        api.OnPWM_All = [=](quint8 c, const TPWMs& p) {
            QStringList parts;
            for (const TPWM& x : p)
                parts << QStringLiteral("%1/%2").arg(x.Duty).arg(x.HZ);
            add(QStringLiteral("PWM_All(%1,%2)").arg(c).arg(parts.join(QLatin1Char(' '))));
        };
        api.OnPWM_HZ_All = [=](quint8 c, const THZs& h) {
            QStringList parts;
            for (const quint16 x : h)
                parts << QString::number(x);
            add(QStringLiteral("PWM_HZ_All(%1,%2)").arg(c).arg(parts.join(QLatin1Char(' '))));
        };
        api.OnPWM_HZ_One = [=](quint8 c, quint8 n, quint16 hz) {
            add(QStringLiteral("PWM_HZ_One(%1,%2,%3)").arg(c).arg(n).arg(hz));
        };
        api.OnRed_Create = [=](quint8 c, quint8 n) {
            add(QStringLiteral("Red_Create(%1,%2)").arg(c).arg(n));
        };
        api.OnRed_Study = [=](quint8 c, quint8 n, quint8 m) {
            add(QStringLiteral("Red_Study(%1,%2,%3)").arg(c).arg(n).arg(m));
        };
        api.OnRed_Send = [=](quint8 c, quint8 n, quint8 m) {
            add(QStringLiteral("Red_Send(%1,%2,%3)").arg(c).arg(n).arg(m));
        };
        api.OnRed_Remove = [=](quint8 c, quint8 n, quint8 m) {
            add(QStringLiteral("Red_Remove(%1,%2,%3)").arg(c).arg(n).arg(m));
        };
        api.OnRed_Clear = [=](quint8 c, quint8 m) { add(QStringLiteral("Red_Clear(%1,%2)").arg(c).arg(m)); };
        api.OnREG_All = [=](quint8 c, const TREGs& r) {
            add(QStringLiteral("REG_All(%1,%2)").arg(c).arg(Floats(r)));
        };
        api.OnREG_One = [=](quint8 c, quint8 n, float v) {
            add(QStringLiteral("REG_One(%1,%2,%3)").arg(c).arg(n).arg(double(v)));
        };
        api.OnREG_Part = [=](quint8 c, quint8 s, quint8 n, const TREGs& r) {
            add(QStringLiteral("REG_Part(%1,%2,%3,%4)").arg(c).arg(s).arg(n).arg(Floats(r)));
        };
        api.OnTask_List = [=](quint8 c, quint8 count, const TTaskRcds& tasks) {
            QStringList parts;
            for (const TTaskRcd& t : tasks)
                parts << Task(t);
            add(QStringLiteral("Task_List(%1,%2,%3)").arg(c).arg(count).arg(parts.join(QLatin1Char(';'))));
        };
        api.OnTask_Add = [=](quint8 c, quint8 id, const TTaskRcd& t) {
            add(QStringLiteral("Task_Add(%1,%2,%3)").arg(c).arg(id).arg(Task(t)));
        };
        api.OnTask_State = [=](quint8 c, quint8 n, TTASKSTATE s) {
            add(QStringLiteral("Task_State(%1,%2,%3)").arg(c).arg(n).arg(int(s)));
        };
        api.OnTask_GetTime = [=](quint8 c, const QDateTime& t) {
            add(QStringLiteral("Task_GetTime(%1,%2)").arg(c).arg(Time(t)));
        };
        api.OnTask_SetTime = [=](quint8 c, bool ok, const QDateTime& t) {
            add(QStringLiteral("Task_SetTime(%1,%2,%3)").arg(c).arg(int(ok)).arg(Time(t)));
        };
        api.OnName_One = [=](quint8 c, TIOTYPE k, quint8 n, const TIOName& name) {
            add(QStringLiteral("Name_One(%1,%2,%3,%4)").arg(c).arg(int(k)).arg(n).arg(Name(name)));
        };
        api.OnName_All = [=](quint8 c, const TIONames& names) {
            add(QStringLiteral("Name_All(%1,%2)").arg(c).arg(Names(names)));
        };
        api.OnName_Type = [=](quint8 c, TIOTYPE k, const TIONames& names) {
            add(QStringLiteral("Name_Type(%1,%2,%3)").arg(c).arg(int(k)).arg(Names(names)));
        };
        api.OnSys_IO = [=](quint8 c, quint8 x, quint8 y, quint8 z, quint8 k, quint8 m) {
            add(QStringLiteral("Sys_IO(%1,%2,%3,%4,%5,%6)").arg(c).arg(x).arg(y).arg(z).arg(k).arg(m));
        };
        api.OnSys_ID = [=](quint8 c, const TIDBuf& id) {
            add(QStringLiteral("Sys_ID(%1,%2 %3)").arg(c).arg(id[0]).arg(id[1]));
        };
        api.OnSys_Save = [=](quint8 c) { add(QStringLiteral("Sys_Save(%1)").arg(c)); };
        api.OnSys_Info = [=](quint8 c, bool web, bool io, bool wifi, bool lan, bool gprs, bool smart,
                             bool task, TDEVTYPE type, const QString& hard, const QString& soft) {
            const QString flags = QStringLiteral("%1%2%3%4%5%6%7")
                                      .arg(int(web))
                                      .arg(int(io))
                                      .arg(int(wifi))
                                      .arg(int(lan))
                                      .arg(int(gprs))
                                      .arg(int(smart))
                                      .arg(int(task));
            add(QStringLiteral("Sys_Info(%1,%2,%3,%4,%5)").arg(c).arg(flags).arg(int(type)).arg(hard, soft));
        };
        api.OnSys_Password = [=](quint8 c, bool ok) {
            add(QStringLiteral("Sys_Password(%1,%2)").arg(c).arg(int(ok)));
        };
        api.OnSys_Name = [=](quint8 c, const QString& n) {
            add(QStringLiteral("Sys_Name(%1,%2)").arg(c).arg(n));
        };
        api.OnSys_Port = [=](quint8 c) { add(QStringLiteral("Sys_Port(%1)").arg(c)); };
    }
};

// 11-byte task: ID 5, enabled, daily, 2016-01-01 00:00:00, command 02 03, Sunday and Tuesday (bit 0 is
// Sunday).
const char* const TaskA = "05 83 5685C180 02030000 05";
// ID 6, disabled, monthly, 2016-01-01 00:00:01, command 01 01 AA BB, all seven days.
const char* const TaskB = "06 04 5685C181 0101AABB 7F";
const char* const TaskAText = "5/1/3/2016-01-01 00:00:00/02030000/1010000";
const char* const TaskBText = "6/0/4/2016-01-01 00:00:01/0101aabb/1111111";

QByteArray NameRec(const char* ctrlAndSpare, const QByteArray& name) {
    QByteArray r = Hex(ctrlAndSpare) + name;
    r.append(14 - r.size(), '\0');
    return r;
}

} // namespace

class TestGPIOAPI : public QObject {
    Q_OBJECT

    static void decoderRows();

private slots:
    void encoders_data();
    void encoders();
    void taskSetAdd_data();
    void taskSetAdd();
    void receiveData_data() { decoderRows(); }
    void receiveData();
    void receiveDataWithoutHandlers_data() { decoderRows(); }
    void receiveDataWithoutHandlers();
    void onlyTheMatchingHandlerIsNeeded();
    void dutyViewCoversPayload();
    void registerValue_data();
    void registerValue();
    void taskRecordRoundTrip();
    void loopStyleOutOfRangeKeepsDefault();
    void nameRecordRoundTrip_data();
    void nameRecordRoundTrip();
    void boardTimeIsLocalWallClock();
    void boardTimeClamps();
    void boardTimeInSkippedHourStaysValid();
    void handlerMaySendFromInside();
    void replyAnswers_data();
    void replyAnswers();
};

void TestGPIOAPI::encoders_data() {
    using A = TNEV_GPIOAPI;
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("expected");
    const TIOName lamp{0, 0, QStringLiteral("Lamp")};
    QTest::newRow("Out_Set_OFF") << A::Out_Set_OFF(1) << Hex("0101");
    QTest::newRow("Out_Set_ON") << A::Out_Set_ON(3) << Hex("0203");
    QTest::newRow("Out_Set_NOT") << A::Out_Set_NOT(255) << Hex("03FF");
    QTest::newRow("Out_Set_OFF_All") << A::Out_Set_OFF_All() << Hex("04");
    QTest::newRow("Out_Set_ON_All") << A::Out_Set_ON_All() << Hex("05");
    QTest::newRow("Out_Get_All") << A::Out_Get_All() << Hex("0A");
    QTest::newRow("In_Get_All") << A::In_Get_All() << Hex("14");
    QTest::newRow("PWM_Duty_Set_One") << A::PWM_Duty_Set_One(2, 50) << Hex("220232");
    QTest::newRow("PWM_Get_All") << A::PWM_Get_All() << Hex("24");
    QTest::newRow("Red_Create") << A::Red_Create() << Hex("28");
    QTest::newRow("Red_Study") << A::Red_Study(4, 3) << Hex("290403");
    QTest::newRow("Red_Send") << A::Red_Send(4) << Hex("2A04");
    QTest::newRow("Red_Remove") << A::Red_Remove(9) << Hex("2B09");
    QTest::newRow("PWM_HZ_Set_One 2000") << A::PWM_HZ_Set_One(1, 2000) << Hex("320107D0");
    QTest::newRow("PWM_HZ_Set_One 65535") << A::PWM_HZ_Set_One(2, 65535) << Hex("3202FFFF");
    QTest::newRow("REG_Get_All") << A::REG_Get_All() << Hex("40");
    QTest::newRow("Task_Get_List") << A::Task_Get_List(2) << Hex("5002");
    QTest::newRow("Task_Set_State ON") << A::Task_Set_State(7, TTASKSTATE::TASK_STATE_ON) << Hex("520701");
    QTest::newRow("Task_Set_State OFF") << A::Task_Set_State(7, TTASKSTATE::TASK_STATE_OFF) << Hex("520702");
    QTest::newRow("Task_Set_State DEL") << A::Task_Set_State(7, TTASKSTATE::TASK_STATE_DEL) << Hex("520703");
    QTest::newRow("Task_Set_Time 2016") << A::Task_Set_Time(Local(2016, 1, 1)) << Hex("545685C180");
    QTest::newRow("Task_Set_Time drops milliseconds")
        << A::Task_Set_Time(QDateTime(QDate(2016, 1, 1), QTime(0, 0, 1, 999))) << Hex("545685C181");
    QTest::newRow("Name_Set_One Lamp")
        << A::Name_Set_One(TIOTYPE::IO_OUT, 1, lamp) << Hex("60 00 01 0000 4C616D70 0000000000000000");
    QTest::newRow("Name_Set_One IO_IN")
        << A::Name_Set_One(TIOTYPE::IO_IN, 2, lamp) << Hex("60 01 02 0000 4C616D70 0000000000000000");
    QTest::newRow("Name_Set_One IO_PWM")
        << A::Name_Set_One(TIOTYPE::IO_PWM, 3, lamp) << Hex("60 02 03 0000 4C616D70 0000000000000000");
    QTest::newRow("Name_Set_One IO_REG")
        << A::Name_Set_One(TIOTYPE::IO_REG, 4, lamp) << Hex("60 03 04 0000 4C616D70 0000000000000000");
    QTest::newRow("Name_Set_One IO_Red")
        << A::Name_Set_One(TIOTYPE::IO_Red, 5, lamp) << Hex("60 04 05 0000 4C616D70 0000000000000000");
    QTest::newRow("Name_Set_One IO_NIL travels as 0")
        << A::Name_Set_One(TIOTYPE::IO_NIL, 6, lamp) << Hex("60 00 06 0000 4C616D70 0000000000000000");
    QTest::newRow("Name_Set_One keeps CtrlType and BeiYong")
        << A::Name_Set_One(TIOTYPE::IO_OUT, 1, TIOName{7, 1, QStringLiteral("TV")})
        << Hex("60 00 01 0701 5456 00000000000000000000");
    QTest::newRow("Name_Set_One 13 letters cut to 12")
        << A::Name_Set_One(TIOTYPE::IO_OUT, 1, TIOName{0, 0, QStringLiteral("ABCDEFGHIJKLM")})
        << Hex("60 00 01 0000") + QByteArray("ABCDEFGHIJKL");
    QTest::newRow("Name_Set_One trims blanks")
        << A::Name_Set_One(TIOTYPE::IO_OUT, 1, TIOName{0, 0, QStringLiteral("  Lamp \t")})
        << Hex("60 00 01 0000 4C616D70 0000000000000000");
    // "A" and four three-byte characters are 13 bytes; the cut keeps whole characters only.
    QTest::newRow("Name_Set_One cut between characters")
        << A::Name_Set_One(TIOTYPE::IO_OUT, 1, TIOName{0, 0, QStringLiteral("A客厅台灯")})
        << Hex("60 00 01 0000 41 E5AEA2 E58E85 E58FB0 0000");
    QTest::newRow("Name_Set_One empty name")
        << A::Name_Set_One(TIOTYPE::IO_OUT, 1, TIOName{}) << Hex("60 00 01 0000 000000000000000000000000");
    QTest::newRow("Name_Get_All") << A::Name_Get_All() << Hex("63");
    QTest::newRow("Sys_Set_IO") << A::Sys_Set_IO(8, 4, 2, 1) << Hex("7208040201");
    QTest::newRow("Sys_Set_Password 4 and 6")
        << A::Sys_Set_Password(QStringLiteral("1234"), QStringLiteral("abcdef"))
        << Hex("73 313233340000 616263646566");
    QTest::newRow("Sys_Set_Password cut to 6")
        << A::Sys_Set_Password(QStringLiteral("12345678"), QString()) << Hex("73 313233343536 000000000000");
    QTest::newRow("Sys_Set_Name") << A::Sys_Set_Name(QStringLiteral(" Kitchen "))
                                  << Hex("74") + QByteArray("Kitchen") + QByteArray(9, '\0');
    QTest::newRow("Sys_Set_Name 17 bytes cut to 16")
        << A::Sys_Set_Name(QStringLiteral("ABCDEFGHIJKLMNOPQ")) << Hex("74") + QByteArray("ABCDEFGHIJKLMNOP");
    QTest::newRow("Sys_Set_Name chinese 18 bytes cut to 15")
        << A::Sys_Set_Name(QStringLiteral("客厅客厅客厅")) << Hex("74 E5AEA2 E58E85 E5AEA2 E58E85 E5AEA2 00");
    QTest::newRow("Sys_Set_Save") << A::Sys_Set_Save() << Hex("7A");
    QTest::newRow("Sys_Get_IO") << A::Sys_Get_IO() << Hex("7E");
}

void TestGPIOAPI::encoders() {
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, expected);
    QCOMPARE(payload.toHex(' '), expected.toHex(' '));
}

void TestGPIOAPI::taskSetAdd_data() {
    QTest::addColumn<bool>("enable");
    QTest::addColumn<int>("loop");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QByteArray>("cmd");
    QTest::addColumn<QList<int>>("days");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("enabled daily, two days") << true << 3 << Local(2016, 1, 1) << Hex("0203")
                                             << QList<int>{0, 2} << Hex("51 83 5685C180 02030000 05");
    QTest::newRow("disabled monthly, long command cut to 4")
        << false << 4 << Local(2016, 1, 1, 0, 0, 1) << Hex("0101AABBCC") << QList<int>{0, 1, 2, 3, 4, 5, 6}
        << Hex("51 04 5685C181 0101AABB 7F");
    QTest::newRow("once, empty command, no day") << true << 0 << Local(1970, 1, 1) << QByteArray()
                                                 << QList<int>{} << Hex("51 80 00000000 00000000 00");
    QTest::newRow("every minute, saturday only") << false << 1 << Local(2030, 6, 15, 12, 30) << Hex("04")
                                                 << QList<int>{6} << Hex("51 01 71B60FC8 04000000 40");
}

void TestGPIOAPI::taskSetAdd() {
    QFETCH(bool, enable);
    QFETCH(int, loop);
    QFETCH(QDateTime, start);
    QFETCH(QByteArray, cmd);
    QFETCH(QList<int>, days);
    QFETCH(QByteArray, expected);
    TTaskRcd task;
    task.ID = 0x33; // replaced by the command code
    task.Enable = enable;
    task.LoopStyle = TTASKLOOPSTYLE(loop);
    task.StartTime = start;
    task.CMD = cmd;
    for (const int d : days)
        task.Week[size_t(d)] = true;
    QCOMPARE(TNEV_GPIOAPI::Task_Set_Add(task).toHex(' '), expected.toHex(' '));
}

void TestGPIOAPI::decoderRows() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("event"); // empty: nothing raised

    const auto row = [](const char* name, const QByteArray& payload, bool result, const QString& event) {
        QTest::newRow(name) << payload << result << event;
    };

    // refusals
    row("empty", {}, false, {});
    row("request code (bit 7 clear)", Hex("020301"), false, {});
    row("code 128 unknown", Hex("8000"), false, {});
    row("code 139 unknown", Hex("8B00"), false, {});
    row("code 241 unknown", Hex("F1"), false, {});

    // outputs
    row("130 on", Hex("820301"), true, "Out_One(130,3,1)");
    row("129 off", Hex("810300"), true, "Out_One(129,3,0)");
    row("131 any nonzero is on", Hex("8303FE"), true, "Out_One(131,3,1)");
    row("130 too short", Hex("8203"), true, {});
    row("130 too long", Hex("82030100"), true, {});
    row("132 off", Hex("8400"), true, "Out_All(132,0)");
    row("133 on", Hex("8501"), true, "Out_All(133,1)");
    row("133 too long", Hex("850100"), true, {});
    row("133 too short", Hex("85"), true, {});
    row("138 bits", Hex("8A05"), true, "Out_Bools(138,10100000)");
    row("134 two bytes lsb first", Hex("860180"), true, "Out_Bools(134,1000000000000001)");
    row("138 no data", Hex("8A"), false, {});
    row("148 inputs", Hex("94F0"), true, "In_All(148,00001111)");
    row("148 no data", Hex("94"), false, {});

    // PWM
    row("160 duties", Hex("A03240"), true, "PWM_Duty_All(160,3240,2)");
    row("161 no duty", Hex("A1"), true, "PWM_Duty_All(161,,0)");
    row("162 one duty", Hex("A20232"), true, "PWM_Duty_One(162,2,50)");
    row("163 longer is fine", Hex("A3023200"), true, "PWM_Duty_One(163,2,50)");
    row("162 too short", Hex("A202"), true, {});
    row("164 one pair", Hex("A43207D0"), true, "PWM_All(164,50/2000)");
    row("165 two pairs, spare byte ignored", Hex("A53207D0 64FFFF 01"), true,
        "PWM_All(165,50/2000 100/65535)");
    row("164 short of one pair", Hex("A43207"), false, {});
    row("176 words", Hex("B007D0FFFF"), true, "PWM_HZ_All(176,2000 65535)");
    row("177 odd byte ignored", Hex("B107D001"), true, "PWM_HZ_All(177,2000)");
    row("176 short of one word", Hex("B007"), false, {});
    row("178 one frequency", Hex("B20107D0"), true, "PWM_HZ_One(178,1,2000)");
    row("179 too short", Hex("B30107"), true, {});

    // infrared
    row("168 create", Hex("A803"), true, "Red_Create(168,3)");
    row("168 too short", Hex("A8"), true, {});
    row("169 study", Hex("A90102"), true, "Red_Study(169,1,2)");
    row("169 too short", Hex("A901"), true, {});
    row("170 send", Hex("AA0100"), true, "Red_Send(170,1,0)");
    row("171 remove", Hex("AB0401"), true, "Red_Remove(171,4,1)");
    row("171 too short", Hex("AB04"), true, {});
    row("172 clear", Hex("AC05"), true, "Red_Clear(172,5)");
    row("172 too short", Hex("AC"), true, {});

    // registers
    row("192 sign rule", Hex("C0 00FA 8001 8000 0000"), true, "REG_All(192,25 -0.1 3276.8 0)");
    row("192 odd byte ignored", Hex("C000FA01"), true, "REG_All(192,25)");
    row("192 short of one value", Hex("C000"), false, {});
    row("193 one", Hex("C10200FA"), true, "REG_One(193,2,25)");
    row("193 too short", Hex("C10200"), true, {});
    row("195 part", Hex("C3010200FA8001"), true, "REG_Part(195,1,2,25 -0.1)");
    row("195 short of one value", Hex("C3010200"), false, {});

    // tasks
    row("208 two tasks", Hex("D002") + Hex(TaskA) + Hex(TaskB), true,
        QStringLiteral("Task_List(208,2,%1;%2)").arg(TaskAText, TaskBText));
    row("208 count says 2, 21 bytes: empty list", Hex("D002") + Hex(TaskA) + Hex(TaskB).left(10), true,
        "Task_List(208,2,)");
    row("208 count says 1, 22 bytes: empty list", Hex("D001") + Hex(TaskA) + Hex(TaskB), true,
        "Task_List(208,1,)");
    row("208 no task", Hex("D000"), true, "Task_List(208,0,)");
    row("208 zero count ignores data", Hex("D000") + Hex(TaskA), true, "Task_List(208,0,)");
    row("208 too short", Hex("D0"), true, {});
    row("209 added", Hex("D1") + Hex(TaskA), true, QStringLiteral("Task_Add(209,5,%1)").arg(TaskAText));
    row("209 too long", Hex("D1") + Hex(TaskA) + Hex("00"), true, {});
    row("209 too short", Hex("D1") + Hex(TaskA).left(10), true, {});
    row("210 on", Hex("D20101"), true, "Task_State(210,1,0)");
    row("210 off", Hex("D20102"), true, "Task_State(210,1,1)");
    row("210 deleted", Hex("D20903"), true, "Task_State(210,9,2)");
    row("210 undefined state 4", Hex("D20104"), true, {});
    row("210 undefined state 0", Hex("D20100"), true, {});
    row("210 too long", Hex("D2010100"), true, {});
    row("211 time", Hex("D35685C180"), true, "Task_GetTime(211,2016-01-01 00:00:00)");
    row("211 largest time", Hex("D3FFFFFFFF"), true, "Task_GetTime(211,2106-02-07 06:28:15)");
    row("211 too short", Hex("D35685C1"), true, {});
    row("212 set ok", Hex("D4015685C180"), true, "Task_SetTime(212,1,2016-01-01 00:00:00)");
    row("212 set failed", Hex("D4005685C181"), true, "Task_SetTime(212,0,2016-01-01 00:00:01)");
    row("212 too short", Hex("D4015685C1"), true, {});

    // names
    row("224 one name", Hex("E00001") + NameRec("0000", "Lamp"), true, "Name_One(224,0,1,0/0/Lamp)");
    row("225 kind and spare", Hex("E10403") + NameRec("0701", "TV"), true, "Name_One(225,4,3,7/1/TV)");
    row("224 unknown kind is an output", Hex("E00902") + NameRec("0000", "X"), true,
        "Name_One(224,0,2,0/0/X)");
    row("224 too short", Hex("E00001") + NameRec("0000", "Lamp").left(13), true, {});
    row("224 too long", Hex("E00001") + NameRec("0000", "Lamp") + Hex("00"), true, {});
    row("227 two names", Hex("E3") + NameRec("0000", "Lamp") + NameRec("0201", "Fan"), true,
        "Name_All(227,0/0/Lamp;2/1/Fan)");
    row("226 partial record ignored", Hex("E2") + NameRec("0000", "Lamp") + Hex("0102"), true,
        "Name_All(226,0/0/Lamp)");
    row("227 short of one record", Hex("E3") + NameRec("0000", "Lamp").left(13), false, {});
    row("229 names of a kind", Hex("E502") + NameRec("0000", "P1") + NameRec("0000", "P2"), true,
        "Name_Type(229,2,0/0/P1;0/0/P2)");
    row("228 short of one record", Hex("E402") + NameRec("0000", "P1").left(13), false, {});
    row("227 chinese name", Hex("E3") + NameRec("0000", "\xE5\x8E\xA8\xE6\x88\xBF"), true,
        QStringLiteral("Name_All(227,0/0/厨房)"));
    row("227 invalid utf-8 name is empty", Hex("E3") + NameRec("0000", "\xFF\xFE"), true,
        "Name_All(227,0/0/)");

    // system
    row("240 info", Hex("F0 55 01 0203 0107"), true, "Sys_Info(240,1010101,1,2.3,1.7)");
    row("240 all flags, GPRS RTU", Hex("F0 FF 02 0A00 FF09"), true, "Sys_Info(240,1111111,2,10.0,255.9)");
    row("240 unknown type is IOT1", Hex("F0 00 07 0000 0000"), true, "Sys_Info(240,0000000,0,0.0,0.0)");
    row("240 eight bytes", Hex("F0 55 01 0203 0107 09"), true, {});
    row("240 six bytes", Hex("F0 55 01 0203 01"), true, {});
    row("254 five bytes", Hex("FE08000204"), true, "Sys_IO(254,8,0,2,4,0)");
    row("254 six bytes", Hex("FE0800020405"), true, "Sys_IO(254,8,0,2,4,5)");
    row("242 set io", Hex("F20804020106"), true, "Sys_IO(242,8,4,2,1,6)");
    row("254 four bytes", Hex("FE080002"), true, {});
    row("254 seven bytes", Hex("FE080002040506"), true, {});
    row("243 ok", Hex("F301"), true, "Sys_Password(243,1)");
    row("243 refused", Hex("F300"), true, "Sys_Password(243,0)");
    row("243 too long", Hex("F30100"), true, {});
    row("244 name", Hex("F4") + QByteArray("Kitchen").append(9, '\0'), true, "Sys_Name(244,Kitchen)");
    row("245 full 16 bytes", Hex("F5") + QByteArray("ABCDEFGHIJKLMNOP"), true,
        "Sys_Name(245,ABCDEFGHIJKLMNOP)");
    row("244 too short", Hex("F4") + QByteArray("Kitchen").append(8, '\0'), true, {});
    row("246 port", Hex("F6"), true, "Sys_Port(246)");
    row("246 too long", Hex("F600"), true, {});
    row("248 nothing to raise", Hex("F8"), true, {});
    row("248 longer", Hex("F80102"), true, {});
    row("249 id", Hex("F9 1234 5678"), true, "Sys_ID(249,18 52)");
    row("249 too short", Hex("F9 1234 56"), true, {});
    row("250 saved", Hex("FA"), true, "Sys_Save(250)");
    row("250 too long", Hex("FA00"), true, {});
    row("255 refused request", Hex("FF73"), true, "Data_Incompatible(115)");
    row("255 too long", Hex("FF7300"), true, {});
    row("255 too short", Hex("FF"), true, {});
}

void TestGPIOAPI::receiveData() {
    QFETCH(QByteArray, payload);
    QFETCH(bool, result);
    QFETCH(QString, event);
    LoggingAPI d;
    QCOMPARE(d.api.ReceiveData(payload), result);
    QCOMPARE(d.log, event.isEmpty() ? QStringList() : QStringList{event});
}

void TestGPIOAPI::receiveDataWithoutHandlers() {
    QFETCH(QByteArray, payload);
    QFETCH(bool, result);
    const TNEV_GPIOAPI api;
    QCOMPARE(api.ReceiveData(payload), result);
}

void TestGPIOAPI::onlyTheMatchingHandlerIsNeeded() {
    TNEV_GPIOAPI api;
    QList<std::tuple<int, int, bool>> calls;
    api.OnOut_One = [&](quint8 c, quint8 n, bool on) { calls.append({c, n, on}); };
    QVERIFY(api.ReceiveData(Hex("820301")));
    QVERIFY(api.ReceiveData(Hex("8A05"))); // no handler for this one: still true, nothing raised
    QVERIFY(api.ReceiveData(Hex("810300")));
    QCOMPARE(calls, (QList<std::tuple<int, int, bool>>{{130, 3, true}, {129, 3, false}}));
}

void TestGPIOAPI::dutyViewCoversPayload() {
    TNEV_GPIOAPI api;
    const QByteArray payload = Hex("A0 0A 14 1E");
    const quint8* data = nullptr;
    size_t size = 0;
    int count = -1;
    api.OnPWM_Duty_All = [&](quint8, std::span<const quint8> d, int c) {
        data = d.data();
        size = d.size();
        count = c;
    };
    QVERIFY(api.ReceiveData(payload));
    QCOMPARE(count, 3);
    QCOMPARE(size, size_t(3));
    QCOMPARE(static_cast<const void*>(data), static_cast<const void*>(payload.constData() + 1));
}

void TestGPIOAPI::registerValue_data() {
    QTest::addColumn<int>("word");
    QTest::addColumn<float>("expected");
    QTest::newRow("0") << 0x0000 << 0.0f;
    QTest::newRow("25.0") << 0x00FA << 25.0f;
    QTest::newRow("largest positive") << 0x7FFF << 3276.7f;
    QTest::newRow("8000 is +3276.8") << 0x8000 << 3276.8f;
    QTest::newRow("-0.1") << 0x8001 << -0.1f;
    QTest::newRow("-25.0") << 0x80FA << -25.0f;
    QTest::newRow("most negative") << 0xFFFF << -3276.7f;
}

void TestGPIOAPI::registerValue() {
    QFETCH(int, word);
    QFETCH(float, expected);
    QCOMPARE(TNEV_GPIOAPI::RegisterValue(quint16(word)), expected);
}

void TestGPIOAPI::taskRecordRoundTrip() {
    TTaskRcd t;
    t.ID = 42;
    t.Enable = true;
    t.LoopStyle = TTASKLOOPSTYLE::TASK_LOOP_HR;
    t.StartTime = Local(2024, 2, 29, 23, 59, 58);
    t.CMD = Hex("22013200"); // a full 4-byte command survives unchanged
    t.Week = {false, true, false, true, false, true, true};
    const QByteArray wire = TNEV_GPIOAPI::TaskRecord(t);
    QCOMPARE(wire.size(), 11);
    const auto* p = reinterpret_cast<const quint8*>(wire.constData());
    QCOMPARE(TNEV_GPIOAPI::DecodeTaskRecord(std::span<const quint8, 11>(p, 11)), t);
}

void TestGPIOAPI::loopStyleOutOfRangeKeepsDefault() {
    for (const quint8 b1 : {quint8(0x85), quint8(0x8F), quint8(0x0A)}) {
        QByteArray wire = Hex(TaskA);
        wire[1] = char(b1);
        const auto* p = reinterpret_cast<const quint8*>(wire.constData());
        const TTaskRcd t = TNEV_GPIOAPI::DecodeTaskRecord(std::span<const quint8, 11>(p, 11));
        QCOMPARE(t.LoopStyle, TTASKLOOPSTYLE::TASK_LOOP_ONE);
        QCOMPARE(t.Enable, (b1 & 0x80) != 0);
    }
    // bits 4 to 6 are not part of the loop style
    QByteArray wire = Hex(TaskA);
    wire[1] = char(0xF2);
    const auto* p = reinterpret_cast<const quint8*>(wire.constData());
    QCOMPARE(TNEV_GPIOAPI::DecodeTaskRecord(std::span<const quint8, 11>(p, 11)).LoopStyle,
             TTASKLOOPSTYLE::TASK_LOOP_HR);
}

void TestGPIOAPI::nameRecordRoundTrip_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ascii") << QStringLiteral("Lamp") << QStringLiteral("Lamp");
    QTest::newRow("exactly 12") << QStringLiteral("ABCDEFGHIJKL") << QStringLiteral("ABCDEFGHIJKL");
    QTest::newRow("four chinese characters") << QStringLiteral("客厅台灯") << QStringLiteral("客厅台灯");
    QTest::newRow("cut keeps whole characters") << QStringLiteral("A客厅台灯") << QStringLiteral("A客厅台");
    QTest::newRow("emoji across the cut") << QStringLiteral("ABCDEFGHIJ😀") << QStringLiteral("ABCDEFGHIJ");
}

void TestGPIOAPI::nameRecordRoundTrip() {
    QFETCH(QString, name);
    QFETCH(QString, expected);
    const QByteArray wire = TNEV_GPIOAPI::NameRecord(TIOName{3, 1, name});
    QCOMPARE(wire.size(), 14);
    const auto* p = reinterpret_cast<const quint8*>(wire.constData());
    QCOMPARE(TNEV_GPIOAPI::DecodeNameRecord(std::span<const quint8, 14>(p, 14)), (TIOName{3, 1, expected}));
}

// The board's clock runs in local wall-clock time: the same wall clock gives the same bytes in
// every zone (this test also runs under other TZ settings), and decoding gives it back as local.
void TestGPIOAPI::boardTimeIsLocalWallClock() {
    const QDateTime wall = Local(2016, 1, 1);
    QCOMPARE(DateTimeToBoardSecs(wall), 0x5685C180u);
    const QDateTime back = BoardSecsToDateTime(0x5685C180u);
    QCOMPARE(back.timeSpec(), Qt::LocalTime);
    QCOMPARE(back, wall);
    // An instant given in UTC is first turned into the local wall clock.
    const QDateTime utc = wall.toUTC();
    QCOMPARE(DateTimeToBoardSecs(utc), 0x5685C180u);
    QCOMPARE(TNEV_GPIOAPI::Task_Set_Time(utc), Hex("545685C180"));
}

void TestGPIOAPI::boardTimeClamps() {
    QCOMPARE(DateTimeToBoardSecs(QDateTime()), 0u);
    QCOMPARE(DateTimeToBoardSecs(Local(1969, 12, 31, 23, 59, 59)), 0u);
    QCOMPARE(DateTimeToBoardSecs(Local(1970, 1, 1, 0, 0, 1)), 1u);
    QCOMPARE(DateTimeToBoardSecs(Local(2106, 2, 7, 6, 28, 15)), 0xFFFFFFFFu);
    QCOMPARE(DateTimeToBoardSecs(Local(2200, 1, 1)), 0xFFFFFFFFu);
}

// 2024-03-10 02:30 does not exist in New York (this test also runs there); elsewhere it does.
void TestGPIOAPI::boardTimeInSkippedHourStaysValid() {
    const quint32 secs = 1710037800;
    const QDateTime t = BoardSecsToDateTime(secs);
    QVERIFY(t.isValid());
    QCOMPARE(t.date(), QDate(2024, 3, 10));
    QVERIFY(t.time() == QTime(2, 30) || t.time() == QTime(3, 30));
    QVERIFY(qAbs(qint64(DateTimeToBoardSecs(t)) - qint64(secs)) <= 3600);
}

// Handlers send new requests from inside their event; the decoder holds no state that this
// could disturb.
void TestGPIOAPI::handlerMaySendFromInside() {
    TNEV_GPIOAPI api;
    QStringList seen;
    api.OnSys_IO = [&](quint8 c, quint8 x, quint8, quint8, quint8, quint8) {
        seen << QStringLiteral("io %1 %2").arg(c).arg(x);
        QVERIFY(api.ReceiveData(Hex("8A05")));
    };
    api.OnOut_Bools = [&](quint8 c, const TBools& b) {
        seen << QStringLiteral("bools %1 %2").arg(c).arg(Bits(b));
    };
    QVERIFY(api.ReceiveData(Hex("FE0800020400")));
    QCOMPARE(seen, (QStringList{"io 254 8", "bools 138 10100000"}));
}

// Which reply answers which request: the code (request + 128) and, for a request that addresses
// one channel, that channel; 255 only ever refuses.
void TestGPIOAPI::replyAnswers_data() {
    using A = TNEV_GPIOAPI;
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<bool>("refuses");
    QTest::newRow("output 3 on") << A::Out_Set_ON(3) << Hex("82 03 01") << true << false;
    QTest::newRow("output 3 on, reply for 5") << A::Out_Set_ON(3) << Hex("82 05 01") << false << false;
    QTest::newRow("output 3 on, reply of toggle") << A::Out_Set_ON(3) << Hex("83 03 01") << false << false;
    QTest::newRow("output reply without channel") << A::Out_Set_OFF(1) << Hex("81") << false << false;
    QTest::newRow("all on has no channel") << A::Out_Set_ON_All() << Hex("85 01") << true << false;
    QTest::newRow("duty of PWM 2") << A::PWM_Duty_Set_One(2, 50) << Hex("A2 02 32") << true << false;
    QTest::newRow("duty reply for PWM 1") << A::PWM_Duty_Set_One(2, 50) << Hex("A2 01 32") << false << false;
    QTest::newRow("frequency of PWM 1") << A::PWM_HZ_Set_One(1, 1000) << Hex("B2 01 03E8") << true << false;
    QTest::newRow("frequency reply for PWM 2")
        << A::PWM_HZ_Set_One(1, 1000) << Hex("B2 02 03E8") << false << false;
    QTest::newRow("study slot 4, phase 1") << A::Red_Study(4, 1) << Hex("A9 04 01") << true << false;
    QTest::newRow("study reply for slot 5") << A::Red_Study(4, 1) << Hex("A9 05 01") << false << false;
    QTest::newRow("send slot 1") << A::Red_Send(1) << Hex("AA 01 01") << true << false;
    QTest::newRow("remove reply for slot 2") << A::Red_Remove(1) << Hex("AB 02 01") << false << false;
    QTest::newRow("task 7 state") << A::Task_Set_State(7, TTASKSTATE::TASK_STATE_OFF) << Hex("D2 07 02")
                                  << true << false;
    QTest::newRow("task state reply for task 8")
        << A::Task_Set_State(7, TTASKSTATE::TASK_STATE_OFF) << Hex("D2 08 02") << false << false;
    const QByteArray name = A::Name_Set_One(TIOTYPE::IO_IN, 2, TIOName{0, 0, "Door"});
    QTest::newRow("name of input 2") << name << Hex("E0 01 02") + NameRec("0000", "Door") << true << false;
    QTest::newRow("name reply for output 2")
        << name << Hex("E0 00 02") + NameRec("0000", "Door") << false << false;
    QTest::newRow("name reply for input 3")
        << name << Hex("E0 01 03") + NameRec("0000", "Door") << false << false;
    QTest::newRow("IO counts") << A::Sys_Get_IO() << Hex("FE 04 02 00 00 01") << true << false;
    QTest::newRow("refusal") << A::Sys_Get_IO() << Hex("FF 7E") << false << true;
    QTest::newRow("refusal of another request") << A::Sys_Get_IO() << Hex("FF 63") << false << false;
    QTest::newRow("refusal with extra bytes") << A::Sys_Get_IO() << Hex("FF 7E 00") << false << false;
    QTest::newRow("255 never answers 127") << Hex("7F") << Hex("FF 7F") << false << true;
    QTest::newRow("empty reply") << A::Sys_Get_IO() << QByteArray() << false << false;
    QTest::newRow("empty request") << QByteArray() << Hex("FE 04 02 00 00 01") << false << false;
    QTest::newRow("a reply is no request") << Hex("82 03") << Hex("82 03 01") << false << false;
}

void TestGPIOAPI::replyAnswers() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(bool, answers);
    QFETCH(bool, refuses);
    QCOMPARE(ReplyAnswers(request, reply), answers);
    QCOMPARE(ReplyRefuses(request, reply), refuses);
    if (!request.isEmpty() && quint8(request.at(0)) < 0x80)
        QCOMPARE(ReplyCode(TGPIOCmd(request.at(0))), quint8(quint8(request.at(0)) + 0x80));
}

QTEST_GUILESS_MAIN(TestGPIOAPI)
#include "tst_nevGPIOAPI.moc"
