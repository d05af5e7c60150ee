// One board as the network reaches it: its identity and settings, its TCP connection, the way it
// is reached (LAN, relay server, not at all), the login and the connection state machine, and the
// gate that lets frames out only while logged in, and the last request sent with the rule that
// matches replies to it. Non-visual: whoever shows the board mirrors it through the events.
#pragma once

#include "untPublic.h"
#include "untTCPClient.h"
#include "untTimeState.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// Which shown value changed, for whoever mirrors the connection.
enum class TIOTDevField : quint8 { Name, MAC, NetStyle, DevType };

// English text of the state label (translated by the window's string table).
QString NetStateText(TIOTNETSTATE AState);
// The whole label: while the style is NET_DEFAULT "Unlogged" when nobody is logged in to the
// cloud and nothing when somebody is; otherwise the state's text.
QString StateLabelText(TIOTNETSTYLE AStyle, TIOTNETSTATE AState, bool ALogged);
// Name of the network picture: "WifiOnLine"/"WifiOffLine" on the LAN, "NetOnLine"/"NetOffLine"
// through the relay server, "NetOffLine" otherwise.
QString NetImageName(TIOTNETSTYLE AStyle, TIOTNETSTATE AState);

inline constexpr int RelayLoginBlockSize = 70;
// The 70-byte relay login block before reversing: MAC, account, 16 zero bytes, password, 16 zero
// bytes.
QByteArray RelayLoginPlainBlock(const TBUF6& AMAC, const TCloudSession& ASession);
// What goes on the wire: the plain block reversed and enciphered under the fixed relay key.
QByteArray BuildRelayLoginBlock(const TBUF6& AMAC, const TCloudSession& ASession);
// The board name of a name reply (codes 244 and 245) when the block is exactly one such reply
// frame with a correct sum.
std::optional<TBUF16> NameReplyOf(QByteArrayView ABlock);
// A board name buffer as text: UTF-8 up to the zero padding, trimmed; a character cut by the
// 16-byte limit is dropped rather than losing the whole name.
QString DevNameBufToStr(const TBUF16& ABuf);

class TNEV_IOTDevConn : public QObject {
    Q_OBJECT

public:
    using TIOTDevStateEvent = std::function<void(TIOTNETSTYLE AStyle, TIOTNETSTATE AState)>;
    using TIOTDevReceiveEvent = std::function<void(TNEV_IOTDevConn* Sender, const QByteArray& ABuf)>;
    using TIOTDevChangeEvent = std::function<void(TIOTDevField AField)>;

    static constexpr int DefaultLoginDropMs = 1200;
    static inline const QString NoName = QStringLiteral("No name");
    static inline const QString NoMAC = QStringLiteral("AA-BB-CC-DD-EE-FF");

    explicit TNEV_IOTDevConn(QObject* parent = nullptr);
    // Closes the connection without raising anything.
    ~TNEV_IOTDevConn() override;

    // Takes a LAN search answer: capability byte, name, MAC, address and model, then switches to
    // the LAN (connecting) unless already there at the same address.
    void Init(const TUDPRcvRcd& ARxRcd);
    // Takes a stored (ABoot) or cloud device; a cloud device connects through the relay server.
    void Init(const TIniDev& AIniDev, bool ABoot);

    // A frame to the board, in NET_CNNT and NET_OK only; true when it was written. Its command
    // byte (offset 5) becomes LastCmd and its payload LastRequest.
    bool TCPSend(const QByteArray& Buf);
    // A text line to the board, in NET_CNNT only; true when it was written.
    bool TCPSend(const QString& SStr);

    TBUF16 DevNameBuf() const { return FNameBuf; }
    void setDevNameBuf(const TBUF16& AValue);
    // The shown name: the text as last given, or the buffer's text.
    QString DevNameStr() const { return FNameStr; }
    // An empty text changes nothing; the buffer keeps the first 16 bytes of the trimmed UTF-8.
    void setDevNameStr(const QString& AValue);
    TBUF6 DevMACBuf() const { return FMACBuf; }
    void setDevMACBuf(const TBUF6& AValue);
    QString DevMACStr() const { return FMACStr; }
    void setDevMACStr(const QString& AValue);
    QString DevIPStr() const { return FDevIPStr; }
    // A board added by address is reached there on the LAN, whatever its search answer says.
    QString LanHost() const { return FLanHost; }
    quint16 LanHostPort() const { return FLanHostPort; }
    void setLanAddress(const QString& AHost, quint16 APort) {
        FLanHost = AHost;
        FLanHostPort = APort;
    }
    void setDevIPStr(const QString& AValue) { FDevIPStr = AValue; }
    QString NetIPStr() const { return FNetIPStr; }
    void setNetIPStr(const QString& AValue) { FNetIPStr = AValue; }
    quint16 NetPort() const { return FNetPort; }
    void setNetPort(quint16 AValue) { FNetPort = AValue; }
    QString DevPasswordStr() const { return FDevPassword; }
    void setDevPasswordStr(const QString& AValue) { FDevPassword = AValue; }
    quint8 DevType() const { return FDevType; }
    void setDevType(quint8 AValue);
    quint8 CtrlByte() const { return FCtrlByte; }
    void setCtrlByte(quint8 AValue) { FCtrlByte = AValue; }
    bool Activation() const { return FActivation; }
    void setActivation(bool AValue) { FActivation = AValue; }
    const TDevParam& DevParam() const { return FDevParam; }
    TDevParam& DevParam() { return FDevParam; }
    void setDevParam(const TDevParam& AValue) { FDevParam = AValue; }

