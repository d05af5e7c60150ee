#include "untDevEvents.h"

#include <QLoggingCategory>

#include <algorithm>

Q_LOGGING_CATEGORY(lcDevEvents, "quillet.chain")

namespace {

// Request codes the chain and the replies are matched by, from the protocol's named codes.
namespace Cmd {
constexpr quint8 Code(TGPIOCmd ACmd) {
    return quint8(ACmd);
}
constexpr quint8 OutGetAll = Code(TGPIOCmd::Out_Get_All);
constexpr quint8 InGetAll = Code(TGPIOCmd::In_Get_All);
constexpr quint8 PWMGetAll = Code(TGPIOCmd::PWM_Get_All);
constexpr quint8 REGGetAll = Code(TGPIOCmd::REG_Get_All);
constexpr quint8 NameGetAll = Code(TGPIOCmd::Name_Get_All);
constexpr quint8 TaskSetTime = Code(TGPIOCmd::Task_Set_Time);
constexpr quint8 TaskSetAdd = Code(TGPIOCmd::Task_Set_Add);
constexpr quint8 TaskSetState = Code(TGPIOCmd::Task_Set_State);
constexpr quint8 NameSetOne = Code(TGPIOCmd::Name_Set_One);
constexpr quint8 RedCreate = Code(TGPIOCmd::Red_Create);
constexpr quint8 SysSetIO = Code(TGPIOCmd::Sys_Set_IO);
constexpr quint8 SysSetPassword = Code(TGPIOCmd::Sys_Set_Password);
constexpr quint8 SysSetName = Code(TGPIOCmd::Sys_Set_Name);
constexpr quint8 SysSetSave = Code(TGPIOCmd::Sys_Set_Save);
constexpr quint8 SysGetIO = Code(TGPIOCmd::Sys_Get_IO);
} // namespace Cmd

constexpr quint8 ReplyBit = 0x80; // a reply code is its request code with this bit
constexpr quint8 RefusalCode = ReplyUnsupported;
constexpr quint8 SysGetIOReply = ReplyCode(TGPIOCmd::Sys_Get_IO);
constexpr quint8 SysSetIOReply = ReplyCode(TGPIOCmd::Sys_Set_IO);
constexpr quint8 NoRedSlot = 0xFF;

// The reading steps in chain order with the class each one reads.
struct TChainStep {
    quint8 Code;
    TIOTYPE IOType;
};
constexpr std::array<TChainStep, 4> ReadSteps{{{Cmd::OutGetAll, TIOTYPE::IO_OUT},
                                               {Cmd::InGetAll, TIOTYPE::IO_IN},
                                               {Cmd::PWMGetAll, TIOTYPE::IO_PWM},
                                               {Cmd::REGGetAll, TIOTYPE::IO_REG}}};
constexpr std::array<TIOTYPE, 5> NameOrder{TIOTYPE::IO_OUT, TIOTYPE::IO_IN, TIOTYPE::IO_PWM, TIOTYPE::IO_REG,
                                           TIOTYPE::IO_Red};

// A whole number as typed, without sign games: "+3" and " 3 " pass, "3.0", "0x3" and "" do not.
std::optional<qlonglong> WholeNumber(const QString& AText) {
    const QString t = AText.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok, 10);
    return ok ? std::optional<qlonglong>(v) : std::nullopt;
}

} // namespace

TDevEvents::TDevEvents(TDevEventsSink& ASink, QObject* parent) : QObject(parent), FSink(ASink) {
    FTmrRed.setObjectName(QStringLiteral("tmr_Red"));
    FTmrRedClose.setObjectName(QStringLiteral("tmr_RedClose"));
    FTmrRed.setSingleShot(true);
    FTmrRedClose.setSingleShot(true);
    FTmrRed.setInterval(DefaultRedMs);
    FTmrRedClose.setInterval(DefaultRedCloseMs);
    connect(&FTmrRed, &QTimer::timeout, this, &TDevEvents::RedOvertime);
    connect(&FTmrRedClose, &QTimer::timeout, this, &TDevEvents::RedClose);
    FTmrChain.setObjectName(QStringLiteral("tmr_Chain"));
    FTmrChain.setSingleShot(true);
    FTmrChain.setInterval(DefaultChainStepMs);
    connect(&FTmrChain, &QTimer::timeout, this, &TDevEvents::ChainOvertime);
    WireDecoder();
}

