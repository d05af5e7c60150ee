// The selected board's side of the window without its widgets: which board is selected, cutting
// its bytes into replies, the query chain that reads a board after it connects, what each decoded
// reply changes on the screen, the infrared learning timers, and the board commands behind the
// device popups and the control list's clicks. The window implements TDevEventsSink with its
// control list, task list, overlay and message service.
#pragma once

#include "nevGPIOAPI.h"
#include "nevIOTTCPProtocol.h"
#include "untIOTDev.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

// What the controller shows and asks of the window. Indices count from 0 within their class.
class TDevEventsSink {
public:
    virtual ~TDevEventsSink() = default;

    // --- control list ---
    // Cells of a class that exist now (OutCount, InCount, PWMCount, REGCount, RedCount).
    virtual int Count(TIOTYPE AIOType) const = 0;
    virtual void Add(int AOut, int AIn, int APWM, int AREG, int ARed) = 0;
    virtual void AddRed(quint8 N) = 0;
    virtual void RemoveRed(quint8 N) = 0;
    virtual TDevParam DevParam() const = 0;
    virtual void SetDevParam(const TDevParam& AParam) = 0;
    virtual void SetAppeared(bool AValue) = 0;
    virtual void OutAll(bool AisON) = 0;
    virtual void SetOutState(int Index, bool isOn) = 0;
    virtual void SetInState(int Index, bool isOn) = 0;
    virtual void SetPWMDuty(int Index, quint8 ADuty) = 0;
    virtual void SetPWMHZ(int Index, quint16 AHZ) = 0;
    virtual void SetREGValue(int Index, float AValue) = 0;
    virtual void SetName(TIOTYPE AIOType, int Index, const TIOName& AName) = 0;
    virtual void SetStudied(int Index, bool AValue) = 0;

    // --- device list ---
    virtual void SetListAnimated(bool AValue) = 0;
    // Stores the device list now (IniWriteDevs).
    virtual void SaveDevices() = 0;

    // --- task popup: the board's task replies (the popup sends its own requests) ---
    virtual void TaskListReply(quint8 Count, const TTaskRcds& Tasks) = 0;
    virtual void TaskAddReply(quint8 ID, const TTaskRcd& ATask) = 0;
    virtual void TaskStateReply(quint8 N, TTASKSTATE AState) = 0;
    // Only for a reply that answers the time command sent last.
    virtual void TaskSetTimeReply(bool isOk) = 0;

    // --- overlay, messages, settings popup ---
    virtual void ShowSearching(const QString& ALine1, const QString& ALine2) = 0;
    virtual void HideSearching() = 0;
    // One modal message with an English text of the string table; the window translates it.
    virtual void ShowMessage(const QString& AText) = 0;
    // The "Auto save" box of the device settings.
    virtual bool AutoSaveIO() const = 0;
};

// Channel counts of an IO configuration as the board takes them.
struct TIOConfig {
    quint8 Out = 0;
    quint8 In = 0;
    quint8 PWM = 0;
    quint8 REG = 0;
    bool operator==(const TIOConfig&) const = default;
};

class TDevEvents : public QObject {
    Q_OBJECT

public:
    static constexpr int DefaultRedMs = 20000;
    static constexpr int DefaultRedCloseMs = 2000;
    // A board that leaves a reading unanswered this long is not waited for any more.
    static constexpr int DefaultChainStepMs = 5000;
    static constexpr int MaxOutIn = 24;
    static constexpr int MaxPWM = 2;
    static constexpr int MinPWMHZ = 715;
    static constexpr int MaxPWMHZ = 65535;

    explicit TDevEvents(TDevEventsSink& ASink, QObject* parent = nullptr);
    // Detaches from the selected device and stops the timers before anything is freed.
    ~TDevEvents() override;

    // --- selection and the device's events ---
    // Takes ADev (or none) as the selected device: releases a held jog output on the old one,
    // detaches from it, attaches to the new one and starts reading it when it is online.
    // Attaching takes the device's OnIOTDevState and OnIOTDevReceive; detaching empties them.
    void Select(TNEV_IOTDevConn* ADev);
    TNEV_IOTDevConn* Selected() const { return FDev; }
    // The selected device's events (attached by Select; others are ignored).
    void DevStateChanged(TNEV_IOTDevConn* Sender, TIOTNETSTYLE AStyle, TIOTNETSTATE AState);
    void DevReceive(TNEV_IOTDevConn* Sender, const QByteArray& ABuf);

    // Frames a request payload and hands it to the selected device; false when there is none or
    // it is not logged in.
    bool TCPSend(const QByteArray& APayload);

