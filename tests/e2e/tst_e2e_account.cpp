// The account pages end to end: the window offscreen in the virtual LAN's "pc" namespace, the
// relay and the cloud simulator in "lan" (tools/virtual-lan --cloud), the boards reachable only
// through the relay (the window's own search stays on loopback). Registration, login, the
// remembered and automatic login connecting the account's boards through the relay, the
// information and password changes, log-out, activation refusals and success, the cloud device
// popup, both synchronisations, and a cloud server that is stopped, slow or answering garbage.
#include "CloudSimProcess.h"
#include "ShellFixture.h"
#include "VirtualLan.h"

#include "untIOTDev.h"
#include "untIOTDevList.h"
#include "untIOTUDP.h"
#include "untImgSwitch.h"
#include "untIni.h"
#include "untMainAccount.h"
#include "untPictureFetch.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QtTest>

namespace {

constexpr const char* InsideVar = "QUILLET_E2E_ACCOUNT_INSIDE";

const char* const Boards[] = {
    "mac=5C-CF-7F-01-04-0A,name=Lab,type=1,ctrl=6",
    "mac=5C-CF-7F-01-04-0B,name=Kitchen,type=2,ctrl=2,out=4,in=2,pwm=0,reg=0,ir=0",
    "mac=5C-CF-7F-01-04-0C,name=Bench,type=3,ctrl=6",
};
const QString Lab = QStringLiteral("5C-CF-7F-01-04-0A");
const QString Kitchen = QStringLiteral("5C-CF-7F-01-04-0B");
const QString Bench = QStringLiteral("5C-CF-7F-01-04-0C");

// A second cloud simulator on this namespace's loopback, for the misbehaving servers.
class SimProcess : public CloudSimProcess {
public:
    explicit SimProcess(const QStringList& args)
        : CloudSimProcess(QStringLiteral(CLOUDSIM),
                          QStringList(args) << QStringLiteral("--account") << QStringLiteral("demo:demo")) {}
};

} // namespace

class tst_e2e_account : public QObject {
    Q_OBJECT

    std::shared_ptr<TRecordingMessages> FMsgs;
    std::unique_ptr<QTemporaryDir> FDir;

    std::unique_ptr<Tfrm_Main> Open(const QString& server = {}, bool chinese = false) {
        TMainEnv env = LoopbackEnv(FDir->path(), FMsgs);
        env.CloudServer = server.isEmpty() ? qEnvironmentVariable("QUILLET_VLAN_CLOUD_URL") : server;
        auto w = std::make_unique<Tfrm_Main>(env);
        Find<TImageSwitch>(w.get(), QStringLiteral("swh_Msg_Lang_State"))->SetisON(chinese);
        w->swh_Msg_Lang_StateSwitch();
        w->show();
        return w;
    }
    static void Type(QWidget* w, const QString& name, const QString& text) {
        Find<QLineEdit>(w, name)->setText(text);
    }
    static void Login(Tfrm_Main& w, const QString& account, const QString& password) {
        Type(&w, QStringLiteral("edt_User_Login_Account"), account);
        Type(&w, QStringLiteral("edt_User_Login_Password"), password);
        w.Account()->img_User_LoginClick(QStringLiteral("img_User_Login_Login"));
    }
    QString Last() const { return FMsgs->Messages.isEmpty() ? QString() : FMsgs->Messages.last(); }
    static TNEV_IOTDevConn* Dev(Tfrm_Main& w, const QString& mac) {
        for (int i = 0; i < w.IOTDevList()->DevCount(); ++i)
            if (w.IOTDevList()->DevItems(i)->DevMACStr() == mac)
                return w.IOTDevList()->DevItems(i);
        return nullptr;
    }
    static bool Online(Tfrm_Main& w, const QString& mac) {
        const TNEV_IOTDevConn* d = Dev(w, mac);
        return d && d->NetStyle() == TIOTNETSTYLE::NET_REMOTE && d->NetState() == TIOTNETSTATE::NET_OK;
    }
    // Every board's connection, for failure messages.
    static QString States(Tfrm_Main& w) {
        QStringList out;
        for (int i = 0; i < w.IOTDevList()->DevCount(); ++i) {
            const TNEV_IOTDevConn* d = w.IOTDevList()->DevItems(i);
            out << QStringLiteral("%1 style %2 state %3 at %4:%5")
                       .arg(d->DevMACStr())
                       .arg(int(d->NetStyle()))
                       .arg(int(d->NetState()))
                       .arg(d->NetIPStr())
                       .arg(d->NetPort());
        }
        return out.join(QStringLiteral("; "));
    }
    static void Shoot(Tfrm_Main& w, const QString& name) {
        const QString dir = QStringLiteral(SHOT_DIR);
        QDir().mkpath(dir);
        const QString lang = LangIsCn() ? QStringLiteral("cn") : QStringLiteral("en");
        // A language switch relabels the lists through posted events: show what a user would see.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        QVERIFY(w.grab().save(QStringLiteral("%1/e2e-account-%2-%3.png").arg(dir, name, lang)));
    }

private slots:
    void initTestCase() {
        QString why;
        if (!qEnvironmentVariableIsSet(InsideVar) || !OnlyVirtualLanInterfaces(&why))
            QFAIL(qPrintable(QStringLiteral("refusing to run outside the virtual LAN: ") + why));
        QVERIFY(!qEnvironmentVariable("QUILLET_VLAN_CLOUD_URL").isEmpty());
    }
    void init() {
        FMsgs = std::make_shared<TRecordingMessages>();
        FDir = std::make_unique<QTemporaryDir>();
        CloudSession.Clear();
    }

