#include "untIOTDev.h"

#include "PC1_128.h"
#include "nevGPIOAPI.h"
#include "nevIOTTCPProtocol.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

Q_LOGGING_CATEGORY(lcDev, "quillet.dev")

namespace {

constexpr quint8 NameReplyCode = ReplyCode(TGPIOCmd::Sys_Set_Name);
constexpr quint8 NameReplyCode2 = 245; // the board's own report of its name
constexpr int NameReplySize = 23;      // AA 55, L = 18, one byte, code, 16 name bytes, sum

// Keeps an owner-replaced or owner-destroyed handler from being freed while it runs.
template <class F, class... A> void Raise(const F& event, A&&... args) {
    if (!event)
        return;
    auto h = event;
    h(std::forward<A>(args)...);
}

} // namespace

QString NetStateText(TIOTNETSTATE AState) {
    switch (AState) {
    case TIOTNETSTATE::NET_CNNT:
        return QStringLiteral("No validation");
    case TIOTNETSTATE::NET_CNNTING:
        return QStringLiteral("Connecting...");
    case TIOTNETSTATE::NET_DISCNNT:
        return QStringLiteral("Disconnected");
    case TIOTNETSTATE::NET_PSDERR:
        return QStringLiteral("Password error");
    case TIOTNETSTATE::NET_TIMEOUT:
        return QStringLiteral("Connect Timeout");
    case TIOTNETSTATE::NET_OK:
        return QStringLiteral("Device Online");
    case TIOTNETSTATE::NET_OFFLINE:
        return QStringLiteral("Device Offline");
    case TIOTNETSTATE::NET_NOPER:
        return QStringLiteral("Not available");
    case TIOTNETSTATE::NET_CNNTFAILED:
        return QStringLiteral("Connect failed");
    }
    return {};
}

QString StateLabelText(TIOTNETSTYLE AStyle, TIOTNETSTATE AState, bool ALogged) {
    if (AStyle == TIOTNETSTYLE::NET_DEFAULT)
        return ALogged ? QString() : QStringLiteral("Unlogged");
    return NetStateText(AState);
}

QString NetImageName(TIOTNETSTYLE AStyle, TIOTNETSTATE AState) {
    const bool online = AState == TIOTNETSTATE::NET_OK;
    switch (AStyle) {
    case TIOTNETSTYLE::NET_LAN:
        return online ? QStringLiteral("WifiOnLine") : QStringLiteral("WifiOffLine");
    case TIOTNETSTYLE::NET_REMOTE:
        return online ? QStringLiteral("NetOnLine") : QStringLiteral("NetOffLine");
    case TIOTNETSTYLE::NET_DEFAULT:
        break;
    }
    return QStringLiteral("NetOffLine");
}

QByteArray RelayLoginPlainBlock(const TBUF6& AMAC, const TCloudSession& ASession) {
    QByteArray b(RelayLoginBlockSize, '\0');
    std::memcpy(b.data() + 0, AMAC.data(), AMAC.size());
    std::memcpy(b.data() + 6, ASession.AccountBuf.data(), ASession.AccountBuf.size());
    std::memcpy(b.data() + 38, ASession.PasswordBuf.data(), ASession.PasswordBuf.size());
    return b;
}

QByteArray BuildRelayLoginBlock(const TBUF6& AMAC, const TCloudSession& ASession) {
    QByteArray b = RelayLoginPlainBlock(AMAC, ASession);
    std::reverse(b.begin(), b.end());
    TPC1_128 cipher(RelayLoginKey);
    cipher.PC1EncryptBuf(b);
    return b;
}

