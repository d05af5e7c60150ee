// A loopback HTTP server for tests: each request is answered from a table by its path (the query
// left out; a key ending in '*' matches every path it begins). An answer can be held until the
// test releases it, or never given; unknown paths get 404. It counts the requests it holds open.
#pragma once

#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <algorithm>
#include <utility>
#include <vector>

class TestHttpServer : public QObject {
public:
    struct Answer {
        int Status = 200;
        QByteArray ContentType = "image/jpeg";
        QByteArray Body;
        bool Held = false;  // given when Release() is called for its path
        bool Never = false; // never given
    };

    TestHttpServer() {
        connect(&FServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = FServer.nextPendingConnection()) {
                s->setParent(this);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { Read(s); });
                connect(s, &QTcpSocket::disconnected, this, [this, s] { Closed(s); });
            }
        });
    }
    bool Listen() { return FServer.listen(QHostAddress::LocalHost, 0); }
    QString Base() const { return QStringLiteral("http://127.0.0.1:%1").arg(FServer.serverPort()); }
    QString Url(const QString& path) const { return Base() + path; }

    void Set(const QString& path, const Answer& answer) { FAnswers.insert(path, answer); }
    // Gives the held answers of a path, now and from now on.
    void Release(const QString& path) {
        FAnswers[path].Held = false;
        std::vector<std::pair<QPointer<QTcpSocket>, QString>> waiting;
        std::swap(waiting, FWaiting);
        for (auto& [socket, p] : waiting) {
            if (p == path && socket)
                Send(socket, FAnswers.value(path));
            else if (socket)
                FWaiting.emplace_back(socket, p);
        }
    }
    int Requests(const QString& path) const { return FRequests.value(path); }
    // Requests received and not answered yet, now and at most at once.
    int Open() const { return FOpen; }
    int MostOpen() const { return FMostOpen; }

private:
    struct Pending {
        QByteArray Data;
        bool Answered = false;
    };

    void Read(QTcpSocket* s) {
        Pending& p = FPending[s];
        p.Data += s->readAll();
        const qsizetype end = p.Data.indexOf("\r\n\r\n");
        if (end < 0 || p.Answered)
            return;
        const QList<QByteArray> lines = p.Data.left(end).split('\n');
        qsizetype length = 0;
        for (const QByteArray& l : lines)
            if (l.toLower().startsWith("content-length:"))
                length = l.mid(15).trimmed().toLongLong();
        if (p.Data.size() < end + 4 + length)
            return;
        p.Answered = true;
        const QList<QByteArray> request = lines.value(0).trimmed().split(' ');
        const QString path = QUrl(QString::fromLatin1(request.value(1))).path();
        const QString key = KeyOf(path);
        ++FRequests[key];
        ++FOpen;
        FMostOpen = std::max(FMostOpen, FOpen);
        const Answer a = FAnswers.value(key, Answer{404, "text/plain", "Not found\n"});
        if (a.Never) {
            FNever.insert(s);
            return;
        }
        if (a.Held) {
            FWaiting.emplace_back(s, key);
            return;
        }
        Send(s, a);
    }
    QString KeyOf(const QString& path) const {
        if (FAnswers.contains(path))
            return path;
        for (auto it = FAnswers.cbegin(); it != FAnswers.cend(); ++it)
            if (it.key().endsWith(u'*') && path.startsWith(it.key().chopped(1)))
                return it.key();
        return path;
    }
    void Send(QTcpSocket* s, const Answer& a) {
        --FOpen;
        QByteArray out = "HTTP/1.1 " + QByteArray::number(a.Status) + (a.Status == 200 ? " OK" : " Error") +
                         "\r\nContent-Type: " + a.ContentType +
                         "\r\nContent-Length: " + QByteArray::number(a.Body.size()) +
                         "\r\nConnection: close\r\n\r\n" + a.Body;
        s->write(out);
        s->disconnectFromHost();
    }
    void Closed(QTcpSocket* s) {
        const Pending p = FPending.take(s);
        // A request the client gave up on (abort, time-out) is no longer open.
        for (auto it = FWaiting.begin(); it != FWaiting.end(); ++it)
            if (it->first == s) {
                FWaiting.erase(it);
                --FOpen;
                break;
            }
        if (p.Answered && FNever.remove(s))
            --FOpen;
        s->deleteLater();
    }

    QTcpServer FServer;
    QHash<QString, Answer> FAnswers;
    QHash<QString, int> FRequests;
    QHash<QTcpSocket*, Pending> FPending;
    QSet<QTcpSocket*> FNever;
    std::vector<std::pair<QPointer<QTcpSocket>, QString>> FWaiting;
    int FOpen = 0;
    int FMostOpen = 0;
};
