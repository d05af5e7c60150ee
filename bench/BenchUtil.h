// Pieces shared by the benchmark programs: a quillet-boardsim child process on loopback,
// percentiles of timing samples, the CPU time and memory of a process, what the machine is, and
// whether this process may broadcast.
#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <vector>

namespace bench {

// The simulator to run: the given path, else $QUILLET_BOARDSIM, else the one built with the
// benchmarks.
QString BoardsimPath(const QString& given);

// A quillet-boardsim process serving its boards on 127.0.0.1 only (no UDP sockets), stopped
// when this object goes away.
class TBoardsimProcess {
public:
    TBoardsimProcess() = default;
    ~TBoardsimProcess();
    TBoardsimProcess(const TBoardsimProcess&) = delete;
    TBoardsimProcess& operator=(const TBoardsimProcess&) = delete;

    // Starts `count` boards, each on a free port of 127.0.0.1, plus any extra arguments, and
    // waits for its "ready" line. False with a message in `error` when it did not come up.
    bool Start(const QString& program, int count, const QStringList& extra, QString& error);
    // The boards' TCP ports, in board order.
    const QList<quint16>& Ports() const { return FPorts; }
    qint64 Pid() const { return FProcess.processId(); }

private:
    QProcess FProcess;
    QList<quint16> FPorts;
};

// Nearest-rank percentile (0..100) of the samples; sorts them. 0 for no samples.
double Percentile(std::vector<double>& samples, double pct);

// User plus system CPU seconds of this process so far.
double OwnCpuSeconds();
// The same for another process of this machine (Linux /proc); negative when unknown.
double ProcessCpuSeconds(qint64 pid);

// Resident memory of this process in KiB (Linux /proc); 0 when unknown.
double ResidentKB();
// The three load averages ("1.02 0.87 0.65"), or "unknown".
QString LoadAverage();
// The processor's model name and the number of CPUs, for the figures' environment line.
QString MachineText();

// True only inside a network namespace made with "ip netns add" (named under /run/netns, as
// tools/virtual-lan makes them) that has no default route: a broadcast there cannot reach a real
// network. The machine's own namespace has no such name. `why` says what is missing otherwise.
bool InPrivateNamespace(QString& why);

} // namespace bench
