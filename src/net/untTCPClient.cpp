#include "untTCPClient.h"

#include "untEmitScope.h"

#include <QLoggingCategory>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#if defined(Q_OS_LINUX) || defined(Q_OS_MACOS)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#elif defined(Q_OS_WIN)
#include <mstcpip.h>
#include <winsock2.h>
#endif

Q_LOGGING_CATEGORY(lcTcp, "quillet.tcp")

namespace {

QByteArray ToAsciiLine(const QString& text) {
    QByteArray out;
    out.reserve(text.size() + 2);
    for (char32_t c : text.toUcs4())
        out.append(c < 0x80 ? char(c) : '?');
    out.append("\r\n", 2);
    return out;
}

// Hands the bytes to the system directly when nothing is queued before them, and returns how many
// it took (0 when it took none: queued data, a full send buffer, or an error that the buffered
// write then meets and reports). A buffered write switches the socket's write notifier on and off
// again; with the GLib event dispatcher each switch wakes the event loop, which costs every
// request four system calls and a spare loop pass (see bench/bench_roundtrip.cpp).
qint64 SendDirect(QTcpSocket* s, const QByteArray& bytes) {
#if defined(Q_OS_LINUX)
    if (s->bytesToWrite() > 0)
        return 0;
    const qintptr fd = s->socketDescriptor();
    if (fd < 0)
        return 0;
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::send(int(fd), bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return done;
#else
    Q_UNUSED(s);
    Q_UNUSED(bytes);
    return 0;
#endif
}

} // namespace

TwwTCPClient::TwwTCPClient(QObject* parent) : QObject(parent), FConnectTimer(new QTimer(this)) {
    FConnectTimer->setSingleShot(true);
    connect(FConnectTimer, &QTimer::timeout, this, [this] {
        TEmitScope scope(FEmittingStack, this, FConnectTimer);
        HandleConnectTimeout();
    });
}

TwwTCPClient::~TwwTCPClient() {
    OnReceiveData = nullptr;
    OnConnecting = nullptr;
    OnConnect = nullptr;
    OnDisconnect = nullptr;
    OnConnectError = nullptr;
    FConnectTimer->disconnect(this);
    FConnectTimer->stop();
    if (FSocket) {
        QTcpSocket* s = FSocket;
        FSocket = nullptr;
        Retire(s, FPhase == TPhase::Open);
    }
    TEmitScope::ReleaseEmitting(FEmittingStack, this);
}

void TwwTCPClient::AttachSocket(QTcpSocket* s) {
    connect(s, &QAbstractSocket::stateChanged, this, [this, s](QAbstractSocket::SocketState st) {
        TEmitScope scope(FEmittingStack, this, s);
        HandleStateChanged(s, int(st));
    });
    connect(s, &QAbstractSocket::connected, this, [this, s] {
        TEmitScope scope(FEmittingStack, this, s);
        HandleConnected(s);
    });
    connect(s, &QIODevice::readyRead, this, [this, s] {
        TEmitScope scope(FEmittingStack, this, s);
        HandleReadyRead(s);
    });
    connect(s, &QAbstractSocket::disconnected, this, [this, s] {
        TEmitScope scope(FEmittingStack, this, s);
        HandleLost(s);
    });
    connect(s, &QAbstractSocket::errorOccurred, this, [this, s](QAbstractSocket::SocketError) {
        TEmitScope scope(FEmittingStack, this, s);
        HandleError(s);
    });
}

void TwwTCPClient::Retire(QTcpSocket* s, bool graceful) {
    s->disconnect(this);
    if (graceful && s->state() == QAbstractSocket::ConnectedState)
        s->disconnectFromHost();
    else if (s->state() != QAbstractSocket::UnconnectedState)
        s->abort();
    const bool emitting = FEmittingStack.contains(s);
    if (s->state() != QAbstractSocket::UnconnectedState) {
        // Still writing what was sent before the close: free it when done, or give up after a while.
        connect(s, &QAbstractSocket::disconnected, s, &QObject::deleteLater);
        QTimer::singleShot(3000, s, [s] {
            s->abort();
            s->deleteLater();
        });
    } else if (emitting) {
        s->deleteLater();
    } else {
        delete s;
    }
}

bool TwwTCPClient::Connect(const QString& AHost, quint16 APort) {
    QPointer<TwwTCPClient> self(this);
    if (FPhase == TPhase::Open) {
        if (!CloseOpen(true))
            return false;
    } else if (FSocket) {
        FConnectTimer->stop();
        QTcpSocket* s = FSocket;
        FSocket = nullptr;
        FPhase = TPhase::Idle;
        Retire(s, false);
    }
    if (!self)
        return false;
    // A handler of OnDisconnect may have started another connection already.
    if (FSocket) {
        FConnectTimer->stop();
        QTcpSocket* s = FSocket;
        FSocket = nullptr;
        const bool open = FPhase == TPhase::Open;
        FPhase = TPhase::Idle;
        Retire(s, open);
    }

    const QString host = AHost.trimmed();
    if (host.isEmpty() || APort == 0) {
        qCDebug(lcTcp) << "cannot connect to" << AHost << APort;
        if (OnConnectError) {
            auto h = OnConnectError;
            h(this, TTCPERRCODE::ERR_INIT);
        }
        return false;
    }

    auto* s = new QTcpSocket(this);
    s->setProxy(QNetworkProxy::NoProxy); // boards are reached directly, whatever proxy the program sets
    FSocket = s;
    FPhase = TPhase::Lookup;
    AttachSocket(s);
    {
        TEmitScope scope(FEmittingStack, this, s);
        s->connectToHost(host, APort);
    }
    return true;
}

void TwwTCPClient::Disconnect() {
    if (FPhase == TPhase::Open) {
        CloseOpen(true);
    } else if (FSocket) {
        FConnectTimer->stop();
        QTcpSocket* s = FSocket;
        FSocket = nullptr;
        FPhase = TPhase::Idle;
        Retire(s, false);
    }
}

bool TwwTCPClient::CloseOpen(bool graceful) {
    QTcpSocket* s = FSocket;
    FSocket = nullptr;
    FPhase = TPhase::Idle;
    Retire(s, graceful);
    FisKeepAlive = false;
    if (!OnDisconnect)
        return true;
    QPointer<TwwTCPClient> self(this);
    auto h = OnDisconnect;
    h(this);
    return !self.isNull();
}

bool TwwTCPClient::Connected() const {
    return FSocket && FPhase == TPhase::Open && FSocket->state() == QAbstractSocket::ConnectedState;
}

bool TwwTCPClient::Connecting() const {
    return FSocket && (FPhase == TPhase::Lookup || FPhase == TPhase::Handshake);
}

void TwwTCPClient::HandleStateChanged(QTcpSocket* s, int state) {
    if (s != FSocket || FPhase != TPhase::Lookup || state != QAbstractSocket::ConnectingState)
        return;
    // The name is resolved; only the handshake counts against the time-out.
    FPhase = TPhase::Handshake;
    FConnectTimer->start(FConnectTimeoutMs);
    if (OnConnecting) {
        auto h = OnConnecting;
        h(this);
    }
}

void TwwTCPClient::HandleConnected(QTcpSocket* s) {
    if (s != FSocket || (FPhase != TPhase::Handshake && FPhase != TPhase::Lookup))
        return;
    FConnectTimer->stop();
    FPhase = TPhase::Open;
    s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (FisKeepAlive)
        ApplyKeepAlive();
    if (OnConnect) {
        auto h = OnConnect;
        h(this);
    }
}

void TwwTCPClient::HandleReadyRead(QTcpSocket* s) {
    if (s == FSocket && FPhase == TPhase::Open)
        DeliverPending();
}

bool TwwTCPClient::DeliverPending() {
    if (!FSocket->isReadable())
        return true;
    // read(n) of exactly what is buffered hands over the socket's own buffer block when it is one;
    // readAll() copies it and then tries to read more into a grown array.
    const QByteArray block = FSocket->read(FSocket->bytesAvailable());
    if (block.isEmpty())
        return true;
    QPointer<TwwTCPClient> self(this);
    if (OnTrace) {
        auto t = OnTrace;
        t(false, block);
        if (!self)
            return false;
    }
    if (!OnReceiveData)
        return true;
    auto h = OnReceiveData;
    h(this, block);
    return !self.isNull();
}

void TwwTCPClient::HandleLost(QTcpSocket* s) {
    if (s != FSocket || FPhase != TPhase::Open)
        return;
    // Whatever arrived before the close still reaches the owner, before the disconnection.
    if (!DeliverPending() || s != FSocket || FPhase != TPhase::Open)
        return;
    qCDebug(lcTcp) << "connection lost:" << s->errorString();
    CloseOpen(false);
}

void TwwTCPClient::HandleError(QTcpSocket* s) {
    if (s != FSocket)
        return;
    if (FPhase == TPhase::Lookup || FPhase == TPhase::Handshake) {
        qCDebug(lcTcp) << "connect failed:" << s->errorString();
        FailAttempt();
    } else if (FPhase == TPhase::Open && s->state() != QAbstractSocket::ConnectedState) {
        HandleLost(s);
    }
}

void TwwTCPClient::HandleConnectTimeout() {
    if (FSocket && FPhase == TPhase::Handshake) {
        qCDebug(lcTcp) << "connect timed out after" << FConnectTimeoutMs << "ms";
        FailAttempt();
    }
}

void TwwTCPClient::FailAttempt() {
    FConnectTimer->stop();
    QTcpSocket* s = FSocket;
    FSocket = nullptr;
    FPhase = TPhase::Idle;
    Retire(s, false);
    if (OnConnectError) {
        auto h = OnConnectError;
        h(this, TTCPERRCODE::ERR_CNNTTIMEOUT);
    }
}

bool TwwTCPClient::Send(const QByteArray& ABuf, TSendTrace ATrace) {
    if (!Connected())
        return false;
    return WriteBytes(ABuf, ATrace == TSendTrace::Hidden ? TLogForm::Hidden : TLogForm::Hex);
}

bool TwwTCPClient::Send(const QString& AStr) {
    if (!Connected())
        return false;
    return WriteBytes(ToAsciiLine(AStr), TLogForm::Masked, AStr.size());
}

bool TwwTCPClient::WriteBytes(const QByteArray& bytes, TLogForm form, qsizetype maskedChars) {
    if (lcTcp().isDebugEnabled()) {
        QString text;
        switch (form) {
        case TLogForm::Hex: {
            // The first bytes only; a long write would flood the output.
            constexpr int shown = 64;
            text = QString::fromLatin1(bytes.left(shown).toHex(' ').toUpper());
            if (bytes.size() > shown)
                text += QStringLiteral(" ...");
            break;
        }
        case TLogForm::Hidden:
            text = QStringLiteral("(%1 bytes not shown)").arg(bytes.size());
            break;
        case TLogForm::Masked:
            text = QString(maskedChars, QLatin1Char('*'));
            break;
        }
        qCDebug(lcTcp).noquote() << QStringLiteral("TCP发送：") + text;
    }
    QPointer<TwwTCPClient> self(this);
    QTcpSocket* s = FSocket;
    const qint64 direct = SendDirect(s, bytes);
    const qint64 rest = bytes.size() - direct;
    bool ok = rest == 0 || s->write(bytes.constData() + direct, rest) == rest;
    if (ok && OnTrace) {
        auto t = OnTrace;
        t(true, bytes);
        if (!self)
            return false;
    }
    if (ok && rest > 0) {
        TEmitScope scope(FEmittingStack, this, s);
        s->flush(); // hand the bytes to the system now rather than on the next loop pass
    }
    if (!self)
        return false;
    // A failure found while flushing has already closed the connection (OnDisconnect).
    if (s != FSocket || FPhase != TPhase::Open)
        ok = false;
    if (ok)
        return true;
    qCDebug(lcTcp) << "send failed";
    if (s == FSocket && FPhase == TPhase::Open && !CloseOpen(false))
        return false;
    if (OnConnectError) {
        auto h = OnConnectError;
        h(this, TTCPERRCODE::ERR_SEND);
    }
    return false;
}

void TwwTCPClient::setKeepAlive(bool AValue) {
    if (AValue == FisKeepAlive)
        return;
    FisKeepAlive = AValue;
    ApplyKeepAlive();
}

void TwwTCPClient::ApplyKeepAlive() {
    if (!FSocket || FPhase != TPhase::Open)
        return;
    FSocket->setSocketOption(QAbstractSocket::KeepAliveOption, FisKeepAlive ? 1 : 0);
    if (!FisKeepAlive)
        return;
    const qintptr fd = FSocket->socketDescriptor();
    if (fd < 0)
        return;
#if defined(Q_OS_LINUX)
    // Whole seconds only: the 300-ms interval becomes 1 s, and three probes keep the time to
    // notice a dead peer near that of 3000 ms + ten 300-ms probes.
    const int idle = KeepAliveIdleMs / 1000;
    const int interval = 1;
    const int count = 3;
    setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#elif defined(Q_OS_MACOS)
    const int idle = KeepAliveIdleMs / 1000;
    setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPALIVE, &idle, sizeof idle);
#elif defined(Q_OS_WIN)
    tcp_keepalive ka{1, ULONG(KeepAliveIdleMs), ULONG(KeepAliveIntervalMs)};
    DWORD returned = 0;
    WSAIoctl(SOCKET(fd), SIO_KEEPALIVE_VALS, &ka, sizeof ka, nullptr, 0, &returned, nullptr, nullptr);
#endif
}
