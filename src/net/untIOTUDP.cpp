#include "untIOTUDP.h"

#include "untEmitScope.h"
#include "untUDPBind.h"

#include <QLoggingCategory>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QPointer>
#include <QTimer>
#include <QUdpSocket>

#include <limits>

Q_LOGGING_CATEGORY(lcUdp, "quillet.udp")

namespace {

quint8 Sum8(QByteArrayView bytes) {
    quint8 sum = 0;
    for (char c : bytes)
        sum = quint8(sum + quint8(c));
    return sum;
}

// Receive buffer asked for the search socket. Linux grants twice what is asked, up to twice
// net.core.rmem_max: at least 416 KiB on a default system, room for about 500 answers of some
// 830 bytes of buffer each.
constexpr int SearchReceiveBufferBytes = 256 * 1024;

// Answers read but not reported yet, at most: more than any LAN holds boards. A flood beyond it
// is dropped instead of growing without end.
constexpr size_t MaxQueuedAnswers = 4096;

} // namespace

std::optional<TUDPRcvRcd> ParseSearchAnswer(QByteArrayView datagram) {
    if (datagram.size() != TUDPRcvRcd::Size || Sum8(datagram) != 0)
        return std::nullopt;
    const auto* p = reinterpret_cast<const quint8*>(datagram.data());
    if (p[0] != 0xFF || p[1] != 0x24 || p[2] != 0x01 || p[3] == 0)
        return std::nullopt;
    return TUDPRcvRcd::FromBytes(datagram.toByteArray());
}

QByteArray BuildSearchAnswer(TUDPRcvRcd rcd) {
    rcd.Head = {0xFF, 0x24, 0x01};
    rcd.CHK = 0;
    QByteArray bytes = rcd.ToBytes();
    bytes[TUDPRcvRcd::Size - 1] = char(quint8(0x100 - Sum8(bytes.left(TUDPRcvRcd::Size - 1))));
    return bytes;
}

TNEV_IOTUDP::TNEV_IOTUDP(quint16 APort, QObject* parent)
    : TNEV_IOTUDP(APort, QHostAddress(QHostAddress::Broadcast), 0, parent) {}

TNEV_IOTUDP::TNEV_IOTUDP(quint16 APort, const QHostAddress& ABroadcast, quint16 ATargetPort, QObject* parent)
    : QObject(parent), FUDPSvr(new QUdpSocket(this)), FUDPtmr(new QTimer(this)), FPort(APort),
      FBroadcast(ABroadcast), FTargetPort(ATargetPort) {
    FUDPSvr->setProxy(QNetworkProxy::NoProxy);
    FUDPtmr->setSingleShot(true);
    connect(FUDPtmr, &QTimer::timeout, this, [this] {
        TEmitScope scope(FEmittingStack, this, FUDPtmr);
        WindowEnded();
    });
    connect(FUDPSvr, &QUdpSocket::readyRead, this, [this] {
        TEmitScope scope(FEmittingStack, this, FUDPSvr);
        ReadDatagrams();
    });
}

TNEV_IOTUDP::~TNEV_IOTUDP() {
    FUDPSvr->disconnect(this);
    FUDPtmr->disconnect(this);
    FUDPtmr->stop();
    if (!FEmittingStack.contains(FUDPSvr))
        FUDPSvr->close();
    TEmitScope::ReleaseEmitting(FEmittingStack, this);
}

bool TNEV_IOTUDP::Active() const {
    return FUDPSvr->state() == QAbstractSocket::BoundState;
}

bool TNEV_IOTUDP::setActive(bool AValue) {
    if (AValue == Active())
        return true;
    if (!AValue) {
        FUDPSvr->close();
        FAnswers.clear(); // a released search reports nothing more
        return true;
    }
    if (const auto error = BindUDPPort(*FUDPSvr, FPort)) {
        FError = *error;
        qCDebug(lcUdp) << "cannot bind search port" << FPort << FError;
        return false;
    }
    // Every board answers the one broadcast at about the same moment; the system's default
    // receive buffer holds some 250 answers, and a busy event loop loses the rest.
    FUDPSvr->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, SearchReceiveBufferBytes);
    FError.clear();
    return true;
}

quint16 TNEV_IOTUDP::LocalPort() const {
    return Active() ? FUDPSvr->localPort() : 0;
}

quint16 TNEV_IOTUDP::TargetPort() const {
    if (FTargetPort != 0)
        return FTargetPort;
    return FPort != 0 ? FPort : LocalPort();
}

bool TNEV_IOTUDP::Searching() const {
    return FUDPtmr->isActive();
}

bool TNEV_IOTUDP::SearchDevice() {
    bool sent = false;
    if (Active()) {
        sent = FUDPSvr->writeDatagram(SearchRequest, FBroadcast, TargetPort()) == SearchRequest.size();
        if (!sent) {
            FError = FUDPSvr->errorString();
            qCDebug(lcUdp) << "search request not sent:" << FError;
        }
    }
    FUDPtmr->start(FWindowMs);
    return sent;
}

void TNEV_IOTUDP::ReadDatagrams() {
    while (FUDPSvr->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = FUDPSvr->receiveDatagram();
        if (!datagram.isValid())
            break; // a socket error, not a datagram; the next readyRead resumes
        const auto rcd = ParseSearchAnswer(datagram.data());
        if (rcd && FAnswers.size() < MaxQueuedAnswers)
            FAnswers.push_back(*rcd);
    }
    ReportAnswers();
}

void TNEV_IOTUDP::ReportAnswers(int ALimit) {
    QPointer<TNEV_IOTUDP> self(this);
    for (int n = 0; n < ALimit && !FAnswers.empty(); ++n) {
        const TUDPRcvRcd rcd = FAnswers.front();
        FAnswers.pop_front();
        if (!OnUDPReceive)
            continue;
        auto h = OnUDPReceive;
        h(rcd);
        if (!self)
            return;
    }
    if (!FAnswers.empty() && !FReportQueued) {
        FReportQueued = true;
        QTimer::singleShot(0, this, [this] {
            FReportQueued = false;
            ReportAnswers();
        });
    }
}

void TNEV_IOTUDP::WindowEnded() {
    FUDPtmr->stop();
    // Answers read within the window but waiting for their pass belong to this search.
    QPointer<TNEV_IOTUDP> self(this);
    ReportAnswers(std::numeric_limits<int>::max());
    if (!self)
        return;
    if (OnUDPTimeOut) {
        auto h = OnUDPTimeOut;
        h();
    }
}
