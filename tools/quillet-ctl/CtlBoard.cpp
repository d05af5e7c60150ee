#include "CtlBoard.h"

#include "CtlWait.h"
#include "nevGPIOAPI.h"

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
    const QList<QByteArray> payloads = FReader.Feed(block);
    if (!FRequested)
        return;
    const QByteArray request = FConn->LastRequest();
    for (const QByteArray& payload : payloads) {
        if (!FConn->AnswersLastRequest(payload) && !ReplyRefuses(request, payload))
            continue;
        FPayloads.append(payload);
        if (FPayloads.size() > MaxKeptReplies)
            FPayloads.removeFirst();
    }
}

void TCtlBoard::Wake() {
    if (FLoop && FDone && FDone())
        FLoop->quit();
}

bool TCtlBoard::WaitFor(const std::function<bool()>& done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    FLoop = &loop;
    FDone = done;
    ExecFor(loop, timeoutMs);
    FLoop = nullptr;
    FDone = nullptr;
    return done();
}

bool TCtlBoard::Login(QString& error) {
    if (FTarget.Relay) {
        TCloudSession session;
        session.SetAccount(FTarget.Account);
        session.SetPassword(FTarget.AccountPassword);
        session.Logged = true;
        FConn->setRelaySession(session);
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
        if (!FConn->UnexpectedLoginAnswer().isEmpty())
            return true;
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
    if (const QByteArray odd = FConn->UnexpectedLoginAnswer(); !odd.isEmpty()) {
        error = QStringLiteral("Unexpected login answer: %1%2")
                    .arg(QString::fromLatin1(odd.left(16).toHex(' ').toUpper()),
                         odd.size() > 16 ? QStringLiteral(" ...") : QString());
        return false;
    }
    if (FConn->NetState() != TIOTNETSTATE::NET_OK) {
        error = NetStateText(FConn->NetState());
        return false;
    }
    FLost = false;
    // Whatever came with the answer belongs to no request of ours.
    FReader.Reset();
    FPayloads.clear();
    return true;
}

std::optional<TCtlReply> TCtlBoard::TakeReply(const std::function<bool(const QByteArray&)>& accept) {
    const QByteArray request = FConn->LastRequest();
    for (qsizetype i = 0; i < FPayloads.size(); ++i) {
        // Copied before the removal: the list owns the payload.
        const QByteArray p = FPayloads.at(i);
        if (ReplyRefuses(request, p)) {
            FPayloads.remove(0, i + 1);
            return TCtlReply{TCtlReply::Kind::Refused, p};
        }
        if (!accept || accept(p)) {
            FPayloads.remove(0, i + 1);
            return TCtlReply{TCtlReply::Kind::Answer, p};
        }
    }
    return std::nullopt;
}

TCtlReply TCtlBoard::Await(int timeoutMs, const std::function<bool(const QByteArray&)>& accept) {
    std::optional<TCtlReply> reply;
    WaitFor(
        [&] {
            if (!reply)
                reply = TakeReply(accept);
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
    FRequested = false;
    if (!FConn->TCPSend(BuildFrame(payload)))
        return TCtlReply{TCtlReply::Kind::Lost, {}};
    FRequested = true;
    return Await(timeoutMs, accept);
}
