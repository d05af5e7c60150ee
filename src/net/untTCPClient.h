// TCP transport of one board connection: opens a connection without blocking, hands every received
// block to its owner, writes bytes and text lines, and reports progress and failures through its
// On... events. Event-driven on the owner's event loop; the events arrive in the order raised.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QTcpSocket;
class QTimer;

enum class TTCPERRCODE : quint8 {
    ERR_INIT = 0,        // Connect could not start an attempt (no host, no port)
    ERR_SEND = 2,        // a write failed; the connection has been closed
    ERR_CNNTTIMEOUT = 3, // refused, unreachable, unresolvable, or not accepted within the time-out
};

// What the debug trace shows of a write. Lines sent as text carry passwords, and the relay login
// block is enciphered under a key every copy of the program holds, so neither is traced.
enum class TSendTrace : quint8 { Shown, Hidden };

class TwwTCPClient : public QObject {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TwwTCPClient* Sender)>;
    using TReceiveDataEvent = std::function<void(TwwTCPClient* Sender, const QByteArray& ABuf)>;
    using TConnectErrorEvent = std::function<void(TwwTCPClient* Sender, TTCPERRCODE ErrorCode)>;

    static constexpr int DefaultConnectTimeoutMs = 1000;
    static constexpr int KeepAliveIdleMs = 3000;
    static constexpr int KeepAliveIntervalMs = 300;

    explicit TwwTCPClient(QObject* parent = nullptr);
    // Closes the connection without raising any event.
    ~TwwTCPClient() override;

    // Starts an attempt to reach AHost:APort; any earlier connection is closed first (raising
    // OnDisconnect when it was open). False, with OnConnectError(ERR_INIT), when no attempt could
    // be started. The outcome arrives as OnConnecting then OnConnect, or OnConnectError.
    bool Connect(const QString& AHost, quint16 APort);
    // Closes the connection (pending bytes are still delivered to the peer) and raises
    // OnDisconnect when it was open. A pending attempt is cancelled silently.
    void Disconnect();
    // Writes all bytes; false when not connected (nothing raised) or when the write failed
    // (connection closed, OnDisconnect then OnConnectError(ERR_SEND)).
    bool Send(const QByteArray& ABuf, TSendTrace ATrace = TSendTrace::Shown);
    // Writes the text as 7-bit ASCII ("?" for any other character) followed by CR LF; the trace
    // shows one "*" per character.
    bool Send(const QString& AStr);

    bool Connected() const;
    bool Connecting() const;

    // Keep-alive of the open socket: 3000 ms idle, then probes 300 ms apart where the platform
    // has that resolution (Linux counts whole seconds: 1 s apart, 3 probes). Cleared by every
    // disconnection. Applying it is best effort.
    bool isKeepAlive() const { return FisKeepAlive; }
    void setKeepAlive(bool AValue);

    // Time allowed from the start of the TCP handshake (after name resolution) to its end.
    int ConnectTimeoutMs() const { return FConnectTimeoutMs; }
    void setConnectTimeoutMs(int AMs) { FConnectTimeoutMs = AMs; }

    // The socket of the current connection or attempt; null when idle.
    QTcpSocket* IdTCPClient() const { return FSocket; }

    TReceiveDataEvent OnReceiveData;
    // Every block written (ASent true) and received, exactly as on the wire, for tools that show
    // the traffic; unlike the debug output it hides nothing.
    std::function<void(bool ASent, const QByteArray& ABytes)> OnTrace;
    TNotifyEvent OnConnecting;
    TNotifyEvent OnConnect;
    TNotifyEvent OnDisconnect;
    TConnectErrorEvent OnConnectError;

private:
    enum class TPhase : quint8 { Idle, Lookup, Handshake, Open };

    void AttachSocket(QTcpSocket* s);
    // Detaches a socket from this client and frees it safely, even from inside its own signal.
    void Retire(QTcpSocket* s, bool graceful);
    void HandleStateChanged(QTcpSocket* s, int state);
    void HandleConnected(QTcpSocket* s);
    void HandleReadyRead(QTcpSocket* s);
    void HandleLost(QTcpSocket* s);
    void HandleError(QTcpSocket* s);
    void HandleConnectTimeout();
    void FailAttempt();
    // Closes an open connection and raises OnDisconnect; false when this client was destroyed.
    bool CloseOpen(bool graceful);
    bool DeliverPending();
    void ApplyKeepAlive();
    // How the debug line shows a write; built only when that output is on.
    enum class TLogForm : quint8 { Hex, Hidden, Masked };
    bool WriteBytes(const QByteArray& bytes, TLogForm form, qsizetype maskedChars = 0);

    QTcpSocket* FSocket = nullptr;
    QTimer* FConnectTimer = nullptr;
    QList<QObject*> FEmittingStack; // sockets and timers whose signals are being handled
    TPhase FPhase = TPhase::Idle;
    bool FisKeepAlive = false;
    int FConnectTimeoutMs = DefaultConnectTimeoutMs;
};
