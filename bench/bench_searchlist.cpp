// quillet-bench-searchlist: one LAN search answered by many boards, merged into the device list
// (TNEV_IOTDevList) with its visible view (TIOTDevListView, offscreen) attached, as the window
// does: every answer is merged and connects its board, the rows are painted as they change, and
// the list is saved once when the search window ends. Measured: the longest pause of the event
// loop (the longest gap between two ticks of a 1 ms timer), the time until every board is
// listed, and the memory per listed board. It broadcasts, so it runs only inside a private
// network namespace (see bench/run-search-bench --list); it refuses to run in the machine's own
// one. Prints figures only.
#include "BenchSearch.h"

#include "untFonts.h"
#include "untIOTDevListView.h"
#include "untIni.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QHash>
#include <QLoggingCategory>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#ifndef QUILLET_BENCH_BUILD_TYPE
#define QUILLET_BENCH_BUILD_TYPE "unknown"
#endif

namespace {

double Ms(qint64 ns) {
    return double(ns) / 1e6;
}

// How deep the timed deliveries of --slowest are nested now (0: the event loop itself).
int gDeliveryDepth = 0;

qint64 ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// The intervals between marks on the benchmark's clock, each with this thread's CPU time within
// it (the rest of an interval the thread waited: for a core, or for something to do).
class TGaps {
public:
    struct TGap {
        qint64 AtNs = 0; // end of the interval
        qint64 Ns = 0;
        qint64 CpuNs = 0;
    };

    void Start(qint64 now) {
        FLastNs = now;
        FLastCpuNs = ThreadCpuNs();
        FGaps.clear();
        FOn = true;
    }
    void Stop() { FOn = false; }
    void Mark(qint64 now) {
        if (!FOn)
            return;
        const qint64 cpu = ThreadCpuNs();
        FGaps.push_back({now, now - FLastNs, cpu - FLastCpuNs});
        FLastNs = now;
        FLastCpuNs = cpu;
    }
    // The intervals ending in [fromNs, toNs), longest first (by wall time, or by CPU time).
    std::vector<TGap> Longest(qint64 fromNs, qint64 toNs, size_t count, bool byCpu = false) const {
        std::vector<TGap> in;
        for (const TGap& g : FGaps)
            if (g.AtNs >= fromNs && g.AtNs < toNs)
                in.push_back(g);
        std::sort(in.begin(), in.end(),
                  [byCpu](const TGap& a, const TGap& b) { return byCpu ? a.CpuNs > b.CpuNs : a.Ns > b.Ns; });
        if (in.size() > count)
            in.resize(count);
        return in;
    }
    std::vector<TGap> Longest(size_t count, bool byCpu = false) const {
        return Longest(0, std::numeric_limits<qint64>::max(), count, byCpu);
    }
    size_t Over(qint64 ns) const {
        return size_t(std::count_if(FGaps.begin(), FGaps.end(), [ns](const TGap& g) { return g.Ns > ns; }));
    }
    size_t Count() const { return FGaps.size(); }

private:
    bool FOn = false;
    qint64 FLastNs = 0;
    qint64 FLastCpuNs = 0;
    std::vector<TGap> FGaps;
};

// Two views of the event loop's pauses:
// - Ticks: a 1 ms precise timer; a gap is how long the loop ran no timer. With GLib's dispatcher
//   Qt runs timers only once nothing else is ready, so this is how long the loop was never idle.
// - Passes: the dispatcher's wake-ups, one per pass of the loop; a gap is how long one pass took,
//   which is how long an input event or a repaint that became ready meanwhile waited at most.
class TPauseMonitor : public QObject {
public:
    explicit TPauseMonitor(const QElapsedTimer& clock) : FClock(clock) {
        FTick.setTimerType(Qt::PreciseTimer);
        FTick.setInterval(1);
        connect(&FTick, &QTimer::timeout, this, [this] {
            if (gDeliveryDepth > 1)
                ++NestedTicks;
            Ticks.Mark(FClock.nsecsElapsed());
        });
        if (QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance())
            connect(loop, &QAbstractEventDispatcher::awake, this,
                    [this] { Passes.Mark(FClock.nsecsElapsed()); });
    }
    // The first gaps run from here: the answers may come before the first tick.
    void Start() {
        const qint64 now = FClock.nsecsElapsed();
        Ticks.Start(now);
        Passes.Start(now);
        FTick.start();
    }
    void Stop() {
        FTick.stop();
        Ticks.Stop();
        Passes.Stop();
    }

