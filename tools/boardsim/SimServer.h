// TCP side of a simulated board: a listening socket per board and one session per connection,
// which runs the password login, cuts request frames and writes replies, with the fault
// switches applied on the way out.
#pragma once

#include "SimBoard.h"
#include "SimFrames.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace sim {

class Session : public QObject {
    Q_OBJECT
public:
    Session(QTcpSocket* socket, Board* board, QObject* parent);

private:
    void OnReadyRead();
    void HandleLoginLine(const QByteArray& line);
    void Drop(const char* why);
    // Queues bytes for writing; frames get the garbage and split faults, every write the delay.
    void Send(const QByteArray& bytes, bool isFrame);
    void Pump();

    QPointer<QTcpSocket> FSocket;
    QPointer<Board> FBoard;
    Faults FFaults;
    bool FLoggedIn = false;
    QByteArray FLine;
    FrameStream FFrames = FrameStream::Requests();
    struct Piece {
        qint64 notBefore; // ms on FClock
        qint64 gap;       // ms after the previous write
        QByteArray bytes;
    };
    QList<Piece> FQueue;
    QTimer FWriteTimer;
    QElapsedTimer FClock;
    qint64 FLastWrite = -1'000'000;
    int FGarbageRound = 0;
};

class BoardServer : public QObject {
    Q_OBJECT
public:
    BoardServer(Board* board, QObject* parent = nullptr);
    bool Listen(const QHostAddress& address, quint16 port, QString* error);
    QHostAddress Address() const { return FServer.serverAddress(); }
    quint16 Port() const { return FServer.serverPort(); }
    Board* board() const { return FBoard; }

private:
    Board* FBoard;
    QTcpServer FServer;
};

} // namespace sim
