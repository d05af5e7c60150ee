// The main window end to end: offscreen, with a temporary settings folder, on a virtual LAN
// (tools/virtual-lan) where its LAN search really broadcasts. Started by ctest, the program starts
// the virtual LAN with the boards below and runs itself again inside its "pc" namespace. Without
// root there are no namespaces: it says so and exits with VirtualLanSkipStatus (reported as skipped).
#include "VirtualLan.h"
#include "WindowLan.h"

#include "untAddRouter.h"
#include "untDevEvents.h"
#include "untIOTCtrlList.h"
#include "untIOTDevList.h"
#include "untIOTOutCtrl.h"
#include "untIOTPWMCtrl.h"
#include "untIOTREGCtrl.h"
#include "untIOTUDP.h"

#include <QNetworkInterface>
#include <QUdpSocket>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* InsideVar = "QUILLET_E2E_WINDOW_INSIDE";

const char* const Boards[] = {
    "mac=5C-CF-7F-01-03-0A,name=Lab,type=1,ctrl=6",
    "mac=5C-CF-7F-01-03-0B,name=Kitchen,type=2,ctrl=2,out=4,in=2,pwm=0,reg=0,ir=0",
    "mac=5C-CF-7F-01-03-0C,name=Bench,type=3,ctrl=6",
    "mac=5C-CF-7F-01-03-0D,name=Garden,type=1,ctrl=4",
    "mac=5C-CF-7F-01-03-0E,name=Porch,type=1,ctrl=6,out=4,in=0,pwm=1,reg=2,ir=0,regs=21.5/-3.5",
};

} // namespace

class tst_e2e_window : public QObject {
    Q_OBJECT

    std::shared_ptr<TRecordingMessages> FMsgs;

    TMainEnv LanEnv(const QString& folder) const { return VirtualLanEnv(folder, FMsgs); }

private slots:
    void initTestCase() {
        QString why;
        if (!qEnvironmentVariableIsSet(InsideVar) || !OnlyVirtualLanInterfaces(&why))
            QFAIL(qPrintable(QStringLiteral("refusing to run outside the virtual LAN: ") + why));
    }

    void init() {
        FMsgs = std::make_shared<TRecordingMessages>();
        CloudSession.Clear();
    }