TDevEvents::~TDevEvents() {
    FTmrRed.stop();
    FTmrRedClose.stop();
    FTmrChain.stop();
    Detach();
}

// --- last command ------------------------------------------------------------------------------

// The selected device keeps its own last command.
quint8 TDevEvents::LastCmdOfSelected() const {
    return FDev ? FDev->LastCmd() : 0;
}

void TDevEvents::ForgetLastCmd() {
    if (FDev)
        FDev->ForgetLastCmd();
}

bool TDevEvents::MatchesLastCmd(quint8 AReplyCode) const {
    const quint8 last = LastCmdOfSelected();
    return last != 0 && int(last) + ReplyBit == int(AReplyCode);
}

// --- selection ---------------------------------------------------------------------------------

void TDevEvents::Select(TNEV_IOTDevConn* ADev) {
    // Held outputs go off on the board that holds them, before it stops being ours.
    ReleaseJog();
    Detach();
    FReader.Reset();
    FChainWait = 0;
    FChainDeferred.clear();
    FChainDeferredEnd = false;
    FTmrChain.stop();
    if (!ADev)
        return;
    Attach(ADev);
    FSink.SetDevParam(ADev->DevParam());
    if (ADev->NetState() == TIOTNETSTATE::NET_OK)
        StartChain();
}

void TDevEvents::Attach(TNEV_IOTDevConn* ADev) {
    FDev = ADev;
    QPointer<TDevEvents> self(this);
    ADev->OnIOTDevState = [self, ADev](TIOTNETSTYLE AStyle, TIOTNETSTATE AState) {
        if (self)
            self->DevStateChanged(ADev, AStyle, AState);
    };
    ADev->OnIOTDevReceive = [self](TNEV_IOTDevConn* Sender, const QByteArray& ABuf) {
        if (self)
            self->DevReceive(Sender, ABuf);
    };
}

void TDevEvents::Detach() {
    if (FDev) {
        FDev->OnIOTDevState = nullptr;
        FDev->OnIOTDevReceive = nullptr;
    }
    FDev = nullptr;
}

void TDevEvents::DevStateChanged(TNEV_IOTDevConn* Sender, TIOTNETSTYLE AStyle, TIOTNETSTATE AState) {
    if (!FDev || Sender != FDev)
        return;
    // Every state change is a new or a lost connection: nothing of an old reply belongs to it.
    FReader.Reset();
    if (AState != TIOTNETSTATE::NET_OK) {
        FChainWait = 0;
        FChainDeferred.clear();
        FChainDeferredEnd = false;
        FTmrChain.stop();
        FJogHeld.clear(); // a board that lost its connection does not keep a jogged output on
        return;
    }
    // A relay connection is read when the device is chosen; a LAN board also when it logs in.
    if (AStyle == TIOTNETSTYLE::NET_LAN)
        StartChain();
}

void TDevEvents::DevReceive(TNEV_IOTDevConn* Sender, const QByteArray& ABuf) {
    if (!FDev || Sender != FDev)
        return;
    QPointer<TDevEvents> self(this);
    QPointer<TNEV_IOTDevConn> dev(Sender);
    const QList<QByteArray> payloads = FReader.Feed(ABuf);
    for (const QByteArray& p : payloads) {
        FApi.ReceiveData(p);
        // A handler may have changed the selection (a message box's answer, for one).
        if (!self || !dev || FDev != dev)
            return;
        AfterReply(p);
    }
}

bool TDevEvents::TCPSend(const QByteArray& APayload) {
    if (!FDev)
        return false;
    const QByteArray frame = BuildFrame(APayload);
    if (frame.isEmpty())
        return false;
    const bool sent = FDev->TCPSend(frame);
    qCDebug(lcDevEvents).noquote() << (sent ? "sent" : "not sent") << APayload.toHex(' ');
    return sent;
}

// --- the query chain -------------------------------------------------------------------------

int TDevEvents::CountOf(TIOTYPE AIOType) const {
    return std::max(0, FSink.Count(AIOType));
}

bool TDevEvents::TouchMode() const {
    return FSink.DevParam().TouchMode;
}

void TDevEvents::StartChain() {
    FChainDeferred.clear();
    FChainDeferredEnd = false;
    ChainSend(TNEV_GPIOAPI::Sys_Get_IO());
}

