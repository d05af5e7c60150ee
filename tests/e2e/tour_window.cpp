// quillet-tour: the window's short tour for scripts/run on a computer without a display. Run on
// the virtual LAN under Xvfb, it opens the window as the program does, walks a few steps and saves
// a screenshot of the screen after each one, printing where. Each step starts when the one before
// has settled; nothing here is measured.
#include "frmMain.h"
#include "untFonts.h"
#include "untIOTCtrlList.h"
#include "untIOTDevList.h"
#include "untIOTOutCtrl.h"
#include "untIOTUDP.h"

#include <QApplication>
#include <QDir>
#include <QNetworkInterface>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

bool InsideVirtualLan() {
    bool veth = false;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        if (i.name() == QLatin1String("veth-pc"))
            veth = true;
        else if (i.type() != QNetworkInterface::Loopback)
            return false;
    }
    return veth;
}

struct TStep {
    const char* name;
    std::function<void(Tfrm_Main&)> act;
    int settleMs;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillet-tour SETTINGS_FOLDER SCREENSHOT_FOLDER\n");
        return 2;
    }
    // The window searches by broadcast as soon as it exists.
    if (!InsideVirtualLan()) {
        std::fprintf(stderr, "quillet-tour: runs only inside the virtual LAN (tools/virtual-lan)\n");
        return 1;
    }
    SetupAppFonts();
    const QString shots = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(shots);

    TMainEnv env = ProgramEnv();
    env.SettingsFolder = QString::fromLocal8Bit(argv[1]);
    auto* window = new Tfrm_Main(env);
    QPointer<Tfrm_Main> w(window);
    w->show();

    const int searchMs = env.SearchWindowMs + 500;
    const QList<TStep> steps{
        {"start", [](Tfrm_Main&) {}, searchMs},
        {"more-page", [](Tfrm_Main& m) { m.img_MainSettingClick(TAB_MORE); }, 800},
        {"chinese", [](Tfrm_Main& m) { m.img_MainSettingClick(TAB_CN); }, 400},
        {"user-page", [](Tfrm_Main& m) { m.img_MainSettingClick(TAB_USER); }, 800},
        {"english-device-page",
         [](Tfrm_Main& m) {
             m.img_MainSettingClick(TAB_EN);
             QTimer::singleShot(100, &m, [&m] { m.img_MainSettingClick(TAB_DEVICE); });
         },
         900},
        {"select-board",
         [](Tfrm_Main& m) {
             for (int i = 0; i < m.IOTDevList()->DevCount(); ++i)
                 if (TIOTDevItem* item = m.IOTDevList()->Item(i);
                     item->Conn()->NetState() == TIOTNETSTATE::NET_OK) {
                     m.IOTDevList()->ItemClick(item, DevListTag::Device);
                     return;
                 }
         },
         1500},
        {"switch-output",
         [](Tfrm_Main& m) {
             if (auto* out = m.IOTCtrlList()->OutItems(0))
                 m.IOTCtrlList()->ForwardCellClick(out, 0, 1, TIOTYPE::IO_OUT);
         },
         800},
        {"device-settings",
         [](Tfrm_Main& m) {
             m.IOTCtrlList()->ForwardCellClick(nullptr, -1, TNEV_IOTCtrlList::TagEdit, TIOTYPE::IO_NIL);
         },
         600},
    };

    int index = 0;
    int failures = 0;
    std::function<void()> next = [&] {
        if (!w || index >= steps.size()) {
            if (w)
                w->close();
            QApplication::quit();
            return;
        }
        const TStep& step = steps[index];
        step.act(*w);
        QTimer::singleShot(step.settleMs, w, [&, name = QString::fromLatin1(step.name)] {
            const QPixmap shot = w->screen()->grabWindow(0);
            const QString file =
                QStringLiteral("%1/%2-%3.png").arg(shots).arg(index + 1, 2, 10, QLatin1Char('0')).arg(name);
            if (shot.save(file)) {
                std::printf("tour: %s\n", qPrintable(file));
            } else {
                std::fprintf(stderr, "tour: could not save %s\n", qPrintable(file));
                ++failures;
            }
            std::fflush(stdout);
            ++index;
            next();
        });
    };
    QTimer::singleShot(0, w, next);
    const int rc = QApplication::exec();
    delete window;
    return rc != 0 ? rc : (failures ? 1 : 0);
}
