#include "nevGPIOAPI.h"

#include <QTimeZone>

#include <algorithm>

namespace {

using Bytes = std::span<const quint8>;

constexpr quint32 MaxBoardSecs = 0xFFFFFFFFu;

constexpr quint8 Code(TGPIOCmd c) {
    return quint8(c);
}
constexpr quint8 Reply(TGPIOCmd c) {
    return ReplyCode(c);
}

QByteArray Payload(std::initializer_list<quint8> bytes) {
    QByteArray out;
    out.reserve(qsizetype(bytes.size()));
    for (const quint8 b : bytes)
        out.append(char(b));
    return out;
}

void PutU32(QByteArray& out, qsizetype at, quint32 v) {
    out[at] = char(quint8(v >> 24));
    out[at + 1] = char(quint8(v >> 16));
    out[at + 2] = char(quint8(v >> 8));
    out[at + 3] = char(quint8(v));
}

quint32 GetU32(Bytes b) {
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

// Cuts UTF-8 to at most `max` bytes without splitting a character: a name cut inside a
// multi-byte character would no longer decode and the board would show it as empty.
QByteArray CutUtf8(const QByteArray& utf8, qsizetype max) {
    if (utf8.size() <= max)
        return utf8;
    qsizetype end = max;
    while (end > 0 && (quint8(utf8[end]) & 0xC0) == 0x80)
        --end;
    return utf8.left(end);
}

// A zero-padded field of `size` bytes at `at`.
void PutField(QByteArray& out, qsizetype at, const QByteArray& bytes, qsizetype size) {
    const qsizetype n = std::min(bytes.size(), size);
    std::copy_n(bytes.constData(), n, out.begin() + at);
}

TBools BitArray(Bytes data) {
    TBools out;
    out.reserve(data.size() * 8);
    for (const quint8 byte : data)
        for (const quint8 mask : BitMasks)
            out.append((byte & mask) != 0);
    return out;
}

TREGs Registers(Bytes data) {
    TREGs out;
    for (size_t k = 0; k + 1 < data.size(); k += 2)
        out.append(TNEV_GPIOAPI::RegisterValue(quint16(data[k] * 256 + data[k + 1])));
    return out;
}

TIONames NameRecords(Bytes data) {
    TIONames out;
    const size_t size = TNEV_GPIOAPI::NameRecordSize;
    for (size_t k = 0; k + size <= data.size(); k += size)
        out.append(TNEV_GPIOAPI::DecodeNameRecord(data.subspan(k).first<14>()));
    return out;
}

QString VersionText(quint8 major, quint8 minor) {
    return QString::number(major) + QLatin1Char('.') + QString::number(minor);
}

} // namespace

quint32 DateTimeToBoardSecs(const QDateTime& localTime) {
    if (!localTime.isValid())
        return 0;
    const QDateTime local = localTime.toLocalTime();
    const QDateTime wall(local.date(), local.time(), QTimeZone::utc());
    const qint64 secs = wall.toSecsSinceEpoch();
    return quint32(std::clamp<qint64>(secs, 0, MaxBoardSecs));
}

QDateTime BoardSecsToDateTime(quint32 secs) {
    const QDateTime wall = QDateTime(QDate(1970, 1, 1), QTime(0, 0), QTimeZone::utc()).addSecs(secs);
    const QDateTime local(wall.date(), wall.time());
    if (local.isValid())
        return local;
    // The wall clock falls in a gap of the local zone (clocks put forward): count on from the
    // last valid time before it rather than hand out an invalid time.
    for (qint64 back = 1800; back <= 2 * 86400; back += 1800) {
        const QDateTime before = wall.addSecs(-back);
        const QDateTime valid(before.date(), before.time());
        if (valid.isValid())
            return valid.addSecs(back);
    }
    return local;
}

// --- encoders ---------------------------------------------------------------------------------

QByteArray TNEV_GPIOAPI::Out_Set_OFF(quint8 N) {
    return Payload({Code(TGPIOCmd::Out_Set_OFF), N});
}
QByteArray TNEV_GPIOAPI::Out_Set_ON(quint8 N) {
    return Payload({Code(TGPIOCmd::Out_Set_ON), N});
}
QByteArray TNEV_GPIOAPI::Out_Set_NOT(quint8 N) {
    return Payload({Code(TGPIOCmd::Out_Set_NOT), N});
}
QByteArray TNEV_GPIOAPI::Out_Set_OFF_All() {
    return Payload({Code(TGPIOCmd::Out_Set_OFF_All)});
}
QByteArray TNEV_GPIOAPI::Out_Set_ON_All() {
    return Payload({Code(TGPIOCmd::Out_Set_ON_All)});
}
QByteArray TNEV_GPIOAPI::Out_Get_All() {
    return Payload({Code(TGPIOCmd::Out_Get_All)});
}
QByteArray TNEV_GPIOAPI::In_Get_All() {
    return Payload({Code(TGPIOCmd::In_Get_All)});
}
QByteArray TNEV_GPIOAPI::PWM_Duty_Set_One(quint8 N, quint8 ADuty) {
    return Payload({Code(TGPIOCmd::PWM_Duty_Set_One), N, ADuty});
}
QByteArray TNEV_GPIOAPI::PWM_Get_All() {
    return Payload({Code(TGPIOCmd::PWM_Get_All)});
}
QByteArray TNEV_GPIOAPI::Red_Create() {
    return Payload({Code(TGPIOCmd::Red_Create)});
}
QByteArray TNEV_GPIOAPI::Red_Study(quint8 N, quint8 Num) {
    return Payload({Code(TGPIOCmd::Red_Study), N, Num});
}
QByteArray TNEV_GPIOAPI::Red_Send(quint8 N) {
    return Payload({Code(TGPIOCmd::Red_Send), N});
}
QByteArray TNEV_GPIOAPI::Red_Remove(quint8 N) {
    return Payload({Code(TGPIOCmd::Red_Remove), N});
}

QByteArray TNEV_GPIOAPI::PWM_HZ_Set_One(quint8 N, quint16 AHZ) {
    return Payload({Code(TGPIOCmd::PWM_HZ_Set_One), N, quint8(AHZ >> 8), quint8(AHZ)});
}

QByteArray TNEV_GPIOAPI::REG_Get_All() {
    return Payload({Code(TGPIOCmd::REG_Get_All)});
}
QByteArray TNEV_GPIOAPI::Task_Get_List(quint8 N) {
    return Payload({Code(TGPIOCmd::Task_Get_List), N});
}

QByteArray TNEV_GPIOAPI::Task_Set_Add(const TTaskRcd& ATask) {
    QByteArray out = TaskRecord(ATask);
    out[0] = char(Code(TGPIOCmd::Task_Set_Add));
    return out;
}

QByteArray TNEV_GPIOAPI::Task_Set_State(quint8 N, TTASKSTATE AState) {
    return Payload({Code(TGPIOCmd::Task_Set_State), N, quint8(quint8(AState) + 1)});
}

QByteArray TNEV_GPIOAPI::Task_Set_Time(const QDateTime& ATime) {
    QByteArray out(5, '\0');
    out[0] = char(Code(TGPIOCmd::Task_Set_Time));
    PutU32(out, 1, DateTimeToBoardSecs(ATime));
    return out;
}

QByteArray TNEV_GPIOAPI::Name_Set_One(TIOTYPE IOType, quint8 N, const TIOName& Name) {
    return Payload({Code(TGPIOCmd::Name_Set_One), IOTypeToByte(IOType), N}) + NameRecord(Name);
}

QByteArray TNEV_GPIOAPI::Name_Get_All() {
    return Payload({Code(TGPIOCmd::Name_Get_All)});
}
QByteArray TNEV_GPIOAPI::Sys_Set_IO(quint8 x, quint8 y, quint8 z, quint8 k) {
    return Payload({Code(TGPIOCmd::Sys_Set_IO), x, y, z, k});
}

QByteArray TNEV_GPIOAPI::Sys_Set_Password(const QString& Old, const QString& New) {
    QByteArray out(1 + 2 * PasswordSize, '\0');
    out[0] = char(Code(TGPIOCmd::Sys_Set_Password));
    PutField(out, 1, PasswordBytes(Old), PasswordSize);
    PutField(out, 1 + PasswordSize, PasswordBytes(New), PasswordSize);
    return out;
}

QByteArray TNEV_GPIOAPI::Sys_Set_Name(const QString& Name) {
    QByteArray out(1 + DevNameSize, '\0');
    out[0] = char(Code(TGPIOCmd::Sys_Set_Name));
    PutField(out, 1, CutUtf8(StrToUtf8Buf(Name), DevNameSize), DevNameSize);
    return out;
}

QByteArray TNEV_GPIOAPI::Sys_Set_Save() {
    return Payload({Code(TGPIOCmd::Sys_Set_Save)});
}
QByteArray TNEV_GPIOAPI::Sys_Get_IO() {
    return Payload({Code(TGPIOCmd::Sys_Get_IO)});
}

// --- wire pieces -----------------------------------------------------------------------------

QByteArray TNEV_GPIOAPI::PasswordBytes(const QString& password) {
    return password.toLocal8Bit();
}

quint8 TNEV_GPIOAPI::IOTypeToByte(TIOTYPE t) {
    switch (t) {
    case TIOTYPE::IO_IN:
        return 1;
    case TIOTYPE::IO_PWM:
        return 2;
    case TIOTYPE::IO_REG:
        return 3;
    case TIOTYPE::IO_Red:
        return 4;
    case TIOTYPE::IO_OUT:
    case TIOTYPE::IO_NIL:
        break;
    }
    return 0;
}

TIOTYPE TNEV_GPIOAPI::ByteToIOType(quint8 b) {
    switch (b) {
    case 1:
        return TIOTYPE::IO_IN;
    case 2:
        return TIOTYPE::IO_PWM;
    case 3:
        return TIOTYPE::IO_REG;
    case 4:
        return TIOTYPE::IO_Red;
    default:
        return TIOTYPE::IO_OUT;
    }
}

QByteArray TNEV_GPIOAPI::NameRecord(const TIOName& name) {
    QByteArray out(NameRecordSize, '\0');
    out[0] = char(name.CtrlType);
    out[1] = char(name.BeiYong);
    PutField(out, 2, CutUtf8(StrToUtf8Buf(name.Name), NameTextSize), NameTextSize);
    return out;
}

TIOName TNEV_GPIOAPI::DecodeNameRecord(std::span<const quint8, 14> b) {
    TIOName out;
    out.CtrlType = b[0];
    out.BeiYong = b[1];
    out.Name =
        Utf8BufToStr(QByteArray(reinterpret_cast<const char*>(b.data() + 2), NameTextSize), NameTextSize);
    return out;
}

QByteArray TNEV_GPIOAPI::TaskRecord(const TTaskRcd& task) {
    QByteArray out(TaskRecordSize, '\0');
    out[0] = char(task.ID);
    out[1] = char((task.Enable ? 0x80 : 0x00) | (quint8(task.LoopStyle) & 0x0F));
    PutU32(out, 2, DateTimeToBoardSecs(task.StartTime));
    PutField(out, 6, task.CMD, 4);
    quint8 week = 0;
    for (size_t i = 0; i < task.Week.size(); ++i)
        if (task.Week[i])
            week |= BitMasks[i];
    out[10] = char(week);
    return out;
}

TTaskRcd TNEV_GPIOAPI::DecodeTaskRecord(std::span<const quint8, 11> b) {
    TTaskRcd out;
    out.ID = b[0];
    out.Enable = (b[1] & 0x80) != 0;
    const quint8 loop = b[1] & 0x0F;
    if (loop <= quint8(TTASKLOOPSTYLE::TASK_LOOP_MON))
        out.LoopStyle = TTASKLOOPSTYLE(loop);
    out.StartTime = BoardSecsToDateTime(GetU32(b.subspan<2, 4>()));
    out.CMD = QByteArray(reinterpret_cast<const char*>(b.data() + 6), 4);
    for (size_t i = 0; i < out.Week.size(); ++i)
        out.Week[i] = (b[10] & BitMasks[i]) != 0;
    return out;
}

float TNEV_GPIOAPI::RegisterValue(quint16 word) {
    if (word <= 32768)
        return float(word) / 10.0f;
    return -float(word - 32768) / 10.0f;
}

// --- matching replies to requests -----------------------------------------------------------

namespace {

// How many argument bytes after the code name the channel (or task) a request addresses, and so
// must come back unchanged in its reply.
qsizetype ChannelBytes(quint8 request) {
    switch (TGPIOCmd(request)) {
    case TGPIOCmd::Out_Set_OFF:
    case TGPIOCmd::Out_Set_ON:
    case TGPIOCmd::Out_Set_NOT:
    case TGPIOCmd::PWM_Duty_Set_One:
    case TGPIOCmd::PWM_HZ_Set_One:
    case TGPIOCmd::Red_Study:
    case TGPIOCmd::Red_Send:
    case TGPIOCmd::Red_Remove:
    case TGPIOCmd::Task_Set_State:
        return 1;
    case TGPIOCmd::Name_Set_One:
        return 2; // kind and channel
    default:
        return 0;
    }
}

} // namespace

bool ReplyAnswers(QByteArrayView ARequest, QByteArrayView AReply) {
    if (ARequest.isEmpty() || AReply.isEmpty())
        return false;
    const quint8 request = quint8(ARequest.front());
    // 255 is always the refusal, even of a request code 127.
    if ((request & 0x80) != 0 || quint8(AReply.front()) == ReplyUnsupported ||
        quint8(AReply.front()) != ReplyCode(TGPIOCmd(request)))
        return false;
    const qsizetype n = std::min(ChannelBytes(request), ARequest.size() - 1);
    return AReply.size() > n &&
           std::equal(ARequest.begin() + 1, ARequest.begin() + 1 + n, AReply.begin() + 1);
}

bool ReplyRefuses(QByteArrayView ARequest, QByteArrayView AReply) {
    return !ARequest.isEmpty() && AReply.size() == 2 && quint8(AReply[0]) == ReplyUnsupported &&
           AReply[1] == ARequest.front();
}

// --- decoder ---------------------------------------------------------------------------------

bool TNEV_GPIOAPI::ReceiveData(const QByteArray& Buf) const {
    if (Buf.isEmpty())
        return false;
    const Bytes b(reinterpret_cast<const quint8*>(Buf.constData()), size_t(Buf.size()));
    const size_t n = b.size();
    const quint8 code = b[0];
    if ((code & 0x80) == 0)
        return false;

    // Array replies whose data hold less than one element fail; other length faults are ignored.
    // The codes given as numbers answer requests this program never sends.
    switch (code) {
    case Reply(TGPIOCmd::Out_Set_OFF):
    case Reply(TGPIOCmd::Out_Set_ON):
    case Reply(TGPIOCmd::Out_Set_NOT):
        if (n == 3 && OnOut_One)
            OnOut_One(code, b[1], b[2] != 0);
        return true;
    case Reply(TGPIOCmd::Out_Set_OFF_All):
    case Reply(TGPIOCmd::Out_Set_ON_All):
        if (n == 2 && OnOut_All)
            OnOut_All(code, b[1] != 0);
        return true;
    case 134:
    case 135:
    case 136:
    case 137:
    case Reply(TGPIOCmd::Out_Get_All):
        if (n < 2)
            return false;
        if (OnOut_Bools)
            OnOut_Bools(code, BitArray(b.subspan(1)));
        return true;
    case Reply(TGPIOCmd::In_Get_All):
        if (n < 2)
            return false;
        if (OnIn_All)
            OnIn_All(code, BitArray(b.subspan(1)));
        return true;
    case 160:
    case 161:
        if (OnPWM_Duty_All)
            OnPWM_Duty_All(code, b.subspan(1), int(n - 1));
        return true;
    case Reply(TGPIOCmd::PWM_Duty_Set_One):
    case 163:
        if (n >= 3 && OnPWM_Duty_One)
            OnPWM_Duty_One(code, b[1], b[2]);
        return true;
    case Reply(TGPIOCmd::PWM_Get_All):
    case 165: {
        if (n < 4)
            return false;
        if (OnPWM_All) {
            TPWMs pwms;
            for (size_t k = 1; k + 3 <= n; k += 3)
                pwms.append(TPWM{b[k], quint16(b[k + 1] * 256 + b[k + 2])});
            OnPWM_All(code, pwms);
        }
        return true;
    }
    case Reply(TGPIOCmd::Red_Create):
        if (n >= 2 && OnRed_Create)
            OnRed_Create(code, b[1]);
        return true;
    case Reply(TGPIOCmd::Red_Study):
        if (n >= 3 && OnRed_Study)
            OnRed_Study(code, b[1], b[2]);
        return true;
    case Reply(TGPIOCmd::Red_Send):
        if (n >= 3 && OnRed_Send)
            OnRed_Send(code, b[1], b[2]);
        return true;
    case Reply(TGPIOCmd::Red_Remove):
        if (n >= 3 && OnRed_Remove)
            OnRed_Remove(code, b[1], b[2]);
        return true;
    case 172:
        if (n >= 2 && OnRed_Clear)
            OnRed_Clear(code, b[1]);
        return true;
    case 176:
    case 177: {
        if (n < 3)
            return false;
        if (OnPWM_HZ_All) {
            THZs hzs;
            for (size_t k = 1; k + 2 <= n; k += 2)
                hzs.append(quint16(b[k] * 256 + b[k + 1]));
            OnPWM_HZ_All(code, hzs);
        }
        return true;
    }
    case Reply(TGPIOCmd::PWM_HZ_Set_One):
    case 179:
        if (n >= 4 && OnPWM_HZ_One)
            OnPWM_HZ_One(code, b[1], quint16(b[2] * 256 + b[3]));
        return true;
    case Reply(TGPIOCmd::REG_Get_All):
        if (n < 3)
            return false;
        if (OnREG_All)
            OnREG_All(code, Registers(b.subspan(1)));
        return true;
    case 193:
        if (n >= 4 && OnREG_One)
            OnREG_One(code, b[1], RegisterValue(quint16(b[2] * 256 + b[3])));
        return true;
    case 195:
        if (n < 5)
            return false;
        if (OnREG_Part)
            OnREG_Part(code, b[1], b[2], Registers(b.subspan(3)));
        return true;
    case Reply(TGPIOCmd::Task_Get_List): {
        if (n < 2)
            return true;
        if (OnTask_List) {
            const quint8 count = b[1];
            const Bytes data = b.subspan(2);
            TTaskRcds tasks;
            if (count != 0 && data.size() == size_t(count) * TaskRecordSize)
                for (size_t k = 0; k < data.size(); k += TaskRecordSize)
                    tasks.append(DecodeTaskRecord(data.subspan(k).first<11>()));
            OnTask_List(code, count, tasks);
        }
        return true;
    }
    case Reply(TGPIOCmd::Task_Set_Add):
        if (n == 12 && OnTask_Add)
            OnTask_Add(code, b[1], DecodeTaskRecord(b.subspan(1).first<11>()));
        return true;
    case Reply(TGPIOCmd::Task_Set_State):
        if (n == 3 && b[2] >= 1 && b[2] <= 3 && OnTask_State)
            OnTask_State(code, b[1], TTASKSTATE(b[2] - 1));
        return true;
    case 211:
        if (n == 5 && OnTask_GetTime)
            OnTask_GetTime(code, BoardSecsToDateTime(GetU32(b.subspan(1, 4))));
        return true;
    case Reply(TGPIOCmd::Task_Set_Time):
        if (n == 6 && OnTask_SetTime)
            OnTask_SetTime(code, b[1] != 0, BoardSecsToDateTime(GetU32(b.subspan(2, 4))));
        return true;
    case Reply(TGPIOCmd::Name_Set_One):
    case 225:
        if (n == 17 && OnName_One)
            OnName_One(code, ByteToIOType(b[1]), b[2], DecodeNameRecord(b.subspan(3).first<14>()));
        return true;
    case 226:
    case Reply(TGPIOCmd::Name_Get_All):
        if (n < 1 + size_t(NameRecordSize))
            return false;
        if (OnName_All)
            OnName_All(code, NameRecords(b.subspan(1)));
        return true;
    case 228:
    case 229:
        if (n < 2 + size_t(NameRecordSize))
            return false;
        if (OnName_Type)
            OnName_Type(code, ByteToIOType(b[1]), NameRecords(b.subspan(2)));
        return true;
    case 240:
        if (n == 7 && OnSys_Info) {
            const quint8 f = b[1];
            const TDEVTYPE type = b[2] <= 2 ? TDEVTYPE(b[2]) : TDEVTYPE::DEV_IOT1;
            OnSys_Info(code, f & 0x01, f & 0x02, f & 0x04, f & 0x08, f & 0x10, f & 0x20, f & 0x40, type,
                       VersionText(b[3], b[4]), VersionText(b[5], b[6]));
        }
        return true;
    case Reply(TGPIOCmd::Sys_Set_IO):
    case Reply(TGPIOCmd::Sys_Get_IO):
        if ((n == 5 || n == 6) && OnSys_IO)
            OnSys_IO(code, b[1], b[2], b[3], b[4], n == 6 ? b[5] : 0);
        return true;
    case Reply(TGPIOCmd::Sys_Set_Password):
        if (n == 2 && OnSys_Password)
            OnSys_Password(code, b[1] != 0);
        return true;
    case Reply(TGPIOCmd::Sys_Set_Name):
    case 245:
        if (n == 17 && OnSys_Name)
            OnSys_Name(code, Utf8BufToStr(Buf.mid(1, DevNameSize), DevNameSize));
        return true;
    case 246:
        if (n == 1 && OnSys_Port)
            OnSys_Port(code);
        return true;
    case 248:
        return true;
    case 249:
        if (n == 5 && OnSys_ID)
            OnSys_ID(code, TIDBuf{b[1], b[2]});
        return true;
    case Reply(TGPIOCmd::Sys_Set_Save):
        if (n == 1 && OnSys_Save)
            OnSys_Save(code);
        return true;
    case ReplyUnsupported:
        if (n == 2 && OnData_Incompatible)
            OnData_Incompatible(b[1]);
        return true;
    default:
        return false;
    }
}