void TDevEvents::ChainSend(const QByteArray& APayload) {
    FChainWait = 0;
    FTmrChain.stop();
    if (TCPSend(APayload)) {
        FChainWait = quint8(APayload.at(0));
        FTmrChain.start();
    }
}

bool TDevEvents::IsChainReply(quint8 AReplyCode) const {
    return FChainWait != 0 && int(FChainWait) + ReplyBit == int(AReplyCode);
}

std::optional<QByteArray> TDevEvents::StepAfter(quint8 AAnswered) const {
    if (AAnswered == Cmd::NameGetAll)
        return std::nullopt;
    auto it = std::find_if(ReadSteps.begin(), ReadSteps.end(),
                           [&](const TChainStep& s) { return s.Code == AAnswered; });
    it = it == ReadSteps.end() ? ReadSteps.begin() : std::next(it);
    for (; it != ReadSteps.end(); ++it)
        if (CountOf(it->IOType) > 0)
            return QByteArray(1, char(it->Code));
    // Names of every class, infrared included: a board with infrared channels only has names too.
    const bool any =
        std::any_of(NameOrder.begin(), NameOrder.end(), [&](TIOTYPE t) { return CountOf(t) > 0; });
    if (any)
        return TNEV_GPIOAPI::Name_Get_All();
    return std::nullopt;
}

void TDevEvents::ChainNext(quint8 AAnswered) {
    FChainWait = 0;
    FTmrChain.stop();
    // A user's command sent while this step was under way is answered first; the chain goes on
    // after that answer, so that the board keeps answering one request at a time.
    const bool userInFlight = LastCmdOfSelected() != AAnswered;
    if (const auto next = StepAfter(AAnswered)) {
        if (userInFlight) {
            FChainDeferred = *next;
            FTmrChain.start(); // the user's answer is waited for as a step's
        } else {
            ChainSend(*next);
        }
        return;
    }
    if (AAnswered != Cmd::NameGetAll)
        return;
    const bool jogOff = !TouchMode() && CountOf(TIOTYPE::IO_OUT) > 0;
    if (userInFlight) {
        FChainDeferredEnd = jogOff;
        if (jogOff)
            FTmrChain.start();
        return;
    }
    if (jogOff)
        TCPSend(TNEV_GPIOAPI::Out_Set_OFF_All());
    // The reply to the final switch-off is not a step.
    ForgetLastCmd();
}

void TDevEvents::AfterReply(const QByteArray& APayload) {
    if (APayload.isEmpty() || (FChainDeferred.isEmpty() && !FChainDeferredEnd))
        return;
    const quint8 code = quint8(APayload.at(0));
    const bool answersUser = MatchesLastCmd(code) || (code == RefusalCode && APayload.size() >= 2 &&
                                                      quint8(APayload.at(1)) == LastCmdOfSelected());
    if (!answersUser)
        return;
    FTmrChain.stop();
    if (!FChainDeferred.isEmpty()) {
        ChainSend(std::exchange(FChainDeferred, {}));
        return;
    }
    FChainDeferredEnd = false;
    TCPSend(TNEV_GPIOAPI::Out_Set_OFF_All());
    ForgetLastCmd();
}

void TDevEvents::setChainStepMs(int AMs) {
    FTmrChain.setInterval(std::max(1, AMs));
}

void TDevEvents::ChainOvertime() {
    if (!FDev)
        return;
    // The user's answer never came: the chain goes on without it.
    if (!FChainDeferred.isEmpty()) {
        ChainSend(std::exchange(FChainDeferred, {}));
        return;
    }
    if (FChainDeferredEnd) {
        FChainDeferredEnd = false;
        TCPSend(TNEV_GPIOAPI::Out_Set_OFF_All());
        ForgetLastCmd();
        return;
    }
    const quint8 step = FChainWait;
    if (step == 0)
        return;
    qCDebug(lcDevEvents).noquote() << "no answer to" << QByteArray(1, char(step)).toHex();
    if (step == Cmd::SysGetIO) {
        // Without the channel counts there is no panel to show: the user learns why, and an
        // answer that comes late still fills it.
        FSink.ShowMessage(QStringLiteral("The device connect overtime!"));
        return;
    }
    // A reading without an answer is skipped as a refused one is, so the rest is still read.
    ChainNext(step);
}