std::optional<TBUF16> NameReplyOf(QByteArrayView ABlock) {
    if (ABlock.size() != NameReplySize)
        return std::nullopt;
    const auto* p = reinterpret_cast<const quint8*>(ABlock.data());
    const int len = p[2] * 256 + p[3];
    // The frame must fill the block: a shorter frame would leave the name outside it.
    if (p[0] != 0xAA || p[1] != 0x55 || len + 5 != NameReplySize)
        return std::nullopt;
    if (FrameSum(ABlock.sliced(2, len + 2)) != p[len + 4])
        return std::nullopt;
    if (p[5] != NameReplyCode && p[5] != NameReplyCode2)
        return std::nullopt;
    TBUF16 name{};
    std::memcpy(name.data(), p + 6, name.size());
    return name;
}

QString DevNameBufToStr(const TBUF16& ABuf) {
    QByteArray bytes(reinterpret_cast<const char*>(ABuf.data()), int(ABuf.size()));
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    // Up to three trailing bytes may be the start of a character that did not fit.
    for (int cut = 0; cut <= 3 && cut <= bytes.size(); ++cut) {
        const QByteArray part = bytes.left(bytes.size() - cut);
        QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = dec.decode(part);
        if (!dec.hasError())
            return Utf8BufToStr(part, int(part.size()));
    }
    return {};
}

TNEV_IOTDevConn::TNEV_IOTDevConn(QObject* parent) : QObject(parent), FTCPClnt(new TwwTCPClient(this)) {
    FTCPClnt->OnConnecting = [this](TwwTCPClient*) { TransportConnecting(); };
    FTCPClnt->OnConnect = [this](TwwTCPClient*) { TransportConnect(); };
    FTCPClnt->OnDisconnect = [this](TwwTCPClient*) { TransportDisconnect(); };
    FTCPClnt->OnConnectError = [this](TwwTCPClient*, TTCPERRCODE e) { TransportError(e); };
    FTCPClnt->OnReceiveData = [this](TwwTCPClient*, const QByteArray& b) { TransportData(b); };
}

TNEV_IOTDevConn::~TNEV_IOTDevConn() {
    OnIOTDevState = nullptr;
    OnIOTDevReceive = nullptr;
    OnIOTDevChange = nullptr;
    delete FTCPClnt; // closes silently, also from inside one of its own events
}

void TNEV_IOTDevConn::Changed(TIOTDevField AField) {
    Raise(OnIOTDevChange, AField);
}

void TNEV_IOTDevConn::Init(const TUDPRcvRcd& ARxRcd) {
    QPointer<TNEV_IOTDevConn> self(this);
    FCtrlByte = ARxRcd.DevID;
    if (FNameBuf != ARxRcd.DevName)
        setDevNameBuf(ARxRcd.DevName);
    if (self && FMACBuf != ARxRcd.DevMAC)
        setDevMACBuf(ARxRcd.DevMAC);
    if (!self)
        return;
    const QString ip = IPBufToStr(ARxRcd.DevIP);
    const bool moved = ip != FDevIPStr;
    FDevIPStr = ip;
    // The model is recorded even when the user's own picture is shown instead of it.
    if (FDevType != ARxRcd.DevType)
        setDevType(ARxRcd.DevType);
    if (self && (FNetStyle != TIOTNETSTYLE::NET_LAN || moved))
        setNetStyle(TIOTNETSTYLE::NET_LAN);
}

void TNEV_IOTDevConn::Init(const TIniDev& AIniDev, bool ABoot) {
    QPointer<TNEV_IOTDevConn> self(this);
    FCtrlByte = AIniDev.CtrlByte;
    FActivation = AIniDev.Activation;
    setDevNameStr(AIniDev.Name);
    if (!self)
        return;
    FNetIPStr = AIniDev.IP;
    FNetPort = AIniDev.Port;
    setDevMACStr(AIniDev.MAC);
    if (!self)
        return;
    FDevParam = AIniDev.DevParam;
    if (!AIniDev.LanHost.isEmpty() && AIniDev.LanPort != 0)
        setLanAddress(AIniDev.LanHost, AIniDev.LanPort);
    setDevType(AIniDev.DevType);
    if (!self)
        return;
    if (!AIniDev.DevPassword.isEmpty())
        FDevPassword = AIniDev.DevPassword;
    if (!ABoot)
        setNetStyle(TIOTNETSTYLE::NET_REMOTE);
}

