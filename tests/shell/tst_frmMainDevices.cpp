// The Device page of the window against simulated boards on loopback: the window's LAN search
// goes to 127.0.0.1, where quillet-boardsim answers for boards on 127.0.0.2 and up. Selecting a
// board reads it (the request order is checked against the board's log), the panel shows what it
// read, and the cells, menus and popups send what they should.
#include "ShellFixture.h"
#include "SimBoards.h"

#include "untDevEvents.h"
#include "untIOTCtrlList.h"
#include "untIOTDevList.h"
#include "untIOTOutCtrl.h"
#include "untIOTPWMCtrl.h"
#include "untIOTREGCtrl.h"
#include "untTaskList.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QtTest>

namespace {

QString Join(const QStringList& l) {
    return l.join(' ');
}

} // namespace

class tst_frmMainDevices : public QObject {
    Q_OBJECT

    std::shared_ptr<TRecordingMessages> FMsgs;
    std::unique_ptr<QTemporaryDir> FDir;

    // A window whose search reaches the simulator's boards and nothing else.
    std::unique_ptr<Tfrm_Main> Open(const SimBoards& sim) {
        QFile ini(FDir->filePath(QStringLiteral("program.ini")));
        if (!ini.exists()) {
            [&] { QVERIFY(ini.open(QIODevice::WriteOnly)); }();
            ini.write(
                QStringLiteral("[System]\r\nTCPLANPort=%1\r\n").arg(sim.boards.first().port).toLatin1());
            ini.close();
        }
        TMainEnv env = LoopbackEnv(FDir->path(), FMsgs);
        env.SearchTargetPort = sim.searchPort;
        env.SlideMs = 0;
        auto w = std::make_unique<Tfrm_Main>(env);
        w->show();
        return w;
    }

    static TIOTDevItem* Online(Tfrm_Main& w, const QString& mac) {
        for (int i = 0; i < w.IOTDevList()->DevCount(); ++i) {
            TIOTDevItem* item = w.IOTDevList()->Item(i);
            if (item->Conn()->DevMACStr().compare(mac, Qt::CaseInsensitive) == 0 &&
                item->Conn()->NetState() == TIOTNETSTATE::NET_OK)
                return item;
        }
        return nullptr;
    }

    // Selects the board and waits until the chain has read it.
    static bool Select(Tfrm_Main& w, const QString& mac) {
        if (!QTest::qWaitFor([&] { return Online(w, mac) != nullptr; }, 10000))
            return false;
        w.IOTDevList()->ItemClick(Online(w, mac), DevListTag::Device);
        return QTest::qWaitFor(
            [&] {
                return w.DevEvents()->Selected() && !w.DevEvents()->ChainRunning() &&
                       w.IOTCtrlList()->Appeared();
            },
            10000);
    }

private slots:
    void init() {
        FMsgs = std::make_shared<TRecordingMessages>();
        FDir = std::make_unique<QTemporaryDir>();
        CloudSession.Clear();
    }

    void chainReadsWhatTheBoardHas_data() {
        QTest::addColumn<QString>("board");
        QTest::addColumn<QString>("touch");
        QTest::addColumn<QString>("jog");
        QTest::addColumn<QList<int>>("counts");
        QTest::newRow("8 out, 4 in, 2 PWM, 2 REG, 1 IR")
            << "out=8,in=4,pwm=2,reg=2,ir=1"
            << "7e 0a 14 24 40 63"
            << "7e 0a 14 24 40 63 04" << QList<int>{8, 4, 2, 2, 1};
        QTest::newRow("outputs only") << "out=8,in=0,pwm=0,reg=0,ir=0"
                                      << "7e 0a 63"
                                      << "7e 0a 63 04" << QList<int>{8, 0, 0, 0, 0};
        QTest::newRow("inputs only") << "out=0,in=4,pwm=0,reg=0,ir=0"
                                     << "7e 14 63" << QString() << QList<int>{0, 4, 0, 0, 0};
        QTest::newRow("PWM and REG only") << "out=0,in=0,pwm=2,reg=2,ir=0"
                                          << "7e 24 40 63" << QString() << QList<int>{0, 0, 2, 2, 0};
        QTest::newRow("infrared only") << "out=0,in=0,pwm=0,reg=0,ir=1"
                                       << "7e 63" << QString() << QList<int>{0, 0, 0, 0, 1};
    }
    void chainReadsWhatTheBoardHas() {
        QFETCH(QString, board);
        QFETCH(QString, touch);
        QFETCH(QString, jog);
        QFETCH(QList<int>, counts);
        SimBoards sim;
        QVERIFY(sim.StartLan({QStringLiteral("mac=02-51-4C-00-07-01,type=1,") + board}));
        auto w = Open(sim);
        const QString mac = sim.boards.first().mac;
        QVERIFY(Select(*w, mac));
        QTRY_COMPARE(Join(sim.Codes(mac)), touch);
        TNEV_IOTCtrlList* list = w->IOTCtrlList();
        QCOMPARE((QList<int>{list->OutCount(), list->InCount(), list->PWMCount(), list->REGCount(),
                             list->RedCount()}),
                 counts);
        QVERIFY(FMsgs->Messages.isEmpty());
        if (jog.isEmpty())
            return;
        // Jog mode: the mode is the device's; the next reading ends by switching every output off.
        w->img_PopClick(11);
        QVERIFY(!list->TouchMode());
        // Entering jog mode switches every output off at once.
        QTRY_COMPARE(sim.Codes(mac).last(), QStringLiteral("04"));
        w->IOTDevList()->DoListClick(-1, DevListTag::Panel);
        QTRY_VERIFY(!list->Appeared());
        const int before = int(sim.Codes(mac).size());
        QVERIFY(Select(*w, mac));
        QTRY_COMPARE(Join(sim.Codes(mac).mid(before)), jog);
    }

