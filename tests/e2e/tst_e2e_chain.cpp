// The selected board's query chain and its channels end to end: the window offscreen, on a virtual
// LAN (tools/virtual-lan) where its LAN search really broadcasts, against quillet-boardsim boards
// whose request logs show what the window sent. Started by ctest, the program starts the virtual
// LAN with the boards below and runs itself again inside its "pc" namespace. Without root there are
// no namespaces: it says so and exits with VirtualLanSkipStatus (reported as skipped).
#include "VirtualLan.h"
#include "WindowLan.h"

#include "untDevEvents.h"
#include "untIOTCtrlList.h"
#include "untIOTDevList.h"
#include "untIOTInCtrl.h"
#include "untIOTOutCtrl.h"
#include "untIOTPWMCtrl.h"
#include "untIOTREGCtrl.h"
#include "untIOTRedCtrl.h"
#include "untTCPClient.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QPointer>
#include <QRegularExpression>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr const char* InsideVar = "QUILLET_E2E_CHAIN_INSIDE";

// One simulated board: its MAC and the rest of its quillet-boardsim spec.
struct TSimBoard {
    const char* Mac;
    const char* Keys;
};

// Each scenario has boards of its own, so that one board's log belongs to one scenario.
namespace B {
constexpr TSimBoard Jogger{"5C-CF-7F-0C-00-01", "name=Jogger,out=4,in=1,pwm=1,reg=0,ir=0"};
constexpr TSimBoard Bystander{"5C-CF-7F-0C-00-02", "name=Bystander,out=2,in=0,pwm=0,reg=0,ir=0"};
constexpr TSimBoard Split{"5C-CF-7F-0C-00-03", "name=Split,out=8,in=4,pwm=2,reg=2,ir=1,inputs=0110,"
                                               "regs=12.5/-3.5,split=3,split-gap-ms=2,garbage"};
constexpr TSimBoard Crumbs{"5C-CF-7F-0C-00-11", "name=Crumbs,out=2,in=2,pwm=0,reg=1,ir=0,inputs=01,regs=-0.5,"
                                                "split=1,split-gap-ms=1,garbage"};
constexpr TSimBoard Slow{"5C-CF-7F-0C-00-04", "name=Slow,out=4,in=2,pwm=0,reg=1,ir=0,delay=400"};
constexpr TSimBoard Mute{"5C-CF-7F-0C-00-12",
                         "name=Mute,out=4,in=2,pwm=0,reg=1,ir=0,delay=400,ignore=0x01/0x02"};
constexpr TSimBoard DeafIn{"5C-CF-7F-0C-00-05", "name=DeafIn,out=4,in=2,pwm=0,reg=0,ir=0,ignore=0x14"};
constexpr TSimBoard DeafNames{"5C-CF-7F-0C-00-06", "name=DeafNames,out=2,in=0,pwm=0,reg=0,ir=0,ignore=0x63"};
constexpr TSimBoard DeafIO{"5C-CF-7F-0C-00-07", "name=DeafIO,out=2,in=0,pwm=0,reg=0,ir=0,ignore=0x7E"};
constexpr TSimBoard Alpha{"5C-CF-7F-0C-00-08", "name=Alpha,out=2,in=0,pwm=0,reg=0,ir=0"};
constexpr TSimBoard Beta{"5C-CF-7F-0C-00-09", "name=Beta,out=6,in=3,pwm=0,reg=0,ir=0"};
constexpr TSimBoard Sloth{"5C-CF-7F-0C-00-0A", "name=Sloth,out=3,in=0,pwm=0,reg=0,ir=0,delay=400"};
constexpr TSimBoard Doomed{"5C-CF-7F-0C-00-0B", "name=Doomed,out=5,in=0,pwm=0,reg=0,ir=0"};
constexpr TSimBoard Full{"5C-CF-7F-0C-00-0C", "name=Full,out=8,in=4,pwm=2,reg=2,ir=1"};
constexpr TSimBoard OutOnly{"5C-CF-7F-0C-00-0D", "name=OutOnly,out=8,in=0,pwm=0,reg=0,ir=0"};
constexpr TSimBoard InOnly{"5C-CF-7F-0C-00-0E", "name=InOnly,out=0,in=4,pwm=0,reg=0,ir=0"};
constexpr TSimBoard PwmReg{"5C-CF-7F-0C-00-0F", "name=PwmReg,out=0,in=0,pwm=2,reg=2,ir=0"};
constexpr TSimBoard IrOnly{"5C-CF-7F-0C-00-10", "name=IrOnly,out=0,in=0,pwm=0,reg=0,ir=1"};
} // namespace B

