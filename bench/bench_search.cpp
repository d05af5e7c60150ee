// quillet-bench-search: how many boards one LAN search (TNEV_IOTUDP, one request, one search
// window) reports. It broadcasts, so it runs only inside a private network namespace (see
// bench/run-search-bench); it refuses to run in the machine's own one. Prints figures only.
#include "BenchSearch.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "One LAN search with TNEV_IOTUDP; prints how many boards answered within the search window.\n"
        "Runs only inside a private network namespace; use bench/run-search-bench."));
    parser.addHelpOption();
    const bench::SearchOptions searchOpts;
    parser.addOptions(searchOpts.All());
    parser.process(app);

    const auto searchTarget = searchOpts.Read(parser, "quillet-bench-search", "bench/run-search-bench");
    if (!searchTarget)
        return 2;
    const QHostAddress broadcast = searchTarget->Broadcast;
    const quint16 port = searchTarget->Port;
    const int windowMs = searchTarget->WindowMs;
    const int expect = searchTarget->Expect;

    TNEV_IOTUDP search(port, broadcast);
    search.setSearchWindowMs(windowMs);
    if (!search.setActive(true)) {
        std::fprintf(stderr, "quillet-bench-search: cannot bind port %u: %s\n", unsigned(port),
                     qPrintable(search.ErrorString()));
        return 1;
    }
    QElapsedTimer clock;
    qint64 reports = 0;
    qint64 lastMs = -1;
    QSet<QByteArray> macs;
    search.OnUDPReceive = [&](const TUDPRcvRcd& rcd) {
        ++reports;
        lastMs = clock.elapsed();
        macs.insert(QByteArray(reinterpret_cast<const char*>(rcd.DevMAC.data()), int(rcd.DevMAC.size())));
    };
    search.OnUDPTimeOut = [&app] { app.quit(); };
    clock.start();
    if (!search.SearchDevice()) {
        std::fprintf(stderr, "quillet-bench-search: the search request was not sent: %s\n",
                     qPrintable(search.ErrorString()));
        return 1;
    }
    app.exec();

    std::printf("quillet-bench-search: one search to %s:%u, window %d ms\n", qPrintable(broadcast.toString()),
                unsigned(port), windowMs);
    std::printf("  answers reported   %lld (%lld distinct boards)", static_cast<long long>(reports),
                static_cast<long long>(macs.size()));
    if (expect > 0)
        std::printf(" of %d on the LAN   (goal: all %d: %s)", expect, expect,
                    macs.size() >= expect ? "met" : "not met");
    std::printf("\n  last answer at     %lld ms after the request\n", static_cast<long long>(lastMs));
    const auto sysctl = [](const char* path) {
        QFile f(QString::fromLatin1(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray("?");
    };
    std::printf("  system limits      net.core.rmem_default %s, net.core.rmem_max %s\n",
                sysctl("/proc/sys/net/core/rmem_default").constData(),
                sysctl("/proc/sys/net/core/rmem_max").constData());
    std::fflush(stdout);
    return 0;
}
