// How long the message page keeps the window busy: the simulated cloud server (in this process, on
// loopback) serves N products and N news items whose pictures answer late. Prints when the lists
// were on screen, when the last picture came, the longest stall of the event loop meanwhile, and
// what one blocking download per row would have cost.
#include "CloudSim.h"
#include "ShellFixture.h"
#include "untMainMessages.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Message page loading with slow pictures."));
    parser.addHelpOption();
    const QCommandLineOption items({QStringLiteral("items")}, QStringLiteral("Products and news items each."),
                                   QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption delay({QStringLiteral("picture-delay-ms")},
                                   QStringLiteral("How late every picture answers."), QStringLiteral("MS"),
                                   QStringLiteral("300"));
    parser.addOptions({items, delay});
    parser.process(app);
    QLoggingCategory::setFilterRules(QStringLiteral("quillet.cloud.debug=false"));
    const int n = std::max(1, parser.value(items).toInt());
    const int delayMs = std::max(0, parser.value(delay).toInt());

    CloudSim sim;
    sim.SetVerbose(false);
    sim.SetPictureDelay(delayMs);
    for (int i = 0; i < n; ++i) {
        sim.AddProduct(QStringLiteral("Product %1").arg(i), QStringLiteral("SN-%1").arg(i));
        sim.AddNews(QStringLiteral("News %1").arg(i));
    }
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
    TMainMessages* m = w.Messages();

    QElapsedTimer clock;
    clock.start();
    const bool loaded = m->LoadMessageLists();
    const double listsMs = double(clock.nsecsElapsed()) / 1e6;
    const int rows = m->NewsList()->count();

    // A 5 ms tick: the longest gap between ticks is the longest time the window could not answer.
    double lastTick = listsMs, longestGap = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });
    tick.start();
    double picturesMs = 0;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (m->PendingPictures() == 0) {
            picturesMs = double(clock.nsecsElapsed()) / 1e6;
            app.quit();
        }
    });
    watch.start();
    QTimer::singleShot(std::max(60000, 4 * delayMs * 2 * n), &app, &QApplication::quit);
    app.exec();

    std::printf("message page: %d products + %d news, pictures %d ms late (Qt %s, %s dispatcher)\n", n, n,
                delayMs, qVersion(), qEnvironmentVariableIsSet("QT_NO_GLIB") ? "plain" : "GLib");
    std::printf("  lists on screen after      %9.1f ms (%d rows, loaded=%s)\n", listsMs, rows,
                loaded ? "yes" : "no");
    std::printf("  last picture in after      %9.1f ms (%s)\n", picturesMs,
                m->PendingPictures() == 0 ? "all arrived" : "still pending at the end");
    std::printf("  longest event-loop stall   %9.1f ms while pictures arrived\n", longestGap);
    std::printf("  one blocking fetch per row %9.1f ms (2 x %d x %d ms), for comparison\n", 2.0 * n * delayMs,
                n, delayMs);
    return 0;
}
