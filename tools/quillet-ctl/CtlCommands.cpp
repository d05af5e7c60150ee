#include "CtlCommands.h"

#include "CtlBoard.h"
#include "CtlCloud.h"
#include "CtlJson.h"
#include "CtlWait.h"
#include "nevGPIOAPI.h"
#include "untAddRouter.h"
#include "untIOTUDP.h"

#include <QDateTime>
#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QSet>
#include <QTextStream>

namespace ctl {

namespace {

// Options that take a value, and plain switches. Anything else starting with "--" is a usage
// error; "--" ends the options so that a text argument may start with dashes.
const QSet<QString> ValueOptions{
    "--port",   "--timeout-ms", "--broadcast", "--host",     "--password",
    "--relay",  "--relay-port", "--mac",       "--account",  "--account-password",
    "--server", "--days",       "--contact",   "--nickname", "--email",
    "--name",   "--tel",        "--address",   "--remark",
};
const QSet<QString> SwitchOptions{"--trace", "--save", "--help", "-h"};

struct TArgs {
    QHash<QString, QString> opts;
    QSet<QString> switches;
    QStringList pos;
    QString error;

    bool has(const QString& k) const { return opts.contains(k); }
    QString get(const QString& k, const QString& def = {}) const { return opts.value(k, def); }
};

TArgs Parse(const QStringList& args) {
    TArgs a;
    bool onlyPositional = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& s = args.at(i);
        if (onlyPositional || !s.startsWith(QLatin1Char('-')) || s == QLatin1String("-")) {
            a.pos << s;
        } else if (s == QLatin1String("--")) {
            onlyPositional = true;
        } else if (SwitchOptions.contains(s)) {
            a.switches << s;
        } else if (ValueOptions.contains(s)) {
            if (i + 1 >= args.size()) {
                a.error = QStringLiteral("option %1 needs a value").arg(s);
                return a;
            }
            a.opts.insert(s, args.at(++i));
        } else if (s.startsWith(QLatin1String("--")) && s.contains(QLatin1Char('='))) {
            const QString key = s.section(QLatin1Char('='), 0, 0);
            if (!ValueOptions.contains(key)) {
                a.error = QStringLiteral("unknown option %1").arg(key);
                return a;
            }
            a.opts.insert(key, s.section(QLatin1Char('='), 1));
        } else {
            a.error = QStringLiteral("unknown option %1").arg(s);
            return a;
        }
    }
    return a;
}

bool ToInt(const QString& text, qint64 lo, qint64 hi, qint64& out) {
    bool ok = false;
    const qint64 v = text.toLongLong(&ok, 10);
    if (!ok || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

int Usage(TOutput& io, const QString& why) {
    io.err << "quillet-ctl: " << why << "\n"
           << "Try 'quillet-ctl --help'.\n";
    io.err.flush();
    return ExitUsage;
}

int Fail(TOutput& io, const QString& why) {
    io.err << why << "\n";
    io.err.flush();
    return ExitFailed;
}

void Line(TOutput& io, const QString& json) {
    io.out << json << "\n";
    io.out.flush();
}

const QStringList DayCodes{"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

QString LoopName(TTASKLOOPSTYLE s) {
    switch (s) {
    case TTASKLOOPSTYLE::TASK_LOOP_ONE:
        return QStringLiteral("once");
    case TTASKLOOPSTYLE::TASK_LOOP_MIN:
        return QStringLiteral("minute");
    case TTASKLOOPSTYLE::TASK_LOOP_HR:
        return QStringLiteral("hour");
    case TTASKLOOPSTYLE::TASK_LOOP_DAY:
        return QStringLiteral("day");
    case TTASKLOOPSTYLE::TASK_LOOP_MON:
        return QStringLiteral("month");
    }
    return QString();
}

QString TaskJson(const TTaskRcd& t) {
    const quint8 code = t.CMD.size() > 0 ? quint8(t.CMD.at(0)) : 0;
    QString cmd;
    switch (TGPIOCmd(code)) {
    case TGPIOCmd::Out_Set_OFF:
        cmd = QStringLiteral("off");
        break;
    case TGPIOCmd::Out_Set_ON:
        cmd = QStringLiteral("on");
        break;
    case TGPIOCmd::Out_Set_NOT:
        cmd = QStringLiteral("toggle");
        break;
    default:
        cmd = QStringLiteral("0x%1").arg(code, 2, 16, QLatin1Char('0'));
    }
    QStringList week;
    for (int i = 0; i < 7; ++i)
        if (t.Week[size_t(i)])
            week << TJsonOut::Str(DayCodes.at(i));
    return TJsonOut()
        .AddNum("id", t.ID)
        .AddBool("enable", t.Enable)
        .AddStr("loop", LoopName(t.LoopStyle))
        .AddStr("start", t.StartTime.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
        .AddStr("cmd", cmd)
        .AddNum("out", t.CMD.size() > 1 ? quint8(t.CMD.at(1)) : 0)
        .Add("week", TJsonOut::Array(week))
        .Text();
}

// Counts of the five channel kinds, as the board reports them.
struct TIOCounts {
    int out = 0, in = 0, pwm = 0, reg = 0, ir = 0;
};

class TBoardCommand {
public:
    // Without a board the command only checks its arguments: every usage error is found before
    // any request would be sent, so a dry run returns ExitUsage or stops at its first request.
    TBoardCommand(TCtlBoard* board, TOutput& io) : FBoard(board), FIO(io) {}

    int Run(const QStringList& p, const TArgs& a);

private:
    // Sends and decodes one request; on a refusal, a lost connection or no reply the failure is
    // written and nullopt returned.
    std::optional<QByteArray> Ask(const QByteArray& payload, int timeoutMs = TCtlBoard::ReplyTimeoutMs,
                                  const std::function<bool(const QByteArray&)>& accept = {});
    bool Fetch(const QByteArray& payload, TNEV_GPIOAPI& api, int timeoutMs = TCtlBoard::ReplyTimeoutMs);
    std::optional<TIOCounts> ReadCounts();
    std::optional<TIONames> ReadNames();
    int Status();
    int Out(const QStringList& p);
    int Pwm(const QStringList& p);
    int Ir(const QStringList& p);
    int Name(const QStringList& p);
    int Task(const QStringList& p, const TArgs& a);
    int Device(const QStringList& p, const TArgs& a);
    bool SyncClock();

    int Failed() const { return FFailed ? ExitFailed : ExitOk; }
    int Fail(const QString& why) {
        FFailed = true;
        return ctl::Fail(FIO, why);
    }

    TCtlBoard* FBoard;
    TOutput& FIO;
    bool FFailed = false;
};

std::optional<QByteArray> TBoardCommand::Ask(const QByteArray& payload, int timeoutMs,
                                             const std::function<bool(const QByteArray&)>& accept) {
    if (!FBoard)
        return std::nullopt;
    const TCtlReply r = FBoard->Request(payload, timeoutMs, accept);
    switch (r.What) {
    case TCtlReply::Kind::Answer:
        return r.Payload;
    case TCtlReply::Kind::Refused:
        Fail(QStringLiteral("The board does not support command 0x%1")
                 .arg(quint8(payload.at(0)), 2, 16, QLatin1Char('0')));
        break;
    case TCtlReply::Kind::Lost:
        Fail(QStringLiteral("Disconnected"));
        break;
    case TCtlReply::Kind::NoReply:
        Fail(QStringLiteral("No reply from the board within %1 ms").arg(timeoutMs));
        break;
    }
    return std::nullopt;
}

bool TBoardCommand::Fetch(const QByteArray& payload, TNEV_GPIOAPI& api, int timeoutMs) {
    const auto reply = Ask(payload, timeoutMs);
    if (!reply)
        return false;
    // A reply that keeps its length rule raises its event; anything else is reported.
    bool raised = false;
    const auto mark = [&raised](auto&&...) { raised = true; };
    TNEV_GPIOAPI probe;
    probe.OnOut_One = mark;
    probe.OnOut_All = mark;
    probe.OnOut_Bools = mark;
    probe.OnIn_All = mark;
    probe.OnPWM_Duty_One = mark;
    probe.OnPWM_All = mark;
    probe.OnPWM_HZ_One = mark;
    probe.OnRed_Create = mark;
    probe.OnRed_Study = mark;
    probe.OnRed_Send = mark;
    probe.OnRed_Remove = mark;
    probe.OnREG_All = mark;
    probe.OnTask_List = mark;
    probe.OnTask_Add = mark;
    probe.OnTask_State = mark;
    probe.OnTask_SetTime = mark;
    probe.OnName_One = mark;
    probe.OnName_All = mark;
    probe.OnSys_IO = mark;
    probe.OnSys_Password = mark;
    probe.OnSys_Name = mark;
    probe.OnSys_Save = mark;
    probe.ReceiveData(*reply);
    if (raised)
        api.ReceiveData(*reply);
    else {
        Fail(QStringLiteral("The board's reply could not be read: %1")
                 .arg(QString::fromLatin1(reply->toHex(' ').toUpper())));
        return false;
    }
    return true;
}

std::optional<TIOCounts> TBoardCommand::ReadCounts() {
    TNEV_GPIOAPI api;
    TIOCounts c;
    api.OnSys_IO = [&c](quint8, quint8 x, quint8 y, quint8 z, quint8 k, quint8 m) {
        c = TIOCounts{x, y, z, k, m};
    };
    if (!Fetch(TNEV_GPIOAPI::Sys_Get_IO(), api))
        return std::nullopt;
    return c;
}

std::optional<TIONames> TBoardCommand::ReadNames() {
    TNEV_GPIOAPI api;
    TIONames names;
    api.OnName_All = [&names](quint8, const TIONames& n) { names = n; };
    if (!Fetch(TNEV_GPIOAPI::Name_Get_All(), api))
        return std::nullopt;
    return names;
}

int TBoardCommand::Status() {
    const auto counts = ReadCounts();
    if (!counts)
        return ExitFailed;
    const TIOCounts c = *counts;
    QStringList outs, ins, pwms, regs;
    TNEV_GPIOAPI api;
    api.OnOut_Bools = [&](quint8, const TBools& b) {
        for (int i = 0; i < c.out && i < b.size(); ++i)
            outs << TJsonOut::Bool(b.at(i));
    };
    api.OnIn_All = [&](quint8, const TBools& b) {
        for (int i = 0; i < c.in && i < b.size(); ++i)
            ins << TJsonOut::Bool(b.at(i));
    };
    api.OnPWM_All = [&](quint8, const TPWMs& p) {
        for (int i = 0; i < c.pwm && i < p.size(); ++i)
            pwms << TJsonOut().AddNum("duty", p.at(i).Duty).AddNum("hz", p.at(i).HZ).Text();
    };
    api.OnREG_All = [&](quint8, const TREGs& r) {
        for (int i = 0; i < c.reg && i < r.size(); ++i)
            regs << TJsonOut::Tenths(r.at(i));
    };
    if (c.out > 0 && !Fetch(TNEV_GPIOAPI::Out_Get_All(), api))
        return ExitFailed;
    if (c.in > 0 && !Fetch(TNEV_GPIOAPI::In_Get_All(), api))
        return ExitFailed;
    if (c.pwm > 0 && !Fetch(TNEV_GPIOAPI::PWM_Get_All(), api))
        return ExitFailed;
    if (c.reg > 0 && !Fetch(TNEV_GPIOAPI::REG_Get_All(), api))
        return ExitFailed;
    const auto names = ReadNames();
    if (!names)
        return ExitFailed;

    // The names come as one list in the order outputs, inputs, PWM, registers, infrared.
    QStringList kinds[5];
    const int counts5[5] = {c.out, c.in, c.pwm, c.reg, c.ir};
    int i = 0;
    for (int k = 0; k < 5; ++k)
        for (int j = 0; j < counts5[k]; ++j, ++i)
            kinds[k] << TJsonOut::Str(i < names->size() ? names->at(i).Name : QString());

    const QString io = TJsonOut()
                           .AddNum("out", c.out)
                           .AddNum("in", c.in)
                           .AddNum("pwm", c.pwm)
                           .AddNum("reg", c.reg)
                           .AddNum("ir", c.ir)
                           .Text();
    const QString nameObj = TJsonOut()
                                .Add("out", TJsonOut::Array(kinds[0]))
                                .Add("in", TJsonOut::Array(kinds[1]))
                                .Add("pwm", TJsonOut::Array(kinds[2]))
                                .Add("reg", TJsonOut::Array(kinds[3]))
                                .Add("ir", TJsonOut::Array(kinds[4]))
                                .Text();
    Line(FIO, TJsonOut()
                  .Add("io", io)
                  .Add("out", TJsonOut::Array(outs))
                  .Add("in", TJsonOut::Array(ins))
                  .Add("pwm", TJsonOut::Array(pwms))
                  .Add("reg", TJsonOut::Array(regs))
                  .Add("names", nameObj)
                  .Text());
    return ExitOk;
}

int TBoardCommand::Out(const QStringList& p) {
    TNEV_GPIOAPI api;
    QString result;
    api.OnOut_One = [&](quint8, quint8 n, bool on) {
        result = TJsonOut().AddNum("out", n).AddBool("on", on).Text();
    };
    api.OnOut_All = [&](quint8, bool on) {
        result = TJsonOut().AddStr("out", "all").AddBool("on", on).Text();
    };
    QByteArray payload;
    if (p.size() == 2 && p.at(1) == QLatin1String("all-on")) {
        payload = TNEV_GPIOAPI::Out_Set_ON_All();
    } else if (p.size() == 2 && p.at(1) == QLatin1String("all-off")) {
        payload = TNEV_GPIOAPI::Out_Set_OFF_All();
    } else if (p.size() == 3) {
        qint64 n = 0;
        if (!ToInt(p.at(2), 1, 255, n))
            return Usage(FIO, QStringLiteral("output number must be 1 to 255"));
        if (p.at(1) == QLatin1String("on"))
            payload = TNEV_GPIOAPI::Out_Set_ON(quint8(n));
        else if (p.at(1) == QLatin1String("off"))
            payload = TNEV_GPIOAPI::Out_Set_OFF(quint8(n));
        else if (p.at(1) == QLatin1String("toggle"))
            payload = TNEV_GPIOAPI::Out_Set_NOT(quint8(n));
        else
            return Usage(FIO, QStringLiteral("out on|off|toggle N, out all-on, out all-off"));
    } else {
        return Usage(FIO, QStringLiteral("out on|off|toggle N, out all-on, out all-off"));
    }
    if (!Fetch(payload, api))
        return ExitFailed;
    Line(FIO, result);
    return ExitOk;
}

int TBoardCommand::Pwm(const QStringList& p) {
    if (p.size() != 4 || (p.at(1) != QLatin1String("duty") && p.at(1) != QLatin1String("freq")))
        return Usage(FIO, QStringLiteral("pwm duty N VALUE | pwm freq N HZ"));
    qint64 n = 0, v = 0;
    if (!ToInt(p.at(2), 1, 255, n))
        return Usage(FIO, QStringLiteral("PWM channel must be 1 to 255"));
    TNEV_GPIOAPI api;
    QString result;
    QByteArray payload;
    if (p.at(1) == QLatin1String("duty")) {
        // The window's duty slider runs from 0 to 100; a board refuses anything above.
        if (!ToInt(p.at(3), 0, 100, v))
            return Usage(FIO, QStringLiteral("duty must be 0 to 100"));
        payload = TNEV_GPIOAPI::PWM_Duty_Set_One(quint8(n), quint8(v));
        api.OnPWM_Duty_One = [&](quint8, quint8 ch, quint8 duty) {
            result = TJsonOut().AddNum("pwm", ch).AddNum("duty", duty).Text();
        };
    } else {
        if (!ToInt(p.at(3), 715, 65535, v))
            return Usage(FIO, QStringLiteral("frequency must be 715 to 65535 Hz"));
        payload = TNEV_GPIOAPI::PWM_HZ_Set_One(quint8(n), quint16(v));
        api.OnPWM_HZ_One = [&](quint8, quint8 ch, quint16 hz) {
            result = TJsonOut().AddNum("pwm", ch).AddNum("hz", hz).Text();
        };
    }
    if (!Fetch(payload, api))
        return ExitFailed;
    Line(FIO, result);
    return ExitOk;
}

int TBoardCommand::Ir(const QStringList& p) {
    const QString usage = QStringLiteral("ir create | ir learn N [1|2|3] | ir send N | ir remove N");
    if (p.size() < 2)
        return Usage(FIO, usage);
    const QString verb = p.at(1);
    if (verb == QLatin1String("create")) {
        if (p.size() != 2)
            return Usage(FIO, usage);
        TNEV_GPIOAPI api;
        int slot = -1;
        api.OnRed_Create = [&](quint8, quint8 n) { slot = n; };
        if (!Fetch(TNEV_GPIOAPI::Red_Create(), api))
            return ExitFailed;
        if (slot == 0xFF)
            return Fail(QStringLiteral("No free infrared slot on the board"));
        Line(FIO, TJsonOut().AddNum("ir", slot).Text());
        return ExitOk;
    }
    qint64 n = 0;
    if (p.size() < 3 || !ToInt(p.at(2), 1, 255, n))
        return Usage(FIO, usage);
    TNEV_GPIOAPI api;
    int phase = -1;
    api.OnRed_Study = [&](quint8, quint8, quint8 m) { phase = m; };
    api.OnRed_Send = [&](quint8, quint8, quint8 m) { phase = m; };
    api.OnRed_Remove = [&](quint8, quint8, quint8 m) { phase = m; };
    if (verb == QLatin1String("learn")) {
        qint64 passes = 1;
        if (p.size() > 4 || (p.size() == 4 && !ToInt(p.at(3), 1, 3, passes)))
            return Usage(FIO, usage);
        // Phase 0 says the board is listening; the result (1 success, 2 failure, 3 time-out)
        // follows when the remote control has been pressed, within 20 s.
        if (!Fetch(TNEV_GPIOAPI::Red_Study(quint8(n), quint8(passes)), api))
            return ExitFailed;
        if (phase == 0) {
            const TCtlReply r =
                FBoard->Await(20000, [](const QByteArray& pl) { return pl.size() >= 3 && pl.at(2) != 0; });
            if (r.What == TCtlReply::Kind::Lost)
                return Fail(QStringLiteral("Disconnected"));
            if (r.What != TCtlReply::Kind::Answer)
                return Fail(QStringLiteral("Infrared study overtime!"));
            api.ReceiveData(r.Payload);
        }
        static const QHash<int, QString> results{{1, "success"}, {2, "failure"}, {3, "overtime"}};
        Line(
            FIO,
            TJsonOut().AddNum("ir", n).AddStr("result", results.value(phase, QString::number(phase))).Text());
        if (phase != 1) {
            FFailed = true;
            FIO.err << (phase == 2 ? "Infrared study failure!" : "Infrared study overtime!") << "\n";
        }
        return Failed();
    }
    if (p.size() != 3)
        return Usage(FIO, usage);
    QByteArray payload;
    if (verb == QLatin1String("send"))
        payload = TNEV_GPIOAPI::Red_Send(quint8(n));
    else if (verb == QLatin1String("remove"))
        payload = TNEV_GPIOAPI::Red_Remove(quint8(n));
    else
        return Usage(FIO, usage);
    if (!Fetch(payload, api))
        return ExitFailed;
    Line(FIO, TJsonOut().AddNum("ir", n).AddBool("ok", phase == 1).Text());
    if (phase != 1)
        return Fail(QStringLiteral("The board reported a failure (%1)").arg(phase));
    return ExitOk;
}

int TBoardCommand::Name(const QStringList& p) {
    static const QStringList kinds{"out", "in", "pwm", "reg", "ir"};
    static const TIOTYPE types[] = {TIOTYPE::IO_OUT, TIOTYPE::IO_IN, TIOTYPE::IO_PWM, TIOTYPE::IO_REG,
                                    TIOTYPE::IO_Red};
    qint64 n = 0;
    if (p.size() != 4 || !kinds.contains(p.at(1)) || !ToInt(p.at(2), 1, 255, n))
        return Usage(FIO, QStringLiteral("name out|in|pwm|reg|ir N TEXT"));
    const QString text = p.at(3).trimmed();
    if (text.isEmpty())
        return Usage(FIO, QStringLiteral("the name must not be empty"));
    const int kind = int(kinds.indexOf(p.at(1)));
    // The record's type and spare bytes belong to the board: read them and send them back.
    const auto counts = ReadCounts();
    if (!counts)
        return ExitFailed;
    const int perKind[5] = {counts->out, counts->in, counts->pwm, counts->reg, counts->ir};
    if (n > perKind[kind])
        return Fail(QStringLiteral("The board has no %1 channel %2").arg(p.at(1)).arg(n));
    const auto names = ReadNames();
    if (!names)
        return ExitFailed;
    int index = int(n) - 1;
    for (int k = 0; k < kind; ++k)
        index += perKind[k];
    TIOName record = index < names->size() ? names->at(index) : TIOName{};
    record.Name = text;
    TNEV_GPIOAPI api;
    QString result;
    api.OnName_One = [&](quint8, TIOTYPE, quint8 ch, const TIOName& name) {
        result = TJsonOut().AddStr("kind", p.at(1)).AddNum("n", ch).AddStr("name", name.Name).Text();
    };
    if (!Fetch(TNEV_GPIOAPI::Name_Set_One(types[kind], quint8(n), record), api))
        return ExitFailed;
    Line(FIO, result);
    return ExitOk;
}

bool TBoardCommand::SyncClock() {
    TNEV_GPIOAPI api;
    bool ok = false;
    api.OnTask_SetTime = [&](quint8, bool isOk, const QDateTime&) { ok = isOk; };
    if (!Fetch(TNEV_GPIOAPI::Task_Set_Time(QDateTime::currentDateTime()), api))
        return false;
    if (!ok)
        Fail(QStringLiteral("Failed to set the time, please check your hardware!"));
    return ok;
}

int TBoardCommand::Task(const QStringList& p, const TArgs& a) {
    const QString usage =
        QStringLiteral("task list N | task add N on|off|toggle \"YYYY-MM-DD hh:mm\" [--days SU,MO,...] | "
                       "task enable ID | task disable ID | task delete ID");
    if (p.size() < 3)
        return Usage(FIO, usage);
    const QString verb = p.at(1);
    qint64 n = 0;
    if (!ToInt(p.at(2), verb == QLatin1String("list") || verb == QLatin1String("add") ? 1 : 0, 255, n))
        return Usage(FIO, usage);
    if (verb == QLatin1String("list")) {
        if (p.size() != 3)
            return Usage(FIO, usage);
        TNEV_GPIOAPI api;
        TTaskRcds tasks;
        api.OnTask_List = [&](quint8, quint8, const TTaskRcds& t) { tasks = t; };
        if (!Fetch(TNEV_GPIOAPI::Task_Get_List(quint8(n)), api))
            return ExitFailed;
        for (const TTaskRcd& t : tasks)
            Line(FIO, TaskJson(t));
        return ExitOk;
    }
    if (verb == QLatin1String("add")) {
        if (p.size() != 5)
            return Usage(FIO, usage);
        TTaskRcd task;
        if (p.at(3) == QLatin1String("on"))
            task.CMD = TNEV_GPIOAPI::Out_Set_ON(quint8(n));
        else if (p.at(3) == QLatin1String("off"))
            task.CMD = TNEV_GPIOAPI::Out_Set_OFF(quint8(n));
        else if (p.at(3) == QLatin1String("toggle"))
            task.CMD = TNEV_GPIOAPI::Out_Set_NOT(quint8(n));
        else
            return Usage(FIO, usage);
        task.StartTime = QDateTime::fromString(p.at(4), QStringLiteral("yyyy-MM-dd HH:mm"));
        if (!task.StartTime.isValid())
            return Usage(FIO, QStringLiteral("start time must be \"YYYY-MM-DD hh:mm\""));
        task.Enable = true;
        if (a.has("--days")) {
            for (const QString& d : a.get("--days").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                const auto i = DayCodes.indexOf(d.trimmed().toUpper());
                if (i < 0)
                    return Usage(FIO, QStringLiteral("days are SU,MO,TU,WE,TH,FR,SA"));
                task.Week[size_t(i)] = true;
            }
        }
        const bool anyDay = std::any_of(task.Week.begin(), task.Week.end(), [](bool b) { return b; });
        task.LoopStyle = anyDay ? TTASKLOOPSTYLE::TASK_LOOP_DAY : TTASKLOOPSTYLE::TASK_LOOP_ONE;
        // The board runs its tasks by its own clock, so it is set first.
        if (!SyncClock())
            return ExitFailed;
        TNEV_GPIOAPI api;
        int id = -1;
        TTaskRcd added;
        api.OnTask_Add = [&](quint8, quint8 i, const TTaskRcd& t) {
            id = i;
            added = t;
        };
        if (!Fetch(TNEV_GPIOAPI::Task_Set_Add(task), api))
            return ExitFailed;
        if (id == 0xFF)
            return Fail(QStringLiteral("Task list was full!"));
        Line(FIO, TaskJson(added));
        return ExitOk;
    }
    TTASKSTATE state;
    if (verb == QLatin1String("enable"))
        state = TTASKSTATE::TASK_STATE_ON;
    else if (verb == QLatin1String("disable"))
        state = TTASKSTATE::TASK_STATE_OFF;
    else if (verb == QLatin1String("delete"))
        state = TTASKSTATE::TASK_STATE_DEL;
    else
        return Usage(FIO, usage);
    if (p.size() != 3)
        return Usage(FIO, usage);
    TNEV_GPIOAPI api;
    QString result;
    api.OnTask_State = [&](quint8, quint8 id, TTASKSTATE s) {
        static const char* names[] = {"enabled", "disabled", "deleted"};
        result = TJsonOut().AddNum("id", id).AddStr("state", names[int(s)]).Text();
    };
    if (!Fetch(TNEV_GPIOAPI::Task_Set_State(quint8(n), state), api))
        return ExitFailed;
    Line(FIO, result);
    return ExitOk;
}

int TBoardCommand::Device(const QStringList& p, const TArgs& a) {
    const QString usage = QStringLiteral(
        "device name TEXT | device password OLD NEW | device io OUT IN PWM REG [--save] | device save");
    if (p.size() < 2)
        return Usage(FIO, usage);
    const QString verb = p.at(1);
    TNEV_GPIOAPI api;
    QString result;
    bool ok = true;
    if (verb == QLatin1String("name") && p.size() == 3) {
        const qsizetype bytes = StrToUtf8Buf(p.at(2)).size();
        if (bytes < 1 || bytes > 16)
            return Usage(FIO, QStringLiteral("the device name must be 1 to 16 bytes"));
        api.OnSys_Name = [&](quint8, const QString& name) {
            result = TJsonOut().AddStr("name", name).Text();
        };
        if (!Fetch(TNEV_GPIOAPI::Sys_Set_Name(p.at(2)), api))
            return ExitFailed;
    } else if (verb == QLatin1String("password") && p.size() == 4) {
        for (int i = 2; i < 4; ++i) {
            const qsizetype bytes = TNEV_GPIOAPI::PasswordBytes(p.at(i)).size();
            if (bytes < 1 || bytes > 6)
                return Usage(FIO, QStringLiteral("passwords must be 1 to 6 bytes"));
        }
        api.OnSys_Password = [&](quint8, bool isOk) {
            ok = isOk;
            result = TJsonOut().AddBool("changed", isOk).Text();
        };
        if (!Fetch(TNEV_GPIOAPI::Sys_Set_Password(p.at(2), p.at(3)), api))
            return ExitFailed;
        if (!ok) {
            Line(FIO, result);
            return Fail(QStringLiteral("Failed to change device password!"));
        }
    } else if (verb == QLatin1String("io") && p.size() == 6) {
        qint64 v[4];
        for (int i = 0; i < 4; ++i)
            if (!ToInt(p.at(2 + i), 0, 255, v[i]))
                return Usage(FIO, usage);
        if (v[0] + v[1] > 24 || v[2] > 2)
            return Usage(FIO, QStringLiteral("OUT + IN must be at most 24 and PWM at most 2"));
        api.OnSys_IO = [&](quint8, quint8 x, quint8 y, quint8 z, quint8 k, quint8 m) {
            result = TJsonOut()
                         .AddNum("out", x)
                         .AddNum("in", y)
                         .AddNum("pwm", z)
                         .AddNum("reg", k)
                         .AddNum("ir", m)
                         .Text();
        };
        if (!Fetch(TNEV_GPIOAPI::Sys_Set_IO(quint8(v[0]), quint8(v[1]), quint8(v[2]), quint8(v[3])), api))
            return ExitFailed;
        if (a.switches.contains("--save")) {
            TNEV_GPIOAPI save;
            save.OnSys_Save = [](quint8) {};
            if (!Fetch(TNEV_GPIOAPI::Sys_Set_Save(), save))
                return ExitFailed;
        }
    } else if (verb == QLatin1String("save") && p.size() == 2) {
        api.OnSys_Save = [&](quint8) { result = TJsonOut().AddBool("saved", true).Text(); };
        if (!Fetch(TNEV_GPIOAPI::Sys_Set_Save(), api))
            return ExitFailed;
    } else {
        return Usage(FIO, usage);
    }
    Line(FIO, result);
    return ExitOk;
}

int TBoardCommand::Run(const QStringList& p, const TArgs& a) {
    const QString cmd = p.value(0);
    if (cmd == QLatin1String("status") && p.size() == 1)
        return Status();
    if (cmd == QLatin1String("out"))
        return Out(p);
    if (cmd == QLatin1String("pwm"))
        return Pwm(p);
    if (cmd == QLatin1String("ir"))
        return Ir(p);
    if (cmd == QLatin1String("name"))
        return Name(p);
    if (cmd == QLatin1String("task"))
        return Task(p, a);
    if (cmd == QLatin1String("clock") && p.size() == 2 && p.at(1) == QLatin1String("sync")) {
        if (!SyncClock())
            return ExitFailed;
        Line(FIO, TJsonOut().AddBool("clock", true).Text());
        return ExitOk;
    }
    if (cmd == QLatin1String("device"))
        return Device(p, a);
    return Usage(FIO, QStringLiteral("unknown command: %1").arg(p.join(QLatin1Char(' '))));
}

bool ParseBroadcast(const TArgs& a, QHostAddress& out, QString& error) {
    out = QHostAddress(QHostAddress::Broadcast);
    if (!a.has("--broadcast"))
        return true;
    if (!out.setAddress(a.get("--broadcast")) || out.protocol() != QAbstractSocket::IPv4Protocol) {
        error = QStringLiteral("--broadcast needs an IPv4 address");
        return false;
    }
    return true;
}

int Discover(const TArgs& a, TOutput& io) {
    qint64 port = DefaultUDPSCanPort, timeout = SearchWindowMs;
    if (a.has("--port") && !ToInt(a.get("--port"), 1, 65535, port))
        return Usage(io, QStringLiteral("--port must be 1 to 65535"));
    if (a.has("--timeout-ms") && !ToInt(a.get("--timeout-ms"), 1, 600000, timeout))
        return Usage(io, QStringLiteral("--timeout-ms must be 1 to 600000"));
    QHostAddress bc;
    QString why;
    if (!ParseBroadcast(a, bc, why))
        return Usage(io, why);
    if (a.pos.size() != 1)
        return Usage(io, QStringLiteral("discover takes no arguments"));

    TNEV_IOTUDP udp(quint16(port), bc);
    if (!udp.setActive(true))
        return Fail(io, QStringLiteral("%1 search port is occupied! (%2)").arg(port).arg(udp.ErrorString()));
    udp.setSearchWindowMs(int(timeout));
    QSet<QString> seen;
    QEventLoop loop;
    udp.OnUDPReceive = [&](const TUDPRcvRcd& r) {
        const QString mac = MACBufToStr(r.DevMAC);
        if (seen.contains(mac))
            return;
        seen.insert(mac);
        Line(io, TJsonOut()
                     .AddStr("mac", mac)
                     .AddStr("ip", IPBufToStr(r.DevIP))
                     .AddStr("name", Utf8BufToStr(r.DevName))
                     .AddNum("type", r.DevType)
                     .AddNum("ctrl", r.DevID)
                     .Text());
    };
    udp.OnUDPTimeOut = [&] { loop.quit(); };
    if (!udp.SearchDevice())
        return Fail(io, QStringLiteral("The search request could not be sent: %1").arg(udp.ErrorString()));
    loop.exec();
    return ExitOk;
}

int Wifi(const TArgs& a, TOutput& io) {
    QHostAddress bc;
    QString why;
    if (!ParseBroadcast(a, bc, why))
        return Usage(io, why);
    const QStringList& p = a.pos;
    const QString usage = QStringLiteral("wifi scan [--timeout-ms MS] | wifi join SSID PASSWORD");
    if (p.size() < 2)
        return Usage(io, usage);
    qint64 timeout = TAddRouter::DefaultSearchTimeoutMs;
    if (a.has("--timeout-ms") && !ToInt(a.get("--timeout-ms"), 1, 600000, timeout))
        return Usage(io, QStringLiteral("--timeout-ms must be 1 to 600000"));
    if (p.at(1) == QLatin1String("scan")) {
        if (p.size() != 2)
            return Usage(io, usage);
    } else if (p.at(1) == QLatin1String("join")) {
        if (p.size() != 4 || p.at(2).isEmpty())
            return Usage(io, usage);
    } else {
        return Usage(io, usage);
    }

    TAddRouter router(RouterJoinPort, bc);
    if (!router.isListening())
        return Fail(
            io, QStringLiteral("Port %1 cannot be used: %2").arg(RouterJoinPort).arg(router.ErrorString()));
    QEventLoop loop;
    if (p.at(1) == QLatin1String("scan")) {
        router.setSearchTimeoutMs(int(timeout));
        router.OnRouterSearchEnd = [&] { loop.quit(); };
        if (!router.Search())
            return Fail(io, QStringLiteral("The search could not be sent: %1").arg(router.ErrorString()));
        ExecFor(loop, int(timeout) + 100);
        for (const TRouterNet& n : router.Nets())
            Line(io, TJsonOut().AddStr("ssid", n.NameStr()).AddNum("signal", n.Signal).Text());
        return ExitOk;
    }
    std::optional<TRouterJoinResult> result;
    router.OnJoinResult = [&](TRouterJoinResult r) {
        result = r;
        loop.quit();
    };
    if (!router.Add(0, p.at(2), p.at(3)))
        return Fail(io, QStringLiteral("The join request could not be sent: %1").arg(router.ErrorString()));
    ExecFor(loop, int(timeout));
    if (!result)
        return Fail(io, QStringLiteral("No reply to the join request within %1 ms").arg(timeout));
    switch (*result) {
    case TRouterJoinResult::JOIN_OK:
        Line(io, TJsonOut().AddStr("ssid", p.at(2)).AddBool("joined", true).Text());
        return ExitOk;
    case TRouterJoinResult::JOIN_NOSSID:
        return Fail(io, QStringLiteral("SSID not exist!"));
    case TRouterJoinResult::JOIN_PSDERR:
        return Fail(io, QStringLiteral("SSID password error!"));
    }
    return ExitFailed;
}

int Board(const TArgs& a, TOutput& io) {
    TCtlTarget t;
    if (a.has("--relay")) {
        if (a.has("--host"))
            return Usage(io, QStringLiteral("--host and --relay exclude each other"));
        t.Relay = true;
        t.Host = a.get("--relay");
        qint64 port = DefaultTCPRemotePort;
        if (a.has("--relay-port") && !ToInt(a.get("--relay-port"), 1, 65535, port))
            return Usage(io, QStringLiteral("--relay-port must be 1 to 65535"));
        t.Port = quint16(port);
        for (const char* need : {"--mac", "--account", "--account-password"})
            if (!a.has(need))
                return Usage(io, QStringLiteral("--relay needs %1").arg(need));
        t.MAC = a.get("--mac");
        TBUF6 mac;
        const QString formatted = FormatMACStr(t.MAC);
        if (!IsMACText(formatted) || !MACStrToBuf(formatted, mac))
            return Usage(io, QStringLiteral("--mac must be six hexadecimal pairs, e.g. 5C-CF-7F-01-02-0A"));
        t.Account = a.get("--account");
        t.AccountPassword = a.get("--account-password");
        for (const QString& v : {t.Account, t.AccountPassword}) {
            const qsizetype bytes = StrToUtf8Buf(v).size();
            if (bytes < 1 || bytes > 16)
                return Usage(io, QStringLiteral("account and password must be 1 to 16 bytes"));
        }
    } else {
        t.Host = a.get("--host");
        qint64 port = DefaultTCPLANPort;
        if (a.has("--port") && !ToInt(a.get("--port"), 1, 65535, port))
            return Usage(io, QStringLiteral("--port must be 1 to 65535"));
        t.Port = quint16(port);
        t.Password = a.get("--password", QString::fromLatin1(DefaultDevPassword));
    }
    if (t.Host.isEmpty())
        return Usage(io, QStringLiteral("the host must not be empty"));
    if (a.pos.isEmpty())
        return Usage(io, QStringLiteral("missing COMMAND"));
    if (TBoardCommand(nullptr, io).Run(a.pos, a) == ExitUsage)
        return ExitUsage;

    TCtlBoard board(t, a.switches.contains("--trace"));
    QString error;
    if (!board.Login(error))
        return Fail(io, error);
    return TBoardCommand(&board, io).Run(a.pos, a);
}

} // namespace

QString UsageText() {
    return QStringLiteral(
               "Usage:\n"
               "  quillet-ctl discover [--port 1901] [--timeout-ms 3000] [--broadcast ADDR]\n"
               "      one JSON object per board found, one per line:\n"
               "      "
               "{\"mac\":\"5C-CF-7F-01-02-0A\",\"ip\":\"10.0.0.5\",\"name\":\"Lab\",\"type\":1,\"ctrl\":6}\n"
               "  quillet-ctl --host HOST [--port 8899] [--password PW] [--trace] COMMAND ...\n"
               "  quillet-ctl --relay HOST [--relay-port 8900] --mac MAC --account A --account-password P\n"
               "              [--trace] COMMAND ...\n"
               "      --password defaults to the default device password; --trace prints every block\n"
               "      sent and received as hex bytes on stderr (\"> 55 AA ...\" and \"< AA 55 ...\").\n"
               "    COMMAND:\n"
               "      status                      IO counts, states and names as one JSON object\n"
               "      out on|off|toggle N         N counted from 1; prints {\"out\":N,\"on\":true|false}\n"
               "      out all-on | out all-off\n"
               "      pwm duty N VALUE | pwm freq N HZ        (VALUE 0..100, HZ 715..65535)\n"
               "      ir create | ir learn N [1|2|3] | ir send N | ir remove N\n"
               "      name out|in|pwm|reg|ir N TEXT\n"
               "      task list N                 one JSON object per task\n"
               "      task add N on|off|toggle \"YYYY-MM-DD hh:mm\" [--days SU,MO,TU,WE,TH,FR,SA]\n"
               "                                  sets the board clock to local time first, then adds\n"
               "      task enable ID | task disable ID | task delete ID\n"
               "      clock sync\n"
               "      device name TEXT | device password OLD NEW | device io OUT IN PWM REG [--save]\n"
               "      device save\n"
               "  quillet-ctl wifi scan [--timeout-ms 3000] [--broadcast ADDR]\n"
               "      networks as JSON lines {\"ssid\":\"lab\",\"signal\":76}\n"
               "  quillet-ctl wifi join SSID PASSWORD [--broadcast ADDR]\n") +
           CloudUsageText() +
           QStringLiteral("\nExit status: 0 success; 1 failure (message on stderr: login refused, board\n"
                          "refusal, negative result, no reply within 3 s); 2 usage error.\n");
}

int RunMain(const QStringList& args, TOutput io) {
    const TArgs a = Parse(args);
    if (!a.error.isEmpty())
        return Usage(io, a.error);
    if (a.switches.contains("--help") || a.switches.contains("-h")) {
        io.out << UsageText();
        io.out.flush();
        return ExitOk;
    }
    const QString first = a.pos.value(0);
    if (!a.has("--host") && !a.has("--relay")) {
        if (first == QLatin1String("discover"))
            return Discover(a, io);
        if (first == QLatin1String("wifi"))
            return Wifi(a, io);
        if (first == QLatin1String("cloud"))
            return RunCloud(a.pos.mid(1), a.opts, io);
        if (first.isEmpty())
            return Usage(io, QStringLiteral("missing command"));
        return Usage(io, QStringLiteral("a board command needs --host or --relay"));
    }
    return Board(a, io);
}

} // namespace ctl