    void outputsSwitchAndAllOnSkipsLockedOnes() {
        SimBoards sim;
        QVERIFY(sim.StartLan({"mac=02-51-4C-00-07-02,out=4,in=0,pwm=0,reg=0,ir=0"}));
        auto w = Open(sim);
        const QString mac = sim.boards.first().mac;
        QVERIFY(Select(*w, mac));
        TNEV_IOTCtrlList* list = w->IOTCtrlList();
        QTest::mouseClick(list->OutItems(1)->Img_Power(), Qt::LeftButton);
        QTRY_COMPARE(sim.OutputChanges(mac), QStringList{"2 on"});
        QTRY_VERIFY(list->OutItems(1)->isOn());
        // Output 1 locked: All ON switches the other three one by one.
        QTest::mouseClick(list->OutItems(0)->Img_Lock(), Qt::LeftButton);
        QVERIFY(list->OutItems(0)->isLock());
        w->img_PopClick(7);
        QTRY_COMPARE(sim.OutputChanges(mac), (QStringList{"2 on", "3 on", "4 on"}));
        QCOMPARE(Join(sim.Codes(mac).mid(sim.Codes(mac).size() - 3)), QStringLiteral("02 02 02"));
        QTRY_VERIFY(list->OutItems(3)->isOn());
        QVERIFY(!list->OutItems(0)->isOn());
        // Nothing locked: one command for all.
        QTest::mouseClick(list->OutItems(0)->Img_Lock(), Qt::LeftButton);
        w->img_PopClick(8);
        QTRY_COMPARE(sim.OutputChanges(mac).mid(3), (QStringList{"2 off", "3 off", "4 off"}));
        QCOMPARE(sim.Codes(mac).last(), QStringLiteral("04"));
        // The locks are kept with the board.
        w->Shutdown(false);
        w.reset();
        QFile ini(FDir->filePath(QStringLiteral("program.ini")));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(!ini.readAll().isEmpty());
    }

    void selectionFollowsTheBoardAndOldBoardsAreIgnored() {
        SimBoards sim;
        QVERIFY(sim.StartLan({"mac=02-51-4C-00-07-03,out=2,in=0,pwm=0,reg=0,ir=0",
                              "mac=02-51-4C-00-07-04,out=6,in=0,pwm=0,reg=0,ir=0"}));
        auto w = Open(sim);
        const QString a = sim.boards.at(0).mac;
        const QString b = sim.boards.at(1).mac;
        QVERIFY(Select(*w, a));
        w->IOTDevList()->DoListClick(-1, DevListTag::Panel);
        QTRY_VERIFY(!w->IOTCtrlList()->Appeared());
        QVERIFY(Select(*w, b));
        QCOMPARE(w->IOTCtrlList()->OutCount(), 6);
        const int codesA = int(sim.Codes(a).size());
        // A command goes to the selected board only.
        QTest::mouseClick(w->IOTCtrlList()->OutItems(5)->Img_Power(), Qt::LeftButton);
        QTRY_COMPARE(sim.OutputChanges(b), QStringList{"6 on"});
        QCOMPARE(int(sim.Codes(a).size()), codesA);
        QCOMPARE(w->IOTCtrlList()->OutCount(), 6);
    }

