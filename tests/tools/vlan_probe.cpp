// Runs inside the "pc" namespace of tools/virtual-lan and reports what it sees, one line per
// finding, for tst_virtual-lan to check: the LAN search, a login to every board, relay logins with
// right and wrong credentials, and the router join list.
#include "RelaySim.h"
#include "SimFrames.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>

namespace {

void Out(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Runs the event loop until `done` or the time is up.
template <typename Pred> bool Until(Pred done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

QList<QByteArray> Broadcast(quint16 port, const QByteArray& datagram, int expected) {
    QUdpSocket u;
    QList<QByteArray> got;
    if (!u.bind(QHostAddress::AnyIPv4, port)) {
        Out("bind-failed " + u.errorString());
        return got;
    }
    QObject::connect(&u, &QUdpSocket::readyRead, [&] {
        while (u.hasPendingDatagrams()) {
            const QByteArray d = u.receiveDatagram().data();
            if (d != datagram) // our own broadcast comes back too
                got.append(d);
        }
    });
    u.writeDatagram(datagram, QHostAddress::Broadcast, port);
    Until([&] { return got.size() >= expected; }, 5000);
    return got;
}

QByteArray Exchange(QTcpSocket& s, const QByteArray& bytes, qsizetype want) {
    QByteArray in;
    QObject::connect(&s, &QTcpSocket::readyRead, &s, [&] { in += s.readAll(); });
    s.write(bytes);
    Until([&] { return in.size() >= want || s.state() != QAbstractSocket::ConnectedState; }, 3000);
    QObject::disconnect(&s, &QTcpSocket::readyRead, nullptr, nullptr);
    return in;
}

} // namespace

// The probe broadcasts: it runs only where the virtual LAN's "pc" side is the whole network.
bool InsideVirtualLan() {
    bool veth = false;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        if (i.name() == QLatin1String("veth-pc"))
            veth = true;
        else if (!(i.flags() & QNetworkInterface::IsLoopBack))
            return false;
    }
    return veth;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!InsideVirtualLan()) {
        std::fprintf(stderr, "vlan_probe: refusing to run outside the virtual LAN's \"pc\" namespace\n");
        return 2;
    }
    const QStringList ips = qEnvironmentVariable("QUILLET_VLAN_BOARD_IPS").split(' ', Qt::SkipEmptyParts);
    const QStringList macs = qEnvironmentVariable("QUILLET_VLAN_BOARD_MACS").split(' ', Qt::SkipEmptyParts);

    // LAN search.
    const QList<QByteArray> answers = Broadcast(1901, QByteArray::fromHex("FF010102"), int(ips.size()));
    QStringList found;
    for (const QByteArray& d : answers) {
        const auto rec = TUDPRcvRcd::FromBytes(d);
        if (!rec || sim::Sum8(d) != 0 || !d.startsWith(QByteArray::fromHex("FF2401")))
            continue;
        found << QStringLiteral("found %1 %2 %3")
                     .arg(MACBufToStr(rec->DevMAC), IPBufToStr(rec->DevIP), Utf8BufToStr(rec->DevName));
    }
    found.sort();
    Out(QStringLiteral("search %1").arg(found.size()));
    for (const QString& f : found)
        Out(f);

    // Each board on its own address at port 8899.
    for (const QString& ip : ips) {
        QTcpSocket s;
        s.connectToHost(ip, 8899);
        if (!s.waitForConnected(3000)) {
            Out("login " + ip + " unreachable");
            continue;
        }
        const QByteArray ok = Exchange(s, "qorvu\r\n", 2);
        const QByteArray reply = Exchange(s, sim::RequestFrame(QByteArray::fromHex("7E")), 12);
        Out(QStringLiteral("login %1 %2 %3")
                .arg(ip, QString::fromLatin1(ok), QString::fromLatin1(reply.toHex())));
    }

    // Relay logins.
    const QString relayHost = qEnvironmentVariable("QUILLET_VLAN_RELAY_HOST");
    if (!relayHost.isEmpty() && !macs.isEmpty()) {
        for (const QByteArray& password : {QByteArray("demo"), QByteArray("wrong")}) {
            relay::LoginBlock b;
            MACStrToBuf(macs.first(), b.mac);
            std::copy_n("demo", 4, b.account.begin());
            std::copy_n(password.constData(), password.size(), b.password.begin());
            QTcpSocket s;
            s.connectToHost(relayHost, quint16(qEnvironmentVariableIntValue("QUILLET_VLAN_RELAY_PORT")));
            if (!s.waitForConnected(3000)) {
                Out("relay unreachable");
                continue;
            }
            const QByteArray answer = Exchange(s, relay::EncodeLoginBlock(b), 3);
            QByteArray reply;
            if (answer.startsWith("$1"))
                reply = Exchange(s, sim::RequestFrame(QByteArray::fromHex("7E")), 12);
            Out(QStringLiteral("relay %1 %2 %3")
                    .arg(QString::fromLatin1(password), QString::fromUtf8(answer),
                         QString::fromLatin1(reply.toHex())));
        }
    }

    // Router join list: one answer per board with the router capability (as many as the first
    // argument says, else one per board).
    const int routers = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : int(ips.size());
    const QList<QByteArray> lists = Broadcast(1902, QByteArray::fromHex("FF00010102"), routers);
    Out(QStringLiteral("router %1").arg(lists.size()));
    return 0;
}