void TDevEvents::WireDecoder() {
    FApi.OnData_Incompatible = [this](quint8 CMD) {
        // A board without a reading (or names) goes on with the next one.
        if (FChainWait != 0 && CMD == FChainWait) {
            ChainNext(CMD);
            return;
        }
        if (CMD != LastCmdOfSelected())
            return;
        switch (CMD) {
        case Cmd::SysSetPassword:
            FPwdDev = nullptr;
            FPwdNew.clear();
            FSink.ShowMessage(QStringLiteral("Not to support the change device password now!"));
            break;
        case Cmd::SysSetName:
            FSink.ShowMessage(QStringLiteral("Not to support the change devie name now!"));
            break;
        case Cmd::SysSetIO:
            FSink.ShowMessage(QStringLiteral("Not to support the change devie IO!"));
            break;
        case Cmd::TaskSetTime:
            // A board without a clock to set refuses it: the task waiting for it is not sent.
            FSink.TaskSetTimeReply(false);
            break;
        case Cmd::SysSetSave:
            // A board that cannot keep its state is read all the same: after an IO change with
            // "Auto save" its rebuilt panel would otherwise keep empty cells.
            FChainDeferred.clear();
            FChainDeferredEnd = false;
            if (const auto first = StepAfter(Cmd::SysSetSave))
                ChainSend(*first);
            break;
        case Cmd::TaskSetAdd:
        case Cmd::TaskSetState:
        case Cmd::NameSetOne:
        case Cmd::RedCreate:
            // A full task table or infrared store, or a board without the feature: the user
            // learns that nothing changed instead of waiting for a change that never comes.
            FSink.ShowMessage(QStringLiteral("The device refused the request!"));
            break;
        default:
            break;
        }
    };
    FApi.OnOut_One = [this](quint8, quint8 N, bool isON) {
        if (TouchMode() && N >= 1 && N <= CountOf(TIOTYPE::IO_OUT))
            FSink.SetOutState(N - 1, isON);
    };
    FApi.OnOut_All = [this](quint8, bool isON) {
        if (TouchMode())
            FSink.OutAll(isON);
    };
    FApi.OnOut_Bools = [this](quint8 CMD, const TBools& Bools) {
        if (TouchMode()) {
            const int n = std::min(CountOf(TIOTYPE::IO_OUT), int(Bools.size()));
            for (int i = 0; i < n; ++i)
                FSink.SetOutState(i, Bools.at(i));
        }
        if (IsChainReply(CMD))
            ChainNext(Cmd::OutGetAll);
    };
    FApi.OnIn_All = [this](quint8 CMD, const TBools& Bools) {
        const int n = std::min(CountOf(TIOTYPE::IO_IN), int(Bools.size()));
        for (int i = 0; i < n; ++i)
            FSink.SetInState(i, Bools.at(i));
        if (IsChainReply(CMD))
            ChainNext(Cmd::InGetAll);
    };
    FApi.OnPWM_All = [this](quint8 CMD, const TPWMs& APWMs) {
        const int n = std::min(CountOf(TIOTYPE::IO_PWM), int(APWMs.size()));
        for (int i = 0; i < n; ++i) {
            FSink.SetPWMDuty(i, APWMs.at(i).Duty);
            FSink.SetPWMHZ(i, APWMs.at(i).HZ);
        }
        if (IsChainReply(CMD))
            ChainNext(Cmd::PWMGetAll);
    };
    FApi.OnPWM_Duty_One = [this](quint8, quint8 N, quint8 ADuty) {
        if (N >= 1 && N <= CountOf(TIOTYPE::IO_PWM))
            FSink.SetPWMDuty(N - 1, ADuty);
    };
    FApi.OnPWM_HZ_One = [this](quint8, quint8 N, quint16 AHZ) {
        if (N >= 1 && N <= CountOf(TIOTYPE::IO_PWM))
            FSink.SetPWMHZ(N - 1, AHZ);
    };
    FApi.OnREG_All = [this](quint8 CMD, const TREGs& AREGs) {
        const int n = std::min(CountOf(TIOTYPE::IO_REG), int(AREGs.size()));
        for (int i = 0; i < n; ++i)
            FSink.SetREGValue(i, AREGs.at(i));
        if (IsChainReply(CMD))
            ChainNext(Cmd::REGGetAll);
    };
    // Register numbers of these two replies count from 0.
    FApi.OnREG_One = [this](quint8, quint8 N, float AREG) {
        if (N < CountOf(TIOTYPE::IO_REG))
            FSink.SetREGValue(N, AREG);
    };
    FApi.OnREG_Part = [this](quint8, quint8 S, quint8 N, const TREGs& AREGs) {
        const int end = std::min({int(N), CountOf(TIOTYPE::IO_REG), int(S) + int(AREGs.size())});
        for (int i = S; i < end; ++i)
            FSink.SetREGValue(i, AREGs.at(i - S));
    };
    FApi.OnName_One = [this](quint8, TIOTYPE AIOType, quint8 N, const TIOName& AName) {
        if (N >= 1 && N <= CountOf(AIOType))
            FSink.SetName(AIOType, N - 1, AName);
    };
    FApi.OnName_Type = [this](quint8, TIOTYPE AIOType, const TIONames& ANames) {
        if (AIOType == TIOTYPE::IO_Red || AIOType == TIOTYPE::IO_NIL)
            return;
        const int n = std::min(CountOf(AIOType), int(ANames.size()));
        for (int i = 0; i < n; ++i)
            FSink.SetName(AIOType, i, ANames.at(i));
    };
    FApi.OnName_All = [this](quint8 CMD, const TIONames& ANames) {
        // One list over the classes in order; each class takes as many as it has cells.
        int at = 0;
        for (TIOTYPE t : NameOrder) {
            const int count = CountOf(t);
            for (int i = 0; i < count && at < ANames.size(); ++i, ++at) {
                FSink.SetName(t, i, ANames.at(at));
                if (t == TIOTYPE::IO_Red)
                    FSink.SetStudied(i, (ANames.at(at).BeiYong & 0x01) != 0);
            }
        }
        if (IsChainReply(CMD))
            ChainNext(Cmd::NameGetAll);
    };
    FApi.OnSys_IO = [this](quint8 CMD, quint8 x, quint8 y, quint8 z, quint8 k, quint8 M) {
        if (CMD == SysGetIOReply) {
            if (!IsChainReply(CMD))
                return;
            FSink.Add(x, y, z, k, M);
            FSink.SetListAnimated(true);
            FSink.SetAppeared(true);
            ChainNext(Cmd::SysGetIO);
            return;
        }
        if (CMD != SysSetIOReply)
            return;
        FSink.Add(x, y, z, k, M);
        if (!MatchesLastCmd(CMD))
            return;
        FSink.ShowMessage(QStringLiteral("Change device IO success!"));
        FChainWait = 0;
        FChainDeferred.clear();
        FChainDeferredEnd = false;
        FTmrChain.stop();
        if (FSink.AutoSaveIO()) {
            TCPSend(TNEV_GPIOAPI::Sys_Set_Save());
            // The panel is read after the save's answer, or without it when none comes.
            if (const auto first = StepAfter(Cmd::SysSetSave)) {
                FChainDeferred = *first;
                FTmrChain.start();
            }
            return;
        }
        FSink.SetListAnimated(true);
        FSink.SetAppeared(true);
        if (const auto first = StepAfter(Cmd::SysSetIO))
            ChainSend(*first);
    };
    FApi.OnSys_Save = [this](quint8 CMD) {
        if (!MatchesLastCmd(CMD))
            return;
        FSink.ShowMessage(QStringLiteral("Device status has been saved!"));
        FChainDeferred.clear();
        FChainDeferredEnd = false;
        if (const auto first = StepAfter(Cmd::SysSetSave))
            ChainSend(*first);
    };
    FApi.OnRed_Create = [this](quint8, quint8 aN) {
        if (aN != NoRedSlot)
            FSink.AddRed(aN);
    };
    FApi.OnRed_Remove = [this](quint8, quint8 aN, quint8 aM) {
        if (aM == 1)
            FSink.RemoveRed(aN);
    };
    FApi.OnRed_Study = [this](quint8, quint8 aN, quint8 aM) { RedStudy(aN, aM); };
    FApi.OnTask_List = [this](quint8, quint8 Count, const TTaskRcds& Tasks) {
        FSink.TaskListReply(Count, Tasks);
    };
    FApi.OnTask_Add = [this](quint8, quint8 ID, const TTaskRcd& ATask) { FSink.TaskAddReply(ID, ATask); };
    FApi.OnTask_State = [this](quint8, quint8 N, TTASKSTATE State) { FSink.TaskStateReply(N, State); };
    FApi.OnTask_SetTime = [this](quint8 CMD, bool isOk, const QDateTime&) {
        if (MatchesLastCmd(CMD))
            FSink.TaskSetTimeReply(isOk);
    };
    FApi.OnSys_Password = [this](quint8 CMD, bool isOk) {
        if (LastCmdOfSelected() != Cmd::SysSetPassword || !FDev || CMD != Cmd::SysSetPassword + ReplyBit)
            return;
        // The text that was sent, for the device it was sent to, whatever the box holds now.
        const QPointer<TNEV_IOTDevConn> dev = std::exchange(FPwdDev, nullptr);
        const QString sent = std::exchange(FPwdNew, {});
        if (!isOk) {
            FSink.ShowMessage(QStringLiteral("Failed to change device password!"));
            return;
        }
        if (dev && dev == FDev && !sent.isEmpty()) {
            dev->setDevPasswordStr(sent);
            FSink.SaveDevices();
        }
        FSink.ShowMessage(QStringLiteral("Change device Password success!"));
    };
    FApi.OnSys_Name = [this](quint8, const QString& Name) {
        if (LastCmdOfSelected() != Cmd::SysSetName || !FDev)
            return;
        // The connection renames the device only from a reply that fills a delivery alone; a
        // reply split or merged by TCP renames it here.
        if (!Name.isEmpty() && FDev->DevNameStr() != Name)
            FDev->setDevNameStr(Name);
        FSink.ShowMessage(QStringLiteral("Change device name success!"));
    };
    // Known replies the window does not show.
    FApi.OnRed_Send = [](quint8, quint8, quint8) {};
    FApi.OnRed_Clear = [](quint8, quint8) {};
    FApi.OnTask_GetTime = [](quint8, const QDateTime&) {};
    FApi.OnSys_Info = [](quint8, bool, bool, bool, bool, bool, bool, bool, TDEVTYPE, const QString&,
                         const QString&) {};
}

