// How long the cloud device popup and "Synchronized to local" keep the window busy: the simulated
// cloud server (in this process, on loopback) holds N boards of one account whose pictures answer
// late. Prints when the popup's rows were on screen, when the last picture came, the longest
// stall of the event loop meanwhile, the same for the synchronisation, and what one blocking
// download per board would have cost.
#include "CloudSim.h"
#include "ShellFixture.h"
#include "untIOTDevList.h"
#include "untMainAccount.h"
#include "untPictureFetch.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

struct Figures {
    double ShownMs = 0;    // the rows (or the merged list) were there
    double PicturesMs = 0; // the last picture was in
    double LongestGapMs = 0;
    bool AllArrived = false;
};

// Runs `action`, then the event loop until every picture is in, ticking every 5 ms: the longest
// gap between ticks is the longest time the window could not answer.
Figures Measure(TPictureFetch* pictures, const std::function<void()>& action, int limitMs) {
    Figures f;
    // A loop of its own: quitting the application's would close the window.
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    action();
    f.ShownMs = double(clock.nsecsElapsed()) / 1e6;
    double lastTick = f.ShownMs;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        f.LongestGapMs = std::max(f.LongestGapMs, now - lastTick);
        lastTick = now;
    });
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (pictures->Pending() == 0) {
            f.PicturesMs = double(clock.nsecsElapsed()) / 1e6;
            f.AllArrived = true;
            loop.quit();
        }
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start();
    watch.start();
    limit.start(limitMs);
    loop.exec();
    return f;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Cloud device pictures arriving late."));
    parser.addHelpOption();
    const QCommandLineOption boards({QStringLiteral("boards")}, QStringLiteral("Boards of the account."),
                                    QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption delay({QStringLiteral("picture-delay-ms")},
                                   QStringLiteral("How late every picture answers."), QStringLiteral("MS"),
                                   QStringLiteral("300"));
    parser.addOptions({boards, delay});
    parser.process(app);
    QLoggingCategory::setFilterRules(QStringLiteral("quillet.*.debug=false"));
    const int n = std::max(1, parser.value(boards).toInt());
    const int delayMs = std::max(0, parser.value(delay).toInt());

    CloudSim sim;
    sim.SetVerbose(false);
    sim.SetPictureDelay(delayMs);
    sim.AddAccount(QStringLiteral("bench"), QStringLiteral("bench"));
    for (int i = 0; i < n; ++i)
        sim.AddDevice({{QStringLiteral("mac"), QStringLiteral("5ccf7f%1").arg(i, 6, 16, QLatin1Char('0'))},
                       {QStringLiteral("owner"), QStringLiteral("bench")},
                       {QStringLiteral("name"), QStringLiteral("Board %1").arg(i)},
                       {QStringLiteral("img"), QStringLiteral("1")}});
    const quint16 port = sim.listen(QHostAddress::LocalHost, 0);
    if (port == 0) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }

    QTemporaryDir dir;
    auto messages = std::make_shared<TRecordingMessages>();
    TMainEnv env = LoopbackEnv(dir.path(), messages);
    env.CloudServer = QStringLiteral("http://127.0.0.1:%1").arg(port);
    Tfrm_Main w(env);
    w.show();
    TMainAccount* account = w.Account();
    if (!account->LoginAction(QStringLiteral("bench"), QStringLiteral("bench"), true)) {
        std::fprintf(stderr, "cannot log in to the simulated cloud\n");
        return 1;
    }
    const int limitMs = std::max(60000, 4 * delayMs * n);
    auto* list = w.findChild<QListWidget*>(QStringLiteral("lst_Pop_CloudDev"));
    double downloadMs = 0;
    const Figures popup = Measure(
        account->Pictures(),
        [&] {
            QElapsedTimer t;
            t.start();
            account->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
            downloadMs = double(t.nsecsElapsed()) / 1e6;
        },
        limitMs);
    // The list alone, filled again from the same download.
    QElapsedTimer fillClock;
    fillClock.start();
    account->FillCloudList();
    const double fillMs = double(fillClock.nsecsElapsed()) / 1e6;
    (void)downloadMs;
    const int rows = list->count();
    w.img_PopClick(22);
    const Figures sync = Measure(
        account->Pictures(), [&] { account->img_User_LoginClick(QStringLiteral("img_User_Down")); }, limitMs);

    std::printf("cloud pictures: %d boards, pictures %d ms late, at most %d fetches at once (Qt %s)\n", n,
                delayMs, TPictureFetch::DefaultMaxRunning, qVersion());
    std::printf("  popup rows on screen after %9.1f ms (%d rows)\n", popup.ShownMs, rows);
    std::printf("  of which the rows alone    %9.1f ms (filled again)\n", fillMs);
    std::printf("  last row picture in after  %9.1f ms (%s)\n", popup.PicturesMs,
                popup.AllArrived ? "all arrived" : "still pending at the end");
    std::printf("  longest event-loop stall   %9.1f ms while they arrived\n", popup.LongestGapMs);
    std::printf("  synchronised to local in   %9.1f ms (%d boards listed)\n", sync.ShownMs,
                w.IOTDevList()->DevCount());
    std::printf("  last board picture in after%9.1f ms (%s)\n", sync.PicturesMs,
                sync.AllArrived ? "all arrived" : "still pending at the end");
    std::printf("  longest event-loop stall   %9.1f ms while they arrived\n", sync.LongestGapMs);
    std::printf("  one blocking fetch per row %9.1f ms (%d x %d ms), for comparison\n", double(n) * delayMs,
                n, delayMs);
    return 0;
}
