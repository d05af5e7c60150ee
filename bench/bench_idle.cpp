// quillet-bench-idle: what holding many logged-in board connections costs while nothing happens:
// N TNEV_IOTDevConn on the LAN path against one quillet-boardsim with N boards on 127.0.0.1 (each
// board its own port), then the CPU time of this process over a quiet period. Prints figures only.
#include "BenchUtil.h"

#include "untIOTDev.h"

#include <QAbstractEventDispatcher>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Each connection and its socket take a descriptor; hundreds need more than the usual soft limit.
void RaiseFileLimit() {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
        lim.rlim_cur = lim.rlim_max;
        setrlimit(RLIMIT_NOFILE, &lim);
    }
}

int CountOnline(const std::vector<std::unique_ptr<TNEV_IOTDevConn>>& conns) {
    int n = 0;
    for (const auto& c : conns)
        n += c->NetState() == TIOTNETSTATE::NET_OK ? 1 : 0;
    return n;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "CPU time of this process while it holds N logged-in board connections and nothing else\n"
        "happens; the boards are one quillet-boardsim on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption boardsOpt(QStringLiteral("boards"),
                                       QStringLiteral("Connections to hold (default 200)."),
                                       QStringLiteral("N"), QStringLiteral("200"));
    const QCommandLineOption secondsOpt(QStringLiteral("seconds"),
                                        QStringLiteral("Length of the quiet period (default 30)."),
                                        QStringLiteral("S"), QStringLiteral("30"));
    const QCommandLineOption simOpt(QStringLiteral("boardsim"),
                                    QStringLiteral("The quillet-boardsim to run."), QStringLiteral("PATH"));
    parser.addOptions({boardsOpt, secondsOpt, simOpt});
    parser.process(app);

    const int boards = std::max(1, parser.value(boardsOpt).toInt());
    bool secondsOk = false;
    const double seconds = parser.value(secondsOpt).toDouble(&secondsOk);
    if (!secondsOk || seconds <= 0) {
        std::fprintf(stderr, "quillet-bench-idle: --seconds takes a positive number\n");
        return 2;
    }
    RaiseFileLimit();
    QLoggingCategory::setFilterRules(QStringLiteral("quillet.*.debug=false"));

    QString error;
    bench::TBoardsimProcess sim;
    if (!sim.Start(bench::BoardsimPath(parser.value(simOpt)), boards, {}, error)) {
        std::fprintf(stderr, "quillet-bench-idle: %s\n", qPrintable(error));
        return 1;
    }

    QEventLoop loop;
    std::vector<std::unique_ptr<TNEV_IOTDevConn>> conns;
    int settled = 0;
    for (quint16 port : sim.Ports()) {
        auto conn = std::make_unique<TNEV_IOTDevConn>();
        conn->setDevIPStr(QStringLiteral("127.0.0.1"));
        conn->setLanPort(port);
        conn->OnIOTDevState = [&settled, &loop, boards](TIOTNETSTYLE, TIOTNETSTATE state) {
            if (state != TIOTNETSTATE::NET_CNNT && state != TIOTNETSTATE::NET_CNNTING && ++settled >= boards)
                loop.quit();
        };
        conn->setNetStyle(TIOTNETSTYLE::NET_LAN);
        conns.push_back(std::move(conn));
    }
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(60000);
    if (settled < boards)
        loop.exec();
    guard.stop();
    const double cpuLogin = bench::OwnCpuSeconds();
    const int online = CountOnline(conns);
    if (online != boards) {
        std::fprintf(stderr, "quillet-bench-idle: only %d of %d connections logged in\n", online, boards);
        return 1;
    }
    for (auto& c : conns)
        c->OnIOTDevState = nullptr;

    // Wake-ups of the event loop during the quiet period: each is work done for nothing.
    qint64 wakeups = 0;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, &app,
                     [&wakeups] { ++wakeups; });

    const double simCpu0 = bench::ProcessCpuSeconds(sim.Pid());
    const double cpu0 = bench::OwnCpuSeconds();
    QEventLoop quiet;
    QTimer::singleShot(int(seconds * 1000), Qt::PreciseTimer, &quiet, &QEventLoop::quit);
    quiet.exec();
    const double cpu = bench::OwnCpuSeconds() - cpu0;
    const double simCpu1 = bench::ProcessCpuSeconds(sim.Pid());
    const int stillOnline = CountOnline(conns);

    const double budget = 0.01 * seconds;
    std::printf("quillet-bench-idle: %d logged-in connections to quillet-boardsim on 127.0.0.1 "
                "(one port per board), held for %.1f s\n",
                boards, seconds);
    std::printf("  logins (start of process to all online)  %.3f s CPU\n", cpuLogin);
    std::printf(
        "  CPU of this process while idle           %.3f s  = %.3f%% of one core   (goal: under %.3f s, "
        "1%% of one core: %s)\n",
        cpu, 100.0 * cpu / seconds, budget, cpu < budget ? "met" : "not met");
    std::printf("  event loop wake-ups while idle           %lld\n", static_cast<long long>(wakeups));
    if (simCpu0 >= 0 && simCpu1 >= 0)
        std::printf("  CPU of quillet-boardsim meanwhile        %.3f s\n", simCpu1 - simCpu0);
    std::printf("  still online at the end                  %d of %d\n", stillOnline, boards);
    std::fflush(stdout);
    return 0;
}