void TNEV_IOTDevConn::setDevNameBuf(const TBUF16& AValue) {
    FNameBuf = AValue;
    FNameStr = DevNameBufToStr(AValue);
    Changed(TIOTDevField::Name);
}

void TNEV_IOTDevConn::setDevNameStr(const QString& AValue) {
    if (AValue.isEmpty())
        return;
    StrToBuf16(AValue, FNameBuf);
    FNameStr = AValue;
    Changed(TIOTDevField::Name);
}

void TNEV_IOTDevConn::setDevMACBuf(const TBUF6& AValue) {
    FMACBuf = AValue;
    FMACStr = MACBufToStr(AValue);
    Changed(TIOTDevField::MAC);
}

void TNEV_IOTDevConn::setDevMACStr(const QString& AValue) {
    MACStrToBuf(AValue, FMACBuf);
    FMACStr = AValue;
    Changed(TIOTDevField::MAC);
}

void TNEV_IOTDevConn::setDevType(quint8 AValue) {
    FDevType = AValue;
    Changed(TIOTDevField::DevType);
}

void TNEV_IOTDevConn::ConnectTo(const QString& AHost, quint16 APort) {
    FOwnClose = true; // an open connection is closed by us before the new attempt
    QPointer<TNEV_IOTDevConn> self(this);
    FTCPClnt->Connect(AHost, APort);
    if (self)
        FOwnClose = false;
}

void TNEV_IOTDevConn::CloseOwn() {
    FOwnClose = true;
    QPointer<TNEV_IOTDevConn> self(this);
    FTCPClnt->Disconnect();
    if (self)
        FOwnClose = false;
}

void TNEV_IOTDevConn::setNetStyle(TIOTNETSTYLE AValue) {
    QPointer<TNEV_IOTDevConn> self(this);
    FNetStyle = AValue;
    Changed(TIOTDevField::NetStyle);
    if (!self)
        return;
    switch (AValue) {
    case TIOTNETSTYLE::NET_LAN:
        if (!FLanHost.isEmpty() && FLanHostPort != 0)
            ConnectTo(FLanHost, FLanHostPort);
        else
            ConnectTo(FDevIPStr, LanPort());
        break;
    case TIOTNETSTYLE::NET_REMOTE:
        if (FNetIPStr != QLatin1String("0.0.0.0"))
            ConnectTo(FNetIPStr, FNetPort);
        else
            CloseOwn();
        break;
    case TIOTNETSTYLE::NET_DEFAULT:
        CloseOwn();
        break;
    }
}

void TNEV_IOTDevConn::setNetState(TIOTNETSTATE AValue) {
    QPointer<TNEV_IOTDevConn> self(this);
    FNetState = AValue;
    qCDebug(lcDev) << FMACStr << "state" << NetStateText(AValue);
    switch (FNetStyle) {
    case TIOTNETSTYLE::NET_LAN:
        if (AValue == TIOTNETSTATE::NET_CNNT) {
            FTCPClnt->setKeepAlive(true);
            TCPSend(FDevPassword);
        } else if (AValue == TIOTNETSTATE::NET_PSDERR) {
            CloseOwn();
        }
        break;
    case TIOTNETSTYLE::NET_REMOTE:
        if (AValue == TIOTNETSTATE::NET_CNNT) {
            // Raw bytes, not a frame: it leaves LastCmd alone.
            FTCPClnt->Send(BuildRelayLoginBlock(FMACBuf, FRelaySession), TSendTrace::Hidden);
        } else if (AValue == TIOTNETSTATE::NET_PSDERR || AValue == TIOTNETSTATE::NET_NOPER) {
            CloseOwn();
        }
        break;
    case TIOTNETSTYLE::NET_DEFAULT:
        break;
    }
    if (!self)
        return;
    // Nested changes during the actions are already reported; this one reports what holds now.
    Raise(OnIOTDevState, FNetStyle, FNetState);
}

