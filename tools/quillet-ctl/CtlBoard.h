// One board session of quillet-ctl: logs in through the same device connection as the window
// (directly on the LAN or through the relay server), then sends one request at a time and waits
// for its reply, cutting the received bytes into frames with the program's frame reader.
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
    QString AccountPassword; // relay: cloud password
};

// The outcome of one request.
struct TCtlReply {
    enum class Kind { Answer, Refused, NoReply, Lost } What = Kind::NoReply;
    QByteArray Payload; // the answering payload (Answer)
};

class TCtlBoard : public QObject
{
    Q_OBJECT

public:
    static constexpr int ReplyTimeoutMs = 3000;

    explicit TCtlBoard(const TCtlTarget& target, bool trace, QObject* parent = nullptr);
    ~TCtlBoard() override;

    // Connects and logs in; on failure `error` holds the state text ("Password error", ...).
    bool Login(QString& error);

    // Sends one payload and waits for the reply whose code is the request code + 0x80 (or the
    // board's refusal FF <code>). `accept` may refuse a matching payload to keep waiting (the
    // learning phases of an infrared code come as several replies).
    TCtlReply Request(const QByteArray& payload, int timeoutMs = ReplyTimeoutMs,
                      const std::function<bool(const QByteArray&)>& accept = {});
    // Waits for a further reply with the given code without sending anything.
    TCtlReply Await(quint8 code, int timeoutMs, const std::function<bool(const QByteArray&)>& accept = {});

private:
    void Trace(char dir, const QByteArray& bytes) const;
    void Received(const QByteArray& block);
    // Runs the event loop until `done` holds (checked whenever the connection reports) or the
    // time is up; returns `done()`.
    bool WaitFor(const std::function<bool()>& done, int timeoutMs);
    void Wake();
    std::optional<TCtlReply> TakeReply(quint8 code, quint8 request,
                                       const std::function<bool(const QByteArray&)>& accept);

    TCtlTarget FTarget;
    bool FTrace;
    TNEV_IOTDevConn* FConn;
    TIOTFrameReader FReader{TFrameKind::Reply};
    QList<QByteArray> FPayloads; // decoded and not yet taken
    bool FLost = false;
    QEventLoop* FLoop = nullptr;
    std::function<bool()> FDone;
};
