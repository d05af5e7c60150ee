// The board commands of quillet-ctl: one session with one board, one request at a time.
#include "CtlBoard.h"
#include "CtlJson.h"
#include "CtlOutput.h"
#include "CtlRunners.h"
#include "nevGPIOAPI.h"

#include <QDateTime>
#include <QHash>

namespace ctl {

namespace {

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
    TBoardCommand(TCtlBoard& board, TOutput& io) : FBoard(board), FIO(io) {}

    int operator()(const board::Status&) { return Status(); }
    int operator()(const board::OutSet& op);
    int operator()(const board::OutAll& op);
    int operator()(const board::PwmDuty& op);
    int operator()(const board::PwmFreq& op);
    int operator()(const board::IrCreate&);
    int operator()(const board::IrLearn& op);
    int operator()(const board::IrSend& op) { return IrOnce(op.n, TNEV_GPIOAPI::Red_Send(op.n)); }
    int operator()(const board::IrRemove& op) { return IrOnce(op.n, TNEV_GPIOAPI::Red_Remove(op.n)); }
    int operator()(const board::Name& op);
    int operator()(const board::TaskList& op);
    int operator()(const board::TaskAdd& op);
    int operator()(const board::TaskState& op);
    int operator()(const board::ClockSync&);
    int operator()(const board::DeviceName& op);
    int operator()(const board::DevicePassword& op);
    int operator()(const board::DeviceIo& op);
    int operator()(const board::DeviceSave&);

private:
    // Sends and decodes one request; on a refusal, a lost connection or no reply the failure is
    // written and nullopt returned.
    std::optional<QByteArray> Ask(const QByteArray& payload, int timeoutMs = TCtlBoard::ReplyTimeoutMs,
                                  const std::function<bool(const QByteArray&)>& accept = {});
    bool Fetch(const QByteArray& payload, TNEV_GPIOAPI& api, int timeoutMs = TCtlBoard::ReplyTimeoutMs);
    std::optional<TIOCounts> ReadCounts();
    std::optional<TIONames> ReadNames();
    int Status();
    int IrOnce(quint8 n, const QByteArray& payload);
    // Sends `payload` and prints the line `result` holds once its reply has been read.
    int Print(const QByteArray& payload, TNEV_GPIOAPI& api, const QString& result);
    bool SyncClock();

    int Failed() const { return FFailed ? ExitFailed : ExitOk; }
    int Fail(const QString& why) {
        FFailed = true;
        return ctl::Fail(FIO, why);
    }

