// What the search benchmarks share: their command-line options for the search and the checks
// before they may broadcast (an IPv4 broadcast address, a private network namespace).
#pragma once

#include "BenchUtil.h"
#include "untIOTUDP.h"

#include <QCommandLineParser>
#include <QHostAddress>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace bench {

struct SearchTarget {
    QHostAddress Broadcast;
    quint16 Port = 0;
    int WindowMs = 0;
    int Expect = 0;
};

class SearchOptions {
public:
    SearchOptions()
        : FBroadcast(QStringLiteral("broadcast"),
                     QStringLiteral("Broadcast address of the namespace (required)."),
                     QStringLiteral("ADDR")),
          FPort(QStringLiteral("port"), QStringLiteral("Search port (default 1901)."), QStringLiteral("PORT"),
                QString::number(DefaultUDPSCanPort)),
          FWindow(QStringLiteral("window-ms"), QStringLiteral("Search window (default 3000)."),
                  QStringLiteral("MS"), QString::number(SearchWindowMs)),
          FExpect(QStringLiteral("expect"), QStringLiteral("Boards on the LAN, for the figures."),
                  QStringLiteral("N"), QStringLiteral("0")) {}

    QList<QCommandLineOption> All() const { return {FBroadcast, FPort, FWindow, FExpect}; }

    // The target, or nothing after saying why on stderr (the program then exits with 2).
    std::optional<SearchTarget> Read(const QCommandLineParser& parser, const char* program,
                                     const char* runWith) const {
        SearchTarget t;
        t.Broadcast = QHostAddress(parser.value(FBroadcast));
        if (t.Broadcast.isNull() || t.Broadcast.protocol() != QAbstractSocket::IPv4Protocol) {
            std::fprintf(stderr, "%s: --broadcast needs an IPv4 address\n", program);
            return std::nullopt;
        }
        QString why;
        if (!InPrivateNamespace(why)) {
            std::fprintf(stderr, "%s: refusing to broadcast: %s (run it through %s)\n", program,
                         qPrintable(why), runWith);
            return std::nullopt;
        }
        t.Port = quint16(parser.value(FPort).toUInt());
        t.WindowMs = std::max(1, parser.value(FWindow).toInt());
        t.Expect = parser.value(FExpect).toInt();
        return t;
    }

private:
    QCommandLineOption FBroadcast, FPort, FWindow, FExpect;
};

} // namespace bench