    void coldStartFindsTheBoards() {
        QTemporaryDir dir;
        QStringList found;
        const QStringList macs =
            qEnvironmentVariable("QUILLET_VLAN_BOARD_MACS").split(' ', Qt::SkipEmptyParts);
        QCOMPARE(macs.size(), int(std::size(Boards)));
        {
            Tfrm_Main w(LanEnv(dir.path()));
            w.show();
            QVERIFY(w.IOTUDP()->Active());
            QVERIFY(w.AddRouter()->isListening());
            QVERIFY(w.findChild<QWidget*>(QStringLiteral("img_Searching_back"))->isVisible());
            QTRY_VERIFY_WITH_TIMEOUT(w.findChild<QWidget*>(QStringLiteral("img_Searching_back"))->isHidden(),
                                     5000);
            for (const TIniDev& d : w.IOTDevList()->GetIniDevs())
                found << d.MAC;
            found.sort();
            QStringList want = macs;
            want.sort();
            QCOMPARE(found, want);
            QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
            QCOMPARE(w.IOTDevList()->DevCount(), int(std::size(Boards)));
        }
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("program.ini"))));
        // A restart lists the same boards from program.ini, and its search adds no repeats.
        Tfrm_Main again(LanEnv(dir.path()));
        QCOMPARE(again.IOTDevList()->DevCount(), int(std::size(Boards)));
        QTRY_VERIFY_WITH_TIMEOUT(again.findChild<QWidget*>(QStringLiteral("img_Searching_back"))->isHidden(),
                                 5000);
        QCOMPARE(again.IOTDevList()->DevCount(), int(std::size(Boards)));
    }

    // Every board found by the broadcast is selected, read into the panel and switched, and a
    // restart keeps the locks and the mode set on the way.
    void everyBoardIsReadAndSwitched() {
        QTemporaryDir dir;
        const QStringList macs =
            qEnvironmentVariable("QUILLET_VLAN_BOARD_MACS").split(' ', Qt::SkipEmptyParts);
        const QList<int> outputs{8, 4, 8, 8, 4}; // the boards' output counts, in board order
        {
            Tfrm_Main w(LanEnv(dir.path()));
            w.show();
            for (int b = 0; b < macs.size(); ++b) {
                const QString& mac = macs[b];
                TNEV_IOTDevList* list = w.IOTDevList();
                QTRY_VERIFY_WITH_TIMEOUT(list->IndexOfMAC(mac) >= 0 &&
                                             list->DevItems(list->IndexOfMAC(mac))->NetState() ==
                                                 TIOTNETSTATE::NET_OK,
                                         10000);
                list->ItemClick(list->Item(list->IndexOfMAC(mac)), DevListTag::Device);
                TNEV_IOTCtrlList* panel = w.IOTCtrlList();
                QTRY_VERIFY_WITH_TIMEOUT(panel->Appeared() && !w.DevEvents()->ChainRunning() &&
                                             w.DevEvents()->Selected() ==
                                                 list->DevItems(list->IndexOfMAC(mac)),
                                         10000);
                QCOMPARE(panel->OutCount(), outputs[b]);
                QTest::mouseClick(panel->OutItems(0)->Img_Power(), Qt::LeftButton);
                QTRY_VERIFY_WITH_TIMEOUT(panel->OutItems(0)->isOn(), 5000);
                if (b == 1) // Kitchen: output 2 locked
                    QTest::mouseClick(panel->OutItems(1)->Img_Lock(), Qt::LeftButton);
                list->DoListClick(-1, DevListTag::Panel);
                QTRY_VERIFY(!panel->Appeared());
            }
            QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
        }
        Tfrm_Main again(LanEnv(dir.path()));
        const TIniDevs devs = again.IOTDevList()->GetIniDevs();
        const auto kitchen =
            std::find_if(devs.begin(), devs.end(), [&](const TIniDev& d) { return d.MAC == macs[1]; });
        QVERIFY(kitchen != devs.end());
        QVERIFY(kitchen->DevParam.LockArr.size() >= 2);
        QVERIFY(kitchen->DevParam.LockArr[1]);
        QVERIFY(!kitchen->DevParam.LockArr[0]);
    }

    // What the board holds after All ON and All OFF with a locked output, a PWM frequency outside
    // its range and one inside, and registers of both signs: read back from the board by
    // selecting it again.
    void touchControlReachesTheBoard() {
        QTemporaryDir dir;
        const QString mac = QStringLiteral("5C-CF-7F-01-03-0E");
        Tfrm_Main w(LanEnv(dir.path()));
        w.show();
        TNEV_IOTDevList* list = w.IOTDevList();
        TNEV_IOTCtrlList* panel = w.IOTCtrlList();
        const auto select = [&] {
            if (panel->Appeared()) {
                list->DoListClick(-1, DevListTag::Panel);
                QTRY_VERIFY(!panel->Appeared());
            }
            list->ItemClick(list->Item(list->IndexOfMAC(mac)), DevListTag::Device);
            QTRY_VERIFY_WITH_TIMEOUT(panel->Appeared() && !w.DevEvents()->ChainRunning() &&
                                         w.DevEvents()->Selected() == list->DevItems(list->IndexOfMAC(mac)),
                                     10000);
        };
        const auto outputs = [&] {
            QString on;
            for (int i = 0; i < panel->OutCount(); ++i)
                on += panel->OutItems(i)->isOn() ? u'1' : u'0';
            return on;
        };
        QTRY_VERIFY_WITH_TIMEOUT(list->IndexOfMAC(mac) >= 0 &&
                                     list->DevItems(list->IndexOfMAC(mac))->NetState() ==
                                         TIOTNETSTATE::NET_OK,
                                 10000);
        QTRY_VERIFY_WITH_TIMEOUT(w.findChild<QWidget*>(QStringLiteral("img_Searching_back"))->isHidden(),
                                 5000);
        select();
        // The boards outlive a test: start from all outputs off.
        w.img_PopClick(8);
        QTRY_COMPARE(outputs(), QStringLiteral("0000"));
        QCOMPARE(panel->REGItems(0)->REG(), 21.5);
        QCOMPARE(panel->REGItems(1)->REG(), -3.5);

        // Output 1 locked: All ON leaves it off on the board, All OFF after unlocking switches all.
        QTest::mouseClick(panel->OutItems(0)->Img_Lock(), Qt::LeftButton);
        w.img_PopClick(7);
        QTRY_COMPARE(outputs(), QStringLiteral("0111"));
        select();
        QCOMPARE(outputs(), QStringLiteral("0111"));
        QVERIFY(panel->OutItems(0)->isLock());
        QTest::mouseClick(panel->OutItems(0)->Img_Lock(), Qt::LeftButton);
        w.img_PopClick(8);
        QTRY_COMPARE(outputs(), QStringLiteral("0000"));
        select();
        QCOMPARE(outputs(), QStringLiteral("0000"));

        // A frequency below the board's range is refused before anything is sent; one inside it
        // is kept by the board.
        const int was = panel->PWMItems(0)->PinLv();
        FMsgs->InputAnswers.push_back(QStringLiteral("700"));
        panel->ForwardCellClick(panel->PWMItems(0), 0, 7, TIOTYPE::IO_PWM);
        QCOMPARE(FMsgs->Messages.size(), 1);
        FMsgs->InputAnswers.push_back(QStringLiteral("2000"));
        panel->ForwardCellClick(panel->PWMItems(0), 0, 7, TIOTYPE::IO_PWM);
        QTRY_COMPARE(panel->PWMItems(0)->PinLv(), 2000);
        QVERIFY(was != 2000);
        select();
        QCOMPARE(panel->PWMItems(0)->PinLv(), 2000);
        QCOMPARE(FMsgs->Messages.size(), 1);
    }

    void searchPortTakenInTheLan() {
        QTemporaryDir dir;
        QUdpSocket taken;
        QVERIFY(taken.bind(QHostAddress::AnyIPv4,
                           quint16(qEnvironmentVariableIntValue("QUILLET_VLAN_SEARCH_PORT"))));
        Tfrm_Main w(LanEnv(dir.path()));
        QCOMPARE(FMsgs->Messages, QStringList{LangText(QStringLiteral("1901 search port is occupied!"))});
        QVERIFY(w.findChild<QWidget*>(QStringLiteral("img_Searching_back"))->isHidden());
        taken.close();
        QVERIFY(w.SearchDevices());
        QTRY_VERIFY_WITH_TIMEOUT(w.findChild<QWidget*>(QStringLiteral("img_Searching_back"))->isHidden(),
                                 5000);
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet(InsideVar)) {
        QStringList lan{"--boardsim", BOARDSIM, "--relaysim", RELAYSIM};
        for (const char* b : Boards)
            lan << "--board" << QLatin1String(b);
        return RunInVirtualLan("tst_e2e_window", InsideVar, lan, argc, argv);
    }
    QApplication app(argc, argv);
    tst_e2e_window test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_window.moc"