const TSimBoard* const Boards[] = {&B::Jogger,    &B::Bystander, &B::Split,   &B::Slow,   &B::DeafIn,
                                   &B::DeafNames, &B::DeafIO,    &B::Alpha,   &B::Beta,   &B::Sloth,
                                   &B::Doomed,    &B::Full,      &B::OutOnly, &B::InOnly, &B::PwmReg,
                                   &B::IrOnly,    &B::Crumbs,    &B::Mute};

const TSimBoard& BoardNamed(const QString& name) {
    for (const TSimBoard* b : Boards)
        if (QString::fromLatin1(b->Keys).startsWith(QStringLiteral("name=") + name + ','))
            return *b;
    qFatal("no simulated board %s", qPrintable(name));
}

QString Join(const QStringList& l) {
    return l.join(' ');
}

// The simulators' request log (quillet-boardsim --verbose, written by tools/virtual-lan).
class TBoardLog {
public:
    QStringList Lines() const {
        QFile f(qEnvironmentVariable("QUILLET_VLAN_LOG_DIR") + QStringLiteral("/boardsim.err"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    // Request codes a board took, in order ("7e", "0a"), ignored ones included.
    QStringList Codes(const char* mac) const {
        static const QRegularExpression re("(?:< ([0-9a-f]{2})[0-9a-f ]* >|ignores ([0-9a-f]{2}))");
        QStringList r;
        for (const QString& l : Lines()) {
            if (!l.contains(QLatin1String(mac), Qt::CaseInsensitive))
                continue;
            if (const auto m = re.match(l); m.hasMatch())
                r << (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1));
        }
        return r;
    }
    // The board's output changes in order ("3 on", "3 off").
    QStringList OutputChanges(const char* mac) const {
        static const QRegularExpression re("output ([0-9]+) (on|off)");
        QStringList r;
        for (const QString& l : Lines())
            if (const auto m = re.match(l);
                m.hasMatch() && l.contains(QLatin1String(mac), Qt::CaseInsensitive))
                r << m.captured(1) + ' ' + m.captured(2);
        return r;
    }
};

// Records like TRecordingMessages and lets a test look at the window as each box opens.
class TProbeMessages : public TRecordingMessages {
public:
    std::function<void()> BeforeBox;

    void ShowMessage(QWidget* parent, const QString& text) override {
        Probe();
        TRecordingMessages::ShowMessage(parent, text);
    }
    bool Confirm(QWidget* parent, const QString& text) override {
        Probe();
        return TRecordingMessages::Confirm(parent, text);
    }
    std::optional<QString> InputQuery(QWidget* parent, const QString& caption, const QString& prompt,
                                      const QString& initial, bool masked) override {
        Probe();
        return TRecordingMessages::InputQuery(parent, caption, prompt, initial, masked);
    }

private:
    void Probe() {
        if (BeforeBox)
            BeforeBox();
    }
};

QList<int> Counts(const TNEV_IOTCtrlList* panel) {
    return {panel->OutCount(), panel->InCount(), panel->PWMCount(), panel->REGCount(), panel->RedCount()};
}

// The names the panel shows, class by class in panel order.
QStringList ShownNames(const TNEV_IOTCtrlList* panel) {
    QStringList r;
    for (int i = 0; i < panel->OutCount(); ++i)
        r << panel->OutItems(i)->CtrlName();
    for (int i = 0; i < panel->InCount(); ++i)
        r << panel->InItems(i)->CtrlName();
    for (int i = 0; i < panel->PWMCount(); ++i)
        r << panel->PWMItems(i)->CtrlName();
    for (int i = 0; i < panel->REGCount(); ++i)
        r << panel->REGItems(i)->CtrlName();
    for (int i = 0; i < panel->RedCount(); ++i)
        r << panel->RedItems(i)->CtrlName();
    return r;
}

// The simulator's own channel names for these counts ("Out 1", ..., "IR 1").
QStringList BoardNames(const QList<int>& counts) {
    static const char* const prefixes[] = {"Out", "In", "PWM", "REG", "IR"};
    QStringList r;
    for (int c = 0; c < counts.size(); ++c)
        for (int i = 1; i <= counts[c]; ++i)
            r << QStringLiteral("%1 %2").arg(QLatin1String(prefixes[c])).arg(i);
    return r;
}

} // namespace

class tst_e2e_chain : public QObject {
    Q_OBJECT

