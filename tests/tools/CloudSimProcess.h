// quillet-cloudsim started by a test as its own process on loopback, port 0 (with --quiet); its
// first line of output is the port it took.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

class CloudSimProcess {
public:
    CloudSimProcess(const QString& program, const QStringList& args) {
        FProc.setProgram(program);
        FProc.setArguments(QStringList(args)
                           << QStringLiteral("--quiet") << QStringLiteral("--port") << QStringLiteral("0"));
        FProc.setProcessChannelMode(QProcess::SeparateChannels);
        FProc.start();
    }
    ~CloudSimProcess() {
        FProc.kill();
        FProc.waitForFinished(5000);
    }
    CloudSimProcess(const CloudSimProcess&) = delete;
    CloudSimProcess& operator=(const CloudSimProcess&) = delete;

    // Waits for the port line; false when the simulator did not come up.
    bool WaitReady() {
        if (!FProc.waitForStarted(10000))
            return false;
        while (!FProc.canReadLine())
            if (!FProc.waitForReadyRead(10000))
                return false;
        bool ok = false;
        FPort = quint16(FProc.readLine().trimmed().toUInt(&ok));
        return ok && FPort != 0;
    }
    quint16 Port() const { return FPort; }
    QString Base() const { return QStringLiteral("http://127.0.0.1:%1").arg(FPort); }
    QUrl BaseUrl() const { return QUrl(Base()); }
    QString Errors() { return QString::fromLocal8Bit(FProc.readAllStandardError()); }

private:
    QProcess FProc;
    quint16 FPort = 0;
};