bool TNEV_IOTDevConn::TCPSend(const QByteArray& Buf) {
    if (!FTCPClnt || (FNetState != TIOTNETSTATE::NET_CNNT && FNetState != TIOTNETSTATE::NET_OK))
        return false;
    if (!FTCPClnt->Send(Buf))
        return false;
    if (Buf.size() > 5) {
        FLastCmd = quint8(Buf.at(5));
        // The payload lies between the 5-byte head and the sum.
        FLastRequest = Buf.size() > 6 ? Buf.mid(5, Buf.size() - 6) : Buf.mid(5, 1);
    }
    return true;
}

bool TNEV_IOTDevConn::AnswersLastRequest(QByteArrayView AReply) const {
    return ReplyAnswers(FLastRequest, AReply);
}

bool TNEV_IOTDevConn::TCPSend(const QString& SStr) {
    if (!FTCPClnt || FNetState != TIOTNETSTATE::NET_CNNT)
        return false;
    return FTCPClnt->Send(SStr);
}

void TNEV_IOTDevConn::TransportConnecting() {
    FLoginBytes.clear();
    FUnexpectedLogin.clear();
    setNetState(TIOTNETSTATE::NET_CNNTING);
}

void TNEV_IOTDevConn::TransportConnect() {
    // The clock runs from the moment the login leaves.
    if (FNetStyle == TIOTNETSTYLE::NET_LAN)
        FPSDState.Start(true);
    setNetState(TIOTNETSTATE::NET_CNNT);
}

void TNEV_IOTDevConn::TransportDisconnect() {
    switch (FNetStyle) {
    case TIOTNETSTYLE::NET_LAN:
        FPSDState.Start(false);
        if (FNetState == TIOTNETSTATE::NET_PSDERR)
            break;
        // A board refuses a wrong password by closing soon after the login; a loss after "OK",
        // or a close of our own, says nothing about the password.
        if (!FOwnClose && FNetState == TIOTNETSTATE::NET_CNNT && !FPSDState.State())
            setNetState(TIOTNETSTATE::NET_PSDERR);
        else
            setNetState(TIOTNETSTATE::NET_DISCNNT);
        break;
    case TIOTNETSTYLE::NET_REMOTE:
        if (FNetState != TIOTNETSTATE::NET_PSDERR && FNetState != TIOTNETSTATE::NET_NOPER)
            setNetState(TIOTNETSTATE::NET_DISCNNT);
        break;
    case TIOTNETSTYLE::NET_DEFAULT:
        break;
    }
}

void TNEV_IOTDevConn::TransportError(TTCPERRCODE ACode) {
    if (ACode == TTCPERRCODE::ERR_INIT)
        setNetState(TIOTNETSTATE::NET_DISCNNT);
    else if (ACode == TTCPERRCODE::ERR_CNNTTIMEOUT)
        setNetState(TIOTNETSTATE::NET_CNNTFAILED);
}

bool TNEV_IOTDevConn::InLoginPhase() const {
    switch (FNetStyle) {
    case TIOTNETSTYLE::NET_LAN:
        return FNetState == TIOTNETSTATE::NET_CNNT;
    case TIOTNETSTYLE::NET_REMOTE:
        // An off-line board may come on line later: the relay then answers again.
        return FNetState == TIOTNETSTATE::NET_CNNT || FNetState == TIOTNETSTATE::NET_OFFLINE;
    case TIOTNETSTYLE::NET_DEFAULT:
        break;
    }
    return false;
}

namespace {

// "$1" is followed by the board's name up to the first frame or the end of the delivery.
qsizetype NameEnd(const QByteArray& data) {
    const qsizetype frame = data.indexOf(QByteArrayView("\xAA\x55", 2), 2);
    return frame < 0 ? data.size() : frame;
}

} // namespace