    std::shared_ptr<TProbeMessages> FMsgs;
    std::unique_ptr<QTemporaryDir> FDir;
    TBoardLog FLog;

    std::unique_ptr<Tfrm_Main> Open(int slideMs = 20, int chainStepMs = TDevEvents::DefaultChainStepMs) {
        TMainEnv env = VirtualLanEnv(FDir->path(), FMsgs);
        env.SlideMs = slideMs;
        env.ChainStepMs = chainStepMs;
        auto w = std::make_unique<Tfrm_Main>(env);
        w->show();
        return w;
    }

    static TIOTDevItem* Item(const Tfrm_Main& w, const TSimBoard& b) {
        const int i = w.IOTDevList()->IndexOfMAC(QLatin1String(b.Mac));
        return i < 0 ? nullptr : w.IOTDevList()->Item(i);
    }
    static bool Online(const Tfrm_Main& w, const TSimBoard& b) {
        const TIOTDevItem* item = Item(w, b);
        return item && item->Conn()->NetState() == TIOTNETSTATE::NET_OK;
    }
    // The board is online and the search overlay gone, so that a user could click it.
    static bool WaitOnline(const Tfrm_Main& w, const TSimBoard& b) {
        return QTest::qWaitFor(
            [&] {
                return Online(w, b) &&
                       w.findChild<QWidget*>(QStringLiteral("img_Searching_back"))->isHidden();
            },
            15000);
    }
    // The chain has read the selected board `b` and its panel is in place.
    static bool Read(const Tfrm_Main& w, const TSimBoard& b) {
        const TIOTDevItem* item = Item(w, b);
        return item && w.DevEvents()->Selected() == item->Conn() && !w.DevEvents()->ChainRunning() &&
               w.IOTCtrlList()->Appeared() && !w.IOTCtrlList()->isSliding();
    }
    // Clicks the board in the list once it is online and waits until the chain has read it.
    static bool Select(Tfrm_Main& w, const TSimBoard& b) {
        if (!WaitOnline(w, b))
            return false;
        w.IOTDevList()->ItemClick(Item(w, b), DevListTag::Device);
        return QTest::qWaitFor([&] { return Read(w, b); }, 15000);
    }
    // Closes the panel as a click on the list's empty area does.
    static bool ClosePanel(Tfrm_Main& w) {
        w.IOTDevList()->DoListClick(-1, DevListTag::Panel);
        return QTest::qWaitFor([&] { return !w.IOTCtrlList()->Appeared() && !w.IOTCtrlList()->isSliding(); },
                               10000);
    }
    static void Shoot(Tfrm_Main& w, const QString& name) {
        const QString dir = QStringLiteral(SHOT_DIR);
        QDir().mkpath(dir);
        const QString lang = LangIsCn() ? QStringLiteral("cn") : QStringLiteral("en");
        QVERIFY(w.grab().save(QStringLiteral("%1/e2e-chain-%2-%3.png").arg(dir, name, lang)));
    }
    static void SwitchLanguage(Tfrm_Main& w, bool cn) {
        const bool locked = w.Locked();
        if (locked)
            w.LockScreen(false); // the language buttons are behind the lock
        w.img_MainSettingClick(cn ? TAB_CN : TAB_EN);
        // The lists re-label themselves on the language change event the translator posts.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        if (locked)
            w.LockScreen(true);
    }
    // A screenshot in each language; the window goes back to the language it had.
    static void ShootBothLanguages(Tfrm_Main& w, const QString& name) {
        const bool cn = LangIsCn();
        Shoot(w, name);
        SwitchLanguage(w, !cn);
        QCOMPARE(LangIsCn(), !cn);
        Shoot(w, name);
        SwitchLanguage(w, cn);
        QCOMPARE(LangIsCn(), cn);
    }

private slots:
    void initTestCase() {
        QString why;
        if (!qEnvironmentVariableIsSet(InsideVar) || !OnlyVirtualLanInterfaces(&why))
            QFAIL(qPrintable(QStringLiteral("refusing to run outside the virtual LAN: ") + why));
        QVERIFY2(
            QFile::exists(qEnvironmentVariable("QUILLET_VLAN_LOG_DIR") + QStringLiteral("/boardsim.err")),
            "no request log of the boards");
    }

    void init() {
        FMsgs = std::make_shared<TProbeMessages>();
        FDir = std::make_unique<QTemporaryDir>();
        CloudSession.Clear();
    }

    void cleanup() { SetLanguage(LangEn); }

