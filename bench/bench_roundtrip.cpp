// quillet-bench-roundtrip: time from a board command leaving to its reply being decoded, through
// the device connection (TNEV_IOTDevConn logged in on the LAN path, TIOTFrameReader, TNEV_GPIOAPI)
// and, as the floor, through a minimal blocking socket doing the same exchange, side by side in
// one run against one quillet-boardsim on 127.0.0.1. Prints figures; never judges by exit status.
#include "BenchUtil.h"

#include "nevGPIOAPI.h"
#include "nevIOTTCPProtocol.h"
#include "untIOTDev.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MicrosSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

// The floor: one blocking socket, TCP_NODELAY, write the frame, read until the reply frame is whole.
class TFloorClient {
public:
    ~TFloorClient() {
        if (FFd >= 0)
            ::close(FFd);
    }

    bool Open(quint16 port, const QByteArray& password, QString& error) {
        FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (FFd < 0)
            return Fail(error, "socket");
        const int one = 1;
        ::setsockopt(FFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(FFd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
            return Fail(error, "connect");
        const QByteArray line = password + "\r\n";
        if (!WriteAll(line))
            return Fail(error, "write");
        char ok[2];
        if (!ReadExactly(ok, 2) || ok[0] != 'O' || ok[1] != 'K') {
            error = QStringLiteral("floor client: the login was not answered OK");
            return false;
        }
        return true;
    }

    // One request and its whole reply frame (header, then the length it gives).
    bool RoundTrip(const QByteArray& frame) {
        if (!WriteAll(frame))
            return false;
        qsizetype got = 0;
        qsizetype want = 4;
        while (got < want) {
            const ssize_t r = ::recv(FFd, FBuf + got, sizeof FBuf - size_t(got), 0);
            if (r <= 0) {
                if (r < 0 && errno == EINTR)
                    continue;
                return false;
            }
            got += r;
            if (got >= 4)
                want = 5 + (quint8(FBuf[2]) << 8 | quint8(FBuf[3]));
            if (want > qsizetype(sizeof FBuf))
                return false;
        }
        return true;
    }

private:
    bool Fail(QString& error, const char* what) {
        error = QStringLiteral("floor client: %1 failed: %2")
                    .arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    bool WriteAll(const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t w =
                ::send(FFd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
        return true;
    }
    bool ReadExactly(char* out, qsizetype n) {
        qsizetype got = 0;
        while (got < n) {
            const ssize_t r = ::recv(FFd, out + got, size_t(n - got), 0);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return false;
            got += r;
        }
        return true;
    }

    int FFd = -1;
    char FBuf[512];
};

// The program's own road: TCPSend of a framed payload, the received block cut by the frame reader
// and decoded, the decoder's event ending the round trip. The next request leaves from inside that
// event, as the window's query chain does.
class TDevConnClient {
public:
    TDevConnClient() {
        FConn.setClickState(true);
        FConn.OnIOTDevReceive = [this](TNEV_IOTDevConn*, const QByteArray& block) {
            FReader.ReceiveFrames(block, FApi);
        };
        FConn.OnIOTDevState = [this](TIOTNETSTYLE, TIOTNETSTATE state) {
            FState = state;
            if (!FLoop)
                return;
            // Logging in: wait for the outcome. Running: any change means the connection is gone.
            const bool settled = state != TIOTNETSTATE::NET_CNNT && state != TIOTNETSTATE::NET_CNNTING;
            if (FRunning || settled) {
                FFailed = FRunning;
                FLoop->quit();
            }
        };
        FApi.OnOut_One = [this](quint8, quint8, bool) { Replied(); };
        FApi.OnOut_Bools = [this](quint8, const TBools&) { Replied(); };
    }

    bool Login(quint16 port, QString& error) {
        FConn.setDevIPStr(QStringLiteral("127.0.0.1"));
        FConn.setLanPort(port);
        FConn.setNetStyle(TIOTNETSTYLE::NET_LAN);
        if (FState != TIOTNETSTATE::NET_OK)
            Wait(5000);
        if (FState != TIOTNETSTATE::NET_OK) {
            error = QStringLiteral("device connection: login ended in \"%1\"").arg(NetStateText(FState));
            return false;
        }
        return true;
    }

    bool Run(const QByteArray& frame, int count, std::vector<double>* samples) {
        if (count <= 0)
            return true;
        FFrame = frame;
        FLeft = count;
        FSamples = samples;
        FFailed = false;
        FRunning = true;
        SendNext();
        if (FLeft > 0 && !FFailed)
            Wait(30000);
        FRunning = false;
        return !FFailed && FLeft == 0;
    }

private:
    void Wait(int ms) {
        QEventLoop loop;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, [this, &loop] {
            FFailed = true;
            loop.quit();
        });
        guard.start(ms);
        FLoop = &loop;
        loop.exec();
        FLoop = nullptr;
    }
    void SendNext() {
        FStart = Clock::now();
        if (!FConn.TCPSend(FFrame)) {
            FFailed = true;
            if (FLoop)
                FLoop->quit();
        }
    }
    void Replied() {
        if (FLeft <= 0)
            return;
        if (FSamples)
            FSamples->push_back(MicrosSince(FStart));
        if (--FLeft > 0)
            SendNext();
        else if (FLoop)
            FLoop->quit();
    }

    TNEV_IOTDevConn FConn;
    TIOTFrameReader FReader;
    TNEV_GPIOAPI FApi;
    TIOTNETSTATE FState = TIOTNETSTATE::NET_DISCNNT;
    QEventLoop* FLoop = nullptr;
    QByteArray FFrame;
    int FLeft = 0;
    bool FRunning = false;
    bool FFailed = false;
    std::vector<double>* FSamples = nullptr;
    Clock::time_point FStart;
};

struct TSide {
    std::vector<double> us;
    double cpu = 0; // seconds of this process while that side ran
};

void PrintSide(const char* label, TSide& side) {
    const size_t n = side.us.size();
    const double median = bench::Percentile(side.us, 50);
    const double p99 = bench::Percentile(side.us, 99);
    std::printf("  %-28s median %8.1f us   p99 %8.1f us   max %8.1f us   cpu %6.1f us/round trip   (n=%zu)\n",
                label, median, p99, side.us.empty() ? 0.0 : side.us.back(),
                n ? side.cpu * 1e6 / double(n) : 0.0, n);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Round trip of a board command through the device connection, next to a blocking-socket floor,\n"
        "against quillet-boardsim on 127.0.0.1. Rounds alternate which client goes first."));
    parser.addHelpOption();
    const QCommandLineOption iterOpt(QStringLiteral("iterations"),
                                     QStringLiteral("Round trips per client and round (default 1000)."),
                                     QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption roundsOpt(QStringLiteral("rounds"),
                                       QStringLiteral("Rounds per command (default 10)."),
                                       QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption warmOpt(QStringLiteral("warmup"),
                                     QStringLiteral("Unmeasured round trips per client first (default 500)."),
                                     QStringLiteral("N"), QStringLiteral("500"));
    const QCommandLineOption onlyOpt(QStringLiteral("only"),
                                     QStringLiteral("Run one client only: floor or devconn (for profiling)."),
                                     QStringLiteral("CLIENT"));
    const QCommandLineOption simOpt(QStringLiteral("boardsim"),
                                    QStringLiteral("The quillet-boardsim to run."), QStringLiteral("PATH"));
    const QCommandLineOption debugOpt(QStringLiteral("debug-output"),
                                      QStringLiteral("Keep the program's debug output (every send is logged "
                                                     "on stderr); off by default, as in quillet-ctl."));
    parser.addOptions({iterOpt, roundsOpt, warmOpt, onlyOpt, simOpt, debugOpt});
    parser.process(app);
    const bool debugOutput = parser.isSet(debugOpt);
    if (!debugOutput)
        QLoggingCategory::setFilterRules(QStringLiteral("quillet.*.debug=false"));

    const int iterations = std::max(1, parser.value(iterOpt).toInt());
    const int rounds = std::max(1, parser.value(roundsOpt).toInt());
    const int warmup = std::max(0, parser.value(warmOpt).toInt());
    const QString only = parser.value(onlyOpt);
    if (!only.isEmpty() && only != QLatin1String("floor") && only != QLatin1String("devconn")) {
        std::fprintf(stderr, "quillet-bench-roundtrip: --only takes floor or devconn\n");
        return 2;
    }
    const bool runFloor = only != QLatin1String("devconn");
    const bool runDev = only != QLatin1String("floor");

    QString error;
    bench::TBoardsimProcess sim;
    if (!sim.Start(bench::BoardsimPath(parser.value(simOpt)), 1, {}, error)) {
        std::fprintf(stderr, "quillet-bench-roundtrip: %s\n", qPrintable(error));
        return 1;
    }
    const quint16 port = sim.Ports().constFirst();

    TFloorClient floor;
    TDevConnClient dev;
    if ((runFloor && !floor.Open(port, DefaultDevPassword, error)) || (runDev && !dev.Login(port, error))) {
        std::fprintf(stderr, "quillet-bench-roundtrip: %s\n", qPrintable(error));
        return 1;
    }

    struct TCommand {
        const char* title;
        QByteArray frame;
    };
    const TCommand commands[] = {
        {"Out_Set_ON(3)", BuildFrame(TNEV_GPIOAPI::Out_Set_ON(3))},
        {"Out_Get_All", BuildFrame(TNEV_GPIOAPI::Out_Get_All())},
    };

    std::printf(
        "quillet-bench-roundtrip: quillet-boardsim on 127.0.0.1:%u, %d rounds x %d round trips per client "
        "and command, interleaved, %d warm-up, debug output %s\n",
        unsigned(port), rounds, iterations, warmup, debugOutput ? "on" : "off");
    bool failed = false;
    for (const TCommand& cmd : commands) {
        TSide floorSide, devSide;
        const auto runFloorBatch = [&](int n, TSide* side) {
            const double cpu0 = bench::OwnCpuSeconds();
            for (int i = 0; i < n; ++i) {
                const auto t0 = Clock::now();
                if (!floor.RoundTrip(cmd.frame))
                    return false;
                if (side)
                    side->us.push_back(MicrosSince(t0));
            }
            if (side)
                side->cpu += bench::OwnCpuSeconds() - cpu0;
            return true;
        };
        const auto runDevBatch = [&](int n, TSide* side) {
            const double cpu0 = bench::OwnCpuSeconds();
            const bool ok = dev.Run(cmd.frame, n, side ? &side->us : nullptr);
            if (side)
                side->cpu += bench::OwnCpuSeconds() - cpu0;
            return ok;
        };
        if ((runFloor && !runFloorBatch(warmup, nullptr)) || (runDev && !runDevBatch(warmup, nullptr))) {
            failed = true;
            break;
        }
        for (int r = 0; r < rounds && !failed; ++r) {
            const bool floorFirst = r % 2 == 0;
            for (int k = 0; k < 2 && !failed; ++k) {
                if (floorFirst == (k == 0))
                    failed = runFloor && !runFloorBatch(iterations, &floorSide);
                else
                    failed = runDev && !runDevBatch(iterations, &devSide);
            }
        }
        if (failed)
            break;

        std::printf("%s: request %lld bytes\n", cmd.title, static_cast<long long>(cmd.frame.size()));
        if (runFloor)
            PrintSide("floor (blocking socket)", floorSide);
        if (runDev)
            PrintSide("device connection", devSide);
        if (runFloor && runDev) {
            const double fm = bench::Percentile(floorSide.us, 50), dm = bench::Percentile(devSide.us, 50);
            const double fp = bench::Percentile(floorSide.us, 99), dp = bench::Percentile(devSide.us, 99);
            const double rm = fm > 0 ? dm / fm : 0, rp = fp > 0 ? dp / fp : 0;
            std::printf(
                "  ratio device/floor          median %5.2fx   p99 %5.2fx   (goal: at most 1.30x: %s)\n", rm,
                rp, rm <= 1.3 && rp <= 1.3 ? "met" : "not met");
        }
    }
    std::fflush(stdout);
    if (failed) {
        std::fprintf(
            stderr,
            "quillet-bench-roundtrip: a round trip failed (connection lost or no reply within 30 s)\n");
        return 1;
    }
    return 0;
}
