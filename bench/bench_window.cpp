// quillet-bench-window: what the main window costs to start with many stored boards. Each
// measurement is a fresh process of this program (a "child"), started the way the program starts
// (application object, fonts, the window, show) against a temporary settings folder: from the
// start of main() to the window's first painted frame, and the resident memory then. Children
// with 0 and with N stored boards (program.ini written through the settings unit) alternate.
//
// The window searches the LAN as soon as it is created: here its search, router join and cloud
// server are all on 127.0.0.1, so nothing leaves this computer. Offscreen. Prints figures only.
#include "BenchBoards.h"
#include "BenchUtil.h"

#include "frmMain.h"
#include "untDevEvents.h"
#include "untFonts.h"
#include "untIOTCtrlList.h"
#include "untIOTDevList.h"
#include "untIni.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QIcon>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#ifndef QUILLET_BENCH_BUILD_TYPE
#define QUILLET_BENCH_BUILD_TYPE "unknown"
#endif

namespace {

constexpr char ChildArg[] = "--child-settings";
constexpr char MachineKey[] = "0123456789AB";

// Message boxes would wait for a person: every text is kept and printed instead.
class TQuietMessages : public TMessageService {
public:
    void ShowMessage(QWidget*, const QString& text) override { Texts << text; }
    bool Confirm(QWidget*, const QString& text) override {
        Texts << text;
        return false;
    }
    std::optional<QString> InputQuery(QWidget*, const QString& caption, const QString&, const QString&,
                                      bool) override {
        Texts << caption;
        return std::nullopt;
    }
    bool OpenUrl(QWidget*, const QUrl& url) override {
        Texts << url.toString();
        return false;
    }
    QStringList Texts;
};

// The window's environment for a benchmark: the program's own timings, but every search, router
// join and cloud request goes to this computer only.
TMainEnv LoopbackEnv(const QString& folder, std::shared_ptr<TMessageService> messages) {
    TMainEnv env;
    env.SettingsFolder = folder;
    env.MachineKey = QString::fromLatin1(MachineKey);
    env.SearchBroadcast = QHostAddress(QHostAddress::LocalHost);
    env.SearchPort = quint16(0);
    env.SearchTargetPort = 0;
    env.RouterBroadcast = QHostAddress(QHostAddress::LocalHost);
    env.RouterPort = 0;
    env.RouterTargetPort = 0;
    env.CloudServer = QStringLiteral("http://127.0.0.1:9");
    env.Messages = std::move(messages);
    return env;
}

// Counts the paint events of the window and its children.
class TPaintWatch : public QObject {
public:
    explicit TPaintWatch(QWidget* window) : FWindow(window) {}
    int Count = 0;

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && o->isWidgetType() && static_cast<QWidget*>(o)->window() == FWindow)
            ++Count;
        return false;
    }

private:
    QWidget* FWindow;
};

