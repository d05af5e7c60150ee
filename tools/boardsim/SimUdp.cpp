#include "SimUdp.h"

#include "SimFrames.h"

#include <QNetworkDatagram>

namespace sim {

namespace {

const QByteArray SearchRequestBytes = QByteArray::fromHex("FF010102");
constexpr quint8 RouterCapability = 0x04;

} // namespace

SearchResponder::SearchResponder(QList<AdvertisedBoard> boards, int spreadMs, QObject* parent)
    : QObject(parent), FBoards(std::move(boards)), FSpreadMs(spreadMs) {
    FClock.start();
    FTimer.setSingleShot(true);
    FTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTimer, &QTimer::timeout, this, &SearchResponder::SendDue);
    connect(&FSocket, &QUdpSocket::readyRead, this, &SearchResponder::OnReadyRead);
}

bool SearchResponder::Bind(const QHostAddress& address, quint16 port, QString* error) {
    if (FSocket.bind(address, port, QUdpSocket::DefaultForPlatform))
        return true;
    if (error)
        *error = FSocket.errorString();
    return false;
}

void SearchResponder::OnReadyRead() {
    while (FSocket.hasPendingDatagrams()) {
        const QNetworkDatagram d = FSocket.receiveDatagram();
        if (d.data() != SearchRequestBytes)
            continue;
        qCDebug(lcBoardSim).noquote() << "search from" << d.senderAddress().toString() << d.senderPort();
        const qint64 now = FClock.elapsed();
        const qsizetype n = FBoards.size();
        for (qsizetype i = 0; i < n; ++i) {
            const qint64 due = n > 1 ? now + FSpreadMs * i / (n - 1) : now;
            Pending p{due, FBoards.at(i).board->SearchAnswer(FBoards.at(i).ip), d.senderAddress(),
                      quint16(d.senderPort())};
            auto at = std::upper_bound(FPending.begin(), FPending.end(), due,
                                       [](qint64 v, const Pending& e) { return v < e.due; });
            FPending.insert(at, std::move(p));
        }
    }
    SendDue();
}

void SearchResponder::SendDue() {
    const qint64 now = FClock.elapsed();
    while (!FPending.isEmpty() && FPending.first().due <= now) {
        const Pending p = FPending.takeFirst();
        FSocket.writeDatagram(p.datagram, p.to, p.port);
    }
    if (!FPending.isEmpty())
        FTimer.start(int(FPending.first().due - now));
}

RouterResponder::RouterResponder(QList<Board*> boards, QList<WifiNetwork> networks, QObject* parent)
    : QObject(parent), FBoards(std::move(boards)), FNetworks(std::move(networks)) {
    connect(&FSocket, &QUdpSocket::readyRead, this, &RouterResponder::OnReadyRead);
}

bool RouterResponder::Bind(const QHostAddress& address, quint16 port, QString* error) {
    if (FSocket.bind(address, port, QUdpSocket::DefaultForPlatform))
        return true;
    if (error)
        *error = FSocket.errorString();
    return false;
}

QByteArray RouterResponder::Datagram(const QByteArray& payload) {
    QByteArray d;
    d.append('\xFF');
    d.append(char((payload.size() >> 8) & 0xFF)).append(char(payload.size() & 0xFF));
    d.append(payload);
    d.append(char(Sum8(QByteArrayView(d).sliced(1))));
    return d;
}

QByteArray RouterResponder::Payload(const QByteArray& d) {
    if (d.size() < 5 || quint8(d.at(0)) != 0xFF)
        return {};
    const int len = quint8(d.at(1)) * 256 + quint8(d.at(2));
    if (d.size() != len + 4 || Sum8(QByteArrayView(d).sliced(1, d.size() - 2)) != quint8(d.back()))
        return {};
    return d.mid(3, len);
}

QByteArray RouterResponder::JoinResult(Board* board, const QByteArray& ssid,
                                       const QByteArray& password) const {
    for (const WifiNetwork& net : FNetworks) {
        if (net.ssid != ssid)
            continue;
        if (net.password != password)
            return QByteArray::fromHex("820100");
        board->SetJoined(ssid);
        return QByteArray::fromHex("820101");
    }
    return QByteArray::fromHex("820000");
}

void RouterResponder::OnReadyRead() {
    while (FSocket.hasPendingDatagrams()) {
        const QNetworkDatagram d = FSocket.receiveDatagram();
        const QByteArray payload = Payload(d.data());
        if (payload.isEmpty())
            continue;
        const quint8 cmd = quint8(payload.at(0));
        QList<QByteArray> answers;
        if (cmd == 0x01) {
            QByteArray list = QByteArray::fromHex("8100");
            for (const WifiNetwork& net : FNetworks)
                list += net.ssid + '\0' + char(net.signal) + "\r\n";
            for (Board* b : FBoards)
                if (b->Config().ctrl & RouterCapability)
                    answers.append(list);
        } else if (cmd == 0x02 && payload.size() >= 2 && payload.at(1) == '\0') {
            const QByteArray rest = payload.mid(2);
            const qsizetype crlf = rest.indexOf("\r\n");
            if (crlf < 0)
                continue;
            const QByteArray ssid = rest.left(crlf), password = rest.mid(crlf + 2);
            qCDebug(lcBoardSim).noquote() << "router join" << ssid << "from" << d.senderAddress().toString();
            for (Board* b : FBoards)
                if (b->Config().ctrl & RouterCapability)
                    answers.append(JoinResult(b, ssid, password));
        }
        for (const QByteArray& a : answers)
            FSocket.writeDatagram(Datagram(a), d.senderAddress(), quint16(d.senderPort()));
    }
}

} // namespace sim