    void tasksGoThroughThePopup() {
        SimBoards sim;
        QVERIFY(sim.StartLan({"mac=02-51-4C-00-07-05,out=2,in=0,pwm=0,reg=0,ir=0,tasks=4"}));
        auto w = Open(sim);
        const QString mac = sim.boards.first().mac;
        QVERIFY(Select(*w, mac));
        QTest::mouseClick(w->IOTCtrlList()->OutItems(1)->Img_Clock(), Qt::LeftButton);
        QVERIFY(w->PopVisible(POP_TASK));
        QTRY_COMPARE(sim.Codes(mac).last(), QStringLiteral("50"));
        w->img_PopClick(3);
        w->TaskPopup()->Editor()->FillStartTime(QDateTime::currentDateTime().addDays(1));
        w->img_PopClick(5);
        QTRY_COMPARE(w->TaskPopup()->TaskList()->Count(), 1);
        QCOMPARE(Join(sim.Codes(mac).mid(sim.Codes(mac).size() - 3)), QStringLiteral("50 54 51"));
        w->img_PopClick(4);
        QVERIFY(!w->PopVisible(POP_TASK));
        QVERIFY(FMsgs->Messages.isEmpty());
    }

    void registerAndPWMValuesReachTheCells() {
        SimBoards sim;
        QVERIFY(sim.StartLan({"mac=02-51-4C-00-07-06,out=0,in=0,pwm=1,reg=2,ir=0,regs=21.5/-3.5"}));
        auto w = Open(sim);
        const QString mac = sim.boards.first().mac;
        QVERIFY(Select(*w, mac));
        QTRY_COMPARE(w->IOTCtrlList()->REGItems(1)->REG(), -3.5);
        QCOMPARE(w->IOTCtrlList()->REGItems(0)->REG(), 21.5);
        // A frequency outside 715..65535 is refused before anything is sent.
        const int before = int(sim.Codes(mac).size());
        FMsgs->InputAnswers.push_back(QStringLiteral("700"));
        w->IOTCtrlList()->ForwardCellClick(w->IOTCtrlList()->PWMItems(0), 0, 7, TIOTYPE::IO_PWM);
        QCOMPARE(FMsgs->Messages.size(), 1);
        QCOMPARE(int(sim.Codes(mac).size()), before);
        FMsgs->InputAnswers.push_back(QStringLiteral("1000"));
        w->IOTCtrlList()->ForwardCellClick(w->IOTCtrlList()->PWMItems(0), 0, 7, TIOTYPE::IO_PWM);
        QTRY_COMPARE(w->IOTCtrlList()->PWMItems(0)->PinLv(), 1000);
    }

    void addByAddressRefusesBadInput_data() {
        QTest::addColumn<QStringList>("fields"); // MAC, host, port, password
        QTest::newRow("short MAC") << QStringList{"02-51-4C-00-07", "127.0.0.1", "8899", "qorvu"};
        QTest::newRow("MAC not hex") << QStringList{"02-51-4C-00-07-ZZ", "127.0.0.1", "8899", "qorvu"};
        QTest::newRow("no host") << QStringList{"02-51-4C-00-07-0A", " ", "8899", "qorvu"};
        QTest::newRow("blank in host") << QStringList{"02-51-4C-00-07-0A", "my board", "8899", "qorvu"};
        QTest::newRow("port 0") << QStringList{"02-51-4C-00-07-0A", "127.0.0.1", "0", "qorvu"};
        QTest::newRow("port 65536") << QStringList{"02-51-4C-00-07-0A", "127.0.0.1", "65536", "qorvu"};
        QTest::newRow("port text") << QStringList{"02-51-4C-00-07-0A", "127.0.0.1", "http", "qorvu"};
        QTest::newRow("no password") << QStringList{"02-51-4C-00-07-0A", "127.0.0.1", "8899", ""};
        QTest::newRow("long password") << QStringList{"02-51-4C-00-07-0A", "127.0.0.1", "8899", "1234567"};
        QTest::newRow("non-ASCII password") << QStringList{"02-51-4C-00-07-0A", "127.0.0.1", "8899", "pässw"};
    }
    void addByAddressRefusesBadInput() {
        QFETCH(QStringList, fields);
        SimBoards sim;
        QVERIFY(sim.StartLan({"mac=02-51-4C-00-07-0B,out=1,in=0,pwm=0,reg=0,ir=0"}));
        auto w = Open(sim);
        QTRY_COMPARE(w->IOTDevList()->DevCount(), 1);
        w->img_PopClick(41);
        QVERIFY(w->PopVisible(POP_ADDMINI));
        const char* names[] = {"edt_PopAddmini_MAC", "edt_PopAddmini_IP", "edt_PopAddmini_Port",
                               "edt_PopAddmini_PSD"};
        for (int i = 0; i < 4; ++i)
            Find<QLineEdit>(w.get(), QLatin1String(names[i]))->setText(fields[i]);
        w->img_PopClick(39);
        QCOMPARE(FMsgs->Messages, QStringList{LangText(QStringLiteral("Input error!"))});
        QVERIFY(w->PopVisible(POP_ADDMINI));
        QCOMPARE(w->IOTDevList()->DevCount(), 1);
    }