// Selection of an (8,4,2,2,1) board to its filled control panel: a simulated board on loopback,
// added by address, is selected once it is logged in; the clock stops when the query chain has
// read everything (names included) and the panel is in place. The panel's slide is set to 0 so
// that the figure is the window's work, not the animation's length. None when no board came up.
std::optional<double> MeasurePanelFilled(Tfrm_Main& w) {
    QProcess sim;
    sim.start(QStringLiteral(BOARDSIM), {"--listen", "127.0.0.1:0", "--no-search", "--no-router", "--board",
                                         "mac=02-51-4C-00-0B-01,out=8,in=4,pwm=2,reg=2,ir=1"});
    QByteArray out;
    const QDeadlineTimer ready(10000);
    while (!out.contains("\nready") && !ready.hasExpired() && sim.state() != QProcess::NotRunning) {
        sim.waitForReadyRead(100);
        out += sim.readAllStandardOutput();
    }
    const auto port = QRegularExpression(QStringLiteral("tcp=127\\.0\\.0\\.1:([0-9]+)"))
                          .match(QString::fromLatin1(out))
                          .captured(1)
                          .toUShort();
    std::optional<double> result;
    if (port != 0) {
        TIniDev dev;
        dev.MAC = QStringLiteral("02-51-4C-00-0B-01");
        dev.Name = QStringLiteral("Bench board");
        dev.LanHost = QStringLiteral("127.0.0.1");
        dev.LanPort = port;
        TNEV_IOTDevList* list = w.IOTDevList();
        list->Add(TIniDevs{dev});
        list->ConnectByAddress();
        TIOTDevItem* item = list->Item(list->IndexOfMAC(dev.MAC));
        const QDeadlineTimer online(10000);
        while (item && item->Conn()->NetState() != TIOTNETSTATE::NET_OK && !online.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        if (item && item->Conn()->NetState() == TIOTNETSTATE::NET_OK) {
            w.IOTCtrlList()->SetSlideDuration(0);
            QElapsedTimer t;
            t.start();
            list->ItemClick(item, DevListTag::Device);
            auto filled = [&] {
                const TNEV_IOTCtrlList* c = w.IOTCtrlList();
                return w.DevEvents()->Selected() && !w.DevEvents()->ChainRunning() && c->Appeared() &&
                       c->OutCount() == 8 && c->RedCount() == 1;
            };
            const QDeadlineTimer done(10000);
            while (!filled() && !done.hasExpired())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            if (filled())
                result = double(t.nsecsElapsed()) / 1e6;
        }
    }
    sim.kill();
    sim.waitForFinished();
    return result;
}

// One start of the window, in this process; prints one line for the parent.
int RunChild(int argc, char** argv, const QString& folder, const QElapsedTimer& sinceMain) {
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("quillet.*.debug=false"));
    // As the program's main() does.
    QApplication::setApplicationName(QStringLiteral("quillet"));
    QApplication::setOrganizationName(QStringLiteral("quillet"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/Main_Boy.svg")));
    SetupAppFonts();

    auto messages = std::make_shared<TQuietMessages>();
    const qint64 beforeWindowNs = sinceMain.nsecsElapsed();
    auto window = std::make_unique<Tfrm_Main>(LoopbackEnv(folder, messages));
    const qint64 builtNs = sinceMain.nsecsElapsed();
    TPaintWatch paints(window.get());
    app.installEventFilter(&paints);
    window->show();
    const QDeadlineTimer deadline(30000);
    while (paints.Count == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const qint64 paintedNs = sinceMain.nsecsElapsed();
    const double rss = bench::ResidentKB();
    if (paints.Count == 0) {
        std::fprintf(stderr, "quillet-bench-window: the window was not painted within 30 s\n");
        return 1;
    }
    const int listed = window->IOTDevList() ? window->IOTDevList()->DevCount() : -1;
    const std::optional<double> panel = MeasurePanelFilled(*window);
    const QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance();
    std::printf(
        "child boards=%d app_ms=%.2f window_ms=%.2f paint_ms=%.2f rss_kb=%.0f panel_ms=%s dispatcher=%s\n",
        listed, double(beforeWindowNs) / 1e6, double(builtNs - beforeWindowNs) / 1e6, double(paintedNs) / 1e6,
        rss, panel ? qPrintable(QString::number(*panel, 'f', 2)) : "none",
        loop ? loop->metaObject()->className() : "none");
    for (const QString& text : messages->Texts)
        std::fprintf(stderr, "quillet-bench-window: the window said: %s\n", qPrintable(text));
    std::fflush(stdout);
    window.reset();
    return 0;
}

struct TChildResult {
    int Boards = -1;
    double AppMs = 0;
    double WindowMs = 0;
    double PaintMs = 0;
    double RssKB = 0;
    std::optional<double> PanelMs;
    QString Dispatcher;
};

std::optional<TChildResult> StartChild(const QString& folder, QString& error) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(ChildArg), folder});
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0) {
        error = QStringLiteral("a window run failed (exit %1)").arg(child.exitCode());
        child.kill();
        child.waitForFinished(5000);
        return std::nullopt;
    }
    static const QRegularExpression line(QStringLiteral(
        R"(child boards=(-?\d+) app_ms=([\d.]+) window_ms=([\d.]+) paint_ms=([\d.]+) rss_kb=([\d.]+) )"
        R"(panel_ms=(\S+) dispatcher=(\S+))"));
    const auto m = line.match(QString::fromUtf8(child.readAllStandardOutput()));
    if (!m.hasMatch()) {
        error = QStringLiteral("a window run printed no figures");
        return std::nullopt;
    }
    TChildResult r;
    r.Boards = m.captured(1).toInt();
    r.AppMs = m.captured(2).toDouble();
    r.WindowMs = m.captured(3).toDouble();
    r.PaintMs = m.captured(4).toDouble();
    r.RssKB = m.captured(5).toDouble();
    bool ok = false;
    const double panel = m.captured(6).toDouble(&ok);
    if (ok)
        r.PanelMs = panel;
    r.Dispatcher = m.captured(7);
    return r;
}

double Median(std::vector<double> v) {
    return bench::Percentile(v, 50);
}

