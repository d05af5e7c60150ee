#include "untAddRouter.h"

#include "untEmitScope.h"
#include "untUDPBind.h"

#include <QLoggingCategory>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QPointer>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>

Q_LOGGING_CATEGORY(lcRouter, "quillet.router")

namespace {

quint8 Sum8(QByteArrayView bytes) {
    quint8 sum = 0;
    for (char c : bytes)
        sum = quint8(sum + quint8(c));
    return sum;
}

} // namespace

QString TRouterNet::NameStr() const {
    const QString text = QString::fromUtf8(Name);
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && text.at(e - 1).unicode() <= 0x20)
        --e;
    return text.mid(b, e - b);
}

QString TRouterNet::Caption() const {
    return QStringLiteral("%1   [%2%]").arg(NameStr()).arg(Signal);
}

TSearchRe CheckRouterDatagram(QByteArrayView datagram) {
    TSearchRe re;
    const qsizetype n = datagram.size();
    if (n < 5)
        return re;
    const auto* p = reinterpret_cast<const quint8*>(datagram.data());
    if (p[0] != 0xFF || n != qsizetype(p[1]) * 256 + p[2] + 4)
        return re;
    if (Sum8(datagram.sliced(1, n - 2)) != p[n - 1])
        return re;
    re.isOk = true;
    re.CMD = p[3];
    re.Buf = datagram.sliced(4, n - 5).toByteArray();
    return re;
}

QByteArray BuildRouterDatagram(QByteArrayView payload) {
    const qsizetype n = payload.size();
    if (n > 0xFFFF)
        return {};
    QByteArray d;
    d.reserve(n + 4);
    d.append(char(0xFF));
    d.append(char(n >> 8));
    d.append(char(n & 0xFF));
    d.append(payload.data(), n);
    d.append(char(Sum8(QByteArrayView(d).sliced(1))));
    return d;
}

TRouterNets ParseRouterList(QByteArrayView data, int AMax) {
    TRouterNets nets;
    if (data.size() < 2 || AMax <= 0)
        return nets;
    const QByteArrayView scan = data.sliced(1); // the first data byte is not used
    qsizetype start = 0;
    for (qsizetype j = 1; j < scan.size(); ++j) {
        if (scan[j] != '\n' || scan[j - 1] != '\r')
            continue;
        // A record ends in: one unused byte, the signal, CR, LF. Shorter ones are skipped.
        if (j - 3 >= start) {
            TRouterNet net;
            net.Name = scan.sliced(start, j - 3 - start).toByteArray();
            net.Signal = quint8(scan[j - 2]);
            nets.append(net);
            if (nets.size() >= AMax)
                break;
        }
        start = j + 1;
    }
    return nets;
}

std::optional<TRouterJoinResult> ParseJoinResult(QByteArrayView data) {
    if (data.size() != 2)
        return std::nullopt;
    const quint8 a = quint8(data[0]), b = quint8(data[1]);
    if (a == 0x00)
        return TRouterJoinResult::JOIN_NOSSID;
    if (a == 0x01 && b == 0x00)
        return TRouterJoinResult::JOIN_PSDERR;
    if (a == 0x01 && b == 0x01)
        return TRouterJoinResult::JOIN_OK;
    return std::nullopt;
}

QByteArray BuildJoinPayload(QByteArrayView name, QByteArrayView password) {
    QByteArray p;
    p.reserve(name.size() + password.size() + 4);
    p.append(char(ROUTER_CMD_JOIN));
    p.append('\0');
    p.append(name.data(), name.size());
    p.append("\r\n", 2);
    p.append(password.data(), password.size());
    return p;
}

TAddRouter::TAddRouter(quint16 APort, const QHostAddress& ABroadcast, quint16 ATargetPort, QObject* parent)
    : QObject(parent), FUDPSvr(new QUdpSocket(this)), FUDPtmr(new QTimer(this)), FPort(APort),
      FBroadcast(ABroadcast), FTargetPort(ATargetPort) {
    FUDPSvr->setProxy(QNetworkProxy::NoProxy);
    FUDPtmr->setSingleShot(true);
    connect(FUDPtmr, &QTimer::timeout, this, [this] {
        TEmitScope scope(FEmittingStack, this, FUDPtmr);
        if (OnRouterSearchEnd) {
            auto h = OnRouterSearchEnd;
            h();
        }
    });
    connect(FUDPSvr, &QUdpSocket::readyRead, this, [this] {
        TEmitScope scope(FEmittingStack, this, FUDPSvr);
        ReadDatagrams();
    });
    Listen();
}