    void addByAddressReachesABoardTheSearchCannotFind() {
        SimBoards lan; // the LAN the search reaches
        QVERIFY(lan.StartLan({"mac=02-51-4C-00-07-0C,out=1,in=0,pwm=0,reg=0,ir=0"}));
        SimBoards far; // a board on its own address and port, without a search socket
        QVERIFY(far.StartOne("mac=02-51-4C-00-07-0D,out=3,in=0,pwm=0,reg=0,ir=0,password=far123"));
        const QString mac = QStringLiteral("02-51-4C-00-07-0D");
        {
            auto w = Open(lan);
            QTRY_COMPARE(w->IOTDevList()->DevCount(), 1);
            w->img_PopClick(41);
            Find<QLineEdit>(w.get(), QStringLiteral("edt_PopAddmini_MAC"))
                ->setText(QStringLiteral("02514c00070d"));
            Find<QLineEdit>(w.get(), QStringLiteral("edt_PopAddmini_IP"))
                ->setText(QStringLiteral(" 127.0.0.1 "));
            Find<QLineEdit>(w.get(), QStringLiteral("edt_PopAddmini_Port"))
                ->setText(QString::number(far.port()));
            Find<QLineEdit>(w.get(), QStringLiteral("edt_PopAddmini_PSD"))->setText(QStringLiteral("far123"));
            w->img_PopClick(39);
            QVERIFY(!w->PopVisible(POP_ADDMINI));
            QCOMPARE(w->IOTDevList()->DevCount(), 2);
            QVERIFY(Select(*w, mac));
            QCOMPARE(w->IOTCtrlList()->OutCount(), 3);
            QVERIFY(FMsgs->Messages.isEmpty());
        }
        // Kept in program.ini: the next start reaches it again, after its own search.
        const int logins = int(far.Codes(mac).count(QStringLiteral("7e")));
        auto w = Open(lan);
        QTRY_COMPARE(w->IOTDevList()->DevCount(), 2);
        QVERIFY(Select(*w, mac));
        QVERIFY(far.Codes(mac).count(QStringLiteral("7e")) > logins);
        QFile ini(FDir->filePath(QStringLiteral("program.ini")));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        QVERIFY(text.contains("LanHost=127.0.0.1"));
        QVERIFY(text.contains(QStringLiteral("LanPort=%1").arg(far.port()).toLatin1()));
    }

    // Pictures of the Device page with a board's panel, its menus and popups, for review.
    void shots_data() {
        QTest::addColumn<int>("langTab");
        QTest::newRow("en") << int(TAB_EN);
        QTest::newRow("cn") << int(TAB_CN);
    }
    void shots() {
        QFETCH(int, langTab);
        SimBoards sim;
        QVERIFY(
            sim.StartLan({"mac=02-51-4C-00-07-08,name=Workshop,out=8,in=4,pwm=2,reg=2,ir=1,regs=21.5/-3.5",
                          "mac=02-51-4C-00-07-09,name=Garden,type=2,out=4,in=2,pwm=0,reg=0,ir=0"}));
        auto w = Open(sim);
        w->img_MainSettingClick(langTab);
        // The language buttons leave the Device page where it is.
        QCOMPARE(w->NowMainPage(), int(TAB_DEVICE));
        QVERIFY(Select(*w, sim.boards.first().mac));
        QTRY_COMPARE(w->IOTDevList()->DevCount(), 2);
        const QString lang = langTab == TAB_CN ? QStringLiteral("cn") : QStringLiteral("en");
        auto shoot = [&](const QString& name) {
            const QPixmap shot = w->grab();
            QDir().mkpath(QStringLiteral(SHOT_DIR));
            QVERIFY(shot.save(QStringLiteral("%1/window-%2-%3@%4x.png")
                                  .arg(QStringLiteral(SHOT_DIR), name, lang)
                                  .arg(qRound(shot.devicePixelRatio()))));
        };
        shoot(QStringLiteral("device-panel"));
        w->IOTCtrlList()->ForwardCellClick(nullptr, -1, TNEV_IOTCtrlList::TagLight, TIOTYPE::IO_NIL);
        shoot(QStringLiteral("device-panel-menu"));
        w->CloseMenus();
        w->IOTCtrlList()->ForwardCellClick(nullptr, -1, TNEV_IOTCtrlList::TagEdit, TIOTYPE::IO_NIL);
        QVERIFY(w->PopVisible(POP_DEVINFO));
        shoot(QStringLiteral("device-settings"));
        w->HideAllPops();
        QTest::mouseClick(w->IOTCtrlList()->OutItems(0)->Img_Clock(), Qt::LeftButton);
        QVERIFY(w->PopVisible(POP_TASK));
        shoot(QStringLiteral("device-tasks"));
    }
};

QTEST_MAIN(tst_frmMainDevices)
#include "tst_frmMainDevices.moc"
