// The board's GPIO command set: the value types of channels, names, tasks, PWM and registers,
// the encoders that build request payloads, and the decoder that turns one reply payload into
// one event.
#pragma once

#include "untPublic.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <span>

// Channel kinds. On the wire: IO_IN 1, IO_PWM 2, IO_REG 3, IO_Red 4; IO_OUT and IO_NIL both 0.
enum class TIOTYPE : quint8 { IO_OUT = 0, IO_IN = 1, IO_PWM = 2, IO_REG = 3, IO_Red = 4, IO_NIL = 5 };

enum class TDEVTYPE : quint8 { DEV_IOT1 = 0, DEV_WIFIIOMINI = 1, DEV_GPRSRTU = 2 };

enum class TTASKLOOPSTYLE : quint8 {
    TASK_LOOP_ONE = 0, // once
    TASK_LOOP_MIN = 1,
    TASK_LOOP_HR = 2,
    TASK_LOOP_DAY = 3,
    TASK_LOOP_MON = 4,
};

// On the wire (request 82 and reply 210): ON 1, OFF 2, DEL 3.
enum class TTASKSTATE : quint8 { TASK_STATE_ON = 0, TASK_STATE_OFF = 1, TASK_STATE_DEL = 2 };

// One channel name record (14 bytes on the wire).
struct TIOName {
    quint8 CtrlType = 0; // carried unchanged from the board's record back to it
    quint8 BeiYong = 0;  // spare byte; bit 0 marks a learned infrared code
    QString Name;
    bool operator==(const TIOName&) const = default;
};
using TIONames = QList<TIOName>;

// One timed task kept by the board (11 bytes on the wire).
struct TTaskRcd {
    quint8 ID = 0; // assigned by the board
    bool Enable = false;
    TTASKLOOPSTYLE LoopStyle = TTASKLOOPSTYLE::TASK_LOOP_ONE;
    QDateTime StartTime; // local wall-clock time; the board's clock runs in local time
    QByteArray CMD;      // a request payload the board runs; at most 4 bytes travel
    TBools7 Week{};      // day i of the week is bit i on the wire
    bool operator==(const TTaskRcd&) const = default;
};
using TTaskRcds = QList<TTaskRcd>;

struct TPWM {
    quint8 Duty = 0;
    quint16 HZ = 0;
    bool operator==(const TPWM&) const = default;
};
using TPWMs = QList<TPWM>;
using THZs = QList<quint16>;
using TREGs = QList<float>;

// Board clock values travel as seconds since 1970-01-01 00:00:00 of local wall-clock time, as if
// that wall clock were UTC. Times before 1970 give 0, times after 2106-02-07 06:28:15 give
// 0xFFFFFFFF, an invalid time gives 0.
quint32 DateTimeToBoardSecs(const QDateTime& localTime);
// The inverse: a local date and time (Qt::LocalTime) with the wall clock of the count. A wall
// clock that the local zone skips (clocks put forward) gives the time as far past the last
// valid time before the gap, so the result is always valid.
QDateTime BoardSecsToDateTime(quint32 secs);

// Request codes, one per encoder of the same name. The board answers request c with reply code
// c + 128 (ReplyCode), or with ReplyUnsupported followed by c when it does not know the request.
enum class TGPIOCmd : quint8 {
    Out_Set_OFF = 0x01,
    Out_Set_ON = 0x02,
    Out_Set_NOT = 0x03,
    Out_Set_OFF_All = 0x04,
    Out_Set_ON_All = 0x05,
    Out_Get_All = 0x0A,
    In_Get_All = 0x14,
    PWM_Duty_Set_One = 0x22,
    PWM_Get_All = 0x24,
    Red_Create = 0x28,
    Red_Study = 0x29,
    Red_Send = 0x2A,
    Red_Remove = 0x2B,
    PWM_HZ_Set_One = 0x32,
    REG_Get_All = 0x40,
    Task_Get_List = 0x50,
    Task_Set_Add = 0x51,
    Task_Set_State = 0x52,
    Task_Set_Time = 0x54,
    Name_Set_One = 0x60,
    Name_Get_All = 0x63,
    Sys_Set_IO = 0x72,
    Sys_Set_Password = 0x73,
    Sys_Set_Name = 0x74,
    Sys_Set_Save = 0x7A,
    Sys_Get_IO = 0x7E,
};

constexpr quint8 ReplyCode(TGPIOCmd ACmd) {
    return quint8(quint8(ACmd) | 0x80);
}
inline constexpr quint8 ReplyUnsupported = 0xFF;

