// quillet-bench-roundtrip: time from a board command leaving to its reply being decoded, through
// the device connection (TNEV_IOTDevConn logged in on the LAN path, TIOTFrameReader, TNEV_GPIOAPI)
// and, as the floor, through a minimal blocking socket doing the same exchange, side by side in
// one run. Both talk to the same echo peer on 127.0.0.1: a blocking process of this program that
// answers every request with fixed reply bytes and uses none of the program's classes, so that
// the floor depends on nothing the benchmark measures. Prints figures; never judges by exit status.
#include "BenchUtil.h"

#include "nevGPIOAPI.h"
#include "nevIOTTCPProtocol.h"
#include "untIOTDev.h"

#include <QAbstractEventDispatcher>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MicrosSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

// ---- The echo peer: plain POSIX, blocking, one process per connection. ----

constexpr const char* EchoPeerArg = "--echo-peer"; // internal: this process is the peer

bool SendAll(int fd, const unsigned char* bytes, size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, bytes, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        bytes += w;
        n -= size_t(w);
    }
    return true;
}

// Answers the login line with "OK", then every request frame (55 AA, length, ...) with the reply
// a board gives: output 3 switched on for code 02, outputs 00000100 for code 0A, and the refusal
// (code FF) for anything else. The bytes are written out here, not built by the program's code.
[[noreturn]] void ServeConnection(int fd) {
    static constexpr unsigned char setOn3[] = {0xAA, 0x55, 0x00, 0x04, 0x00, 0x82, 0x03, 0x01, 0x8A};
    static constexpr unsigned char getAll[] = {0xAA, 0x55, 0x00, 0x03, 0x00, 0x8A, 0x04, 0x91};
    static unsigned char buf[70000];
    size_t have = 0;
    bool loggedIn = false;
    for (;;) {
        const ssize_t r = ::recv(fd, buf + have, sizeof buf - have, 0);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            _exit(0);
        have += size_t(r);
        size_t used = 0;
        if (!loggedIn) {
            const auto* nl = static_cast<const unsigned char*>(std::memchr(buf, '\n', have));
            if (!nl) {
                if (have == sizeof buf)
                    _exit(1);
                continue;
            }
            used = size_t(nl - buf) + 1;
            loggedIn = true;
            if (!SendAll(fd, reinterpret_cast<const unsigned char*>("OK"), 2))
                _exit(0);
        }
        while (have - used >= 4) {
            const unsigned char* f = buf + used;
            if (f[0] != 0x55 || f[1] != 0xAA)
                _exit(1); // the clients send nothing else
            const size_t total = size_t(f[2]) * 256 + f[3] + 5;
            if (have - used < total)
                break;
            const unsigned char code = total > 6 ? f[5] : 0;
            bool ok;
            if (code == 0x02 && total == 8 && f[6] == 3) {
                ok = SendAll(fd, setOn3, sizeof setOn3);
            } else if (code == 0x0A) {
                ok = SendAll(fd, getAll, sizeof getAll);
            } else {
                unsigned char refused[] = {0xAA, 0x55, 0x00, 0x03, 0x00, 0xFF, code, 0x00};
                refused[7] = static_cast<unsigned char>(0x03 + 0xFF + code);
                ok = SendAll(fd, refused, sizeof refused);
            }
            if (!ok)
                _exit(0);
            used += total;
        }
        std::memmove(buf, buf + used, have - used);
        have -= used;
    }
}

[[noreturn]] void RunEchoPeer(int listenFd) {
    ::signal(SIGCHLD, SIG_IGN); // connection processes leave no zombies
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    for (;;) {
        const int fd = ::accept(listenFd, nullptr, nullptr);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            _exit(1);
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(listenFd);
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ServeConnection(fd);
        }
        ::close(fd);
    }
}

