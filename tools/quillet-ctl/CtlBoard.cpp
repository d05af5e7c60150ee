#include "CtlBoard.h"

#include <QEventLoop>
#include <QTimer>

#include <cstdio>

TCtlBoard::TCtlBoard(const TCtlTarget& target, bool trace, QObject* parent)
    : QObject(parent), FTarget(target), FTrace(trace), FConn(new TNEV_IOTDevConn(this)) {
    FConn->setClickState(true);
    FConn->OnIOTDevReceive = [this](TNEV_IOTDevConn*, const QByteArray& block) {
        Received(block);
        Wake();
    };
    FConn->OnIOTDevState = [this](TIOTNETSTYLE, TIOTNETSTATE state) {
        if (state == TIOTNETSTATE::NET_DISCNNT)
            FLost = true;
        Wake();
    };
    if (TwwTCPClient* client = FConn->TCPClient()) {
        client->OnTrace = [this](bool sent, const QByteArray& bytes) { Trace(sent ? '>' : '<', bytes); };
    }
}

TCtlBoard::~TCtlBoard() = default;

void TCtlBoard::Trace(char dir, const QByteArray& bytes) const {
    if (!FTrace)
        return;
    std::fprintf(stderr, "%c %s\n", dir, bytes.toHex(' ').toUpper().constData());
    std::fflush(stderr);
}

void TCtlBoard::Received(const QByteArray& block) {
    for (QByteArray& payload : FReader.Feed(block))
        FPayloads.append(std::move(payload));
}

void TCtlBoard::Wake() {
    if (FLoop && FDone && FDone())
        FLoop->quit();
}

bool TCtlBoard::WaitFor(const std::function<bool()>& done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    FLoop = &loop;
    FDone = done;
    timer.start(timeoutMs);
    loop.exec();
    FLoop = nullptr;
    FDone = nullptr;
    return done();
}

bool TCtlBoard::Login(QString& error) {
    if (FTarget.Relay) {
        CloudSession.SetAccount(FTarget.Account);
        CloudSession.SetPassword(FTarget.AccountPassword);
        CloudSession.Logged = true;
        FConn->setDevMACStr(FormatMACStr(FTarget.MAC));
        FConn->setNetIPStr(FTarget.Host);
        FConn->setNetPort(FTarget.Port);
        FConn->setNetStyle(TIOTNETSTYLE::NET_REMOTE);
    } else {
        FConn->setDevIPStr(FTarget.Host);
        FConn->setLanPort(FTarget.Port);
        FConn->setDevPasswordStr(FTarget.Password);
        FConn->setNetStyle(TIOTNETSTYLE::NET_LAN);
    }
    const auto finished = [this] {
        switch (FConn->NetState()) {
        case TIOTNETSTATE::NET_CNNT:
        case TIOTNETSTATE::NET_CNNTING:
            return false;
        default:
            return true;
        }
    };
    // The connect time-out is 1000 ms and a board answers its login at once; a silent board
    // that keeps the connection open is reported as a time-out.
    if (!WaitFor(finished, ReplyTimeoutMs)) {
        error = NetStateText(TIOTNETSTATE::NET_TIMEOUT);
        return false;
    }
    if (FConn->NetState() != TIOTNETSTATE::NET_OK) {
        error = NetStateText(FConn->NetState());
        return false;
    }
    FLost = false;
    return true;
}

std::optional<TCtlReply> TCtlBoard::TakeReply(quint8 code, quint8 request,
                                              const std::function<bool(const QByteArray&)>& accept) {
    for (qsizetype i = 0; i < FPayloads.size(); ++i) {
        const QByteArray& p = FPayloads.at(i);
        const quint8 c = quint8(p.at(0));
        if (c == code && (!accept || accept(p))) {
            TCtlReply r{TCtlReply::Kind::Answer, p};
            FPayloads.remove(0, i + 1);
            return r;
        }
        if (c == 0xFF && p.size() == 2 && quint8(p.at(1)) == request) {
            // Copied before the removal: `p` refers into the list.
            TCtlReply r{TCtlReply::Kind::Refused, p};
            FPayloads.remove(0, i + 1);
            return r;
        }
    }
    return std::nullopt;
}

TCtlReply TCtlBoard::Await(quint8 code, int timeoutMs, const std::function<bool(const QByteArray&)>& accept) {
    const quint8 request = quint8(code - 0x80);
    std::optional<TCtlReply> reply;
    WaitFor(
        [&] {
            if (!reply)
                reply = TakeReply(code, request, accept);
            return reply.has_value() || FLost || FConn->NetState() != TIOTNETSTATE::NET_OK;
        },
        timeoutMs);
    if (reply)
        return *reply;
    if (FLost || FConn->NetState() != TIOTNETSTATE::NET_OK)
        return TCtlReply{TCtlReply::Kind::Lost, {}};
    return TCtlReply{TCtlReply::Kind::NoReply, {}};
}

TCtlReply TCtlBoard::Request(const QByteArray& payload, int timeoutMs,
                             const std::function<bool(const QByteArray&)>& accept) {
    if (payload.isEmpty())
        return {};
    FPayloads.clear();
    if (!FConn->TCPSend(BuildFrame(payload)))
        return TCtlReply{TCtlReply::Kind::Lost, {}};
    return Await(quint8(quint8(payload.at(0)) + 0x80), timeoutMs, accept);
}
