// LAN search: one UDP socket bound to the search port sends the search request to the broadcast
// address and reports every valid 36-byte board answer, then the end of the search window.
#pragma once

#include "untPublic.h"

#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <deque>
#include <functional>
#include <optional>

class QTimer;
class QUdpSocket;

// A board's answer to the search: exactly 36 bytes summing to 0 modulo 256, starting FF 24 01,
// with a non-zero DevType. Anything else is nullopt.
std::optional<TUDPRcvRcd> ParseSearchAnswer(QByteArrayView datagram);
// The answer a board with these fields sends (head and check byte filled in).
QByteArray BuildSearchAnswer(TUDPRcvRcd rcd);

class TNEV_IOTUDP : public QObject {
    Q_OBJECT

public:
    // Answers reported in one pass of the event loop. Hundreds of boards answer at once and each
    // report may open a connection: every waiting answer is read at once (the socket's buffer
    // stays free), but only this many are reported per pass and the rest in the next passes, so
    // that the window keeps painting and taking input. The window's end reports every answer
    // read before it.
    static constexpr int MaxAnswersPerPass = 32;

    using TUDPReceiveEvent = std::function<void(const TUDPRcvRcd& ARxRcd)>;
    using TUDPTimerOutEvent = std::function<void()>;

    // APort: the port bound and, unless ATargetPort is given, the port the request goes to.
    // Port 0 binds any free port (see LocalPort).
    explicit TNEV_IOTUDP(quint16 APort = DefaultUDPSCanPort, QObject* parent = nullptr);
    TNEV_IOTUDP(quint16 APort, const QHostAddress& ABroadcast, quint16 ATargetPort = 0,
                QObject* parent = nullptr);
    ~TNEV_IOTUDP() override;

    bool Active() const;
    // Binds (true) or releases (false) the socket; false when binding failed, ErrorString says why.
    bool setActive(bool AValue);
    QString ErrorString() const { return FError; }

    // Sends the search request when bound and starts (or restarts) the search window either way.
    // True when the request was sent.
    bool SearchDevice();
    bool Searching() const;

    quint16 Port() const { return FPort; }
    quint16 LocalPort() const;
    QHostAddress BroadcastAddress() const { return FBroadcast; }
    quint16 TargetPort() const;
    int SearchWindowMs() const { return FWindowMs; }
    void setSearchWindowMs(int AMs) { FWindowMs = AMs; }

    TUDPReceiveEvent OnUDPReceive;
    TUDPTimerOutEvent OnUDPTimeOut;

private:
    // Reads every waiting datagram (in readyRead only: the socket signals again only after a
    // read there) and queues the valid answers.
    void ReadDatagrams();
    // Reports at most `ALimit` queued answers; when more wait, the next pass goes on.
    void ReportAnswers(int ALimit = MaxAnswersPerPass);
    void WindowEnded();

    QUdpSocket* FUDPSvr;
    QTimer* FUDPtmr;
    quint16 FPort;
    QHostAddress FBroadcast;
    quint16 FTargetPort;
    int FWindowMs = ::SearchWindowMs;
    QString FError;
    std::deque<TUDPRcvRcd> FAnswers; // read, not reported yet
    bool FReportQueued = false;
    QList<QObject*> FEmittingStack;
};