void TNEV_IOTDevConn::ApplyRelayAnswer(char ADigit, const QByteArray& AName) {
    switch (ADigit) {
    case '0':
        setNetState(TIOTNETSTATE::NET_OFFLINE);
        break;
    case '1': {
        // The name first, so that whoever reacts to the online state sees it.
        QPointer<TNEV_IOTDevConn> self(this);
        if (!AName.isEmpty())
            setDevNameStr(Utf8BufToStr(AName, int(AName.size())));
        if (self)
            setNetState(TIOTNETSTATE::NET_OK);
        break;
    }
    case '2':
        setNetState(TIOTNETSTATE::NET_PSDERR);
        break;
    default:
        setNetState(TIOTNETSTATE::NET_NOPER);
        break;
    }
}

// Peers split TCP segments anywhere, so the answer is collected until enough of it has arrived:
// two bytes on the LAN, "$" and a digit from the relay.
TNEV_IOTDevConn::TLoginStep TNEV_IOTDevConn::TakeLoginAnswer(const QByteArray& AData, QByteArray& ARest) {
    if (FNetStyle == TIOTNETSTYLE::NET_LAN) {
        if (AData.size() < 2) {
            if (AData != "O" && AData != "N")
                return TLoginStep::Unexpected;
            FLoginBytes = AData;
            return TLoginStep::Partial;
        }
        if (AData.startsWith("OK")) {
            ARest = AData.mid(2); // a relay or a busy board may have sent more in the same segment
            setNetState(TIOTNETSTATE::NET_OK);
            return TLoginStep::Answered;
        }
        if (AData.startsWith("NO")) {
            setNetState(TIOTNETSTATE::NET_PSDERR);
            return TLoginStep::Answered;
        }
        return TLoginStep::Unexpected;
    }
    if (AData.at(0) != '$')
        return TLoginStep::Unexpected;
    if (AData.size() < 2) {
        FLoginBytes = AData;
        return TLoginStep::Partial;
    }
    const char digit = AData.at(1);
    if (digit < '0' || digit > '4')
        return TLoginStep::Unexpected;
    QByteArray name;
    if (digit == '1') {
        const qsizetype end = NameEnd(AData);
        name = AData.mid(2, end - 2);
        ARest = AData.mid(end);
    }
    ApplyRelayAnswer(digit, name);
    return TLoginStep::Answered;
}

void TNEV_IOTDevConn::TransportData(const QByteArray& ABuf) {
    if (ABuf.isEmpty())
        return;
    QPointer<TNEV_IOTDevConn> self(this);
    if (InLoginPhase()) {
        const QByteArray data = FLoginBytes + ABuf;
        FLoginBytes.clear();
        QByteArray rest;
        switch (TakeLoginAnswer(data, rest)) {
        case TLoginStep::Partial:
            return;
        case TLoginStep::Answered:
            if (self && !rest.isEmpty())
                ReceiveBlock(rest);
            return;
        case TLoginStep::Unexpected:
            qCWarning(lcDev) << FMACStr << "unexpected login answer" << data.left(32).toHex(' ');
            FUnexpectedLogin = data;
            ReceiveBlock(data);
            return;
        }
    }
    // A relay reports later changes of the board ("$0" off line, ...) in a block of their own.
    if (FNetStyle == TIOTNETSTYLE::NET_REMOTE && ABuf.size() >= 2 && ABuf.at(0) == '$' && ABuf.at(1) >= '0' &&
        ABuf.at(1) <= '4') {
        const qsizetype end = ABuf.at(1) == '1' ? NameEnd(ABuf) : ABuf.size();
        ApplyRelayAnswer(ABuf.at(1), ABuf.mid(2, end - 2));
        if (self && end < ABuf.size())
            ReceiveBlock(ABuf.mid(end));
        return;
    }
    ReceiveBlock(ABuf);
}

void TNEV_IOTDevConn::ReceiveBlock(const QByteArray& ABuf) {
    QPointer<TNEV_IOTDevConn> self(this);
    if (const auto name = NameReplyOf(ABuf))
        setDevNameBuf(*name);
    if (self && FClickState)
        Raise(OnIOTDevReceive, this, ABuf);
}