TAddRouter::~TAddRouter() {
    FUDPSvr->disconnect(this);
    FUDPtmr->disconnect(this);
    FUDPtmr->stop();
    if (!FEmittingStack.contains(FUDPSvr))
        FUDPSvr->close();
    TEmitScope::ReleaseEmitting(FEmittingStack, this);
}

bool TAddRouter::isListening() const {
    return FUDPSvr->state() == QAbstractSocket::BoundState;
}

bool TAddRouter::Listen() {
    if (isListening())
        return true;
    if (const auto error = BindUDPPort(*FUDPSvr, FPort)) {
        FError = *error;
        qCDebug(lcRouter) << "cannot bind router port" << FPort << FError;
        return false;
    }
    FError.clear();
    return true;
}

quint16 TAddRouter::LocalPort() const {
    return isListening() ? FUDPSvr->localPort() : 0;
}

quint16 TAddRouter::TargetPort() const {
    if (FTargetPort != 0)
        return FTargetPort;
    return FPort != 0 ? FPort : LocalPort();
}

bool TAddRouter::Searching() const {
    return FUDPtmr->isActive();
}

bool TAddRouter::SendPayload(QByteArrayView payload) {
    if (!Listen())
        return false;
    const QByteArray d = BuildRouterDatagram(payload);
    if (d.isEmpty())
        return false;
    if (FUDPSvr->writeDatagram(d, FBroadcast, TargetPort()) != d.size()) {
        FError = FUDPSvr->errorString();
        qCDebug(lcRouter) << "router datagram not sent:" << FError;
        return false;
    }
    return true;
}

bool TAddRouter::Search() {
    FNets.clear();
    FUDPtmr->start(FTimeoutMs);
    const char cmd = char(ROUTER_CMD_LIST);
    return SendPayload(QByteArrayView(&cmd, 1));
}

QByteArray TAddRouter::NameBytes(int AListIndex, const QString& ATypedName) const {
    if (AListIndex >= 1 && AListIndex <= FNets.size())
        return FNets.at(AListIndex - 1).Name;
    return ATypedName.toLocal8Bit();
}

bool TAddRouter::Add(int AListIndex, const QString& ATypedName, const QString& APassword) {
    return AddRaw(NameBytes(AListIndex, ATypedName), APassword.toLocal8Bit());
}

bool TAddRouter::AddRaw(QByteArrayView name, QByteArrayView password) {
    return SendPayload(BuildJoinPayload(name, password));
}

void TAddRouter::ReadDatagrams() {
    QPointer<TAddRouter> self(this);
    while (self && FUDPSvr->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = FUDPSvr->receiveDatagram();
        if (!datagram.isValid())
            break;
        if (!HandleDatagram(datagram.data()))
            return;
    }
}

void TAddRouter::MergeList(const TRouterNets& nets) {
    // Several boards may answer one search: every name keeps its own bytes, a name seen twice is
    // listed once with the stronger signal, so list positions never shift.
    for (const TRouterNet& net : nets) {
        auto it =
            std::find_if(FNets.begin(), FNets.end(), [&](const TRouterNet& n) { return n.Name == net.Name; });
        if (it != FNets.end())
            it->Signal = std::max(it->Signal, net.Signal);
        else if (FNets.size() < MaxKeptNets)
            FNets.append(net);
    }
}

bool TAddRouter::HandleDatagram(const QByteArray& datagram) {
    const TSearchRe re = CheckRouterDatagram(datagram);
    if (!re.isOk)
        return true;
    QPointer<TAddRouter> self(this);
    if (re.CMD == ROUTER_CMD_LIST_REPLY) {
        MergeList(ParseRouterList(re.Buf));
        if (OnRouterList) {
            auto h = OnRouterList;
            h(FNets);
        }
    } else if (re.CMD == ROUTER_CMD_JOIN_REPLY) {
        const auto result = ParseJoinResult(re.Buf);
        if (result && OnJoinResult) {
            auto h = OnJoinResult;
            h(*result);
        }
    }
    return !self.isNull();
}
