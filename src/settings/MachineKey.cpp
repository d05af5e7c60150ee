#include "MachineKey.h"

#include <QFileInfo>
#include <QNetworkInterface>

#include <algorithm>
#include <optional>
#include <tuple>

namespace {

// One key for the whole run: whatever the network adapters do meanwhile, every password read or
// stored in this run must use the same key.
std::optional<QString>& StoredKey() {
    static std::optional<QString> key;
    return key;
}

QByteArray ParseHardwareAddress(const QString& text) {
    // Qt writes "AA:BB:CC:DD:EE:FF"; anything else (tunnels, empty) is not usable.
    QByteArray out;
    for (const QString& part : text.split(u':', Qt::SkipEmptyParts)) {
        bool ok = false;
        const uint v = part.toUInt(&ok, 16);
        if (!ok || v > 0xFF || part.size() > 2)
            return {};
        out.append(char(v));
    }
    return out;
}

bool IsUsable(const TNetAdapter& a) {
    const QByteArray& mac = a.HardwareAddress;
    if (a.Loopback || mac.size() != 6)
        return false;
    if (mac == QByteArray(6, '\0') || mac == QByteArray(6, '\xFF'))
        return false;
    return (quint8(mac[0]) & 0x01) == 0; // multicast bit
}

bool IsLocallyAdministered(const TNetAdapter& a) {
    return (quint8(a.HardwareAddress[0]) & 0x02) != 0;
}

} // namespace

TNetAdapters SystemNetAdapters() {
    TNetAdapters out;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& ni : interfaces) {
        TNetAdapter a;
        a.Name = ni.name();
        a.HardwareAddress = ParseHardwareAddress(ni.hardwareAddress());
        a.Loopback =
            ni.type() == QNetworkInterface::Loopback || ni.flags().testFlag(QNetworkInterface::IsLoopBack);
#ifdef Q_OS_LINUX
        // Bridges, veth pairs, tunnels and container links have no backing device and come and
        // go; they must not decide the key.
        a.Physical = QFileInfo::exists(QStringLiteral("/sys/class/net/%1/device").arg(ni.name()));
#else
        a.Physical = ni.type() == QNetworkInterface::Ethernet || ni.type() == QNetworkInterface::Wifi;
#endif
        out.append(a);
    }
    return out;
}

QString BuildMachineKey(const TNetAdapters& adapters) {
    const TNetAdapter* best = nullptr;
    auto rank = [](const TNetAdapter& a) {
        return std::tuple(!a.Physical, IsLocallyAdministered(a), a.Name, a.HardwareAddress);
    };
    for (const TNetAdapter& a : adapters) {
        if (IsUsable(a) && (!best || rank(a) < rank(*best)))
            best = &a;
    }
    QString key;
    if (best)
        key = QString::fromLatin1(best->HardwareAddress.toHex().toUpper());
    return key.leftJustified(MachineKeyLength, MachineKeyFiller, true);
}

const QString& MachineKey() {
    auto& key = StoredKey();
    if (!key)
        key = BuildMachineKey(SystemNetAdapters());
    return *key;
}

void InitMachineKey() {
    StoredKey() = BuildMachineKey(SystemNetAdapters());
}

void SetMachineKey(const QString& key) {
    StoredKey() = key.leftJustified(MachineKeyLength, MachineKeyFiller, true);
}
