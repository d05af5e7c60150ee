// Helpers shared by the simulator tests: an independent reply-frame builder and a client socket
// that logs in and collects what a simulated board sends.
#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <utility>

namespace simtest {

inline QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

inline quint8 Sum(const QByteArray& b, qsizetype from, qsizetype to) {
    unsigned s = 0;
    for (qsizetype i = from; i < to; ++i)
        s += quint8(b.at(i));
    return quint8(s);
}

// Frames written out by hand from the protocol's layout.
inline QByteArray Request(const QByteArray& payload) {
    QByteArray f = Hex("55AA");
    f.append(char((payload.size() + 1) >> 8)).append(char((payload.size() + 1) & 0xFF)).append('\0');
    f.append(payload);
    f.append(char(Sum(f, 2, f.size())));
    return f;
}
inline QByteArray Reply(const QByteArray& payload) {
    QByteArray f = Request(payload);
    f[0] = '\xAA';
    f[1] = '\x55';
    return f;
}

// Payloads of the complete reply frames with a good sum in `bytes`, skipping anything else.
inline QList<QByteArray> ReplyPayloads(const QByteArray& bytes) {
    QList<QByteArray> out;
    for (qsizetype i = 0; i + 4 < bytes.size();) {
        if (quint8(bytes[i]) == 0xAA && quint8(bytes[i + 1]) == 0x55) {
            const int len = quint8(bytes[i + 2]) * 256 + quint8(bytes[i + 3]);
            if (len > 0 && i + len + 5 <= bytes.size() &&
                Sum(bytes, i + 2, i + len + 4) == quint8(bytes[i + len + 4])) {
                out.append(bytes.mid(i + 5, len - 1));
                i += len + 5;
                continue;
            }
        }
        ++i;
    }
    return out;
}

class Client : public QObject {
public:
    QTcpSocket socket;
    QByteArray received;
    int reads = 0;
    bool closed = false;

    Client() {
        QObject::connect(&socket, &QTcpSocket::readyRead, this, [this] {
            received += socket.readAll();
            ++reads;
        });
        QObject::connect(&socket, &QTcpSocket::disconnected, this, [this] { closed = true; });
    }
    bool Connect(quint16 port) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return socket.waitForConnected(3000);
    }
    // Sends the password line and waits for the two-byte answer (or the close).
    QByteArray Login(const QByteArray& password) {
        socket.write(password + "\r\n");
        Wait([this] { return received.size() >= 2 || closed; });
        return Take();
    }
    // Runs the event loop until `done` holds after something arrived, or the time is up.
    template <typename Pred> bool Wait(Pred done, int timeoutMs = 3000) {
        if (done())
            return true;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        const auto check = [&] {
            if (done())
                loop.quit();
        };
        QObject::connect(&socket, &QTcpSocket::readyRead, &loop, check);
        QObject::connect(&socket, &QTcpSocket::disconnected, &loop, check);
        timer.start(timeoutMs);
        loop.exec();
        return done();
    }
    QByteArray Take() { return std::exchange(received, {}); }
    void Send(const QByteArray& payload) { socket.write(Request(payload)); }
    // Waits until `n` bytes have arrived and returns them.
    QByteArray Read(qsizetype n, int timeoutMs = 3000) {
        if (!Wait([&] { return received.size() >= n; }, timeoutMs))
            return received; // shorter than asked: the caller's comparison fails and shows it
        const QByteArray b = received.left(n);
        received.remove(0, n);
        return b;
    }
    // Sends a request and returns exactly the bytes of the expected reply's size.
    QByteArray Ask(const QByteArray& payload, qsizetype replyPayloadSize) {
        Send(payload);
        return Read(replyPayloadSize + 6);
    }
};

} // namespace simtest
