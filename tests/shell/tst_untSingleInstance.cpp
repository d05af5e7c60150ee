// One running copy per settings folder: the lock, the "SHOW" request to the running copy, and
// the window it shows.
#include "ShellFixture.h"
#include "untSingleInstance.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QtTest>

#include <sys/wait.h>
#include <unistd.h>

class tst_untSingleInstance : public QObject {
    Q_OBJECT

private slots:
    void secondCopyIsRefusedAndAsksTheFirstToShow() {
        QTemporaryDir dir;
        TSingleInstance first(dir.path());
        QVERIFY(first.Claim());
        QSignalSpy shown(&first, &TSingleInstance::showRequested);

        TSingleInstance second(dir.path());
        QVERIFY(!second.Claim());
        QVERIFY(second.NotifyRunning());
        QTRY_COMPARE(shown.size(), 1);
    }

    void sameFolderHoweverSpelt() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        TSingleInstance first(dir.path());
        QVERIFY(first.Claim());
        TSingleInstance second(dir.path() + QStringLiteral("/sub/../"));
        QVERIFY(!second.Claim());
        QCOMPARE(TSingleInstance::ServerName(dir.path() + QStringLiteral("/sub/..")),
                 TSingleInstance::ServerName(dir.path()));
    }

    void otherFoldersRunSideBySide() {
        QTemporaryDir a;
        QTemporaryDir b;
        TSingleInstance first(a.path());
        TSingleInstance second(b.path());
        QVERIFY(first.Claim());
        QVERIFY(second.Claim());
        QVERIFY(TSingleInstance::ServerName(a.path()) != TSingleInstance::ServerName(b.path()));
    }

    void lockIsFreedWithTheCopy() {
        QTemporaryDir dir;
        {
            TSingleInstance first(dir.path());
            QVERIFY(first.Claim());
        }
        TSingleInstance next(dir.path());
        QVERIFY(next.Claim());
        QSignalSpy shown(&next, &TSingleInstance::showRequested);
        TSingleInstance third(dir.path());
        QVERIFY(!third.Claim());
        QVERIFY(third.NotifyRunning());
        QTRY_COMPARE(shown.size(), 1);
    }

    void lockOfACrashedCopyIsTakenOver() {
        QTemporaryDir dir;
        const pid_t child = fork();
        if (child == 0) {
            // A copy that dies without cleaning up: its lock file and socket stay behind.
            TSingleInstance crashed(dir.path());
            _exit(crashed.Claim() ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QVERIFY(QFile::exists(TSingleInstance::LockFileName(dir.path())));
        TSingleInstance next(dir.path());
        QVERIFY(next.Claim());
        QSignalSpy shown(&next, &TSingleInstance::showRequested);
        TSingleInstance later(dir.path());
        QVERIFY(!later.Claim());
        QVERIFY(later.NotifyRunning());
        QTRY_COMPARE(shown.size(), 1);
    }

    void noCopyRunningCannotBeNotified() {
        QTemporaryDir dir;
        TSingleInstance alone(dir.path());
        QVERIFY(!alone.NotifyRunning(200));
    }

    void otherMessagesAreIgnored_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("other word") << QByteArray("HIDE\n");
        QTest::newRow("long") << QByteArray(500, 'S');
        QTest::newRow("lower case") << QByteArray("show\n");
    }
    void otherMessagesAreIgnored() {
        QFETCH(QByteArray, message);
        QTemporaryDir dir;
        TSingleInstance first(dir.path());
        QVERIFY(first.Claim());
        QSignalSpy shown(&first, &TSingleInstance::showRequested);
        QLocalSocket socket;
        socket.connectToServer(TSingleInstance::ServerName(dir.path()));
        QVERIFY(socket.waitForConnected(1000));
        socket.write(message);
        QVERIFY(socket.waitForBytesWritten(1000));
        // The running copy hangs up after reading it.
        QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(shown.size(), 0);
        // A proper request afterwards still works.
        TSingleInstance second(dir.path());
        QVERIFY(second.NotifyRunning());
        QTRY_COMPARE(shown.size(), 1);
    }

    void runningWindowShowsAndStaysLocked() {
        QTemporaryDir dir;
        auto msgs = std::make_shared<TRecordingMessages>();
        {
            TIniSettings ini(dir.path(), QStringLiteral("0123456789AB"));
            ini.IniLoad();
            QVERIFY(ini.IniWriteLock(QStringLiteral("pw")).Ok);
        }
        TSingleInstance first(dir.path());
        QVERIFY(first.Claim());
        Tfrm_Main w(LoopbackEnv(dir.path(), msgs));
        connect(&first, &TSingleInstance::showRequested, &w, &Tfrm_Main::ShowFromOtherCopy);
        QVERIFY(w.isHidden());
        TSingleInstance second(dir.path());
        QVERIFY(!second.Claim());
        QVERIFY(second.NotifyRunning());
        QTRY_VERIFY(w.isVisible());
        QVERIFY(w.Locked());
        QTRY_COMPARE(QApplication::focusWidget(), w.findChild<QWidget*>(QStringLiteral("edt_Lock_Unlock")));
    }
};

QTEST_MAIN(tst_untSingleInstance)
#include "tst_untSingleInstance.moc"