    TGaps Ticks;
    TGaps Passes;
    // Ticks that ran inside another event's delivery (an event loop inside a handler).
    int NestedTicks = 0;

private:
    const QElapsedTimer& FClock;
    QTimer FTick;
};

// Counts the paints of the rows and notes when the last one ended.
class TPaintWatch : public QObject {
public:
    explicit TPaintWatch(const QElapsedTimer& clock) : FClock(clock) {}
    int Count = 0;
    qint64 LastNs = -1;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++Count;
            LastNs = FClock.nsecsElapsed();
        }
        return false;
    }

private:
    const QElapsedTimer& FClock;
};

// With --slowest: times every outermost event delivery, to tell what a long pause was made of.
class TTimedApp : public QApplication {
public:
    struct TDelivery {
        qint64 EndNs = 0;
        qint64 Ns = 0;
        QString What;
    };
    using QApplication::QApplication;

    const QElapsedTimer* Clock = nullptr;
    std::vector<TDelivery> Deliveries;

    bool notify(QObject* receiver, QEvent* e) override {
        if (!Clock || gDeliveryDepth > 0) {
            ++gDeliveryDepth;
            const bool done = QApplication::notify(receiver, e);
            --gDeliveryDepth;
            return done;
        }
        ++gDeliveryDepth;
        const qint64 start = Clock->nsecsElapsed();
        const int type = int(e->type());
        // What is delivered to whom, read before the handler may delete the receiver.
        QString what = QStringLiteral("event %1 to %2").arg(type).arg(receiver->metaObject()->className());
        if (const QObject* parent = receiver->parent())
            what += QStringLiteral(" (child of %1)").arg(parent->metaObject()->className());
        const bool done = QApplication::notify(receiver, e);
        const qint64 end = Clock->nsecsElapsed();
        --gDeliveryDepth;
        if (end - start > 50'000)
            Deliveries.push_back({end, end - start, what});
        return done;
    }
};

} // namespace