// --- infrared learning -------------------------------------------------------------------------

void TDevEvents::setRedIntervals(int ARedMs, int ARedCloseMs) {
    FTmrRed.setInterval(std::max(0, ARedMs));
    FTmrRedClose.setInterval(std::max(0, ARedCloseMs));
}

void TDevEvents::RedStudy(quint8 aN, quint8 aM) {
    FTmrRed.stop();
    switch (aM) {
    case 0:
        FTmrRedClose.stop();
        FSink.ShowSearching(QStringLiteral("Infrared studying ..."), QString());
        FTmrRed.start();
        return;
    case 1:
        FSink.ShowSearching(QStringLiteral("Infrared study success!"), QString());
        if (aN >= 1 && aN <= CountOf(TIOTYPE::IO_Red))
            FSink.SetStudied(aN - 1, true);
        break;
    case 2:
        FSink.ShowSearching(QStringLiteral("Infrared study failure!"), QString());
        break;
    case 3:
        FSink.ShowSearching(QStringLiteral("Infrared study overtime!"), QString());
        break;
    default:
        break;
    }
    FTmrRedClose.start();
}

void TDevEvents::RedOvertime() {
    FTmrRed.stop();
    FSink.ShowSearching(QStringLiteral("Infrared study overtime!"), QString());
    FTmrRedClose.start();
}

