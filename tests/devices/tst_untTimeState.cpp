#include "untTimeState.h"

#include <QTest>

class tst_untTimeState : public QObject {
    Q_OBJECT

private slots:
    void moreThanTheInterval_data() {
        QTest::addColumn<int>("elapsed");
        QTest::addColumn<bool>("state");
        QTest::newRow("0 ms") << 0 << false;
        QTest::newRow("500 ms") << 500 << false;
        QTest::newRow("exactly 1200 ms is not more") << 1200 << false;
        QTest::newRow("1201 ms") << 1201 << true;
        QTest::newRow("5 s") << 5000 << true;
    }
    void moreThanTheInterval() {
        QFETCH(int, elapsed);
        QFETCH(bool, state);
        qint64 now = 1000000;
        TTimeState t(1200, [&] { return now; });
        QVERIFY(t.State()); // true until a measurement says otherwise
        t.Start(true);
        QVERIFY(t.State());
        now += elapsed;
        t.Start(false);
        QCOMPARE(t.State(), state);
        t.Start(true);
        QVERIFY(t.State());
    }

    void realClockMovesForward() {
        TTimeState t(-1);
        t.Start(true);
        t.Start(false);
        QVERIFY(t.State()); // any elapsed time, even 0 ms, is more than -1 ms
    }
};

QTEST_GUILESS_MAIN(tst_untTimeState)
#include "tst_untTimeState.moc"