    // demo owns Lab and Kitchen. Remembered with "Auto Login", the next start logs in silently
    // and its boards come online through the relay; log-out takes them off.
    void autoLoginReachesBoardsThroughTheRelay() {
        {
            auto w = Open();
            QTRY_VERIFY(!w->IOTUDP()->Searching());
            Login(*w, QStringLiteral("demo"), QStringLiteral("wrong"));
            QVERIFY(!CloudSession.Logged);
            QVERIFY(!Last().isEmpty());
            Find<QCheckBox>(w.get(), QStringLiteral("chk_User_Login_AutoLog"))->setChecked(true);
            Login(*w, QStringLiteral("demo"), QStringLiteral("demo"));
            QVERIFY(CloudSession.Logged);
            w->Account()->img_User_LoginClick(QStringLiteral("img_User_Down"));
            QCOMPARE(Last(), QStringLiteral("Synchronization is complete!"));
            QCOMPARE(w->IOTDevList()->DevCount(), 2);
            QTRY_VERIFY2_WITH_TIMEOUT(Online(*w, Lab) && Online(*w, Kitchen), qPrintable(States(*w)), 10000);
            QCOMPARE(Dev(*w, Kitchen)->DevNameStr(), QStringLiteral("Kitchen"));
        }
        CloudSession.Clear();
        FMsgs->Messages.clear();
        auto w = Open();
        QVERIFY(CloudSession.Logged);
        QCOMPARE(Find<QLabel>(w.get(), QStringLiteral("lbl_MainSetting_Title_Info"))->text(),
                 QStringLiteral("demo"));
        QTRY_VERIFY2_WITH_TIMEOUT(Online(*w, Lab) && Online(*w, Kitchen), qPrintable(States(*w)), 10000);
        QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
        w->img_MainSettingClick(TAB_USER);
        QTRY_VERIFY(!w->Sliding());
        Shoot(*w, QStringLiteral("user"));
        FMsgs->ConfirmAnswers = {true};
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_logoff"));
        QCOMPARE(Find<QLabel>(w.get(), QStringLiteral("lbl_MainSetting_Title_Info"))->text(),
                 QStringLiteral("Unlogged"));
        for (const QString& mac : {Lab, Kitchen})
            QCOMPARE(Dev(*w, mac)->NetStyle(), TIOTNETSTYLE::NET_DEFAULT);
        Shoot(*w, QStringLiteral("login"));
    }