// The peer as a child process of this program: a listening socket on 127.0.0.1, handed to a new
// instance of this executable started in peer mode (a fresh process: under valgrind it runs
// natively, and it never touches this process's Qt state). Stopped with this object.
class TEchoPeer {
public:
    TEchoPeer() = default;
    TEchoPeer(const TEchoPeer&) = delete;
    TEchoPeer& operator=(const TEchoPeer&) = delete;
    ~TEchoPeer() {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
        }
    }

    bool Start(const QString& program, QString& error) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0); // inherited by the peer
        if (fd < 0)
            return Fail(error, "socket");
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            ::close(fd);
            return Fail(error, "listen");
        }
        FPort = ntohs(addr.sin_port);
        // Everything the child needs is prepared before the fork: it only calls exec.
        const QByteArray path = QFile::encodeName(program);
        const QByteArray fdArg = QByteArray::number(fd);
        FPid = ::fork();
        if (FPid == 0) {
            ::execl(path.constData(), path.constData(), EchoPeerArg, fdArg.constData(),
                    static_cast<char*>(nullptr));
            _exit(127);
        }
        ::close(fd);
        if (FPid < 0)
            return Fail(error, "fork");
        return true;
    }

    quint16 Port() const { return FPort; }

private:
    static bool Fail(QString& error, const char* what) {
        error = QStringLiteral("echo peer: %1 failed: %2")
                    .arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
        return false;
    }

    pid_t FPid = -1;
    quint16 FPort = 0;
};

QString LoadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() >= 3 ? QString::fromLatin1(fields[0] + ' ' + fields[1] + ' ' + fields[2])
                              : QStringLiteral("unknown");
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
        // A peer that never answers (it failed to start) ends the run instead of hanging it.
        const timeval patience{30, 0};
        ::setsockopt(FFd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
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

// The dispatcher is chosen before the application object exists, as quillet-ctl does: "unix" is
// Qt's own (QT_NO_GLIB=1), "glib" the GLib one where Qt was built with it.
const char* DispatcherArg(int argc, char** argv) {
    const char* chosen = "unix";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dispatcher") == 0 && i + 1 < argc)
            chosen = argv[i + 1];
        else if (std::strncmp(argv[i], "--dispatcher=", 13) == 0)
            chosen = argv[i] + 13;
    }
    return chosen;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], EchoPeerArg) == 0)
        RunEchoPeer(std::atoi(argv[2]));
    const QByteArray dispatcher = DispatcherArg(argc, argv);
    if (dispatcher == "unix")
        qputenv("QT_NO_GLIB", "1");
    else if (dispatcher == "glib")
        qunsetenv("QT_NO_GLIB");

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Round trip of a board command through the device connection, next to a blocking-socket floor,\n"
        "both against one echo peer on 127.0.0.1. Rounds alternate which client goes first."));
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
    const QCommandLineOption dispatcherOpt(
        QStringLiteral("dispatcher"),
        QStringLiteral("Event dispatcher of this process: unix (Qt's own, as quillet-ctl uses) or glib "
                       "(default unix)."),
        QStringLiteral("KIND"), QStringLiteral("unix"));
    const QCommandLineOption debugOpt(QStringLiteral("debug-output"),
                                      QStringLiteral("Keep the program's debug output (every send is logged "
                                                     "on stderr); off by default, as in quillet-ctl."));
    parser.addOptions({iterOpt, roundsOpt, warmOpt, onlyOpt, dispatcherOpt, debugOpt});
    parser.process(app);
    if (dispatcher != "unix" && dispatcher != "glib") {
        std::fprintf(stderr, "quillet-bench-roundtrip: --dispatcher takes unix or glib\n");
        return 2;
    }
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
    TEchoPeer peer;
    if (!peer.Start(QCoreApplication::applicationFilePath(), error)) {
        std::fprintf(stderr, "quillet-bench-roundtrip: %s\n", qPrintable(error));
        return 1;
    }
    const quint16 port = peer.Port();

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

    const QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance();
    std::printf("quillet-bench-roundtrip: echo peer on 127.0.0.1:%u, %d rounds x %d round trips per client "
                "and command, interleaved, %d warm-up, debug output %s\n",
                unsigned(port), rounds, iterations, warmup, debugOutput ? "on" : "off");
    std::printf("environment: Qt %s, event dispatcher %s, build %s, %d CPUs, load average %s\n", qVersion(),
                loop ? loop->metaObject()->className() : "none", QUILLET_BENCH_BUILD_TYPE,
                QThread::idealThreadCount(), qPrintable(LoadAverage()));
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
    std::printf("load average at the end %s\n", qPrintable(LoadAverage()));
    std::fflush(stdout);
    if (failed) {
        std::fprintf(
            stderr,
            "quillet-bench-roundtrip: a round trip failed (connection lost or no reply within 30 s)\n");
        return 1;
    }
    return 0;
}