void TDevEvents::RedClose() {
    FTmrRedClose.stop();
    FSink.HideSearching();
}

// --- actions -----------------------------------------------------------------------------------

void TDevEvents::SwitchOutput(int Index, bool isOnNow) {
    if (Index < 0 || Index >= CountOf(TIOTYPE::IO_OUT))
        return;
    const TDevParam param = FSink.DevParam();
    if (Index < param.LockArr.size() && param.LockArr.at(Index))
        return;
    const quint8 n = quint8(Index + 1);
    TCPSend(isOnNow ? TNEV_GPIOAPI::Out_Set_OFF(n) : TNEV_GPIOAPI::Out_Set_ON(n));
}

void TDevEvents::JogMode(int Index, bool isOn) {
    if (Index < 0 || Index >= CountOf(TIOTYPE::IO_OUT))
        return;
    const quint8 n = quint8(Index + 1);
    if (isOn) {
        if (TCPSend(TNEV_GPIOAPI::Out_Set_ON(n)))
            FJogHeld.insert(Index);
        return;
    }
    FJogHeld.remove(Index);
    TCPSend(TNEV_GPIOAPI::Out_Set_OFF(n));
}

void TDevEvents::ReleaseJog() {
    if (FJogHeld.isEmpty())
        return;
    QList<int> held = FJogHeld.values();
    FJogHeld.clear();
    std::sort(held.begin(), held.end());
    for (int index : held) {
        TCPSend(TNEV_GPIOAPI::Out_Set_OFF(quint8(index + 1)));
        // The panel may have been rebuilt with fewer outputs since the press.
        if (index < CountOf(TIOTYPE::IO_OUT))
            FSink.SetOutState(index, false);
    }
}

