#include "SimServer.h"

#include <utility>

namespace sim {

namespace {

constexpr int MaxLoginLine = 64;

// Junk that a reply may be preceded by: stray bytes, a lone header byte and a complete-looking
// frame (AA 55, length 2, payload FF) whose sum is wrong.
QByteArray Garbage(int round) {
    QByteArray g = QByteArray::fromHex("1337AA00FF");
    g.append(char(round & 0xFF));
    g.append(QByteArray::fromHex("AA55000200FF00"));
    return g;
}

} // namespace

Session::Session(QTcpSocket* socket, Board* board, QObject* parent)
    : QObject(parent), FSocket(socket), FBoard(board), FFaults(board->Config().faults) {
    socket->setParent(this);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    FClock.start();
    FWriteTimer.setSingleShot(true);
    FWriteTimer.setTimerType(Qt::PreciseTimer);
    connect(&FWriteTimer, &QTimer::timeout, this, &Session::Pump);
    connect(socket, &QTcpSocket::readyRead, this, &Session::OnReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        if (FBoard)
            qCDebug(lcBoardSim).noquote() << FBoard->MacText() << "connection closed";
        deleteLater();
    });
    qCDebug(lcBoardSim).noquote() << board->MacText() << "connection from" << socket->peerAddress().toString()
                                  << socket->peerPort();
    if (FFaults.dropAfterMs > 0)
        QTimer::singleShot(FFaults.dropAfterMs, this, [this] { Drop("drop-after"); });
}

void Session::Drop(const char* why) {
    if (!FSocket || !FBoard)
        return;
    qCDebug(lcBoardSim).noquote() << FBoard->MacText() << "drops the connection:" << why;
    FQueue.clear();
    FSocket->disconnectFromHost();
}

void Session::OnReadyRead() {
    if (!FSocket || !FBoard)
        return;
    QByteArray data = FSocket->readAll();
    if (!FLoggedIn) {
        FLine.append(data);
        while (!FLoggedIn && FSocket && FSocket->state() == QAbstractSocket::ConnectedState) {
            const qsizetype lf = FLine.indexOf('\n');
            if (lf < 0) {
                if (FLine.size() > MaxLoginLine) {
                    FLine.clear();
                    HandleLoginLine(QByteArray(MaxLoginLine + 1, '?'));
                }
                return;
            }
            QByteArray line = FLine.left(lf);
            FLine.remove(0, lf + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            HandleLoginLine(line);
        }
        if (!FLoggedIn)
            return;
        data = std::exchange(FLine, {});
    }
    for (const QByteArray& payload : FFrames.Feed(data)) {
        QPointer<Session> self(this);
        FBoard->HandleRequest(payload, this, [self](const QByteArray& reply) {
            if (self)
                self->Send(ReplyFrame(reply), true);
        });
    }
}

void Session::HandleLoginLine(const QByteArray& line) {
    using Login = Faults::Login;
    Login verdict = Login::Answer;
    if (FFaults.refuse != Login::Answer)
        verdict = FFaults.refuse;
    else if (!FBoard->PasswordMatches(line))
        verdict = FFaults.badPassword;
    switch (verdict) {
    case Login::Answer:
        qCDebug(lcBoardSim).noquote() << FBoard->MacText() << "login accepted";
        FLoggedIn = true;
        Send("OK", false);
        break;
    case Login::No:
        qCDebug(lcBoardSim).noquote() << FBoard->MacText() << "login refused";
        Send("NO", false);
        break;
    case Login::Drop:
        if (FFaults.loginDropMs > 0)
            QTimer::singleShot(FFaults.loginDropMs, this, [this] { Drop("password refused"); });
        else
            Drop("password refused");
        break;
    }
}

void Session::Send(const QByteArray& bytes, bool isFrame) {
    const qint64 notBefore = FClock.elapsed() + FFaults.delayMs;
    QByteArray data = bytes;
    if (isFrame && FFaults.garbage)
        data.prepend(Garbage(FGarbageRound++));
    if (isFrame && FFaults.splitBytes > 0) {
        for (qsizetype at = 0; at < data.size(); at += FFaults.splitBytes)
            FQueue.append({notBefore, at == 0 ? 0 : FFaults.splitGapMs, data.mid(at, FFaults.splitBytes)});
    } else {
        FQueue.append({notBefore, 0, data});
    }
    Pump();
}

void Session::Pump() {
    while (FSocket && !FQueue.isEmpty()) {
        const Piece& head = FQueue.first();
        const qint64 now = FClock.elapsed();
        const qint64 due = std::max(head.notBefore, FLastWrite + head.gap);
        if (due > now) {
            FWriteTimer.start(int(due - now));
            return;
        }
        FSocket->write(head.bytes);
        FSocket->flush();
        FLastWrite = now;
        FQueue.removeFirst();
    }
}

BoardServer::BoardServer(Board* board, QObject* parent) : QObject(parent), FBoard(board) {
    connect(&FServer, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = FServer.nextPendingConnection())
            new Session(s, FBoard, this);
    });
}

bool BoardServer::Listen(const QHostAddress& address, quint16 port, QString* error) {
    if (FServer.listen(address, port))
        return true;
    if (error)
        *error = FServer.errorString();
    return false;
}

} // namespace sim
