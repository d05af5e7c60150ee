// One board session of quillet-ctl: logs in through the same device connection as the window
// (directly on the LAN or through the relay server), then sends one request at a time and waits
// for its reply, cutting the received bytes into frames with the program's frame reader. Only
// replies that can answer the pending request are kept, and only a few of them, so a peer that
// floods the connection with frames costs time but no memory.
#pragma once

#include "nevIOTTCPProtocol.h"
#include "untIOTDev.h"

#include <QByteArray>
#include <QEventLoop>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

struct TCtlTarget {
    bool Relay = false;
    QString Host;
    quint16 Port = 0;
    QString Password;        // LAN: device password
    QString MAC;             // relay: the board's MAC in any accepted form
    QString Account;         // relay: cloud account
    QString AccountPassword; // relay: cloud password (both go into the relay login block)
};

// The outcome of one request.
struct TCtlReply {
    enum class Kind { Answer, Refused, NoReply, Lost } What = Kind::NoReply;
    QByteArray Payload; // the answering payload (Answer)
};

class TCtlBoard : public QObject {
    Q_OBJECT

public:
    static constexpr int ReplyTimeoutMs = 3000;
    // Replies to the pending request kept until taken (the board may send several phases).
    static constexpr int MaxKeptReplies = 16;

    explicit TCtlBoard(const TCtlTarget& target, bool trace, QObject* parent = nullptr);
    ~TCtlBoard() override;

    // Connects and logs in; on failure `error` holds the state text ("Password error", ...) or
    // names the unexpected login answer.
    bool Login(QString& error);

    // Sends one payload and waits for the reply that answers it (the connection's match rule:
    // reply code and channel) or the board's refusal FF <code>. `accept` may refuse an answer to
    // keep waiting (the learning phases of an infrared code come as several replies).
    TCtlReply Request(const QByteArray& payload, int timeoutMs = ReplyTimeoutMs,
                      const std::function<bool(const QByteArray&)>& accept = {});
    // Waits for a further answer to the last request without sending anything.
    TCtlReply Await(int timeoutMs, const std::function<bool(const QByteArray&)>& accept = {});
    // Replies kept and not yet taken (at most MaxKeptReplies).
    qsizetype KeptReplies() const { return FPayloads.size(); }

private:
    void Trace(char dir, const QByteArray& bytes) const;
    void Received(const QByteArray& block);
    // Runs the event loop until `done` holds (checked whenever the connection reports) or the
    // time is up; returns `done()`.
    bool WaitFor(const std::function<bool()>& done, int timeoutMs);
    void Wake();
    std::optional<TCtlReply> TakeReply(const std::function<bool(const QByteArray&)>& accept);

    TCtlTarget FTarget;
    bool FTrace;
    TNEV_IOTDevConn* FConn;
    TIOTFrameReader FReader{TFrameKind::Reply};
    QList<QByteArray> FPayloads; // answers to the pending request, not yet taken
    bool FRequested = false;     // a request is pending: before it (and before the login) frames are dropped
    bool FLost = false;
    QEventLoop* FLoop = nullptr;
    std::function<bool()> FDone;
};