    // Jog mode: an output is on while it is held, and goes off on release and on everything that
    // takes the pointer or the page away from it, before any box opens.
    void jogOutputGoesOffWhenLetGo_data() {
        QTest::addColumn<QString>("interruption");
        QTest::newRow("released") << "released";
        QTest::newRow("message box") << "message box";
        QTest::newRow("input box") << "input box";
        QTest::newRow("lock screen") << "lock screen";
        QTest::newRow("page change") << "page change";
        QTest::newRow("device change") << "device change";
    }
    void jogOutputGoesOffWhenLetGo() {
        QFETCH(QString, interruption);
        auto w = Open();
        QVERIFY(Select(*w, B::Jogger));
        TNEV_IOTCtrlList* panel = w->IOTCtrlList();
        const int codes = int(FLog.Codes(B::Jogger.Mac).size());
        w->img_PopClick(11); // the control menu's mode button
        QVERIFY(!panel->TouchMode());
        // Entering jog mode switches every output off.
        QTRY_COMPARE_WITH_TIMEOUT(Join(FLog.Codes(B::Jogger.Mac).mid(codes)), QStringLiteral("04"), 10000);

        const int changes = int(FLog.OutputChanges(B::Jogger.Mac).size());
        const int bystander = int(FLog.OutputChanges(B::Bystander.Mac).size());
        QPointer<QWidget> power = panel->OutItems(2)->Img_Power();
        QTest::mousePress(power, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(FLog.OutputChanges(B::Jogger.Mac).mid(changes), QStringList{"3 on"}, 10000);
        QVERIFY(w->DevEvents()->JogHeld());

        // Whatever box opens, the output went off before it.
        QStringList heldAtBox;
        FMsgs->BeforeBox = [&] { heldAtBox << (w->DevEvents()->JogHeld() ? "held" : "off"); };
        if (interruption == "released") {
            QTest::mouseRelease(power, Qt::LeftButton);
        } else if (interruption == "message box") {
            w->Msg(QStringLiteral("The device is disconnected!"));
            QCOMPARE(heldAtBox, QStringList{"off"});
        } else if (interruption == "input box") {
            // The PWM frequency asks for a number; the answer is Cancel.
            QTest::mouseClick(panel->PWMItems(0)->Img_HZ(), Qt::LeftButton);
            QCOMPARE(FMsgs->Inputs.size(), std::size_t(1));
            QCOMPARE(heldAtBox, QStringList{"off"});
        } else if (interruption == "lock screen") {
            w->LockScreen(true);
            QVERIFY(w->Locked());
            ShootBothLanguages(*w, QStringLiteral("lock"));
        } else if (interruption == "page change") {
            w->img_MainSettingClick(TAB_MORE);
            QCOMPARE(w->NowMainPage(), int(TAB_MORE));
        } else if (interruption == "device change") {
            // The first click on another board closes the panel, the second selects it.
            w->IOTDevList()->ItemClick(Item(*w, B::Bystander), DevListTag::Device);
            QTRY_VERIFY(!panel->Appeared() && !panel->isSliding());
            QVERIFY(Select(*w, B::Bystander));
        }
        QVERIFY(!w->DevEvents()->JogHeld());
        QTRY_COMPARE_WITH_TIMEOUT(FLog.OutputChanges(B::Jogger.Mac).mid(changes),
                                  (QStringList{"3 on", "3 off"}), 10000);
        if (interruption == "device change") {
            QTRY_COMPARE_WITH_TIMEOUT(w->DevEvents()->Selected(), Item(*w, B::Bystander)->Conn(), 10000);
            QCOMPARE(panel->OutCount(), 2);
        } else if (panel->OutItems(2)) {
            QVERIFY(!panel->OutItems(2)->isOn());
        }
        // Lifting the finger afterwards switches nothing on anywhere (the cell is gone when the
        // panel shows another board).
        QCOMPARE(power.isNull(), interruption == "device change");
        if (power)
            QTest::mouseRelease(power, Qt::LeftButton);
        QCOMPARE(FLog.OutputChanges(B::Jogger.Mac).mid(changes), (QStringList{"3 on", "3 off"}));
        QCOMPARE(int(FLog.OutputChanges(B::Bystander.Mac).size()), bystander);
        FMsgs->BeforeBox = nullptr;
    }

    // Replies cut by TCP into pieces with pauses, junk and a decoy frame with a wrong sum before
    // each one: the panel is filled all the same, with what the board holds.
    void splitRepliesWithGarbageFillThePanel_data() {
        QTest::addColumn<QString>("board");
        QTest::addColumn<QString>("chain");
        QTest::addColumn<QList<int>>("counts");
        QTest::addColumn<QList<bool>>("inputs");
        QTest::addColumn<QList<double>>("registers");
        QTest::newRow("3-byte pieces") << "Split"
                                       << "7e 0a 14 24 40 63" << QList<int>{8, 4, 2, 2, 1}
                                       << QList<bool>{false, true, true, false} << QList<double>{12.5, -3.5};
        QTest::newRow("byte by byte") << "Crumbs"
                                      << "7e 0a 14 40 63" << QList<int>{2, 2, 0, 1, 0}
                                      << QList<bool>{false, true} << QList<double>{-0.5};
    }
    void splitRepliesWithGarbageFillThePanel() {
        QFETCH(QString, board);
        QFETCH(QString, chain);
        QFETCH(QList<int>, counts);
        QFETCH(QList<bool>, inputs);
        QFETCH(QList<double>, registers);
        const TSimBoard& b = BoardNamed(board);
        auto w = Open();
        const int codes = int(FLog.Codes(b.Mac).size());
        QVERIFY(Select(*w, b));
        TNEV_IOTCtrlList* panel = w->IOTCtrlList();
        QCOMPARE(Join(FLog.Codes(b.Mac).mid(codes)), chain);
        QCOMPARE(Counts(panel), counts);
        QCOMPARE(ShownNames(panel), BoardNames(counts));
        QList<bool> shownInputs;
        for (int i = 0; i < panel->InCount(); ++i)
            shownInputs << panel->InItems(i)->isON();
        QCOMPARE(shownInputs, inputs);
        QList<double> shownRegisters;
        for (int i = 0; i < panel->REGCount(); ++i)
            shownRegisters << panel->REGItems(i)->REG();
        QCOMPARE(shownRegisters, registers);
        // A switch's reply, cut up the same way, shows the output on.
        QTest::mouseClick(panel->OutItems(1)->Img_Power(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(panel->OutItems(1)->isOn(), 10000);
        QCOMPARE(FLog.OutputChanges(b.Mac).last(), QStringLiteral("2 on"));
        QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
        ShootBothLanguages(*w, QStringLiteral("panel-") + board.toLower());
        QTest::mouseClick(panel->OutItems(1)->Img_Power(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!panel->OutItems(1)->isOn(), 10000);
    }

    // A board that answers slowly: a switch clicked while the chain reads is sent at once, its
    // reply shown, and the chain goes on to the names after it, also when the switch's answer
    // never comes.
    void clickDuringASlowChain_data() {
        QTest::addColumn<QString>("board");
        QTest::addColumn<int>("step");
        QTest::newRow("while the outputs are read") << "Slow" << 0x0A;
        QTest::newRow("while the inputs are read") << "Slow" << 0x14;
        QTest::newRow("while the names are read") << "Slow" << 0x63;
        QTest::newRow("switch left unanswered") << "Mute" << 0x0A;
    }
    void clickDuringASlowChain() {
        QFETCH(QString, board);
        QFETCH(int, step);
        const TSimBoard& b = BoardNamed(board);
        const bool answers = &b != &B::Mute;
        auto w = Open(20, 2500);
        QVERIFY(WaitOnline(*w, b));
        const int codes = int(FLog.Codes(b.Mac).size());
        const QStringList before = FLog.OutputChanges(b.Mac);
        // The board keeps its outputs from one window to the next.
        const bool wasOn =
            before.lastIndexOf(QStringLiteral("1 on")) > before.lastIndexOf(QStringLiteral("1 off"));
        w->IOTDevList()->ItemClick(Item(*w, b), DevListTag::Device);
        TNEV_IOTCtrlList* panel = w->IOTCtrlList();
        QTRY_VERIFY_WITH_TIMEOUT(panel->Appeared() && w->DevEvents()->ChainWaiting() == step, 15000);
        QTest::mouseClick(panel->OutItems(0)->Img_Power(), Qt::LeftButton);
        const QString command = wasOn ? QStringLiteral("01") : QStringLiteral("02");
        QTRY_VERIFY_WITH_TIMEOUT(FLog.Codes(b.Mac).mid(codes).contains(command), 15000);
        // The chain ends with the names (between two steps it waits for nothing).
        QTRY_COMPARE_WITH_TIMEOUT(ShownNames(panel), BoardNames({4, 2, 0, 1, 0}), 15000);
        QVERIFY(Read(*w, b));
        const QStringList changes =
            answers ? QStringList{wasOn ? QStringLiteral("1 off") : QStringLiteral("1 on")} : QStringList{};
        QTRY_COMPARE_WITH_TIMEOUT(FLog.OutputChanges(b.Mac).mid(before.size()), changes, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(panel->OutItems(0)->isOn(), answers ? !wasOn : wasOn, 15000);
        // Every step was asked once, the click's command among them.
        QStringList sent = FLog.Codes(b.Mac).mid(codes);
        QCOMPARE(sent.count(command), 1);
        sent.removeOne(command);
        QCOMPARE(Join(sent), QStringLiteral("7e 0a 14 40 63"));
        QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
    }

    // A board that never answers one request: the reading goes on without that answer (an IO
    // read without an answer is reported, as there is nothing to show), and the window works on.
    void ignoredRequestDoesNotStallTheWindow_data() {
        QTest::addColumn<QString>("board");
        QTest::addColumn<QString>("chain");
        QTest::addColumn<QList<int>>("counts");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("message");
        QTest::newRow("inputs read") << "DeafIn"
                                     << "7e 0a 14 63" << QList<int>{4, 2, 0, 0, 0}
                                     << BoardNames({4, 2, 0, 0, 0}) << QString();
        QTest::newRow("names read") << "DeafNames"
                                    << "7e 0a 63" << QList<int>{2, 0, 0, 0, 0}
                                    << QStringList(2, QStringLiteral("No name")) << QString();
        QTest::newRow("IO read") << "DeafIO"
                                 << "7e" << QList<int>{} << QStringList{} << "The device connect overtime!";
    }
    void ignoredRequestDoesNotStallTheWindow() {
        QFETCH(QString, board);
        QFETCH(QString, chain);
        QFETCH(QList<int>, counts);
        QFETCH(QStringList, names);
        QFETCH(QString, message);
        const TSimBoard& b = BoardNamed(board);
        auto w = Open(20, 1500);
        QVERIFY(WaitOnline(*w, b));
        const int codes = int(FLog.Codes(b.Mac).size());
        w->IOTDevList()->ItemClick(Item(*w, b), DevListTag::Device);
        TNEV_IOTCtrlList* panel = w->IOTCtrlList();
        QTRY_VERIFY_WITH_TIMEOUT(!w->DevEvents()->ChainTimer().isActive(), 15000);
        QCOMPARE(Join(FLog.Codes(b.Mac).mid(codes)), chain);
        QCOMPARE(FMsgs->Messages, message.isEmpty() ? QStringList{} : QStringList{LangText(message)});
        if (counts.isEmpty()) {
            QVERIFY(!panel->Appeared());
            // Another board is read as usual.
            QVERIFY(Select(*w, B::Alpha));
            QCOMPARE(ShownNames(panel), BoardNames({2, 0, 0, 0, 0}));
            return;
        }
        QVERIFY(Read(*w, b));
        QCOMPARE(Counts(panel), counts);
        for (QString& n : names)
            n = LangText(n); // the simulator's names are no entries of the string table
        QCOMPARE(ShownNames(panel), names);
        // The outputs still switch.
        const QStringList before = FLog.OutputChanges(b.Mac);
        const bool wasOn =
            before.lastIndexOf(QStringLiteral("2 on")) > before.lastIndexOf(QStringLiteral("2 off"));
        QTest::mouseClick(panel->OutItems(1)->Img_Power(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(panel->OutItems(1)->isOn(), !wasOn, 10000);
        QCOMPARE(FLog.OutputChanges(b.Mac).mid(before.size()),
                 QStringList{wasOn ? QStringLiteral("2 off") : QStringLiteral("2 on")});
    }

    // Two boards clicked one right after the other: the panel shows the second one's channels,
    // however late the first one's answer comes, and only the second one takes commands.
    void secondSelectionWins_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("chain");
        QTest::addColumn<QList<int>>("counts");
        QTest::newRow("A then B") << "Alpha"
                                  << "Beta"
                                  << "7e 0a 14 63" << QList<int>{6, 3, 0, 0, 0};
        QTest::newRow("slow A then B") << "Sloth"
                                       << "Beta"
                                       << "7e 0a 14 63" << QList<int>{6, 3, 0, 0, 0};
        QTest::newRow("A then slow B") << "Alpha"
                                       << "Sloth"
                                       << "7e 0a 63" << QList<int>{3, 0, 0, 0, 0};
    }
    void secondSelectionWins() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, chain);
        QFETCH(QList<int>, counts);
        const TSimBoard& a = BoardNamed(first);
        const TSimBoard& b = BoardNamed(second);
        auto w = Open();
        QVERIFY(WaitOnline(*w, a));
        QVERIFY(WaitOnline(*w, b));
        // What reaches the window from A after the click, to know when A's answer is in.
        QByteArray fromA;
        TwwTCPClient* clientA = Item(*w, a)->Conn()->TCPClient();
        QVERIFY(clientA);
        clientA->OnTrace = [&fromA](bool sent, const QByteArray& bytes) {
            if (!sent)
                fromA += bytes;
        };
        const int codesA = int(FLog.Codes(a.Mac).size());
        const int codesB = int(FLog.Codes(b.Mac).size());
        const int changesA = int(FLog.OutputChanges(a.Mac).size());
        w->IOTDevList()->ItemClick(Item(*w, a), DevListTag::Device);
        w->IOTDevList()->ItemClick(Item(*w, b), DevListTag::Device);
        QVERIFY(QTest::qWaitFor([&] { return Read(*w, b); }, 15000));
        TNEV_IOTCtrlList* panel = w->IOTCtrlList();
        QTRY_COMPARE_WITH_TIMEOUT(ShownNames(panel), BoardNames(counts), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!fromA.isEmpty(), 15000); // A's answer has come (and gone)
        clientA->OnTrace = nullptr;
        QCOMPARE(Counts(panel), counts);
        QCOMPARE(ShownNames(panel), BoardNames(counts));
        QCOMPARE(w->IOTDevList()->NowDev(), Item(*w, b)->Conn());
        QCOMPARE(Join(FLog.Codes(a.Mac).mid(codesA)), QStringLiteral("7e"));
        QCOMPARE(Join(FLog.Codes(b.Mac).mid(codesB)), chain);
        // A switch goes to B only.
        const QStringList before = FLog.OutputChanges(b.Mac);
        const bool wasOn =
            before.lastIndexOf(QStringLiteral("1 on")) > before.lastIndexOf(QStringLiteral("1 off"));
        QTest::mouseClick(panel->OutItems(0)->Img_Power(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(panel->OutItems(0)->isOn(), !wasOn, 10000);
        QCOMPARE(FLog.OutputChanges(b.Mac).mid(before.size()),
                 QStringList{wasOn ? QStringLiteral("1 off") : QStringLiteral("1 on")});
        QCOMPARE(int(FLog.OutputChanges(a.Mac).size()), changesA);
        QCOMPARE(Join(FLog.Codes(a.Mac).mid(codesA)), QStringLiteral("7e"));
        QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
    }

    // The remove button clicked while the panel slides in: that click closes the panel (as every
    // list click does while it is out), the next one removes the board, and what is left is
    // selectable as before.
    void removeWhileThePanelSlidesIn_data() {
        QTest::addColumn<QString>("shown");
        QTest::newRow("the board being shown") << "Doomed";
        QTest::newRow("another board") << "Alpha";
    }
    void removeWhileThePanelSlidesIn() {
        QFETCH(QString, shown);
        const TSimBoard& x = BoardNamed(shown);
        auto w = Open(3000); // a slow slide, to click during it
        TNEV_IOTDevList* list = w->IOTDevList();
        QVERIFY(WaitOnline(*w, x));
        QVERIFY(WaitOnline(*w, B::Doomed));
        const int count = list->DevCount();
        list->DoListClick(-1, DevListTag::Del); // remove mode
        QVERIFY(list->RemoveState());
        list->ItemClick(Item(*w, x), DevListTag::Device);
        TNEV_IOTCtrlList* panel = w->IOTCtrlList();
        QTRY_VERIFY_WITH_TIMEOUT(panel->Appeared() && panel->isSliding(), 15000);

        list->ItemClick(Item(*w, B::Doomed), DevListTag::Remove);
        QVERIFY(!panel->Appeared());
        QCOMPARE(w->DevEvents()->Selected(), nullptr);
        QCOMPARE(list->NowDev(), nullptr);
        QCOMPARE(list->DevCount(), count);

        list->ItemClick(Item(*w, B::Doomed), DevListTag::Remove);
        QTRY_COMPARE_WITH_TIMEOUT(list->DevCount(), count - 1, 15000);
        QCOMPARE(list->IndexOfMAC(QLatin1String(B::Doomed.Mac)), -1);
        QCOMPARE(w->DevEvents()->Selected(), nullptr);
        const TIniDevs stored = list->GetIniDevs();
        QVERIFY(std::none_of(stored.begin(), stored.end(), [](const TIniDev& d) {
            return d.MAC.compare(QLatin1String(B::Doomed.Mac), Qt::CaseInsensitive) == 0;
        }));
        QTRY_VERIFY_WITH_TIMEOUT(!panel->isSliding(), 15000);

        list->DoListClick(-1, DevListTag::Del);
        QVERIFY(!list->RemoveState());
        QVERIFY(Select(*w, B::Alpha));
        QCOMPARE(Counts(panel), (QList<int>{2, 0, 0, 0, 0}));
        QCOMPARE(ShownNames(panel), BoardNames({2, 0, 0, 0, 0}));
        QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
    }

    // The requests that read a board follow its channels, in touch mode and in jog mode (which
    // ends by switching every output off, and is kept with the board across a restart).
    void chainFollowsTheChannels_data() {
        QTest::addColumn<QString>("board");
        QTest::addColumn<QString>("touch");
        QTest::addColumn<QString>("jog");
        QTest::addColumn<QList<int>>("counts");
        QTest::newRow("8 out, 4 in, 2 PWM, 2 REG, 1 IR")
            << "Full"
            << "7e 0a 14 24 40 63"
            << "7e 0a 14 24 40 63 04" << QList<int>{8, 4, 2, 2, 1};
        QTest::newRow("outputs only") << "OutOnly"
                                      << "7e 0a 63"
                                      << "7e 0a 63 04" << QList<int>{8, 0, 0, 0, 0};
        QTest::newRow("inputs only") << "InOnly"
                                     << "7e 14 63" << QString() << QList<int>{0, 4, 0, 0, 0};
        QTest::newRow("PWM and REG only") << "PwmReg"
                                          << "7e 24 40 63" << QString() << QList<int>{0, 0, 2, 2, 0};
        QTest::newRow("infrared only") << "IrOnly"
                                       << "7e 63" << QString() << QList<int>{0, 0, 0, 0, 1};
    }
    void chainFollowsTheChannels() {
        QFETCH(QString, board);
        QFETCH(QString, touch);
        QFETCH(QString, jog);
        QFETCH(QList<int>, counts);
        const TSimBoard& b = BoardNamed(board);
        auto w = Open();
        int codes = int(FLog.Codes(b.Mac).size());
        QVERIFY(Select(*w, b));
        TNEV_IOTCtrlList* panel = w->IOTCtrlList();
        QCOMPARE(Join(FLog.Codes(b.Mac).mid(codes)), touch);
        QCOMPARE(Counts(panel), counts);
        QCOMPARE(ShownNames(panel), BoardNames(counts));
        QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
        if (jog.isEmpty())
            return;
        codes = int(FLog.Codes(b.Mac).size());
        w->img_PopClick(11);
        QVERIFY(!panel->TouchMode());
        QTRY_COMPARE_WITH_TIMEOUT(Join(FLog.Codes(b.Mac).mid(codes)), QStringLiteral("04"), 10000);
        QVERIFY(ClosePanel(*w));
        codes = int(FLog.Codes(b.Mac).size());
        QVERIFY(Select(*w, b));
        QTRY_COMPARE_WITH_TIMEOUT(Join(FLog.Codes(b.Mac).mid(codes)), jog, 10000);
        QVERIFY(!panel->TouchMode());
        // A restart reads the board in jog mode again.
        w.reset();
        w = Open();
        codes = int(FLog.Codes(b.Mac).size());
        QVERIFY(Select(*w, b));
        QTRY_COMPARE_WITH_TIMEOUT(Join(FLog.Codes(b.Mac).mid(codes)), jog, 10000);
        QVERIFY(!w->IOTCtrlList()->TouchMode());
        QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet(InsideVar)) {
        // The request log is the boards' debug output: no outside rule may silence it.
        qunsetenv("QT_LOGGING_RULES");
        QStringList lan{"--boardsim", BOARDSIM, "--sim-arg=--verbose"};
        for (const TSimBoard* b : Boards)
            lan << "--board"
                << QStringLiteral("mac=%1,%2").arg(QLatin1String(b->Mac), QLatin1String(b->Keys));
        return RunInVirtualLan("tst_e2e_chain", InsideVar, lan, argc, argv);
    }
    // The window's own debug output would bury the test's.
    QLoggingCategory::setFilterRules(QStringLiteral("quillet.*.debug=false"));
    QApplication app(argc, argv);
    tst_e2e_chain test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_chain.moc"