// True when the reply payload answers the request payload: its code is the request's reply code
// and, for the requests that address one channel (outputs, PWM, infrared slots, channel names),
// it names the same channel. A board on a busy bus also sends replies nobody asked for; taking
// the answer for output 5 as the answer for output 1 would report the wrong channel.
bool ReplyAnswers(QByteArrayView ARequest, QByteArrayView AReply);
// True when the reply is the board's refusal of the request (ReplyUnsupported, request code).
bool ReplyRefuses(QByteArrayView ARequest, QByteArrayView AReply);

// Event types: one handler each; an event without a handler is not raised.
using TDataIncompatibleEvent = std::function<void(quint8 CMD)>;
using TOutOneEvent = std::function<void(quint8 CMD, quint8 N, bool isON)>;
using TOutAllEvent = std::function<void(quint8 CMD, bool isON)>;
using TBoolsEvent = std::function<void(quint8 CMD, const TBools& Bools)>;
// PADutys points into the payload and is valid only during the call.
using TPWMDutyAllEvent = std::function<void(quint8 CMD, std::span<const quint8> PADutys, int DutyCount)>;
using TPWMDutyOneEvent = std::function<void(quint8 CMD, quint8 N, quint8 ADuty)>;
using TPWMAllEvent = std::function<void(quint8 CMD, const TPWMs& APWMs)>;
using TPWMHZAllEvent = std::function<void(quint8 CMD, const THZs& AHZs)>;
using TPWMHZOneEvent = std::function<void(quint8 CMD, quint8 N, quint16 AHZ)>;
using TRedCreateEvent = std::function<void(quint8 CMD, quint8 aN)>;
using TRedEvent = std::function<void(quint8 CMD, quint8 aN, quint8 aM)>;
using TRedClearEvent = std::function<void(quint8 CMD, quint8 aM)>;
using TREGAllEvent = std::function<void(quint8 CMD, const TREGs& AREGs)>;
using TREGOneEvent = std::function<void(quint8 CMD, quint8 N, float AREG)>;
using TREGPartEvent = std::function<void(quint8 CMD, quint8 S, quint8 N, const TREGs& AREGs)>;
using TTaskListEvent = std::function<void(quint8 CMD, quint8 Count, const TTaskRcds& Tasks)>;
using TTaskAddEvent = std::function<void(quint8 CMD, quint8 ID, const TTaskRcd& ATask)>;
using TTaskStateEvent = std::function<void(quint8 CMD, quint8 N, TTASKSTATE State)>;
using TTaskGetTimeEvent = std::function<void(quint8 CMD, const QDateTime& Time)>;
using TTaskSetTimeEvent = std::function<void(quint8 CMD, bool isOk, const QDateTime& Time)>;
using TNameOneEvent = std::function<void(quint8 CMD, TIOTYPE AIOType, quint8 N, const TIOName& AName)>;
using TNameAllEvent = std::function<void(quint8 CMD, const TIONames& ANames)>;
using TNameTypeEvent = std::function<void(quint8 CMD, TIOTYPE AIOType, const TIONames& ANames)>;
using TSysIOEvent = std::function<void(quint8 CMD, quint8 x, quint8 y, quint8 z, quint8 k, quint8 M)>;
using TSysIDEvent = std::function<void(quint8 CMD, const TIDBuf& ID)>;
using TSysSaveEvent = std::function<void(quint8 CMD)>;
using TSysInfoEvent = std::function<void(quint8 CMD, bool isWeb, bool isIOCount, bool isWIFI, bool isLAN,
                                         bool isGPRS, bool isSmartLink, bool isTask, TDEVTYPE DevType,
                                         const QString& HardVer, const QString& SoftVer)>;
using TSysPasswordEvent = std::function<void(quint8 CMD, bool isOk)>;
using TSysNameEvent = std::function<void(quint8 CMD, const QString& Name)>;
using TSysPortEvent = std::function<void(quint8 CMD)>;

// Command encoder and reply decoder of the GPIO protocol. Encoders return a new request payload
// (command byte first; BuildFrame wraps it) and never fail. ReceiveData decodes one reply
// payload and raises at most one event, synchronously.
class TNEV_GPIOAPI {
public:
    // Sizes of the fixed wire records.
    static constexpr int NameRecordSize = 14;
    static constexpr int NameTextSize = 12;
    static constexpr int TaskRecordSize = 11;
    static constexpr int PasswordSize = 6;
    static constexpr int DevNameSize = 16;

