// Router join: over its own small UDP protocol, asks the boards on the local network which
// wireless networks they see, and tells one board the network name and password to join.
// Non-visual: the window shows the list and the results it reports.
#pragma once

#include "untPublic.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QTimer;
class QUdpSocket;

// One checked router datagram: FF, payload length (2 bytes, high first), payload, and the 8-bit
// sum of the length bytes and the payload. Buf is the payload after the command byte.
struct TSearchRe {
    bool isOk = false;
    quint8 CMD = 0;
    QByteArray Buf;
};

enum : quint8 {
    ROUTER_CMD_LIST = 0x01,
    ROUTER_CMD_LIST_REPLY = 0x81,
    ROUTER_CMD_JOIN = 0x02,
    ROUTER_CMD_JOIN_REPLY = 0x82,
};

// One wireless network of a board's list reply. Name holds the bytes exactly as the board sent
// them: joining a listed network sends these bytes back.
struct TRouterNet {
    QByteArray Name;
    quint8 Signal = 0; // percent
    QString NameStr() const;
    // The list entry: the name, three spaces and the signal, e.g. "lab   [76%]".
    QString Caption() const;
    bool operator==(const TRouterNet&) const = default;
};
using TRouterNets = QList<TRouterNet>;

enum class TRouterJoinResult : quint8 {
    JOIN_NOSSID, // "SSID not exist!"
    JOIN_PSDERR, // "SSID password error!"
    JOIN_OK,     // "Add SSID success!"
};

inline constexpr int MaxNetsPerReply = 30;
inline constexpr int MaxKeptNets = 120;

TSearchRe CheckRouterDatagram(QByteArrayView datagram);
// Empty when the payload is too long for the 16-bit length.
QByteArray BuildRouterDatagram(QByteArrayView payload);
// The networks of a list reply's data (TSearchRe::Buf of command 0x81), at most AMax.
TRouterNets ParseRouterList(QByteArrayView data, int AMax = MaxNetsPerReply);
// The outcome of a join reply's data; nullopt for anything but exactly two known bytes.
std::optional<TRouterJoinResult> ParseJoinResult(QByteArrayView data);
QByteArray BuildJoinPayload(QByteArrayView name, QByteArrayView password);

class TAddRouter : public QObject {
    Q_OBJECT

public:
    using TRouterListEvent = std::function<void(const TRouterNets& ANets)>;
    using TNotifyEvent = std::function<void()>;
    using TJoinResultEvent = std::function<void(TRouterJoinResult AResult)>;

    static constexpr int DefaultSearchTimeoutMs = 3000;

    // Binds APort at once (see isListening); requests go to ABroadcast at ATargetPort, or at the
    // bound port when ATargetPort is 0.
    explicit TAddRouter(quint16 APort = RouterJoinPort,
                        const QHostAddress& ABroadcast = QHostAddress(QHostAddress::Broadcast),
                        quint16 ATargetPort = 0, QObject* parent = nullptr);
    ~TAddRouter() override;

    bool isListening() const;
    // Tries to bind again when not bound; false with ErrorString when the port is taken.
    bool Listen();
    QString ErrorString() const { return FError; }
    quint16 LocalPort() const;
    quint16 TargetPort() const;

    // Forgets the networks listed so far, starts the search window and asks every board for its
    // list. False when nothing could be sent (the port is not bound, or the send failed).
    bool Search();
    bool Searching() const;
    // Join: AListIndex 0 (the manual entry) or out of range sends ATypedName; k >= 1 sends the raw
    // name of Nets()[k - 1]. Texts are sent in the local 8-bit code page.
    bool Add(int AListIndex, const QString& ATypedName, const QString& APassword);
    bool AddRaw(QByteArrayView name, QByteArrayView password);
    QByteArray NameBytes(int AListIndex, const QString& ATypedName) const;

    // Every network listed since the last Search, across all answering boards, without repeats;
    // list position k (k >= 1) of the window's name box is entry k - 1.
    const TRouterNets& Nets() const { return FNets; }

    int SearchTimeoutMs() const { return FTimeoutMs; }
    void setSearchTimeoutMs(int AMs) { FTimeoutMs = AMs; }

    // A list reply arrived (also an empty one); ANets is the whole list so far.
    TRouterListEvent OnRouterList;
    // The search window ended (the search button may be enabled again).
    TNotifyEvent OnRouterSearchEnd;
    TJoinResultEvent OnJoinResult;

private:
    bool SendPayload(QByteArrayView payload);
    void ReadDatagrams();
    // False when this object was destroyed by a handler.
    bool HandleDatagram(const QByteArray& datagram);
    void MergeList(const TRouterNets& nets);

    QUdpSocket* FUDPSvr;
    QTimer* FUDPtmr;
    quint16 FPort;
    QHostAddress FBroadcast;
    quint16 FTargetPort;
    int FTimeoutMs = DefaultSearchTimeoutMs;
    TRouterNets FNets;
    QString FError;
    QList<QObject*> FEmittingStack;
};
