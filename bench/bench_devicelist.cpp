// quillet-bench-devicelist: what a long device list costs the window. Loads N stored boards into
// the device list and its view offscreen, against the same steps with one board in the same run:
// the time to the first painted frame, the time of a scroll frame, and the memory per board.
// Nothing connects: stored boards stay unconnected until a login or a search. Prints figures only.
#include "BenchBoards.h"
#include "BenchUtil.h"

#include "untFonts.h"
#include "untIOTDevListView.h"
#include "untIni.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QScrollBar>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Counts the paint events a widget gets, to show that every measured frame was painted.
class TPaintCounter : public QObject {
public:
    int Count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++Count;
        return false;
    }
};

struct TRun {
    int painted = 0;
    double firstPaintMs = 0;
    std::vector<double> scrollMs;
    double kbPerBoard = 0;
};

// Start-up's steps for the list: the stored boards into the list, the view created, shown and
// painted once. Then scroll frames over the whole list.
TRun Run(int boards, int scrollFrames) {
    TRun r;
    const TIniDevs devs = bench::StoredBoards(boards);
    const double kbBefore = bench::ResidentKB();
    QElapsedTimer t;
    t.start();
    auto list = std::make_unique<TNEV_IOTDevList>();
    list->Add(devs);
    auto view = std::make_unique<TIOTDevListView>(list.get());
    TPaintCounter counter;
    view->Rows()->viewport()->installEventFilter(&counter);
    view->resize(860, 580);
    view->show();
    // The window system's expose arrives as an event; the first frame is painted then.
    QCoreApplication::processEvents();
    view->Rows()->viewport()->repaint();
    r.firstPaintMs = double(t.nsecsElapsed()) / 1e6;
    r.kbPerBoard = (bench::ResidentKB() - kbBefore) / boards;

    QScrollBar* bar = view->Rows()->verticalScrollBar();
    const int step = 37; // a wheel notch or a drag frame; not a multiple of the row height
    for (int f = 0; f < scrollFrames; ++f) {
        int next = bar->value() + step;
        if (next > bar->maximum())
            next = 0;
        t.restart();
        bar->setValue(next);
        view->Rows()->viewport()->repaint();
        r.scrollMs.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    r.painted = counter.Count;
    return r;
}

double Median(std::vector<double> v) {
    return bench::Percentile(v, 50);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("quillet.*.debug=false"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("First paint, scroll frames and memory of the device list with N stored boards,\n"
                       "against the same steps with one board, offscreen."));
    parser.addHelpOption();
    const QCommandLineOption boardsOpt(QStringLiteral("boards"),
                                       QStringLiteral("Boards to load (default 1000)."), QStringLiteral("N"),
                                       QStringLiteral("1000"));
    const QCommandLineOption roundsOpt(QStringLiteral("rounds"),
                                       QStringLiteral("Rounds of the 1-board and N-board runs (default 5)."),
                                       QStringLiteral("R"), QStringLiteral("5"));
    const QCommandLineOption framesOpt(QStringLiteral("frames"),
                                       QStringLiteral("Scroll frames per run (default 300)."),
                                       QStringLiteral("F"), QStringLiteral("300"));
    parser.addOptions({boardsOpt, roundsOpt, framesOpt});
    parser.process(app);
    const int boards = std::max(1, parser.value(boardsOpt).toInt());
    const int rounds = std::max(1, parser.value(roundsOpt).toInt());
    const int frames = std::max(1, parser.value(framesOpt).toInt());

    SetupAppFonts();
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    SetSettingsFolder(dir.path()); // an empty picture folder

    // Every picture a row can show is rendered once before anything is measured, as the
    // window's start-up does for its shared pictures.
    Run(17, 20);

    std::vector<double> paint1, paintN, kbN, scrollAll;
    long paintedN = 0;
    for (int round = 0; round < rounds; ++round) {
        // The order alternates so that neither side always runs on a warmer process.
        const bool oneFirst = round % 2 == 0;
        for (int side = 0; side < 2; ++side) {
            const bool one = (side == 0) == oneFirst;
            TRun r = Run(one ? 1 : boards, one ? 1 : frames);
            if (one) {
                paint1.push_back(r.firstPaintMs);
            } else {
                paintN.push_back(r.firstPaintMs);
                kbN.push_back(r.kbPerBoard);
                paintedN += r.painted;
                scrollAll.insert(scrollAll.end(), r.scrollMs.begin(), r.scrollMs.end());
            }
        }
    }
    const double p1 = Median(paint1), pN = Median(paintN);
    std::vector<double> scroll = scrollAll;
    const double s50 = bench::Percentile(scroll, 50), s99 = bench::Percentile(scroll, 99);
    // The first round's memory: later rounds reuse what the allocator kept from earlier ones.
    const double kb = kbN.front();
    std::printf("rounds %d; first paint median 1 board %.2f ms, %d boards %.2f ms\n", rounds, p1, boards, pN);
    std::printf("paint events of the rows in the %d-board runs: %ld\n", boards, paintedN);
    std::printf("scroll frames %zu: median %.3f ms, p99 %.3f ms, max %.3f ms\n", scrollAll.size(), s50, s99,
                scroll.empty() ? 0.0 : scroll.back());
    std::printf("memory per board (first round): %.1f KB\n", kb);
    std::printf("devicelist: %d boards; first paint +%.1f ms over 1 board; scroll frame p99 %.2f ms; %.1f KB "
                "per board\n",
                boards, pN - p1, s99, kb);
    return 0;
}