    // --- encoders (request payloads) ---------------------------------------------------------
    static QByteArray Out_Set_OFF(quint8 N);
    static QByteArray Out_Set_ON(quint8 N);
    static QByteArray Out_Set_NOT(quint8 N);
    static QByteArray Out_Set_OFF_All();
    static QByteArray Out_Set_ON_All();
    static QByteArray Out_Get_All();
    static QByteArray In_Get_All();
    static QByteArray PWM_Duty_Set_One(quint8 N, quint8 ADuty);
    static QByteArray PWM_Get_All();
    static QByteArray Red_Create();
    static QByteArray Red_Study(quint8 N, quint8 Num);
    static QByteArray Red_Send(quint8 N);
    static QByteArray Red_Remove(quint8 N);
    static QByteArray PWM_HZ_Set_One(quint8 N, quint16 AHZ);
    static QByteArray REG_Get_All();
    static QByteArray Task_Get_List(quint8 N);
    static QByteArray Task_Set_Add(const TTaskRcd& ATask);
    static QByteArray Task_Set_State(quint8 N, TTASKSTATE AState);
    static QByteArray Task_Set_Time(const QDateTime& ATime);
    static QByteArray Name_Set_One(TIOTYPE IOType, quint8 N, const TIOName& Name);
    static QByteArray Name_Get_All();
    static QByteArray Sys_Set_IO(quint8 x, quint8 y, quint8 z, quint8 k);
    static QByteArray Sys_Set_Password(const QString& Old, const QString& New);
    static QByteArray Sys_Set_Name(const QString& Name);
    static QByteArray Sys_Set_Save();
    static QByteArray Sys_Get_IO();

    // --- wire pieces, shared with the board simulator and the popups that measure input ------
    // A password in the local 8-bit encoding, as the board stores it (before cutting to 6 bytes).
    static QByteArray PasswordBytes(const QString& password);
    static quint8 IOTypeToByte(TIOTYPE t);
    static TIOTYPE ByteToIOType(quint8 b);
    static QByteArray NameRecord(const TIOName& name);              // 14 bytes
    static TIOName DecodeNameRecord(std::span<const quint8, 14> b); // 14 bytes
    // The 11-byte task; byte 0 is the task's ID (a request replaces it with the command code).
    static QByteArray TaskRecord(const TTaskRcd& task);
    static TTaskRcd DecodeTaskRecord(std::span<const quint8, 11> b);
    // Register reading from its 16-bit word: a sign bit in front of a 15-bit magnitude in
    // tenths, except that 0x8000 reads as +3276.8.
    static float RegisterValue(quint16 word);

    // --- decoder -------------------------------------------------------------------------------
    // Decodes one reply payload (byte 0 is the reply code) and raises its event when the
    // payload keeps its length rule and the event has a handler. False for an empty payload, a
    // non-reply code (bit 7 clear), an unknown code or an array reply with less than one
    // element of data; true otherwise.
    //
    // Reply 240 (device information) is 7 bytes on the board: b1 feature bits (bit 0 web,
    // 1 IO count, 2 WiFi, 3 LAN, 4 GPRS, 5 SmartLink, 6 tasks), b2 device type, b3.b4 hardware
    // version, b5.b6 software version.
    bool ReceiveData(const QByteArray& Buf) const;

    // --- events, in declaration order ------------------------------------------------------------
    TDataIncompatibleEvent OnData_Incompatible;
    TOutOneEvent OnOut_One;
    TOutAllEvent OnOut_All;
    TBoolsEvent OnOut_Bools;
    TBoolsEvent OnIn_All;
    TPWMDutyAllEvent OnPWM_Duty_All;
    TPWMDutyOneEvent OnPWM_Duty_One;
    TPWMAllEvent OnPWM_All;
    TPWMHZAllEvent OnPWM_HZ_All;
    TPWMHZOneEvent OnPWM_HZ_One;
    TRedCreateEvent OnRed_Create;
    TRedEvent OnRed_Study;
    TRedEvent OnRed_Send;
    TRedEvent OnRed_Remove;
    TRedClearEvent OnRed_Clear;
    TREGAllEvent OnREG_All;
    TREGOneEvent OnREG_One;
    TREGPartEvent OnREG_Part;
    TTaskListEvent OnTask_List;
    TTaskAddEvent OnTask_Add;
    TTaskStateEvent OnTask_State;
    TTaskGetTimeEvent OnTask_GetTime;
    TTaskSetTimeEvent OnTask_SetTime;
    TNameOneEvent OnName_One;
    TNameAllEvent OnName_All;
    TNameTypeEvent OnName_Type;
    TSysIOEvent OnSys_IO;
    TSysIDEvent OnSys_ID;
    TSysSaveEvent OnSys_Save;
    TSysInfoEvent OnSys_Info;
    TSysPasswordEvent OnSys_Password;
    TSysNameEvent OnSys_Name;
    TSysPortEvent OnSys_Port;
};
