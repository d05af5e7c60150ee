#include "BenchUtil.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace bench {

QString BoardsimPath(const QString& given) {
    if (!given.isEmpty())
        return given;
    const QString env = qEnvironmentVariable("QUILLET_BOARDSIM");
    if (!env.isEmpty())
        return env;
    return QStringLiteral(QUILLET_BENCH_BOARDSIM);
}

TBoardsimProcess::~TBoardsimProcess() {
    if (FProcess.state() == QProcess::NotRunning)
        return;
    FProcess.terminate();
    if (!FProcess.waitForFinished(5000)) {
        FProcess.kill();
        FProcess.waitForFinished(5000);
    }
}

bool TBoardsimProcess::Start(const QString& program, int count, const QStringList& extra, QString& error) {
    // Loopback only, and no UDP: nothing of these runs may leave the machine.
    QStringList args{QStringLiteral("--listen"),    QStringLiteral("127.0.0.1:0"),
                     QStringLiteral("--count"),     QString::number(count),
                     QStringLiteral("--no-search"), QStringLiteral("--no-router")};
    args += extra;
    FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProcess.start(program, args);
    if (!FProcess.waitForStarted(10000)) {
        error = QStringLiteral("cannot start %1: %2").arg(program, FProcess.errorString());
        return false;
    }
    static const QRegularExpression tcp(QStringLiteral(R"(\btcp=127\.0\.0\.1:(\d+)\b)"));
    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        while (FProcess.canReadLine()) {
            const QString line = QString::fromUtf8(FProcess.readLine()).trimmed();
            if (line == QLatin1String("ready")) {
                if (FPorts.size() != count) {
                    error = QStringLiteral("quillet-boardsim reported %1 boards, not %2")
                                .arg(FPorts.size())
                                .arg(count);
                    return false;
                }
                return true;
            }
            const auto m = tcp.match(line);
            if (line.startsWith(QLatin1String("board ")) && m.hasMatch())
                FPorts.append(quint16(m.captured(1).toUInt()));
        }
        if (FProcess.state() == QProcess::NotRunning) {
            error = QStringLiteral("quillet-boardsim ended before it was ready (exit %1)")
                        .arg(FProcess.exitCode());
            return false;
        }
        FProcess.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    error = QStringLiteral("quillet-boardsim was not ready within 60 s");
    return false;
}

double Percentile(std::vector<double>& samples, double pct) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank = size_t(std::ceil(pct / 100.0 * double(samples.size())));
    return samples[std::clamp<size_t>(rank, 1, samples.size()) - 1];
}

double OwnCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    const auto secs = [](const timeval& tv) { return double(tv.tv_sec) + double(tv.tv_usec) / 1e6; };
    return secs(ru.ru_utime) + secs(ru.ru_stime);
}

double ProcessCpuSeconds(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // The command name in parentheses may hold spaces; the fields after it are plain.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // After the name: state is field 3 of the whole line, utime 14 and stime 15.
    if (fields.size() < 13)
        return -1;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields.at(11).toDouble() + fields.at(12).toDouble()) / ticks;
}

double ResidentKB() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    if (parts.size() < 2)
        return 0;
    return parts[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / 1024.0;
}

QString LoadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() >= 3 ? QString::fromLatin1(fields[0] + ' ' + fields[1] + ' ' + fields[2])
                              : QStringLiteral("unknown");
}

QString MachineText() {
    QString model = QStringLiteral("unknown processor");
    QFile f(QStringLiteral("/proc/cpuinfo"));
    // /proc files report no size: read them whole instead of testing for their end.
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                const qsizetype colon = line.indexOf(':');
                if (colon >= 0)
                    model = QString::fromLatin1(line.mid(colon + 1).trimmed());
                break;
            }
        }
    }
    return QStringLiteral("%1, %2 CPUs").arg(model).arg(QThread::idealThreadCount());
}

bool InPrivateNamespace(QString& why) {
    struct stat own {};
    if (::stat("/proc/self/ns/net", &own) != 0) {
        why = QStringLiteral("cannot tell which network namespace this is");
        return false;
    }
    const QDir named(QStringLiteral("/run/netns"));
    bool found = false;
    for (const QString& name :
         named.entryList(QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        struct stat ns {};
        const QByteArray path = QFile::encodeName(named.filePath(name));
        if (::stat(path.constData(), &ns) == 0 && ns.st_dev == own.st_dev && ns.st_ino == own.st_ino)
            found = true;
    }
    if (!found) {
        why = QStringLiteral("this is not a network namespace made with ip netns");
        return false;
    }
    QFile routes(QStringLiteral("/proc/net/route"));
    if (!routes.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("cannot read the routing table");
        return false;
    }
    routes.readLine(); // column titles
    while (!routes.atEnd()) {
        const QList<QByteArray> cols = routes.readLine().simplified().split(' ');
        if (cols.size() > 7 && cols.at(1) == "00000000" && cols.at(7) == "00000000") {
            why = QStringLiteral("this namespace has a default route");
            return false;
        }
    }
    return true;
}

} // namespace bench