    TIOTNETSTYLE NetStyle() const { return FNetStyle; }
    // Connects (NET_LAN to DevIPStr, NET_REMOTE to NetIPStr:NetPort unless that is "0.0.0.0")
    // or disconnects (NET_DEFAULT), leaving NetState as it is until the connection reports.
    void setNetStyle(TIOTNETSTYLE AValue);
    TIOTNETSTATE NetState() const { return FNetState; }
    // Stores the state, runs its actions (login, closing) and raises OnIOTDevState.
    void setNetState(TIOTNETSTATE AValue);

    // This is the list's current device: received blocks are passed on.
    bool ClickState() const { return FClickState; }
    void setClickState(bool AValue) { FClickState = AValue; }

    // The command code of the last frame this connection sent (0: none yet) and its payload.
    quint8 LastCmd() const { return FLastCmd; }
    QByteArray LastRequest() const { return FLastRequest; }
    // After a full read the last command is forgotten, so that the reply to a closing command
    // is not taken for a step of the read.
    void ForgetLastCmd() { FLastCmd = 0; }
    // A reply code answers the last command when it is LastCmd + 0x80, without wrapping.
    bool ReplyMatchesLastCmd(quint8 AReplyCode) const { return int(FLastCmd) + 0x80 == int(AReplyCode); }
    // The whole rule for a reply payload: the code and, for requests that address one channel,
    // the same channel (ReplyAnswers). Replies from another board never reach this connection.
    bool AnswersLastRequest(QByteArrayView AReply) const;

    // The cloud login the relay login block is built from, and whose Logged flag the state label
    // of an unconnected board shows. The owner of the login hands it over whenever it changes.
    const TCloudSession& RelaySession() const { return FRelaySession; }
    void setRelaySession(const TCloudSession& ASession) { FRelaySession = ASession; }

    // The bytes of the last login answer that was neither "OK"/"NO" (LAN) nor "$0".."$4" (relay);
    // empty when none since the connection opened. Such bytes are passed on like data.
    QByteArray UnexpectedLoginAnswer() const { return FUnexpectedLogin; }

    QString StateText() const { return StateLabelText(FNetStyle, FNetState, FRelaySession.Logged); }
    QString NetImage() const { return NetImageName(FNetStyle, FNetState); }
    bool Connected() const { return FTCPClnt && FTCPClnt->Connected(); }

    // Port of the LAN login (the settings file's TCPLANPort).
    quint16 LanPort() const { return FLanPort; }
    void setLanPort(quint16 APort) { FLanPort = APort; }
    // Time within which a dropped LAN login counts as a refused password, and the clock used.
    void setLoginDropMs(int AMs) { FPSDState.setInterval(AMs); }
    void setLoginClock(TTimeState::TClock AClock) { FPSDState.setClock(std::move(AClock)); }
    TwwTCPClient* TCPClient() const { return FTCPClnt; }

    TIOTDevStateEvent OnIOTDevState;
    TIOTDevReceiveEvent OnIOTDevReceive;
    TIOTDevChangeEvent OnIOTDevChange;

private:
    void Changed(TIOTDevField AField);
    void ConnectTo(const QString& AHost, quint16 APort);
    void CloseOwn();
    void TransportConnecting();
    void TransportConnect();
    void TransportDisconnect();
    void TransportError(TTCPERRCODE ACode);
    void TransportData(const QByteArray& ABuf);
    enum class TLoginStep : quint8 { Partial, Answered, Unexpected };
    // Takes the collected login bytes; after an answer, ARest holds the bytes that follow it and
    // are data.
    TLoginStep TakeLoginAnswer(const QByteArray& AData, QByteArray& ARest);
    bool InLoginPhase() const;
    void ApplyRelayAnswer(char ADigit, const QByteArray& AName);
    // A block of data from the board: the name reply is taken, the block passed on when selected.
    void ReceiveBlock(const QByteArray& ABuf);

    TBUF16 FNameBuf{};
    QString FNameStr = NoName;
    TBUF6 FMACBuf{};
    QString FMACStr = NoMAC;
    QString FDevIPStr;
    QString FLanHost;
    quint16 FLanHostPort = 0;
    QString FNetIPStr;
    quint16 FNetPort = DefaultTCPRemotePort;
    QString FDevPassword = QString::fromLatin1(DefaultDevPassword);
    quint8 FDevType = 0;
    quint8 FCtrlByte = 0;
    bool FActivation = false;
    TDevParam FDevParam;
    TIOTNETSTYLE FNetStyle = TIOTNETSTYLE::NET_DEFAULT;
    TIOTNETSTATE FNetState = TIOTNETSTATE::NET_DISCNNT;
    TTimeState FPSDState{DefaultLoginDropMs};
    TwwTCPClient* FTCPClnt;
    bool FClickState = false;
    bool FOwnClose = false; // the connection is being closed by this object, not lost
    quint16 FLanPort = DefaultTCPLANPort;
    quint8 FLastCmd = 0;
    QByteArray FLastRequest;
    TCloudSession FRelaySession;
    QByteArray FLoginBytes; // the start of a login answer split across deliveries (at most 1 byte)
    QByteArray FUnexpectedLogin;
};