    TCtlBoard& FBoard;
    TOutput& FIO;
    bool FFailed = false;
};

std::optional<QByteArray> TBoardCommand::Ask(const QByteArray& payload, int timeoutMs,
                                             const std::function<bool(const QByteArray&)>& accept) {
    const TCtlReply r = FBoard.Request(payload, timeoutMs, accept);
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

int TBoardCommand::Print(const QByteArray& payload, TNEV_GPIOAPI& api, const QString& result) {
    if (!Fetch(payload, api))
        return ExitFailed;
    Line(FIO, result);
    return ExitOk;
}

int TBoardCommand::operator()(const board::OutSet& op) {
    TNEV_GPIOAPI api;
    QString result;
    api.OnOut_One = [&](quint8, quint8 n, bool on) {
        result = TJsonOut().AddNum("out", n).AddBool("on", on).Text();
    };
    const QByteArray payload = op.action == board::Switch::On    ? TNEV_GPIOAPI::Out_Set_ON(op.n)
                               : op.action == board::Switch::Off ? TNEV_GPIOAPI::Out_Set_OFF(op.n)
                                                                 : TNEV_GPIOAPI::Out_Set_NOT(op.n);
    return Print(payload, api, result);
}

int TBoardCommand::operator()(const board::OutAll& op) {
    TNEV_GPIOAPI api;
    QString result;
    api.OnOut_All = [&](quint8, bool on) {
        result = TJsonOut().AddStr("out", "all").AddBool("on", on).Text();
    };
    return Print(op.on ? TNEV_GPIOAPI::Out_Set_ON_All() : TNEV_GPIOAPI::Out_Set_OFF_All(), api, result);
}

int TBoardCommand::operator()(const board::PwmDuty& op) {
    TNEV_GPIOAPI api;
    QString result;
    api.OnPWM_Duty_One = [&](quint8, quint8 ch, quint8 duty) {
        result = TJsonOut().AddNum("pwm", ch).AddNum("duty", duty).Text();
    };
    return Print(TNEV_GPIOAPI::PWM_Duty_Set_One(op.n, op.duty), api, result);
}

int TBoardCommand::operator()(const board::PwmFreq& op) {
    TNEV_GPIOAPI api;
    QString result;
    api.OnPWM_HZ_One = [&](quint8, quint8 ch, quint16 hz) {
        result = TJsonOut().AddNum("pwm", ch).AddNum("hz", hz).Text();
    };
    return Print(TNEV_GPIOAPI::PWM_HZ_Set_One(op.n, op.hz), api, result);
}

int TBoardCommand::operator()(const board::IrCreate&) {
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

int TBoardCommand::operator()(const board::IrLearn& op) {
    TNEV_GPIOAPI api;
    int phase = -1;
    api.OnRed_Study = [&](quint8, quint8, quint8 m) { phase = m; };
    // Phase 0 says the board is listening; the result (1 success, 2 failure, 3 time-out)
    // follows when the remote control has been pressed, within 20 s.
    if (!Fetch(TNEV_GPIOAPI::Red_Study(op.n, op.passes), api))
        return ExitFailed;
    if (phase == 0) {
        const TCtlReply r =
            FBoard.Await(20000, [](const QByteArray& pl) { return pl.size() >= 3 && pl.at(2) != 0; });
        if (r.What == TCtlReply::Kind::Lost)
            return Fail(QStringLiteral("Disconnected"));
        if (r.What != TCtlReply::Kind::Answer)
            return Fail(QStringLiteral("Infrared study overtime!"));
        api.ReceiveData(r.Payload);
    }
    static const QHash<int, QString> results{{1, "success"}, {2, "failure"}, {3, "overtime"}};
    Line(FIO,
         TJsonOut().AddNum("ir", op.n).AddStr("result", results.value(phase, QString::number(phase))).Text());
    if (phase != 1) {
        FFailed = true;
        FIO.err << (phase == 2 ? "Infrared study failure!" : "Infrared study overtime!") << "\n";
    }
    return Failed();
}

int TBoardCommand::IrOnce(quint8 n, const QByteArray& payload) {
    TNEV_GPIOAPI api;
    int phase = -1;
    api.OnRed_Send = [&](quint8, quint8, quint8 m) { phase = m; };
    api.OnRed_Remove = [&](quint8, quint8, quint8 m) { phase = m; };
    if (!Fetch(payload, api))
        return ExitFailed;
    Line(FIO, TJsonOut().AddNum("ir", n).AddBool("ok", phase == 1).Text());
    if (phase != 1)
        return Fail(QStringLiteral("The board reported a failure (%1)").arg(phase));
    return ExitOk;
}

int TBoardCommand::operator()(const board::Name& op) {
    static const TIOTYPE types[] = {TIOTYPE::IO_OUT, TIOTYPE::IO_IN, TIOTYPE::IO_PWM, TIOTYPE::IO_REG,
                                    TIOTYPE::IO_Red};
    const QString kindName = board::ChannelKinds.at(op.kind);
    // The record's type and spare bytes belong to the board: read them and send them back.
    const auto counts = ReadCounts();
    if (!counts)
        return ExitFailed;
    const int perKind[5] = {counts->out, counts->in, counts->pwm, counts->reg, counts->ir};
    if (op.n > perKind[op.kind])
        return Fail(QStringLiteral("The board has no %1 channel %2").arg(kindName).arg(op.n));
    const auto names = ReadNames();
    if (!names)
        return ExitFailed;
    int index = int(op.n) - 1;
    for (int k = 0; k < op.kind; ++k)
        index += perKind[k];
    TIOName record = index < names->size() ? names->at(index) : TIOName{};
    record.Name = op.text;
    TNEV_GPIOAPI api;
    QString result;
    api.OnName_One = [&](quint8, TIOTYPE, quint8 ch, const TIOName& name) {
        result = TJsonOut().AddStr("kind", kindName).AddNum("n", ch).AddStr("name", name.Name).Text();
    };
    return Print(TNEV_GPIOAPI::Name_Set_One(types[op.kind], op.n, record), api, result);
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

int TBoardCommand::operator()(const board::ClockSync&) {
    if (!SyncClock())
        return ExitFailed;
    Line(FIO, TJsonOut().AddBool("clock", true).Text());
    return ExitOk;
}

int TBoardCommand::operator()(const board::TaskList& op) {
    TNEV_GPIOAPI api;
    TTaskRcds tasks;
    api.OnTask_List = [&](quint8, quint8, const TTaskRcds& t) { tasks = t; };
    if (!Fetch(TNEV_GPIOAPI::Task_Get_List(op.n), api))
        return ExitFailed;
    for (const TTaskRcd& t : tasks)
        Line(FIO, TaskJson(t));
    return ExitOk;
}

int TBoardCommand::operator()(const board::TaskAdd& op) {
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
    if (!Fetch(TNEV_GPIOAPI::Task_Set_Add(op.task), api))
        return ExitFailed;
    if (id == 0xFF)
        return Fail(QStringLiteral("Task list was full!"));
    Line(FIO, TaskJson(added));
    return ExitOk;
}

int TBoardCommand::operator()(const board::TaskState& op) {
    TNEV_GPIOAPI api;
    QString result;
    api.OnTask_State = [&](quint8, quint8 id, TTASKSTATE s) {
        static const char* names[] = {"enabled", "disabled", "deleted"};
        result = TJsonOut().AddNum("id", id).AddStr("state", names[int(s)]).Text();
    };
    return Print(TNEV_GPIOAPI::Task_Set_State(op.id, op.state), api, result);
}

int TBoardCommand::operator()(const board::DeviceName& op) {
    TNEV_GPIOAPI api;
    QString result;
    api.OnSys_Name = [&](quint8, const QString& name) { result = TJsonOut().AddStr("name", name).Text(); };
    return Print(TNEV_GPIOAPI::Sys_Set_Name(op.name), api, result);
}

int TBoardCommand::operator()(const board::DevicePassword& op) {
    TNEV_GPIOAPI api;
    bool ok = true;
    QString result;
    api.OnSys_Password = [&](quint8, bool isOk) {
        ok = isOk;
        result = TJsonOut().AddBool("changed", isOk).Text();
    };
    if (!Fetch(TNEV_GPIOAPI::Sys_Set_Password(op.oldPassword, op.newPassword), api))
        return ExitFailed;
    Line(FIO, result);
    return ok ? ExitOk : Fail(QStringLiteral("Failed to change device password!"));
}

int TBoardCommand::operator()(const board::DeviceIo& op) {
    TNEV_GPIOAPI api;
    QString result;
    api.OnSys_IO = [&](quint8, quint8 x, quint8 y, quint8 z, quint8 k, quint8 m) {
        result = TJsonOut()
                     .AddNum("out", x)
                     .AddNum("in", y)
                     .AddNum("pwm", z)
                     .AddNum("reg", k)
                     .AddNum("ir", m)
                     .Text();
    };
    if (!Fetch(TNEV_GPIOAPI::Sys_Set_IO(op.out, op.in, op.pwm, op.reg), api))
        return ExitFailed;
    if (op.save) {
        TNEV_GPIOAPI save;
        save.OnSys_Save = [](quint8) {};
        if (!Fetch(TNEV_GPIOAPI::Sys_Set_Save(), save))
            return ExitFailed;
    }
    Line(FIO, result);
    return ExitOk;
}

int TBoardCommand::operator()(const board::DeviceSave&) {
    TNEV_GPIOAPI api;
    QString result;
    api.OnSys_Save = [&](quint8) { result = TJsonOut().AddBool("saved", true).Text(); };
    return Print(TNEV_GPIOAPI::Sys_Set_Save(), api, result);
}

} // namespace

int RunBoard(const TBoardCmd& cmd, TOutput& io) {
    TCtlBoard board(cmd.target, cmd.trace);
    QString error;
    if (!board.Login(error))
        return Fail(io, error);
    TBoardCommand run(board, io);
    return std::visit(run, cmd.op);
}

} // namespace ctl
