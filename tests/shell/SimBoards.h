// quillet-boardsim started by a test on loopback: its boards, their request logs and, when asked
// for, its LAN search socket (so a window can search 127.0.0.1 instead of broadcasting).
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTcpServer>
#include <QtTest>

class SimBoards {
public:
    struct TBoard {
        QString mac;
        QString host;
        quint16 port = 0;
    };

    QProcess proc;
    QList<TBoard> boards;
    quint16 searchPort = 0;

    // Starts the simulator with `args` (verbose, so that it logs every request) and waits until
    // it listens.
    bool Start(const QStringList& args) {
        // The request log is the simulator's debug output: no outside rule may silence it.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_LOGGING_RULES"));
        proc.setProcessEnvironment(env);
        proc.start(QStringLiteral(BOARDSIM), QStringList{"-v"} + args);
        QByteArray out;
        const bool ready = QTest::qWaitFor(
            [&] {
                out += proc.readAllStandardOutput();
                return out.contains("\nready") || proc.state() == QProcess::NotRunning;
            },
            10000);
        static const QRegularExpression board("board mac=(\\S+) tcp=([0-9.]+):([0-9]+)");
        for (auto it = board.globalMatch(QString::fromUtf8(out)); it.hasNext();) {
            const auto m = it.next();
            boards.push_back({m.captured(1), m.captured(2), quint16(m.captured(3).toUInt())});
        }
        static const QRegularExpression search("search udp=[0-9.]+:([0-9]+)");
        searchPort = quint16(search.match(QString::fromUtf8(out)).captured(1).toUInt());
        return ready && !boards.isEmpty();
    }

    // Boards on 127.0.0.2, .3, ... all on one free port (the window's LAN port), found by a LAN
    // search sent to 127.0.0.1.
    bool StartLan(const QStringList& specs) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress(QStringLiteral("127.0.0.2")), 0))
            return false;
        const quint16 port = probe.serverPort();
        probe.close();
        QStringList args{
            "--listen",   QStringLiteral("127.0.0.2:%1").arg(port), "--step-address", "--search-port", "0",
            "--no-router"};
        for (const QString& s : specs)
            args << "--board" << s;
        return Start(args) && searchPort != 0;
    }

    // Boards on 127.0.0.1, each on its own free port, without a search socket.
    bool StartOne(const QString& spec, const QStringList& extra = {}) {
        return Start(QStringList{"--listen", "127.0.0.1:0", "--no-search", "--no-router", "--board", spec} +
                     extra);
    }
    quint16 port() const { return boards.isEmpty() ? 0 : boards.first().port; }

    ~SimBoards() {
        proc.kill();
        proc.waitForFinished();
    }

    QStringList Lines() {
        err += proc.readAllStandardError();
        return QString::fromUtf8(err).split('\n', Qt::SkipEmptyParts);
    }
    // Payloads a board took, in order ("7e", "02 03"), ignored ones included; every board's when
    // `mac` is empty.
    QStringList Requests(const QString& mac = {}) {
        static const QRegularExpression re("(?:< ([0-9a-f ]+) >|ignores ([0-9a-f ]+)$)");
        QStringList r;
        for (const QString& l : Lines()) {
            if (!mac.isEmpty() && !l.contains(mac))
                continue;
            const auto m = re.match(l);
            if (m.hasMatch())
                r << (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1)).trimmed();
        }
        return r;
    }
    QStringList Codes(const QString& mac = {}) {
        QStringList r;
        for (const QString& p : Requests(mac))
            r << p.left(2);
        return r;
    }
    QStringList OutputChanges(const QString& mac = {}) {
        static const QRegularExpression re("output ([0-9]+) (on|off)");
        QStringList r;
        for (const QString& l : Lines())
            if (const auto m = re.match(l); m.hasMatch() && (mac.isEmpty() || l.contains(mac)))
                r << m.captured(1) + ' ' + m.captured(2);
        return r;
    }

private:
    QByteArray err;
};
