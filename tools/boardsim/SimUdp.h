// UDP side of the simulated boards: the answer to the LAN search (port 1901) and the router join
// protocol (port 1902). One socket each serves every board of the process; answers go back to the
// sender only.
#pragma once

#include "SimBoard.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

namespace sim {

struct WifiNetwork {
    QByteArray ssid;
    quint8 signal = 0; // percent
    QByteArray password;
};

// A board and the address it reports in its search answer.
struct AdvertisedBoard {
    Board* board = nullptr;
    QHostAddress ip;
};

class SearchResponder : public QObject {
    Q_OBJECT
public:
    // spreadMs: the answers of all boards are spread evenly over this time, as boards that answer
    // at slightly different moments; 0 sends them all at once.
    SearchResponder(QList<AdvertisedBoard> boards, int spreadMs, QObject* parent = nullptr);
    bool Bind(const QHostAddress& address, quint16 port, QString* error);
    quint16 Port() const { return FSocket.localPort(); }

private:
    void OnReadyRead();
    void SendDue();

    QList<AdvertisedBoard> FBoards;
    int FSpreadMs;
    QUdpSocket FSocket;
    struct Pending {
        qint64 due;
        QByteArray datagram;
        QHostAddress to;
        quint16 port;
    };
    QList<Pending> FPending; // ordered by due
    QTimer FTimer;
    QElapsedTimer FClock;
};

class RouterResponder : public QObject {
    Q_OBJECT
public:
    RouterResponder(QList<Board*> boards, QList<WifiNetwork> networks, QObject* parent = nullptr);
    bool Bind(const QHostAddress& address, quint16 port, QString* error);
    quint16 Port() const { return FSocket.localPort(); }

    // FF, payload length (2 bytes), payload, 8-bit sum of length and payload.
    static QByteArray Datagram(const QByteArray& payload);
    // The payload of a well-formed datagram, or empty.
    static QByteArray Payload(const QByteArray& datagram);

private:
    void OnReadyRead();
    QByteArray JoinResult(Board* board, const QByteArray& ssid, const QByteArray& password) const;

    QList<Board*> FBoards;
    QList<WifiNetwork> FNetworks;
    QUdpSocket FSocket;
};

} // namespace sim
