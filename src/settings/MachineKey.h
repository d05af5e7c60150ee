// The per-computer key of the stored passwords: the hardware address of the computer's first
// network adapter as twelve uppercase hexadecimal digits, padded with a filler digit to 16.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One network adapter as the key sees it.
struct TNetAdapter {
    QString Name;               // system name, e.g. "enp3s0"
    QByteArray HardwareAddress; // raw bytes; only 6-byte addresses qualify
    bool Loopback = false;
    bool Physical = false; // backed by a device, not a bridge/tunnel/container link
};
using TNetAdapters = QList<TNetAdapter>;

inline constexpr int MachineKeyLength = 16;
inline constexpr QChar MachineKeyFiller = u'0';

// The computer's adapters, as read from the system (down adapters included, so that switching
// WiFi off does not change the key).
TNetAdapters SystemNetAdapters();

// Picks the first adapter in an order that does not depend on enumeration order: skips
// loopback, addresses that are not 6 bytes, all-zero, all-FF and multicast addresses; prefers
// physical adapters, then globally assigned addresses, then the lowest name. No usable adapter
// gives sixteen filler digits.
QString BuildMachineKey(const TNetAdapters& adapters);

// The key of this run, built from SystemNetAdapters() on first use and kept until exit.
const QString& MachineKey();
// Rebuilds the key from the system now (start-up).
void InitMachineKey();
// Replaces the key of this run (tests, tools); cut or filler-padded to 16 characters.
void SetMachineKey(const QString& key);
