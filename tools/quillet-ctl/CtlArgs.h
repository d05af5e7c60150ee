// quillet-ctl's command line as checked values: ParseArgs turns the arguments into one command
// whose every field is already in range, or into the usage error to print. Nothing here touches
// the network, so a usage error never waits for a board or a server.
#pragma once

#include "CtlBoard.h"
#include "nevGPIOAPI.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <variant>

namespace ctl {

// What one board command asks of the board.
namespace board {
enum class Switch { On, Off, Toggle };
struct Status {};
struct OutSet {
    Switch action;
    quint8 n;
};
struct OutAll {
    bool on;
};
struct PwmDuty {
    quint8 n;
    quint8 duty;
};
struct PwmFreq {
    quint8 n;
    quint16 hz;
};
struct IrCreate {};
struct IrLearn {
    quint8 n;
    quint8 passes;
};
struct IrSend {
    quint8 n;
};
struct IrRemove {
    quint8 n;
};
struct Name {
    int kind; // index into ChannelKinds
    quint8 n;
    QString text;
};
struct TaskList {
    quint8 n;
};
struct TaskAdd {
    TTaskRcd task; // the record to send; its start time is local time
};
struct TaskState {
    quint8 id;
    TTASKSTATE state;
};
struct ClockSync {};
struct DeviceName {
    QString name;
};
struct DevicePassword {
    QString oldPassword;
    QString newPassword;
};
struct DeviceIo {
    quint8 out, in, pwm, reg;
    bool save;
};
struct DeviceSave {};

using Op =
    std::variant<Status, OutSet, OutAll, PwmDuty, PwmFreq, IrCreate, IrLearn, IrSend, IrRemove, Name,
                 TaskList, TaskAdd, TaskState, ClockSync, DeviceName, DevicePassword, DeviceIo, DeviceSave>;

// The channel kinds as the command line names them, in the order the board lists its names.
inline const QStringList ChannelKinds{"out", "in", "pwm", "reg", "ir"};
} // namespace board

// What one cloud command asks of the server.
namespace cloud {
struct Login {};
struct Register {
    QString account, password, nickname, email, name, tel, address, remark;
};
struct Devices {};
struct Activate {
    QString mac; // 12 hexadecimal digits
    QString code;
};
struct Update {
    QString mac, name, pass;
};
struct Remove {
    QString mac;
};
struct UploadImage {
    QString mac, file;
};
struct FeedbackList {};
struct FeedbackSend {
    QString text;
};
struct FeedbackAnonymous {
    QString text, contact;
};
struct News {};
struct Products {};

using Op = std::variant<Login, Register, Devices, Activate, Update, Remove, UploadImage, FeedbackList,
                        FeedbackSend, FeedbackAnonymous, News, Products>;
} // namespace cloud

struct THelpCmd {};
struct TBoardCmd {
    TCtlTarget target;
    bool trace = false;
    board::Op op;
};
struct TDiscoverCmd {
    quint16 port;
    int timeoutMs;
    QHostAddress broadcast;
};
struct TWifiScanCmd {
    int timeoutMs;
    QHostAddress broadcast;
};
struct TWifiJoinCmd {
    QString ssid, password;
    int timeoutMs;
    QHostAddress broadcast;
};
struct TCloudCmd {
    QUrl server;
    QString account, password; // empty for the calls that need no account
    cloud::Op op;
};

using TCommand = std::variant<THelpCmd, TBoardCmd, TDiscoverCmd, TWifiScanCmd, TWifiJoinCmd, TCloudCmd>;

// The reason printed after "quillet-ctl: " for a command line that cannot run.
struct TUsageError {
    QString why;
};

using TParsed = std::variant<TCommand, TUsageError>;

// Parses the arguments without the program name.
TParsed ParseArgs(const QStringList& args);

} // namespace ctl