// --dispatcher is applied before the application object exists: "unix" is Qt's own
// (QT_NO_GLIB=1), "glib" GLib's; without it the environment decides, as for the program.
const char* DispatcherArg(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dispatcher") == 0 && i + 1 < argc)
            return argv[i + 1];
        if (std::strncmp(argv[i], "--dispatcher=", 13) == 0)
            return argv[i] + 13;
    }
    return "";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QByteArray dispatcher = DispatcherArg(argc, argv);
    if (dispatcher == "unix")
        qputenv("QT_NO_GLIB", "1");
    else if (dispatcher == "glib")
        qunsetenv("QT_NO_GLIB");
    TTimedApp app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("quillet.*.debug=false"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "One LAN search merged into the device list and its view (offscreen): the longest event-loop\n"
        "pause, the time until every board is listed, memory per board.\n"
        "Runs only inside a private network namespace; use bench/run-search-bench --list."));
    parser.addHelpOption();
    const bench::SearchOptions searchOpts;
    const QCommandLineOption settleOpt(
        QStringLiteral("settle-ms"),
        QStringLiteral("Keep measuring this long after the search window and the save (default 1000)."),
        QStringLiteral("MS"), QStringLiteral("1000"));
    const QCommandLineOption noViewOpt(
        QStringLiteral("no-view"), QStringLiteral("The list without its view (to tell their costs apart)."));
    const QCommandLineOption noSaveOpt(QStringLiteral("no-save"),
                                       QStringLiteral("No save of the list when the search window ends."));
    const QCommandLineOption dispatcherOpt(
        QStringLiteral("dispatcher"),
        QStringLiteral("Event dispatcher: unix (Qt's own) or glib; default: as the environment gives it."),
        QStringLiteral("NAME"));
    const QCommandLineOption warmOpt(
        QStringLiteral("warm"),
        QStringLiteral(
            "Render the model pictures of the rows before the search, as a later search finds them\n"
            "(without it the first paints render them, as at start-up)."));
    const QCommandLineOption slowestOpt(
        QStringLiteral("slowest"),
        QStringLiteral("Also print the N slowest event deliveries and what the longest pauses were made of."),
        QStringLiteral("N"), QStringLiteral("0"));
    parser.addOptions(searchOpts.All());
    parser.addOptions({settleOpt, noViewOpt, noSaveOpt, warmOpt, slowestOpt, dispatcherOpt});
    parser.process(app);

    const auto searchTarget =
        searchOpts.Read(parser, "quillet-bench-searchlist", "bench/run-search-bench --list");
    if (!searchTarget)
        return 2;
    const QHostAddress broadcast = searchTarget->Broadcast;
    const quint16 port = searchTarget->Port;
    const int windowMs = searchTarget->WindowMs;
    const int expect = searchTarget->Expect;
    const int settleMs = std::max(0, parser.value(settleOpt).toInt());
    const bool withView = !parser.isSet(noViewOpt);
    const bool withSave = !parser.isSet(noSaveOpt);
    const int slowest = std::max(0, parser.value(slowestOpt).toInt());

    SetupAppFonts();
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "quillet-bench-searchlist: no temporary folder\n");
        return 1;
    }
    // The list's pictures and program.ini in a folder of this run.
    SetSettingsFolder(dir.path());
    TIniSettings ini(dir.path(), QStringLiteral("0123456789AB"));
    ini.IniLoad();

    QElapsedTimer clock;
    clock.start();
    TPauseMonitor pauses(clock);
    TPaintWatch paints(clock);
    if (slowest > 0)
        app.Clock = &clock;

    TNEV_IOTDevList list;
    std::unique_ptr<TIOTDevListView> view;
    if (withView && parser.isSet(warmOpt)) {
        // Stored boards of every model, shown once: nothing connects, every model picture is rendered.
        TIniDevs models;
        for (int type = 0; type < 256; ++type) {
            TIniDev d;
            d.Name = QStringLiteral("Model %1").arg(type);
            d.MAC = QStringLiteral("02-00-00-00-00-%1").arg(type, 2, 16, QChar('0')).toUpper();
            d.IP = QStringLiteral("0.0.0.0");
            d.DevType = quint8(type);
            models << d;
        }
        TNEV_IOTDevList warmList;
        warmList.Add(models);
        TIOTDevListView warmView(&warmList);
        warmView.resize(860, 580);
        warmView.show();
        QScrollBar* bar = warmView.Rows()->verticalScrollBar();
        for (int y = 0; y <= bar->maximum() + 1; y += 400) {
            bar->setValue(std::min(y, bar->maximum()));
            warmView.Rows()->viewport()->repaint();
        }
    }
    if (withView) {
        view = std::make_unique<TIOTDevListView>(&list);
        view->Rows()->viewport()->installEventFilter(&paints);
        view->resize(860, 580);
        view->show();
        // The first frame and every shared picture before anything is measured, as at start-up.
        QCoreApplication::processEvents();
        view->Rows()->viewport()->repaint();
    }

    qint64 saveStartNs = -1, saveEndNs = -1;
    bool saveOk = true;
    int savedDevs = 0;
    if (withSave)
        // As the window does: the save runs in a pass of its own after the search's end.
        list.OnIOTListSave = [&](const TIniDevs&) {
            QTimer::singleShot(0, &app, [&] {
                saveStartNs = clock.nsecsElapsed();
                const TIniDevs devs = list.GetIniDevs();
                saveOk = ini.IniWriteDevs(devs).Ok;
                savedDevs = int(devs.size());
                saveEndNs = clock.nsecsElapsed();
            });
        };

    TNEV_IOTUDP search(port, broadcast);
    search.setSearchWindowMs(windowMs);
    if (!search.setActive(true)) {
        std::fprintf(stderr, "quillet-bench-searchlist: cannot bind port %u: %s\n", unsigned(port),
                     qPrintable(search.ErrorString()));
        return 1;
    }

    qint64 requestNs = 0, listedNs = -1, windowEndNs = -1, endNs = -1;
    qint64 reports = 0;
    const int target = expect > 0 ? expect : -1;
    std::vector<qint64> reportNs;
    reportNs.reserve(size_t(std::max(expect, 0)));
    search.OnUDPReceive = [&](const TUDPRcvRcd& rcd) {
        ++reports;
        reportNs.push_back(clock.nsecsElapsed());
        list.Add(rcd);
        if (listedNs < 0 && list.DevCount() == target)
            listedNs = clock.nsecsElapsed();
    };
    search.OnUDPTimeOut = [&] {
        windowEndNs = clock.nsecsElapsed();
        list.SearchFinished();
        QTimer::singleShot(settleMs, &app, [&] {
            endNs = clock.nsecsElapsed();
            app.quit();
        });
    };

    const double kbBefore = bench::ResidentKB();
    const int paintsBefore = paints.Count;
    pauses.Start();
    requestNs = clock.nsecsElapsed();
    if (!search.SearchDevice()) {
        std::fprintf(stderr, "quillet-bench-searchlist: the search request was not sent: %s\n",
                     qPrintable(search.ErrorString()));
        return 1;
    }
    app.exec();
    pauses.Stop();
    const double kbAfter = bench::ResidentKB();

    int online = 0, connecting = 0, refused = 0, other = 0;
    for (int i = 0; i < list.DevCount(); ++i) {
        switch (list.DevItems(i)->NetState()) {
        case TIOTNETSTATE::NET_OK:
            ++online;
            break;
        case TIOTNETSTATE::NET_CNNT:
        case TIOTNETSTATE::NET_CNNTING:
            ++connecting;
            break;
        case TIOTNETSTATE::NET_PSDERR:
            ++refused;
            break;
        default:
            ++other;
            break;
        }
    }

    const auto rel = [&](qint64 ns) { return ns < 0 ? -1.0 : Ms(ns - requestNs); };
    const auto phase = [&](qint64 atNs) {
        if (windowEndNs < 0 || atNs < windowEndNs)
            return "during the search window";
        if (saveStartNs >= 0 && atNs >= saveStartNs && atNs <= saveEndNs + 2'000'000)
            return "the save after the window's end";
        if (saveStartNs < 0 || atNs < saveStartNs)
            return "window end (merge end)";
        return "after the window";
    };
    const QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance();
    std::printf("environment: %s, load average %s, Qt %s, event dispatcher %s, build %s\n",
                qPrintable(bench::MachineText()), qPrintable(bench::LoadAverage()), qVersion(),
                loop ? loop->metaObject()->className() : "none", QUILLET_BENCH_BUILD_TYPE);
    std::printf("quillet-bench-searchlist: one search to %s:%u, window %d ms, list %s, save at the window's "
                "end %s\n",
                qPrintable(broadcast.toString()), unsigned(port), windowMs,
                !withView ? "without a view"
                : parser.isSet(warmOpt)
                    ? "with its view (860 x 580, offscreen; model pictures rendered before)"
                    : "with its view (860 x 580, offscreen; pictures rendered on first paint)",
                withSave ? "on" : "off");
    std::printf("  answers reported   %lld; boards listed %d", static_cast<long long>(reports),
                list.DevCount());
    if (expect > 0)
        std::printf(" of %d on the LAN", expect);
    {
        // When the answers were reported: a stretch without any while answers wait shows a stall.
        std::printf("\n  answers reported   by 100 ms after the request:");
        std::vector<int> per;
        for (const qint64 at : reportNs) {
            const auto slot = size_t(std::max<qint64>(0, at - requestNs) / 100'000'000);
            if (per.size() <= slot)
                per.resize(slot + 1, 0);
            ++per[slot];
        }
        for (size_t i = 0; i < per.size(); ++i)
            if (per[i] > 0)
                std::printf(" [%zu00 ms] %d", i, per[i]);
    }
    std::printf("\n  all listed at      %.1f ms after the request%s\n", rel(listedNs),
                listedNs < 0 ? " (not all were listed)" : "");
    if (withView)
        std::printf("  rows painted       %d frames; the last at %.1f ms\n", paints.Count - paintsBefore,
                    rel(paints.LastNs));
    if (withSave)
        std::printf("  save at the end    %d boards in %.1f ms (%s)\n", savedDevs,
                    saveEndNs < 0 ? 0.0 : Ms(saveEndNs - saveStartNs),
                    saveStartNs < 0 ? "nothing to save" : (saveOk ? "written" : "FAILED"));
    std::printf("  connections        %d logged in, %d still connecting, %d refused the password, %d other "
                "(at %.0f ms)\n",
                online, connecting, refused, other, rel(endNs));
    const int listedCount = std::max(1, list.DevCount());
    std::printf("  memory             %.0f KB more after the search, %.1f KB per listed board\n",
                kbAfter - kbBefore, (kbAfter - kbBefore) / listedCount);

    // What a pause was made of: the deliveries that ended within it, by kind.
    const auto breakdown = [&](const TGaps::TGap& g) {
        const qint64 from = g.AtNs - g.Ns;
        QHash<QString, std::pair<int, qint64>> kinds;
        qint64 inside = 0;
        for (const auto& d : app.Deliveries)
            if (d.EndNs > from && d.EndNs <= g.AtNs) {
                auto& k = kinds[d.What];
                ++k.first;
                k.second += d.Ns;
                inside += d.Ns;
            }
        std::vector<std::pair<QString, std::pair<int, qint64>>> sorted;
        for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
            sorted.emplace_back(it.key(), it.value());
        std::sort(sorted.begin(), sorted.end(),
                  [](const auto& a, const auto& b) { return a.second.second > b.second.second; });
        std::printf("        %.1f ms in deliveries over 0.05 ms", Ms(inside));
        for (size_t i = 0; i < sorted.size() && i < 4; ++i)
            std::printf("; %d x %s %.1f ms", sorted[i].second.first, qPrintable(sorted[i].first),
                        Ms(sorted[i].second.second));
        std::printf("\n");
    };
    const auto report = [&](const char* title, const TGaps& gaps) {
        std::printf("  %s: %zu; over 16 ms: %zu, over 50 ms: %zu; the longest:\n", title, gaps.Count(),
                    gaps.Over(16'000'000), gaps.Over(50'000'000));
        for (const auto& g : gaps.Longest(5)) {
            std::printf("    %6.1f ms (%5.1f ms of it this thread's CPU) ending at %5.0f ms, %s\n", Ms(g.Ns),
                        Ms(g.CpuNs), rel(g.AtNs), phase(g.AtNs));
            if (slowest > 0)
                breakdown(g);
        }
        const auto busiest = gaps.Longest(1, true);
        if (!busiest.empty())
            std::printf("    most CPU in one: %.1f ms (of %.1f ms ending at %.0f ms)\n",
                        Ms(busiest.front().CpuNs), Ms(busiest.front().Ns), rel(busiest.front().AtNs));
    };
    report("passes of the event loop", pauses.Passes);
    report("gaps between ticks of a 1 ms timer", pauses.Ticks);
    if (slowest > 0) {
        auto& d = app.Deliveries;
        std::sort(d.begin(), d.end(), [](const auto& a, const auto& b) { return a.Ns > b.Ns; });
        std::printf("  slowest deliveries (timer ticks inside another delivery: %d):\n", pauses.NestedTicks);
        for (size_t i = 0; i < d.size() && i < size_t(slowest); ++i)
            std::printf("    %.1f ms ending at %.0f ms: %s\n", Ms(d[i].Ns), rel(d[i].EndNs),
                        qPrintable(d[i].What));
    }
    const auto first = [](const std::vector<TGaps::TGap>& v, bool cpu) {
        return v.empty() ? 0.0 : Ms(cpu ? v.front().CpuNs : v.front().Ns);
    };
    std::printf(
        "searchlist: %d boards listed in %.0f ms; longest pass of the event loop %.1f ms (most own CPU in "
        "one pass %.1f ms); longest timer gap %.1f ms; %.1f KB per board; load %s\n",
        list.DevCount(), rel(listedNs), first(pauses.Passes.Longest(1), false),
        first(pauses.Passes.Longest(1, true), true), first(pauses.Ticks.Longest(1), false),
        (kbAfter - kbBefore) / listedCount, qPrintable(bench::LoadAverage()));
    std::fflush(stdout);
    return 0;
}
