// tools/virtual-lan for real: namespaces, simulated boards on their own addresses, the broadcast
// search, the relay, exit status and clean-up. Needs root; skipped otherwise.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

class tst_virtualLan : public QObject {
    Q_OBJECT

    QString FScript = QStringLiteral(QUILLET_SOURCE_DIR "/tools/virtual-lan");
    QString FId;
    int FRun = 0;

    struct Result {
        int exitCode = -1;
        QString out;
        QString err;
    };

    Result Run(const QStringList& args, int timeoutMs = 60000) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        FId = QStringLiteral("t%1x%2").arg(QCoreApplication::applicationPid()).arg(++FRun);
        env.insert("QUILLET_VLAN_ID", FId);
        p.setProcessEnvironment(env);
        p.start(FScript, QStringList{"--boardsim", BOARDSIM, "--relaysim", RELAYSIM} + args);
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

    static QStringList Namespaces() {
        QProcess p;
        p.start("ip", {"netns", "list"});
        p.waitForFinished();
        return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

    bool NamespacesGone() const {
        for (const QString& ns : Namespaces())
            if (ns.contains(FId))
                return false;
        return true;
    }

private slots:
    void initTestCase() {
        if (geteuid() != 0)
            QSKIP("needs root for network namespaces");
        if (QStandardPaths::findExecutable("ip").isEmpty())
            QSKIP("needs the ip command (iproute2)");
    }

    void boardsSearchLoginAndRelay() {
        const Result r = Run({"--board", "mac=5C-CF-7F-01-02-0A,name=Lab", "--count", "2", "--board",
                              "name=NoRouter,ctrl=2", "--relay", "--", PROBE, "3"});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        const QStringList expected{
            "search 4",
            "found 02-51-4C-00-00-01 10.77.1.2 NoRouter",
            "found 02-51-4C-00-00-02 10.77.1.3 Board 3",
            "found 02-51-4C-00-00-03 10.77.1.4 Board 4",
            "found 5C-CF-7F-01-02-0A 10.77.1.1 Lab",
            "login 10.77.1.1 OK aa55000700fe080402020116",
            "login 10.77.1.2 OK aa55000700fe080402020116",
            "login 10.77.1.3 OK aa55000700fe080402020116",
            "login 10.77.1.4 OK aa55000700fe080402020116",
            "relay demo $1Lab aa55000700fe080402020116",
            "relay wrong $2 ",
            "router 3",
        };
        QCOMPARE(lines, expected);
        QVERIFY(NamespacesGone());
    }

    void commandStatusAndCleanUp() {
        const Result r = Run({"--", "sh", "-c", "ip netns identify; exit 7"});
        QCOMPARE(r.exitCode, 7);
        QCOMPARE(r.out.trimmed(), "qvlan-pc-" + FId);
        QVERIFY(NamespacesGone());
    }

    void noDefaultRoute() {
        const Result r = Run({"--", "ip", "route", "show", "default"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.trimmed(), QString());
    }

    void simulatorFailsToStart() {
        const Result r = Run({"--sim-arg=--no-such-option", "--", "true"});
        QCOMPARE(r.exitCode, 125);
        QVERIFY2(r.err.contains("no-such-option"), qPrintable(r.err));
        QVERIFY(NamespacesGone());
    }

    void notRoot() {
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (setpriv.isEmpty())
            QSKIP("needs setpriv to drop root");
        QProcess p;
        p.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", FScript, "--", "true"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 125);
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains("needs root"));
    }
};

QTEST_GUILESS_MAIN(tst_virtualLan)
#include "tst_virtual-lan.moc"
