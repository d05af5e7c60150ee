// The bind shared by the LAN search and the router join.
#pragma once

#include <QHostAddress>
#include <QString>
#include <QUdpSocket>

#include <optional>

// Binds the socket to APort on every IPv4 address, not shared: a port held by another program
// must be reported, not silently split. Gives the reason on failure and leaves the socket closed.
inline std::optional<QString> BindUDPPort(QUdpSocket& ASocket, quint16 APort) {
    if (ASocket.bind(QHostAddress::AnyIPv4, APort, QAbstractSocket::DontShareAddress))
        return std::nullopt;
    const QString error = ASocket.errorString();
    ASocket.close();
    return error;
}
