// One simulated board: its identity, its channels and everything a board keeps (outputs, inputs,
// PWM, registers, channel names with pictures, infrared slots, timed tasks, clock, password,
// name), and the answers it gives to request payloads. Transport lives elsewhere.
//
// The request and reply codes are written out here as numbers on purpose, apart from the
// program's own list of request codes and its reply matching: a mistake shared by both sides
// would otherwise hide from the end-to-end tests.
#pragma once

#include "untPublic.h"

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <optional>

Q_DECLARE_LOGGING_CATEGORY(lcBoardSim)

namespace sim {

// Misbehaviour switched on for testing clients.
struct Faults {
    enum class Login : quint8 { Answer, No, Drop };
    Login refuse = Login::Answer;  // refuse every password this way (Answer: accept good ones)
    Login badPassword = Login::No; // how a wrong password is refused (No or Drop)
    int loginDropMs = 0;           // a refusal by dropping closes this long after the password line
    int dropAfterMs = 0;           // close each connection this long after it opened (0: never)
    int delayMs = 0;               // hold every write this long
    int splitBytes = 0;            // write every reply in pieces of this many bytes (0: whole)
    int splitGapMs = 10;           // pause between the pieces
    bool garbage = false;          // put junk (and a decoy frame with a bad sum) before each reply
    QSet<quint8> ignore;           // request codes that get neither action nor reply
    QSet<quint8> refuseCodes;      // request codes answered FF <code> without any action
};

struct BoardConfig {
    TBUF6 mac{};
    QString name;
    QByteArray password = DefaultDevPassword;
    quint8 type = 1;
    quint8 ctrl = 6; // capability bits: 2 = IO configuration, 4 = router join
    int out = 8, in = 4, pwm = 2, reg = 2, ir = 1;
    QString inputs;          // initial input states, "0101...", input 1 first
    QList<double> regValues; // initial register readings
    int taskSlots = 16;
    int irSlots = 16; // most infrared slots Red_Create may make
    int maxReg = 8;   // IO configuration limit for registers
    TBUF2 softVer{1, 2};
    TBUF2 hardVer{1, 0};
    QHostAddress listenAddress; // null: the world's default
    int listenPort = -1;        // -1: the world's default
    QHostAddress advertise;     // address in the search answer; null: the listen address
    int irDelayMs = 1500;       // time until a learning result
    quint8 irResult = 1;        // 1 success, 2 failure, 3 overtime
    int inputsChangeMs = 0;     // step the inputs this often (0: fixed)
    bool regDrift = false;      // registers move a little on every read
    Faults faults;
};

struct Channel {
    quint8 ctrlType = 0; // picture number, carried as the client sends it
    quint8 beiYong = 0;  // spare byte; bit 0 of an infrared name: a code is learned
    QByteArray name;     // up to 12 bytes as received
};

struct Task {
    quint8 id = 0;
    QByteArray bytes; // t1..t10 as received (enable/loop, 4 time bytes, 4 command bytes, week)
    bool enabled() const { return quint8(bytes.at(0)) & 0x80; }
    quint8 loop() const { return quint8(bytes.at(0)) & 0x0F; }
    quint32 start() const;
    quint8 output() const { return quint8(bytes.at(6)); }
    quint8 week() const { return quint8(bytes.at(9)); }
};

class Board : public QObject {
    Q_OBJECT
public:
    using ReplySink = std::function<void(const QByteArray& payload)>;

    explicit Board(BoardConfig config, QObject* parent = nullptr);

    const BoardConfig& Config() const { return FCfg; }
    QString MacText() const;
    QByteArray Name16() const;
    QByteArray Password() const { return FPassword; }
    bool PasswordMatches(const QByteArray& line) const { return line == FPassword; }

    // The 36-byte answer to the LAN search, for the given address.
    QByteArray SearchAnswer(const QHostAddress& ip) const;

    // Runs one request payload. Immediate replies and later ones (infrared learning results) go to
    // `reply`; later ones only while `context` lives. Ignored codes (fault) give nothing.
    void HandleRequest(const QByteArray& payload, QObject* context, const ReplySink& reply);

    // Board clock: local wall-clock seconds since 1970 as if UTC.
    quint32 Now() const;

    // State, for tests and logging.
    QList<bool> Outputs() const { return FOut; }
    QList<bool> Inputs() const { return FIn; }
    bool Joined(const QByteArray& ssid) const { return FJoined == ssid; }
    void SetJoined(const QByteArray& ssid) { FJoined = ssid; }
    int IrSlots() const { return int(FIr.size()); }

private:
    QByteArray Handle(const QByteArray& p, QObject* context, const ReplySink& reply);
    QByteArray IoReply(quint8 code) const;
    QByteArray NameRecord(const Channel& c) const;
    QList<Channel>* NamesOf(quint8 kind);
    void ResizeChannels();
    void SetOutput(int index, bool on);
    bool RunOutputCommand(const QByteArray& cmd);
    void ScheduleTasks();
    void RunDueTasks();
    std::optional<quint32> NextRun(const Task& t, quint32 after) const;
    void StepInputs();

    BoardConfig FCfg;
    QByteArray FName;     // 16 bytes
    QByteArray FPassword; // as set, without padding
    QList<bool> FOut, FIn;
    struct Pwm {
        quint8 duty = 0;
        quint16 hz = 1000;
    };
    QList<Pwm> FPwm;
    QList<double> FReg;
    QList<Channel> FOutNames, FInNames, FPwmNames, FRegNames;
    struct IrSlot {
        Channel name;
        bool learned = false;
    };
    QList<IrSlot> FIr;
    QList<Task> FTasks;
    qint64 FClockOffset = 0; // board clock minus computer local clock, seconds
    quint32 FLastTaskCheck = 0;
    QTimer FTaskTimer;
    QTimer FInputTimer;
    int FDriftStep = 0;
    QByteArray FJoined;
    QByteArray FSaved; // snapshot taken by Sys_Set_Save
};

// Register value as two bytes: tenths, with the top bit as the sign.
QByteArray EncodeReg(double value);

} // namespace sim