void TDevEvents::SendAllOutputs(bool AOn) {
    const TDevParam param = FSink.DevParam();
    const int count = CountOf(TIOTYPE::IO_OUT);
    const int locked =
        int(std::count(param.LockArr.begin(),
                       param.LockArr.begin() + std::min<qsizetype>(count, param.LockArr.size()), true));
    if (locked == 0) {
        TCPSend(AOn ? TNEV_GPIOAPI::Out_Set_ON_All() : TNEV_GPIOAPI::Out_Set_OFF_All());
        return;
    }
    // A locked output keeps its state: the others one by one.
    for (int i = 0; i < count; ++i) {
        if (i < param.LockArr.size() && param.LockArr.at(i))
            continue;
        TCPSend(AOn ? TNEV_GPIOAPI::Out_Set_ON(quint8(i + 1)) : TNEV_GPIOAPI::Out_Set_OFF(quint8(i + 1)));
    }
}

void TDevEvents::AllOn() {
    SendAllOutputs(true);
}

void TDevEvents::AllOff() {
    SendAllOutputs(false);
}

void TDevEvents::ToggleTouchMode() {
    TDevParam param = FSink.DevParam();
    param.TouchMode = !param.TouchMode;
    if (param.TouchMode)
        FJogHeld.clear();
    FSink.SetDevParam(param);
    if (FDev)
        FDev->setDevParam(FSink.DevParam());
    if (!param.TouchMode) {
        TCPSend(TNEV_GPIOAPI::Out_Set_OFF_All());
        return;
    }
    // The outputs' reply shows them and reads the rest, as after a connect.
    FChainDeferred.clear();
    FChainDeferredEnd = false;
    ChainSend(TNEV_GPIOAPI::Out_Get_All());
}

void TDevEvents::LocksChanged() {
    if (FDev)
        FDev->setDevParam(FSink.DevParam());
}

void TDevEvents::SaveState() {
    TCPSend(TNEV_GPIOAPI::Sys_Set_Save());
}

void TDevEvents::SetPWMDuty(int Index, quint8 ADuty) {
    if (Index >= 0 && Index < CountOf(TIOTYPE::IO_PWM))
        TCPSend(TNEV_GPIOAPI::PWM_Duty_Set_One(quint8(Index + 1), ADuty));
}

bool TDevEvents::SetPWMFrequency(int Index, const QString& AText) {
    if (Index < 0 || Index >= CountOf(TIOTYPE::IO_PWM))
        return false;
    if (!WholeNumber(AText)) {
        FSink.ShowMessage(QStringLiteral("Input error!"));
        return false;
    }
    const auto hz = CheckPWMFrequency(AText);
    if (!hz) {
        FSink.ShowMessage(QStringLiteral("PWM values between 715 and 65535!"));
        return false;
    }
    TCPSend(TNEV_GPIOAPI::PWM_HZ_Set_One(quint8(Index + 1), *hz));
    return true;
}

void TDevEvents::RenameChannel(TIOTYPE AIOType, int Index, TIOName ARecord, const QString& AText) {
    if (Index < 0 || Index >= CountOf(AIOType))
        return;
    ARecord.Name = AText;
    TCPSend(TNEV_GPIOAPI::Name_Set_One(AIOType, quint8(Index + 1), ARecord));
}

void TDevEvents::SetChannelPicture(TIOTYPE AIOType, int Index, TIOName ARecord, quint8 ACtrlType) {
    if (Index < 0 || Index >= CountOf(AIOType))
        return;
    ARecord.CtrlType = ACtrlType;
    TCPSend(TNEV_GPIOAPI::Name_Set_One(AIOType, quint8(Index + 1), ARecord));
}