struct TSide {
    std::vector<double> App, Window, Paint, Rss, Panel;
    int Boards = -1;
    void Add(const TChildResult& r) {
        App.push_back(r.AppMs);
        Window.push_back(r.WindowMs);
        Paint.push_back(r.PaintMs);
        Rss.push_back(r.RssKB);
        if (r.PanelMs)
            Panel.push_back(*r.PanelMs);
        Boards = r.Boards;
    }
};

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::strcmp(argv[1], ChildArg) == 0)
        return RunChild(1, argv, QString::fromLocal8Bit(argv[2]), sinceMain);

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Start of the main window to its first painted frame, with 0 and with N stored boards,\n"
        "each in a fresh process, offscreen, everything on loopback."));
    parser.addHelpOption();
    const QCommandLineOption boardsOpt(QStringLiteral("boards"),
                                       QStringLiteral("Stored boards of the second start (default 1000)."),
                                       QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption roundsOpt(QStringLiteral("rounds"),
                                       QStringLiteral("Starts of each kind (default 5)."),
                                       QStringLiteral("R"), QStringLiteral("5"));
    const QCommandLineOption writeOpt(
        QStringLiteral("write-settings"),
        QStringLiteral(
            "Only write a settings folder with N stored boards into DIR and stop; one start can then be\n"
            "profiled with: quillet-bench-window --child-settings DIR."),
        QStringLiteral("DIR"));
    parser.addOptions({boardsOpt, roundsOpt, writeOpt});
    parser.process(app);
    const int boards = std::clamp(parser.value(boardsOpt).toInt(), 1, MaxIniDevs);
    const int rounds = std::max(1, parser.value(roundsOpt).toInt());

    const auto writeSettings = [](const QString& folder, int n) {
        TIniSettings ini(folder, QString::fromLatin1(MachineKey));
        ini.IniLoad();
        const TIniSaveResult saved = ini.IniWriteDevs(bench::StoredBoards(n));
        if (!saved.Ok)
            std::fprintf(stderr, "quillet-bench-window: cannot write program.ini: %s\n",
                         qPrintable(saved.Message));
        return saved.Ok;
    };
    if (parser.isSet(writeOpt))
        return writeSettings(parser.value(writeOpt), boards) ? 0 : 1;

    // Two settings folders, written through the settings unit as the program writes them.
    QTemporaryDir emptyDir, fullDir;
    if (!emptyDir.isValid() || !fullDir.isValid()) {
        std::fprintf(stderr, "quillet-bench-window: no temporary folder\n");
        return 1;
    }
    if (!writeSettings(emptyDir.path(), 0) || !writeSettings(fullDir.path(), boards))
        return 1;

    std::printf("environment: %s, load average %s, Qt %s, build %s, offscreen\n",
                qPrintable(bench::MachineText()), qPrintable(bench::LoadAverage()), qVersion(),
                QUILLET_BENCH_BUILD_TYPE);
    QString error;
    // One start first that is not counted: the program's files come into the page cache.
    if (!StartChild(fullDir.path(), error)) {
        std::fprintf(stderr, "quillet-bench-window: %s\n", qPrintable(error));
        return 1;
    }
    TSide empty, full;
    QString dispatcher;
    for (int round = 0; round < rounds; ++round) {
        // The order alternates so that neither kind always starts on a warmer machine.
        for (int side = 0; side < 2; ++side) {
            const bool emptyNow = (side == 0) == (round % 2 == 0);
            const auto r = StartChild(emptyNow ? emptyDir.path() : fullDir.path(), error);
            if (!r) {
                std::fprintf(stderr, "quillet-bench-window: %s\n", qPrintable(error));
                return 1;
            }
            (emptyNow ? empty : full).Add(*r);
            dispatcher = r->Dispatcher;
        }
    }

    const auto row = [](const char* label, const TSide& s) {
        std::printf("  %-22s application %6.1f ms, window built %6.1f ms, first paint %6.1f ms after main(); "
                    "resident %7.0f KB   (medians of %zu; first paint min %.1f, max %.1f)\n",
                    label, Median(s.App), Median(s.Window), Median(s.Paint), Median(s.Rss), s.Paint.size(),
                    *std::min_element(s.Paint.begin(), s.Paint.end()),
                    *std::max_element(s.Paint.begin(), s.Paint.end()));
    };
    std::printf("quillet-bench-window: %d starts of each kind, event dispatcher %s\n", rounds,
                qPrintable(dispatcher));
    row("0 stored boards", empty);
    row(qPrintable(QStringLiteral("%1 stored boards").arg(boards)), full);
    std::printf("  boards listed by the window: %d and %d\n", empty.Boards, full.Boards);
    const double p0 = Median(empty.Paint), pN = Median(full.Paint);
    const double kbPerBoard = (Median(full.Rss) - Median(empty.Rss)) / boards;
    std::printf("  first paint +%.1f ms with %d boards; %.1f KB per board above the empty start\n", pN - p0,
                boards, kbPerBoard);
    std::printf("  load average at the end %s\n", qPrintable(bench::LoadAverage()));
    QString last = QStringLiteral("window: first paint %1 ms, with %2 stored boards %3 ms")
                       .arg(p0, 0, 'f', 1)
                       .arg(boards)
                       .arg(pN, 0, 'f', 1);
    if (!full.Panel.empty())
        last += QStringLiteral("; panel filled %1 ms").arg(Median(full.Panel), 0, 'f', 1);
    std::printf("%s\n", qPrintable(last));
    return 0;
}
