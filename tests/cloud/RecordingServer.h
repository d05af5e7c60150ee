// A loopback HTTP peer for tests: records every raw request and answers it as told (a canned
// reply, nothing at all, a closed connection, a reply trickled one byte at a time, or an endless
// flood of body bytes).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

class RecordingServer : public QObject {
    Q_OBJECT
public:
    enum class Mode { Answer, Silent, Close, HeadersThenSilent, Trickle, Flood };

    struct Request {
        QByteArray raw;  // request line, headers and body exactly as received
        QByteArray head; // up to and including the blank line
        QByteArray body;
        QByteArray Header(const QByteArray& name) const {
            for (const QByteArray& line : head.split('\n')) {
                const qsizetype colon = line.indexOf(':');
                if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
                    return line.mid(colon + 1).trimmed();
            }
            return {};
        }
    };

    explicit RecordingServer(QObject* parent = nullptr) : QObject(parent) {
        connect(&FServer, &QTcpServer::newConnection, this, &RecordingServer::Accept);
        FServer.listen(QHostAddress::LocalHost, 0);
    }

    quint16 Port() const { return FServer.serverPort(); }
    QString Base() const { return QStringLiteral("http://127.0.0.1:%1").arg(Port()); }
    int Connections() const { return FConnections; }
    // Connections the client has closed (or reset) so far.
    int Disconnects() const { return FDisconnects; }
    // Body bytes written in Flood mode.
    qint64 flooded = 0;
    int trickleIntervalMs = 200;
    QList<Request> requests;

    Mode mode = Mode::Answer;
    int status = 200;
    QByteArray contentType = "application/json; charset=utf-8";
    QByteArray body = R"({"status":1,"info":"ok"})";
    QByteArray extraHeaders; // whole lines, each ending in "\r\n"
    // Called with each complete request before it is answered.
    std::function<void(const Request&)> onRequest;

    // Answers requests whose answer was held back (Silent mode) with the current reply.
    void ReleaseHeld() {
        for (const auto& s : FHeld)
            if (s)
                Respond(s);
        FHeld.clear();
    }

private:
    void Accept() {
        while (QTcpSocket* s = FServer.nextPendingConnection()) {
            ++FConnections;
            s->setParent(this);
            if (mode == Mode::Close) {
                s->abort();
                s->deleteLater();
                continue;
            }
            connect(s, &QTcpSocket::readyRead, this, [this, s] { Read(s); });
            connect(s, &QTcpSocket::disconnected, this, [this, s] {
                ++FDisconnects;
                FBuffers.remove(s);
                s->deleteLater();
            });
        }
    }

    void Read(QTcpSocket* s) {
        QByteArray& buf = FBuffers[s];
        buf += s->readAll();
        while (true) {
            const qsizetype headEnd = buf.indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            Request r;
            r.head = buf.left(headEnd + 4);
            const qsizetype length = r.Header("Content-Length").toLongLong();
            if (buf.size() < headEnd + 4 + length)
                return;
            r.body = buf.mid(headEnd + 4, length);
            r.raw = buf.left(headEnd + 4 + length);
            buf.remove(0, r.raw.size());
            requests.append(r);
            if (onRequest)
                onRequest(r);
            switch (mode) {
            case Mode::Answer:
                Respond(s);
                break;
            case Mode::Silent:
                FHeld.append(s);
                break;
            case Mode::HeadersThenSilent:
                s->write(
                    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100\r\n\r\n{\"sta");
                break;
            case Mode::Close:
                s->abort();
                return;
            case Mode::Trickle:
                Trickle(s);
                break;
            case Mode::Flood:
                Flood(s);
                break;
            }
        }
    }

    void Respond(QTcpSocket* s) {
        QByteArray out =
            "HTTP/1.1 " + QByteArray::number(status) + (status < 400 ? " OK" : " Error") + "\r\n";
        if (!contentType.isEmpty())
            out += "Content-Type: " + contentType + "\r\n";
        out += extraHeaders;
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        s->write(out);
    }

    // Headers, then one byte of a long body every trickleIntervalMs: always progress, never done.
    void Trickle(QTcpSocket* s) {
        s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100000\r\n\r\n");
        auto* timer = new QTimer(s);
        connect(timer, &QTimer::timeout, s, [s] { s->write(" "); });
        timer->start(trickleIntervalMs);
    }

    // Headers announcing a huge body, then body bytes as fast as the client takes them.
    void Flood(QTcpSocket* s) {
        s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100000000000\r\n\r\n");
        const QByteArray chunk(64 * 1024, ' ');
        auto more = [this, s, chunk] {
            while (s->state() == QAbstractSocket::ConnectedState && s->bytesToWrite() < 4 * chunk.size()) {
                s->write(chunk);
                flooded += chunk.size();
            }
        };
        connect(s, &QTcpSocket::bytesWritten, s, more);
        more();
    }

    QTcpServer FServer;
    int FConnections = 0;
    int FDisconnects = 0;
    QHash<QTcpSocket*, QByteArray> FBuffers;
    QList<QPointer<QTcpSocket>> FHeld;
};