void TDevEvents::CreateRed() {
    TCPSend(TNEV_GPIOAPI::Red_Create());
}

void TDevEvents::StudyRed(quint8 N, quint8 AMode) {
    if (N >= 1 && AMode >= 1 && AMode <= 3)
        TCPSend(TNEV_GPIOAPI::Red_Study(N, AMode));
}

void TDevEvents::SendRed(quint8 N) {
    if (N >= 1)
        TCPSend(TNEV_GPIOAPI::Red_Send(N));
}

void TDevEvents::RemoveRed(quint8 N) {
    if (N >= 1)
        TCPSend(TNEV_GPIOAPI::Red_Remove(N));
}

bool TDevEvents::ChangeName(const QString& AText) {
    const auto name = CheckDevName(AText);
    if (!name) {
        FSink.ShowMessage(QStringLiteral("Device name length requires 1 to 16 bytes!"));
        return false;
    }
    TCPSend(TNEV_GPIOAPI::Sys_Set_Name(*name));
    return true;
}

bool TDevEvents::ChangePassword(const QString& AOld, const QString& ANew, const QString& ARetype) {
    const QString error = CheckPassword(AOld, ANew, ARetype);
    if (!error.isEmpty()) {
        FSink.ShowMessage(error);
        return false;
    }
    if (!TCPSend(TNEV_GPIOAPI::Sys_Set_Password(AOld, ANew)))
        return true; // not connected: dropped without a message, as every command
    FPwdDev = FDev;
    FPwdNew = ANew;
    return true;
}

bool TDevEvents::ChangeIO(const QString& AOut, const QString& AIn, const QString& APWM, const QString& AREG) {
    const auto io = CheckIOSetting(AOut, AIn, APWM, AREG);
    if (!io) {
        FSink.ShowMessage(QStringLiteral(
            "Input error:\rInput and output sum can not greater than 24;PWM number can not greater than 2."));
        return false;
    }
    TCPSend(TNEV_GPIOAPI::Sys_Set_IO(io->Out, io->In, io->PWM, io->REG));
    return true;
}

// --- checks ------------------------------------------------------------------------------------

std::optional<TIOConfig> TDevEvents::CheckIOSetting(const QString& AOut, const QString& AIn,
                                                    const QString& APWM, const QString& AREG) {
    std::array<qlonglong, 4> v{};
    const std::array<const QString*, 4> texts{&AOut, &AIn, &APWM, &AREG};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto n = WholeNumber(*texts[i]);
        // A byte each on the wire: anything else would go out wrapped.
        if (!n || *n < 0 || *n > 255)
            return std::nullopt;
        v[i] = *n;
    }
    if (v[0] + v[1] > MaxOutIn || v[2] > MaxPWM)
        return std::nullopt;
    return TIOConfig{quint8(v[0]), quint8(v[1]), quint8(v[2]), quint8(v[3])};
}

std::optional<QString> TDevEvents::CheckDevName(const QString& AText) {
    const QString name = AText.trimmed();
    const qsizetype bytes = name.toUtf8().size();
    if (bytes < 1 || bytes > TNEV_GPIOAPI::DevNameSize)
        return std::nullopt;
    return name;
}

QString TDevEvents::CheckPassword(const QString& AOld, const QString& ANew, const QString& ARetype) {
    const auto tooLong = [](const QString& s) {
        return TNEV_GPIOAPI::PasswordBytes(s).size() > TNEV_GPIOAPI::PasswordSize;
    };
    if (AOld.isEmpty() || (ANew.isEmpty() && ARetype.isEmpty()) || tooLong(AOld) || tooLong(ANew) ||
        tooLong(ARetype))
        return QStringLiteral("Password length requires 1 to 6 bytes!");
    if (ANew != ARetype)
        return QStringLiteral("Two different password!");
    // The board compares the login line byte for byte: only what every keyboard types the same.
    const bool printable = std::all_of(ANew.begin(), ANew.end(),
                                       [](QChar c) { return c.unicode() >= 0x21 && c.unicode() <= 0x7E; });
    if (!printable)
        return QStringLiteral("Input error!");
    return {};
}

std::optional<quint16> TDevEvents::CheckPWMFrequency(const QString& AText) {
    const auto n = WholeNumber(AText);
    if (!n || *n < MinPWMHZ || *n > MaxPWMHZ)
        return std::nullopt;
    return quint16(*n);
}