    // --- actions of the popups and the control list ---
    // An output cell's switch (touch mode): the opposite of what the cell shows.
    void SwitchOutput(int Index, bool isOnNow);
    // An output held (isOn) or released in jog mode.
    void JogMode(int Index, bool isOn);
    // A modal box, the lock screen, a page change or a device change: held outputs go off.
    void ReleaseJog();
    bool JogHeld() const { return !FJogHeld.isEmpty(); }
    void AllOn();
    void AllOff();
    void ToggleTouchMode();
    // The lock states shown were changed: the selected device keeps them.
    void LocksChanged();
    void SaveState(); // "Start mode": the board keeps its present state at start-up
    void SetPWMDuty(int Index, quint8 ADuty);
    // The frequency box's text; false (after a message) when it is refused.
    bool SetPWMFrequency(int Index, const QString& AText);
    void RenameChannel(TIOTYPE AIOType, int Index, TIOName ARecord, const QString& AText);
    void SetChannelPicture(TIOTYPE AIOType, int Index, TIOName ARecord, quint8 ACtrlType);
    void CreateRed();
    // Infrared channel numbers count from 1 (RedStudyNum).
    void StudyRed(quint8 N, quint8 AMode);
    void SendRed(quint8 N);
    void RemoveRed(quint8 N);
    // The settings popup's "Change" buttons; false (after a message) when the input is refused.
    bool ChangeName(const QString& AText);
    bool ChangePassword(const QString& AOld, const QString& ANew, const QString& ARetype);
    bool ChangeIO(const QString& AOut, const QString& AIn, const QString& APWM, const QString& AREG);

    // --- checks of typed input ---
    // Whole numbers 0 to 255 with outputs + inputs <= 24 and PWM <= 2.
    static std::optional<TIOConfig> CheckIOSetting(const QString& AOut, const QString& AIn,
                                                   const QString& APWM, const QString& AREG);
    // The trimmed name when its UTF-8 form has 1 to 16 bytes.
    static std::optional<QString> CheckDevName(const QString& AText);
    // The message for a refused password change, or an empty text when it may be sent.
    static QString CheckPassword(const QString& AOld, const QString& ANew, const QString& ARetype);
    static std::optional<quint16> CheckPWMFrequency(const QString& AText);

    // --- infrared learning timers ---
    void setRedIntervals(int ARedMs, int ARedCloseMs);
    const QTimer& RedTimer() const { return FTmrRed; }
    const QTimer& RedCloseTimer() const { return FTmrRedClose; }

    // The request the chain waits for (0: none right now, which includes a chain waiting for a
    // user's command to be answered before it goes on).
    quint8 ChainWaiting() const { return FChainWait; }
    // Whether the board is still being read: a step or a deferred step is outstanding.
    bool ChainRunning() const { return FChainWait != 0 || !FChainDeferred.isEmpty() || FChainDeferredEnd; }
    // How long the chain waits for one answer (its step's, or a user's it lets go first). An
    // unanswered reading is skipped; an unanswered IO read is reported and still taken late.
    void setChainStepMs(int AMs);
    const QTimer& ChainTimer() const { return FTmrChain; }

private:
    // The last command sent to the selected device, and whether a reply code answers it.
    quint8 LastCmdOfSelected() const;
    void ForgetLastCmd();
    bool MatchesLastCmd(quint8 AReplyCode) const;

    void Attach(TNEV_IOTDevConn* ADev);
    void Detach();
    void WireDecoder();
    void StartChain();
    // Sends a step of the chain and waits for its answer.
    void ChainSend(const QByteArray& APayload);
    // Sends the step after the reply to AAnswered (a request code), or ends the chain.
    void ChainNext(quint8 AAnswered);
    std::optional<QByteArray> StepAfter(quint8 AAnswered) const;
    bool IsChainReply(quint8 AReplyCode) const;
    void AfterReply(const QByteArray& APayload);
    void ChainOvertime();
    bool TouchMode() const;
    int CountOf(TIOTYPE AIOType) const;
    void SendAllOutputs(bool AOn);
    void RedStudy(quint8 aN, quint8 aM);
    void RedOvertime();
    void RedClose();

    TDevEventsSink& FSink;
    TNEV_GPIOAPI FApi;
    TIOTFrameReader FReader;
    QPointer<TNEV_IOTDevConn> FDev;
    quint8 FChainWait = 0;          // request code whose reply moves the chain on
    QByteArray FChainDeferred;      // next step, held while a user's command is answered first
    bool FChainDeferredEnd = false; // the chain's end (jog switch-off) waits the same way
    QSet<int> FJogHeld;             // outputs on while held, counted from 0
    // A password change in flight: the device and the text sent.
    QPointer<TNEV_IOTDevConn> FPwdDev;
    QString FPwdNew;
    QTimer FTmrRed;
    QTimer FTmrRedClose;
    QTimer FTmrChain;
};