    // A new account: registration (a retype mismatch keeps the popup), login, information and
    // password changes, then the free board activated to it comes online through the relay.
    void registerChangeAndActivate() {
        auto w = Open();
        QTRY_VERIFY(!w->IOTUDP()->Searching());
        w->Account()->img_User_LoginClick(QStringLiteral("lbl_User_Login_Register"));
        Type(w.get(), QStringLiteral("edt_Register_Account"), QStringLiteral("erin"));
        Type(w.get(), QStringLiteral("edt_Register_Password"), QStringLiteral("first"));
        Type(w.get(), QStringLiteral("edt_Register_Retype"), QStringLiteral("frist"));
        w->img_PopClick(14);
        QCOMPARE(Last(), QStringLiteral("Two different password!"));
        QVERIFY(w->PopVisible(POP_REGISTER));
        Type(w.get(), QStringLiteral("edt_Register_Retype"), QStringLiteral("first"));
        w->img_PopClick(14);
        QCOMPARE(Last(), QStringLiteral("Register ok!"));
        QVERIFY(!w->PopVisible(POP_REGISTER));

        Login(*w, QStringLiteral("erin"), QStringLiteral("first"));
        QVERIFY(CloudSession.Logged);
        Type(w.get(), QStringLiteral("edt_User_NickName"), QStringLiteral("Erin E."));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_NewUserInfo"));
        QCOMPARE(Last(), QStringLiteral("User information change ok!"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_NewPassword"));
        Type(w.get(), QStringLiteral("edt_PopPassword_OldPassword"), QStringLiteral("first"));
        Type(w.get(), QStringLiteral("edt_PopPassword_NewPassword"), QStringLiteral("second"));
        Type(w.get(), QStringLiteral("edt_PopPassword_Retype"), QStringLiteral("second"));
        w->img_PopClick(12);
        QCOMPARE(Last(), QStringLiteral("User password change ok!"));
        Login(*w, QStringLiteral("erin"), QStringLiteral("first"));
        QVERIFY(!CloudSession.Logged);
        Login(*w, QStringLiteral("erin"), QStringLiteral("second"));
        QVERIFY(CloudSession.Logged);
        QCOMPARE(Find<QLineEdit>(w.get(), QStringLiteral("edt_User_NickName"))->text(),
                 QStringLiteral("Erin E."));

        // Refusals 0 to 3, then success.
        struct TCase {
            QString mac, code, english;
        };
        const TCase cases[] = {
            {QStringLiteral("5C-CF-7F-09-09-09"), QStringLiteral("1234"),
             QStringLiteral("Device is not in the cloud server!")},
            {QStringLiteral("5C-CF-7F-01-04-0F"), QStringLiteral("1234"),
             QStringLiteral("Device disable remote control!")},
            {Lab, QStringLiteral("1234"), QStringLiteral("Device has been activated by: demo")},
            {Bench, QStringLiteral("9999"), QStringLiteral("Device activation failed!")},
        };
        for (const bool chinese : {false, true}) {
            Find<TImageSwitch>(w.get(), QStringLiteral("swh_Msg_Lang_State"))->SetisON(chinese);
            w->swh_Msg_Lang_StateSwitch();
            for (const TCase& c : cases) {
                w->ShowPop(POP_ADD);
                Type(w.get(), QStringLiteral("edt_PopAdd_MAC"), c.mac);
                Type(w.get(), QStringLiteral("edt_PopAdd_Activation"), c.code);
                FMsgs->Messages.clear();
                w->img_PopClick(1);
                const QString want =
                    c.mac == Lab ? LangActivatedBy(QStringLiteral("demo")) : LangText(c.english);
                QCOMPARE(FMsgs->Messages, QStringList{want});
                QVERIFY(w->PopVisible(POP_ADD));
            }
            if (chinese)
                Shoot(*w, QStringLiteral("add"));
        }
        Find<TImageSwitch>(w.get(), QStringLiteral("swh_Msg_Lang_State"))->SetisON(false);
        w->swh_Msg_Lang_StateSwitch();
        Type(w.get(), QStringLiteral("edt_PopAdd_MAC"), Bench);
        Type(w.get(), QStringLiteral("edt_PopAdd_Activation"), QStringLiteral("1234"));
        w->img_PopClick(1);
        QCOMPARE(Last(), QStringLiteral("Device activation successful!"));
        QVERIFY(!w->PopVisible(POP_ADD));
        QTRY_VERIFY2_WITH_TIMEOUT(Online(*w, Bench), qPrintable(States(*w)), 10000);

        // The cloud popup lists it; a change shows on the next download.
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        auto* list = Find<QListWidget>(w.get(), QStringLiteral("lst_Pop_CloudDev"));
        QCOMPARE(list->count(), 1);
        Type(w.get(), QStringLiteral("edt_Pop_CloudDev_Name"), QStringLiteral("Workbench"));
        w->img_PopClick(TMainAccount::TagCloudChange);
        QCOMPARE(Last(), QStringLiteral("Device information has been updated!"));
        Shoot(*w, QStringLiteral("clouddev"));
        w->img_PopClick(22);
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_Down"));
        QCOMPARE(Dev(*w, Bench)->DevNameStr(), QStringLiteral("Workbench"));
        // Renamed here, sent up, listed again.
        Dev(*w, Bench)->setDevNameStr(QStringLiteral("Bench again"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_Up"));
        QCOMPARE(Last(), QStringLiteral("Synchronization is complete!"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        QCOMPARE(w->Account()->CloudDevs().data.value(0).name, QStringLiteral("Bench again"));
        // Removed in the cloud: gone from the popup, and the relay no longer lets erin in.
        FMsgs->ConfirmAnswers = {true};
        w->img_PopClick(TMainAccount::TagCloudRemove);
        QCOMPARE(Last(), QStringLiteral("Device has been removed!"));
        QCOMPARE(list->count(), 0);
        w->img_PopClick(22);
        Dev(*w, Bench)->setNetStyle(TIOTNETSTYLE::NET_DEFAULT);
        Dev(*w, Bench)->setNetStyle(TIOTNETSTYLE::NET_REMOTE);
        QTRY_COMPARE_WITH_TIMEOUT(Dev(*w, Bench)->NetState(), TIOTNETSTATE::NET_NOPER, 10000);
    }

    // Pictures come from the cloud on the LAN, each late (the simulator holds them): the popup's
    // rows and "Synchronized to local" show at once, every picture then lands in its own row
    // and its own board, and a popup closed before they arrive drops them.
    void cloudPicturesArriveLater() {
        auto w = Open();
        QTRY_VERIFY(!w->IOTUDP()->Searching());
        Login(*w, QStringLiteral("demo"), QStringLiteral("demo"));
        QVERIFY(CloudSession.Logged);
        const QHash<QString, QColor> colours{{Lab, QColor(220, 30, 30)}, {Kitchen, QColor(30, 30, 220)}};
        auto near = [](const QImage& picture, const QColor& c) {
            if (picture.isNull())
                return false;
            const QColor got = picture.pixelColor(picture.width() / 2, picture.height() / 2);
            return qAbs(got.red() - c.red()) < 40 && qAbs(got.green() - c.green()) < 40 &&
                   qAbs(got.blue() - c.blue()) < 40;
        };
        auto row = [](QListWidget* list, const QString& mac) -> TCloudDevsCell* {
            for (int i = 0; i < list->count(); ++i)
                if (auto* cell = qobject_cast<TCloudDevsCell*>(list->itemWidget(list->item(i)));
                    cell && cell->CellMAC() == mac)
                    return cell;
            return nullptr;
        };

        // Each board gets a picture of its own colour in the cloud.
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        auto* list = Find<QListWidget>(w.get(), QStringLiteral("lst_Pop_CloudDev"));
        QCOMPARE(list->count(), 2);
        for (int i = 0; i < list->count(); ++i) {
            list->setCurrentRow(i);
            const QString mac = qobject_cast<TCloudDevsCell*>(list->itemWidget(list->item(i)))->CellMAC();
            QImage img(64, 64, QImage::Format_RGB32);
            img.fill(colours.value(mac));
            const QString file = FDir->filePath(QStringLiteral("%1.png").arg(i));
            QVERIFY(img.save(file));
            w->Account()->ChooseImageFile = [file] { return file; };
            w->img_PopClick(TMainAccount::TagCloudImage);
            w->img_PopClick(TMainAccount::TagCloudUpload);
            QCOMPARE(Last(), QStringLiteral("Uploaded successfully!"));
        }
        w->img_PopClick(22);

        // Opened again: the rows are there before any picture.
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        QCOMPARE(list->count(), 2);
        for (const QString& mac : {Lab, Kitchen}) {
            QVERIFY(row(list, mac));
            QVERIFY(row(list, mac)->Picture().isNull());
        }
        QVERIFY(w->Account()->Pictures()->Pending() > 0);
        for (const QString& mac : {Lab, Kitchen})
            QTRY_VERIFY_WITH_TIMEOUT(near(row(list, mac)->Picture(), colours.value(mac)), 15000);
        for (const bool chinese : {true, false}) {
            Find<TImageSwitch>(w.get(), QStringLiteral("swh_Msg_Lang_State"))->SetisON(chinese);
            w->swh_Msg_Lang_StateSwitch();
            Shoot(*w, QStringLiteral("clouddev-pictures"));
        }
        w->img_PopClick(22);
        QVERIFY(w->Account()->CloudDevs().data.isEmpty());

        // Closed before its pictures arrive: they are dropped with the list.
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        QVERIFY(w->Account()->Pictures()->Pending() > 0);
        QTest::keyClick(w.get(), Qt::Key_Escape);
        QVERIFY(!w->PopVisible(POP_CLOUDDEV));
        QCOMPARE(w->Account()->Pictures()->Pending(), 0);
        QCOMPARE(list->count(), 0);

        // "Synchronized to local" ends at once; each board then shows its own picture.
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_Down"));
        QCOMPARE(Last(), QStringLiteral("Synchronization is complete!"));
        QVERIFY(w->Account()->Pictures()->Pending() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(w->Account()->Pictures()->Pending(), 0, 15000);
        for (const QString& mac : {Lab, Kitchen}) {
            QVERIFY2(near(LoadDevImage(mac), colours.value(mac)), qPrintable(mac));
            QVERIFY(w->IOTDevList()->Item(w->IOTDevList()->IndexOfMAC(mac))->isCustomImg());
        }
        Shoot(*w, QStringLiteral("devices-pictures"));
    }

    // Stopped, slow and garbage-answering servers: every action returns with a true message and
    // nothing stored is lost.
    void misbehavingServer_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("stopped") << QStringList() << "Cannot connect to the cloud server!";
        QTest::newRow("slow") << QStringList{QStringLiteral("--delay"), QStringLiteral("8000")}
                              << "Cannot connect to the cloud server!";
        QTest::newRow("garbage") << QStringList{QStringLiteral("--not-json")}
                                 << "The cloud server's reply could not be read!";
    }
    void misbehavingServer() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QString server = QStringLiteral("http://127.0.0.1:9");
        std::unique_ptr<SimProcess> sim;
        if (!args.isEmpty()) {
            sim = std::make_unique<SimProcess>(args);
            QVERIFY(sim->WaitReady());
            server = sim->Base();
        }
        auto w = Open(server);
        Login(*w, QStringLiteral("demo"), QStringLiteral("demo"));
        QVERIFY(!CloudSession.Logged);
        QCOMPARE(Last(), message);
        QCOMPARE(Find<QLineEdit>(w.get(), QStringLiteral("edt_User_Login_Password"))->text(),
                 QStringLiteral("demo"));
        w->ShowPop(POP_REGISTER);
        Type(w.get(), QStringLiteral("edt_Register_Account"), QStringLiteral("frank"));
        Type(w.get(), QStringLiteral("edt_Register_Password"), QStringLiteral("pw"));
        Type(w.get(), QStringLiteral("edt_Register_Retype"), QStringLiteral("pw"));
        w->img_PopClick(14);
        QCOMPARE(Last(), message);
        QVERIFY(w->PopVisible(POP_REGISTER));
        QCOMPARE(Find<QLineEdit>(w.get(), QStringLiteral("edt_Register_Account"))->text(),
                 QStringLiteral("frank"));
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet(InsideVar)) {
        QStringList lan{"--boardsim", BOARDSIM, "--relaysim", RELAYSIM, "--cloudsim", CLOUDSIM, "--account",
                        "demo:demo:5C-CF-7F-01-04-0A,5C-CF-7F-01-04-0B", "--account",
                        "gail:gailpw:", "--cloud-arg=--device", "--cloud-arg=mac=5ccf7f01040f,remote=0",
                        // Pictures arrive late, as from a slow picture host.
                        "--cloud-arg=--picture-delay", "--cloud-arg=1500"};
        for (const char* b : Boards)
            lan << "--board" << QLatin1String(b);
        return RunInVirtualLan("tst_e2e_account", InsideVar, lan, argc, argv);
    }
    QApplication app(argc, argv);
    tst_e2e_account test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_account.moc"
