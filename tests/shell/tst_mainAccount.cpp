// The account pages and the account's boards in the cloud, in the main window offscreen against
// the simulated cloud server on 127.0.0.1 (the window's search stays on loopback): login and its
// refusals, the remembered and automatic login across a restart, registration, the information
// and password changes, log-out and the gate, activation, the cloud device popup and both
// synchronisations.
#include "../devices/TestHttpServer.h"
#include "CloudSimProcess.h"
#include "ShellFixture.h"

#include "untIOTDev.h"
#include "untIOTDevList.h"
#include "untIOTUDP.h"
#include "untImgSwitch.h"
#include "untIni.h"
#include "untMainAccount.h"
#include "untPictureFetch.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

namespace {

QStringList LoggedLines;
void KeepLogLine(QtMsgType, const QMessageLogContext&, const QString& text) {
    LoggedLines << text;
}

// The cloud simulator as its own process; the port comes from its first line of output.
class SimProcess : public CloudSimProcess {
public:
    explicit SimProcess(const QStringList& args) : CloudSimProcess(QStringLiteral(QUILLET_CLOUDSIM), args) {}
};

const QString LongAccount = QStringLiteral("a-rather-long-account-name"); // 26 bytes

QByteArray Jpeg(const QColor& colour, const QSize& size = QSize(120, 120)) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "JPG");
    return bytes;
}

bool Near(const QImage& picture, const QColor& colour) {
    if (picture.isNull())
        return false;
    const QColor c = picture.pixelColor(picture.width() / 2, picture.height() / 2);
    return qAbs(c.red() - colour.red()) < 30 && qAbs(c.green() - colour.green()) < 30 &&
           qAbs(c.blue() - colour.blue()) < 30;
}

// A cloud on loopback whose pictures the test controls: boards A, B and C of alice, whose
// pictures are red, the answer under test, and blue.
struct PictureCloud {
    TestHttpServer Server;
    static QString Mac(int i) { return QStringLiteral("5ccf7f0102a%1").arg(i); }
    static QString Shown(int i) { return QStringLiteral("5C-CF-7F-01-02-A%1").arg(i); }

    bool Start(const TestHttpServer::Answer& middle, int boards = 3) {
        if (!Server.Listen())
            return false;
        QByteArray data;
        for (int i = 0; i < boards; ++i) {
            if (i)
                data += ',';
            data += QStringLiteral(R"({"id":"%1","mac":"%2","name":"Board %3","pass":"pw%1","func":"1",)"
                                   R"("_type":"1","hardver":"1.0","softver":"1.0","img":"%4","status":"1",)"
                                   R"("uid":"1","create_time":"1796903080"})")
                        .arg(i + 1)
                        .arg(Mac(i), QChar(u'A' + i), Server.Url(QStringLiteral("/p%1.jpg").arg(i)))
                        .toUtf8();
        }
        Server.Set(QStringLiteral("/api.php/Device/download"),
                   {200, "application/json", R"({"status":1,"info":"","data":[)" + data + "]}"});
        Server.Set(QStringLiteral("/api.php/Device/delete/*"),
                   {200, "application/json", R"({"status":1,"info":"Removed","data":null})"});
        Server.Set(QStringLiteral("/p0.jpg"), {200, "image/jpeg", Jpeg(Qt::red)});
        Server.Set(QStringLiteral("/p1.jpg"), middle);
        Server.Set(QStringLiteral("/p2.jpg"), {200, "image/jpeg", Jpeg(Qt::blue)});
        return true;
    }
    static TestHttpServer::Answer Held(const QColor& colour) {
        TestHttpServer::Answer a{200, "image/jpeg", Jpeg(colour)};
        a.Held = true;
        return a;
    }
};

QStringList World() {
    return {QStringLiteral("--account"),
            QStringLiteral("alice:secret"),
            QStringLiteral("--account"),
            QStringLiteral("bob:bobpw"),
            QStringLiteral("--account"),
            LongAccount + QStringLiteral(":pw"),
            QStringLiteral("--device"),
            QStringLiteral("mac=5ccf7f01020a,code=AB12,name=Kitchen,pass=1234,type=1"),
            QStringLiteral("--device"),
            QStringLiteral("mac=5ccf7f01020b,owner=alice,name=Hall,pass=4321,type=2,img=1"),
            QStringLiteral("--device"),
            QStringLiteral("mac=5ccf7f01020c,owner=bob,name=Shed"),
            QStringLiteral("--device"),
            QStringLiteral("mac=5ccf7f01020d,remote=0"),
            QStringLiteral("--device"),
            QStringLiteral("mac=5ccf7f01020f,owner=alice,name=Porch,pass=5555,type=1"),
            QStringLiteral("--support-reply"),
            QStringLiteral("alice:Hello from support")};
}

} // namespace

class tst_mainAccount : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FDir;
    std::shared_ptr<TRecordingMessages> FMsgs;
    std::unique_ptr<SimProcess> FSim;

    bool StartSim(const QStringList& extra = {}) {
        FSim = std::make_unique<SimProcess>(World() + extra);
        return FSim->WaitReady();
    }
    std::unique_ptr<Tfrm_Main> Open(const QString& server = {}) {
        TMainEnv env = LoopbackEnv(FDir->path(), FMsgs);
        env.CloudServer = server.isEmpty() ? FSim->Base() : server;
        auto w = std::make_unique<Tfrm_Main>(env);
        // The texts compared below are the English ones.
        Find<TImageSwitch>(w.get(), QStringLiteral("swh_Msg_Lang_State"))->SetisON(false);
        w->swh_Msg_Lang_StateSwitch();
        w->show();
        return w;
    }
    static QLineEdit* Edit(const QWidget* w, const QString& name) { return Find<QLineEdit>(w, name); }
    static QString Label(const QWidget* w, const QString& name) { return Find<QLabel>(w, name)->text(); }
    static void Type(QWidget* w, const QString& name, const QString& text) { Edit(w, name)->setText(text); }
    // Logs in through the login panel.
    static void Login(Tfrm_Main& w, const QString& account, const QString& password) {
        Type(&w, QStringLiteral("edt_User_Login_Account"), account);
        Type(&w, QStringLiteral("edt_User_Login_Password"), password);
        w.Account()->img_User_LoginClick(QStringLiteral("img_User_Login_Login"));
    }
    // Logged in without a login call (the cloud under test answers only what it is asked).
    static void LogInAs(Tfrm_Main& w, const QString& account) {
        CloudSession.Logged = true;
        CloudSession.SetAccount(account);
        CloudSession.SetPassword(QStringLiteral("secret"));
        w.IOTDevList()->setRelaySession(CloudSession);
    }
    static TCloudDevsCell* Row(QListWidget* list, int i) {
        return qobject_cast<TCloudDevsCell*>(list->itemWidget(list->item(i)));
    }
    QString LastMessage() const { return FMsgs->Messages.isEmpty() ? QString() : FMsgs->Messages.last(); }
    static TNEV_IOTDevConn* DevByMAC(Tfrm_Main& w, const QString& mac) {
        for (int i = 0; i < w.IOTDevList()->DevCount(); ++i)
            if (w.IOTDevList()->DevItems(i)->DevMACStr() == mac)
                return w.IOTDevList()->DevItems(i);
        return nullptr;
    }

    // Saves a picture of the window into the build folder and checks that every caption fits.
    static void Shoot(Tfrm_Main& w, const QString& name) {
        const QString dir = QStringLiteral(SHOT_DIR);
        QDir().mkpath(dir);
        const QPixmap shot = w.grab();
        QVERIFY(!shot.isNull());
        const QString lang = LangIsCn() ? QStringLiteral("cn") : QStringLiteral("en");
        QVERIFY(shot.save(QStringLiteral("%1/account-%2-%3@%4x.png")
                              .arg(dir, name, lang)
                              .arg(qRound(shot.devicePixelRatio()))));
        QStringList cut;
        for (const QLabel* l : w.findChildren<QLabel*>()) {
            if (!l->isVisibleTo(&w) || l->text().isEmpty() || l->wordWrap())
                continue;
            const int need =
                l->fontMetrics().horizontalAdvance(l->text()) + 2 * l->indent() + 2 * l->margin();
            if (need > l->width() || l->fontMetrics().height() > l->height())
                cut << QStringLiteral("%1: %2").arg(l->objectName(), l->text());
        }
        QVERIFY2(cut.isEmpty(), qPrintable(name + QStringLiteral(": ") + cut.join(QStringLiteral(" | "))));
    }

private slots:
    void init() {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
        FMsgs = std::make_shared<TRecordingMessages>();
        CloudSession.Clear();
        SetLanguage(LangEn);
    }
    void cleanup() { FSim.reset(); }

    void helpers_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("cloud");
        QTest::newRow("dashes") << "5C-CF-7F-01-02-0A"
                                << "5ccf7f01020a";
        QTest::newRow("colons") << "5c:cf:7f:01:02:0a"
                                << "5ccf7f01020a";
        QTest::newRow("bare") << "5CCF7F01020A"
                              << "5ccf7f01020a";
        QTest::newRow("twelve, not hex") << "zzzzzzzzzzzz"
                                         << "";
        QTest::newRow("eleven digits") << "5ccf7f01020"
                                       << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void helpers() {
        QFETCH(QString, typed);
        QFETCH(QString, cloud);
        QCOMPARE(CloudMACText(typed), cloud);
    }

    void textProblems_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("refused");
        QTest::newRow("plain") << "alice" << false;
        QTest::newRow("mail address") << "a.b@c.com" << false;
        QTest::newRow("inner blank") << "a b" << false;
        QTest::newRow("slash") << "a/b" << true;
        QTest::newRow("question mark") << "a?" << true;
        QTest::newRow("hash") << "#a" << true;
        QTest::newRow("percent") << "100%" << true;
        QTest::newRow("leading blank") << " a" << true;
        QTest::newRow("trailing blank") << "a " << true;
    }
    void textProblems() {
        QFETCH(QString, text);
        QFETCH(bool, refused);
        QCOMPARE(!AccountTextProblem(text).isEmpty(), refused);
    }

    void serverTimeIsLocalTime() {
        // A summer and a winter date each read in the zone's own offset of that date.
        for (const qint64 secs : {qint64(1719835200), qint64(1704110400)}) {
            const QString expected =
                QDateTime::fromSecsSinceEpoch(secs).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
            QCOMPARE(CloudTimeText(QString::number(secs)), expected);
        }
        QCOMPARE(CloudTimeText(QStringLiteral("soon")), QString());
    }

    void login_data() {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("logged");
        QTest::addColumn<QString>("message");
        QTest::newRow("right") << "alice"
                               << "secret" << true << "";
        QTest::newRow("wrong password") << "alice"
                                        << "nope" << false << "Account or password error";
        QTest::newRow("empty password") << "alice"
                                        << "" << false << "account or password not correct";
        QTest::newRow("33 characters")
            << QString(33, u'a') << "x" << false << "Account length requires 1 to 32 bytes!";
        QTest::newRow("password too long")
            << "alice" << QString(33, u'p') << false << "Password length requires 1 to 32 bytes!";
        QTest::newRow("longer than the relay field") << LongAccount << "pw" << true
                                                     << "Account or password longer than 16 bytes: remote "
                                                        "control cannot work with it!";
    }
    void login() {
        QFETCH(QString, account);
        QFETCH(QString, password);
        QFETCH(bool, logged);
        QFETCH(QString, message);
        QVERIFY(StartSim());
        auto w = Open();
        QTRY_VERIFY(!w->IOTUDP()->Searching());
        Login(*w, account, password);
        QCOMPARE(CloudSession.Logged, logged);
        QCOMPARE(LastMessage(), message);
        QCOMPARE(Find(w.get(), QStringLiteral("rctngl_User_LoginBack"))->isHidden(), logged);
        if (!logged) {
            QCOMPARE(Label(w.get(), QStringLiteral("lbl_MainSetting_Title_Info")),
                     QStringLiteral("Unlogged"));
            return;
        }
        // The whole texts for the cloud, the label and what is remembered.
        QCOMPARE(CloudSession.CloudAccount(), account);
        QCOMPARE(CloudSession.CloudPassword(), password);
        QCOMPARE(Label(w.get(), QStringLiteral("lbl_MainSetting_Title_Info")), account);
        QCOMPARE(Label(w.get(), QStringLiteral("lbl_User_Account")), account);
        QVERIFY(!Label(w.get(), QStringLiteral("lbl_User_LastIP")).isEmpty());
        // Not remembered: the fields are emptied.
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_User_Login_Account"))->text(), QString());
        // A later cloud call with the whole texts succeeds.
        FMsgs->Messages.clear();
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_Down"));
        QCOMPARE(LastMessage(), QStringLiteral("Synchronization is complete!"));
    }

    void enterInEitherFieldLogsIn_data() {
        QTest::addColumn<QString>("field");
        QTest::newRow("account") << "edt_User_Login_Account";
        QTest::newRow("password") << "edt_User_Login_Password";
    }
    void enterInEitherFieldLogsIn() {
        QFETCH(QString, field);
        QVERIFY(StartSim());
        auto w = Open();
        Type(w.get(), QStringLiteral("edt_User_Login_Account"), QStringLiteral("alice"));
        Type(w.get(), QStringLiteral("edt_User_Login_Password"), QStringLiteral("secret"));
        QTest::keyClick(Edit(w.get(), field), Qt::Key_Return);
        QVERIFY(CloudSession.Logged);
    }

    // Neither a password nor its digest reaches the debug output, whatever the call.
    void passwordsNeverLogged() {
        QVERIFY(StartSim());
        auto w = Open();
        LoggedLines.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("quillet.*=true"));
        const QtMessageHandler before = qInstallMessageHandler(KeepLogLine);
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_NewUserInfo"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        Type(w.get(), QStringLiteral("edt_PopPassword_OldPassword"), QStringLiteral("secret"));
        Type(w.get(), QStringLiteral("edt_PopPassword_NewPassword"), QStringLiteral("n3wpass"));
        Type(w.get(), QStringLiteral("edt_PopPassword_Retype"), QStringLiteral("n3wpass"));
        w->Account()->ChangePasswordAction();
        w->ShowPop(POP_REGISTER);
        Type(w.get(), QStringLiteral("edt_Register_Account"), QStringLiteral("zed"));
        Type(w.get(), QStringLiteral("edt_Register_Password"), QStringLiteral("zedsecret"));
        Type(w.get(), QStringLiteral("edt_Register_Retype"), QStringLiteral("zedsecret"));
        w->Account()->RegisterAction();
        qInstallMessageHandler(before);
        QLoggingCategory::setFilterRules({});
        QVERIFY(CloudSession.Logged);
        QCOMPARE(CloudSession.CloudPassword(), QStringLiteral("n3wpass"));
        QVERIFY(!LoggedLines.isEmpty());
        const QString log = LoggedLines.join(u'\n');
        for (const QString& secret :
             {QStringLiteral("secret"), QStringLiteral("n3wpass"), Md5Hex(QStringLiteral("secret")),
              Md5Hex(QStringLiteral("n3wpass")), QStringLiteral("4321")})
            QVERIFY2(!log.contains(secret), qPrintable(secret));
    }

    void loginFeedBadge() {
        QVERIFY(StartSim());
        auto w = Open();
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        QVERIFY(!Find(w.get(), QStringLiteral("crcl_User_Feedlist_Count"))->isHidden());
        QCOMPARE(Label(w.get(), QStringLiteral("lbl_User_Feedlist_Count")), QStringLiteral("1"));
        w->Account()->SetFeedCount(0);
        QVERIFY(Find(w.get(), QStringLiteral("crcl_User_Feedlist_Count"))->isHidden());
    }

    void serverUnreachable() {
        // Nothing listens on the discard port of this computer.
        auto w = Open(QStringLiteral("http://127.0.0.1:9"));
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        QVERIFY(!CloudSession.Logged);
        QCOMPARE(LastMessage(), QStringLiteral("Cannot connect to the cloud server!"));
        // The register popup stays with what was typed.
        w->ShowPop(POP_REGISTER);
        Type(w.get(), QStringLiteral("edt_Register_Account"), QStringLiteral("carol"));
        Type(w.get(), QStringLiteral("edt_Register_Password"), QStringLiteral("pw"));
        Type(w.get(), QStringLiteral("edt_Register_Retype"), QStringLiteral("pw"));
        QVERIFY(!w->Account()->RegisterAction());
        QCOMPARE(LastMessage(), QStringLiteral("Cannot connect to the cloud server!"));
        QVERIFY(w->PopVisible(POP_REGISTER));
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_Register_Account"))->text(), QStringLiteral("carol"));
    }

    void garbageReply() {
        QVERIFY(StartSim({QStringLiteral("--not-json")}));
        auto w = Open();
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        QVERIFY(!CloudSession.Logged);
        QCOMPARE(LastMessage(), QStringLiteral("The cloud server's reply could not be read!"));
    }

    void rememberAndAutoLogin_data() {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("autoLog");
        QTest::newRow("remember") << "alice"
                                  << "secret" << false;
        QTest::newRow("auto login") << "alice"
                                    << "secret" << true;
        QTest::newRow("auto login, long account") << LongAccount << "pw" << true;
    }
    void rememberAndAutoLogin() {
        QFETCH(QString, account);
        QFETCH(QString, password);
        QFETCH(bool, autoLog);
        QVERIFY(StartSim());
        {
            auto w = Open();
            auto* rem = Find<QCheckBox>(w.get(), QStringLiteral("chk_User_Login_RemPSS"));
            auto* autoBox = Find<QCheckBox>(w.get(), QStringLiteral("chk_User_Login_AutoLog"));
            autoBox->setChecked(autoLog);
            QCOMPARE(rem->isChecked(), autoLog); // auto login checks remember
            rem->setChecked(true);
            Login(*w, account, password);
            QVERIFY(CloudSession.Logged);
            QCOMPARE(Edit(w.get(), QStringLiteral("edt_User_Login_Account"))->text(), account);
        }
        CloudSession.Clear();
        FMsgs->Messages.clear();
        auto w = Open();
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_User_Login_Account"))->text(), account);
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_User_Login_Password"))->text(), password);
        QCOMPARE(CloudSession.Logged, autoLog);
        QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
        if (autoLog)
            QCOMPARE(Label(w.get(), QStringLiteral("lbl_MainSetting_Title_Info")), account);
    }

    void silentLoginRefused() {
        QVERIFY(StartSim({QStringLiteral("--account"), QStringLiteral("dave:dpw")}));
        {
            auto w = Open();
            Find<QCheckBox>(w.get(), QStringLiteral("chk_User_Login_AutoLog"))->setChecked(true);
            Login(*w, QStringLiteral("dave"), QStringLiteral("dpw"));
            QVERIFY(CloudSession.Logged);
        }
        // The server no longer knows that account.
        FSim.reset();
        QVERIFY(StartSim());
        CloudSession.Clear();
        FMsgs->Messages.clear();
        auto w = Open();
        QVERIFY(!CloudSession.Logged);
        QVERIFY(FMsgs->Messages.isEmpty());
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_User_Login_Account"))->text(), QStringLiteral("dave"));
    }

    void gateWhileLoggedOut_data() {
        QTest::addColumn<QString>("entry");
        for (const char* e : {"img_User_NewPassword", "img_User_NewUserInfo", "img_User_logoff",
                              "img_User_CloudDev", "img_User_Down", "img_User_Up"})
            QTest::newRow(e) << e;
    }
    void gateWhileLoggedOut() {
        QFETCH(QString, entry);
        QVERIFY(StartSim());
        auto w = Open();
        w->Account()->img_User_LoginClick(entry);
        QCOMPARE(FMsgs->Messages, QStringList{QStringLiteral("Login first please")});
        QVERIFY(!w->PopVisible(POP_PASSWORD) && !w->PopVisible(POP_CLOUDDEV));
    }

    void logOut() {
        QVERIFY(StartSim());
        auto w = Open();
        QTRY_VERIFY(!w->IOTUDP()->Searching());
        Find<QCheckBox>(w.get(), QStringLiteral("chk_User_Login_AutoLog"))->setChecked(true);
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        QVERIFY(CloudSession.Logged);
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_Down"));
        TNEV_IOTDevConn* hall = DevByMAC(*w, QStringLiteral("5C-CF-7F-01-02-0B"));
        QVERIFY(hall);
        QCOMPARE(hall->NetStyle(), TIOTNETSTYLE::NET_REMOTE);
        QVERIFY(hall->RelaySession().Logged);
        w->IOTDevList()->SetSelected(w->IOTDevList()->IndexOf(hall));
        QCOMPARE(w->IOTDevList()->NowDev(), hall);
        // "No" changes nothing.
        FMsgs->ConfirmAnswers = {false};
        QVERIFY(!w->Account()->LogOut());
        QVERIFY(CloudSession.Logged);
        FMsgs->ConfirmAnswers = {true};
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_logoff"));
        QVERIFY(!CloudSession.Logged);
        QCOMPARE(CloudSession.Account(), QString());
        QCOMPARE(CloudSession.CloudPassword(), QString());
        QCOMPARE(hall->NetStyle(), TIOTNETSTYLE::NET_DEFAULT);
        QVERIFY(!hall->RelaySession().Logged);
        QCOMPARE(w->IOTDevList()->NowDev(), nullptr); // the remote board's panel went with it
        QCOMPARE(hall->RelaySession().Password(), QString());
        QCOMPARE(w->Account()->CloudDevs().data.size(), 0);
        QCOMPARE(Label(w.get(), QStringLiteral("lbl_MainSetting_Title_Info")), QStringLiteral("Unlogged"));
        QVERIFY(!Find<QCheckBox>(w.get(), QStringLiteral("chk_User_Login_AutoLog"))->isChecked());
        QVERIFY(!Find<QCheckBox>(w.get(), QStringLiteral("chk_User_Login_RemPSS"))->isChecked());
        QVERIFY(!Find(w.get(), QStringLiteral("rctngl_User_LoginBack"))->isHidden());
        // A new login connects the relay boards again.
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        QCOMPARE(hall->NetStyle(), TIOTNETSTYLE::NET_REMOTE);
        QCOMPARE(hall->RelaySession().Account(), QStringLiteral("alice"));
    }

    void registration_data() {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("retype");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("popupStays");
        QTest::addColumn<bool>("fieldsEmptied");
        QTest::newRow("ok") << "carol"
                            << "pw1"
                            << "pw1"
                            << "Register ok!" << false << true;
        QTest::newRow("retype differs") << "carol"
                                        << "pw1"
                                        << "pw2"
                                        << "Two different password!" << true << false;
        QTest::newRow("taken") << "alice"
                               << "pw1"
                               << "pw1"
                               << "Account already exists" << false << false;
        QTest::newRow("slash") << "car/ol"
                               << "pw1"
                               << "pw1"
                               << "Account and password cannot contain / ? # % or begin or end with a space!"
                               << true << false;
        QTest::newRow("trailing blank in password")
            << "carol"
            << "pw1 "
            << "pw1 "
            << "Account and password cannot contain / ? # % or begin or end with a space!" << true << false;
        QTest::newRow("empty account") << ""
                                       << "pw1"
                                       << "pw1"
                                       << "Account length requires 1 to 32 bytes!" << true << false;
    }
    void registration() {
        QFETCH(QString, account);
        QFETCH(QString, password);
        QFETCH(QString, retype);
        QFETCH(QString, message);
        QFETCH(bool, popupStays);
        QFETCH(bool, fieldsEmptied);
        QVERIFY(StartSim());
        auto w = Open();
        w->Account()->img_User_LoginClick(QStringLiteral("lbl_User_Login_Register"));
        QVERIFY(w->PopVisible(POP_REGISTER));
        Type(w.get(), QStringLiteral("edt_Register_Account"), account);
        Type(w.get(), QStringLiteral("edt_Register_Password"), password);
        Type(w.get(), QStringLiteral("edt_Register_Retype"), retype);
        Type(w.get(), QStringLiteral("edt_Register_NickName"), QStringLiteral("Caro"));
        w->img_PopClick(14);
        if (message == QLatin1String("Account already exists"))
            QVERIFY2(!LastMessage().isEmpty() && LastMessage() != QLatin1String("Register ok!"),
                     qPrintable(LastMessage()));
        else
            QCOMPARE(LastMessage(), message);
        QCOMPARE(w->PopVisible(POP_REGISTER), popupStays);
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_Register_NickName"))->text().isEmpty(), fieldsEmptied);
        QVERIFY(!CloudSession.Logged); // registering does not log in
        if (message == QLatin1String("Register ok!")) {
            Login(*w, account, password);
            QVERIFY(CloudSession.Logged);
            QCOMPARE(Edit(w.get(), QStringLiteral("edt_User_NickName"))->text(), QStringLiteral("Caro"));
        }
    }

    void changeInformation() {
        QVERIFY(StartSim());
        auto w = Open();
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        Type(w.get(), QStringLiteral("edt_User_NickName"), QStringLiteral("Ally"));
        Type(w.get(), QStringLiteral("edt_User_Tel"), QStringLiteral("555-0101"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_NewUserInfo"));
        QCOMPARE(LastMessage(), QStringLiteral("User information change ok!"));
        Type(w.get(), QStringLiteral("edt_User_NickName"), QString());
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_User_NickName"))->text(), QStringLiteral("Ally"));
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_User_Tel"))->text(), QStringLiteral("555-0101"));
    }

    void changePassword_data() {
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("fresh");
        QTest::addColumn<QString>("retype");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("changed");
        QTest::newRow("ok") << "secret"
                            << "n3w"
                            << "n3w"
                            << "User password change ok!" << true;
        QTest::newRow("wrong old") << "nope"
                                   << "n3w"
                                   << "n3w"
                                   << "" << false;
        QTest::newRow("retype differs") << "secret"
                                        << "n3w"
                                        << "n3x"
                                        << "Two different password!" << false;
        QTest::newRow("empty new") << "secret"
                                   << ""
                                   << ""
                                   << "Password length requires 1 to 32 bytes!" << false;
        QTest::newRow("hash in new")
            << "secret"
            << "n#w"
            << "n#w"
            << "Account and password cannot contain / ? # % or begin or end with a space!" << false;
    }
    void changePassword() {
        QFETCH(QString, old);
        QFETCH(QString, fresh);
        QFETCH(QString, retype);
        QFETCH(QString, message);
        QFETCH(bool, changed);
        QVERIFY(StartSim());
        auto w = Open();
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_NewPassword"));
        QVERIFY(w->PopVisible(POP_PASSWORD));
        for (const char* n :
             {"edt_PopPassword_OldPassword", "edt_PopPassword_NewPassword", "edt_PopPassword_Retype"})
            QCOMPARE(Edit(w.get(), QLatin1String(n))->echoMode(), QLineEdit::Password);
        Type(w.get(), QStringLiteral("edt_PopPassword_OldPassword"), old);
        Type(w.get(), QStringLiteral("edt_PopPassword_NewPassword"), fresh);
        Type(w.get(), QStringLiteral("edt_PopPassword_Retype"), retype);
        FMsgs->Messages.clear();
        w->img_PopClick(12);
        if (!message.isEmpty())
            QCOMPARE(LastMessage(), message);
        else
            QVERIFY(!FMsgs->Messages.isEmpty()); // the server's refusal
        QCOMPARE(w->PopVisible(POP_PASSWORD), !changed);
        QCOMPARE(CloudSession.CloudPassword(), changed ? fresh : QStringLiteral("secret"));
        if (!changed) {
            QCOMPARE(Edit(w.get(), QStringLiteral("edt_PopPassword_NewPassword"))->text(), fresh);
            return;
        }
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_PopPassword_OldPassword"))->text(), QString());
        Login(*w, QStringLiteral("alice"), fresh);
        QVERIFY(CloudSession.Logged);
    }

    void activation_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("chinese");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("added");
        QTest::newRow("success") << "5C-CF-7F-01-02-0A"
                                 << "ab12" << false << "Device activation successful!" << true;
        QTest::newRow("success, colons and capitals")
            << "5c:cf:7f:01:02:0a"
            << "AB12" << false << "Device activation successful!" << true;
        QTest::newRow("0 not in the cloud") << "5C-CF-7F-99-99-99"
                                            << "x" << false << "Device is not in the cloud server!" << false;
        QTest::newRow("1 no remote control") << "5C-CF-7F-01-02-0D"
                                             << "x" << false << "Device disable remote control!" << false;
        QTest::newRow("2 another account") << "5C-CF-7F-01-02-0C"
                                           << "x" << false << "Device has been activated by: bob" << false;
        QTest::newRow("2 another account, Chinese") << "5C-CF-7F-01-02-0C"
                                                    << "x" << true << "设备已被账号：bob 激活" << false;
        QTest::newRow("3 wrong code") << "5C-CF-7F-01-02-0A"
                                      << "zz" << false << "Device activation failed!" << false;
        QTest::newRow("3 wrong code, Chinese") << "5C-CF-7F-01-02-0A"
                                               << "zz" << true << "设备激活失败！" << false;
        QTest::newRow("twelve characters, not hex")
            << "GG-CF-7F-01-02-0A"
            << "ab12" << false << "Please enter a valid MAC address!" << false;
        QTest::newRow("no code") << "5C-CF-7F-01-02-0A"
                                 << "" << false << "Please enter an activation code" << false;
    }
    void activation() {
        QFETCH(QString, mac);
        QFETCH(QString, code);
        QFETCH(bool, chinese);
        QFETCH(QString, message);
        QFETCH(bool, added);
        QVERIFY(StartSim());
        auto w = Open();
        QTRY_VERIFY(!w->IOTUDP()->Searching());
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        SetLanguage(chinese ? LangCn : LangEn);
        w->ShowPop(POP_ADD);
        Type(w.get(), QStringLiteral("edt_PopAdd_MAC"), mac);
        Type(w.get(), QStringLiteral("edt_PopAdd_Activation"), code);
        FMsgs->Messages.clear();
        w->img_PopClick(1);
        SetLanguage(LangEn);
        QCOMPARE(FMsgs->Messages, QStringList{message});
        QCOMPARE(w->PopVisible(POP_ADD), !added);
        TNEV_IOTDevConn* dev = DevByMAC(*w, QStringLiteral("5C-CF-7F-01-02-0A"));
        QCOMPARE(dev != nullptr, added);
        if (added) {
            QCOMPARE(dev->DevNameStr(), QStringLiteral("Kitchen"));
            QCOMPARE(dev->NetStyle(), TIOTNETSTYLE::NET_REMOTE);
            QVERIFY(dev->RelaySession().Logged);
        }
    }

    void activationFromSettings() {
        QVERIFY(StartSim());
        auto w = Open();
        QTRY_VERIFY(!w->IOTUDP()->Searching());
        w->img_PopClick(18);
        QCOMPARE(LastMessage(), QStringLiteral("Login first please"));
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_Down"));
        w->IOTDevList()->SetSelected(0);
        const QString mac = w->IOTDevList()->NowDev()->DevMACStr();
        w->ShowPop(POP_DEVINFO);
        w->img_PopClick(18);
        QVERIFY(w->PopVisible(POP_ADD));
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_PopAdd_MAC"))->text(), mac);
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_PopAdd_Activation"))->text(), QString());
        w->img_PopClick(2);
        QVERIFY(!w->PopVisible(POP_ADD));
        QVERIFY(w->PopVisible(POP_DEVINFO));
    }

    void cloudPopup() {
        QVERIFY(StartSim());
        auto w = Open();
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        QVERIFY(w->PopVisible(POP_CLOUDDEV));
        auto* list = Find<QListWidget>(w.get(), QStringLiteral("lst_Pop_CloudDev"));
        QCOMPARE(list->count(), 2);
        auto* first = qobject_cast<TCloudDevsCell*>(list->itemWidget(list->item(0)));
        QCOMPARE(first->CellName(), QStringLiteral("Hall"));
        QCOMPARE(first->CellMAC(), QStringLiteral("5C-CF-7F-01-02-0B"));
        QTRY_VERIFY(!first->Picture().isNull());                  // the cloud's picture, when it has arrived
        QCOMPARE(w->Account()->CloudPicture(), first->Picture()); // and in the details
        QCOMPARE(Label(w.get(), QStringLiteral("lbl_Pop_CloudDev_MAC")), QStringLiteral("5C-CF-7F-01-02-0B"));
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_Pop_CloudDev_PSD"))->text(), QStringLiteral("4321"));
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_Pop_CloudDev_PSD"))->echoMode(), QLineEdit::Password);
        QVERIFY(!Label(w.get(), QStringLiteral("lbl_Pop_CloudDev_Time")).isEmpty());

        // Change the second one.
        list->setCurrentRow(1);
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_Pop_CloudDev_Name"))->text(), QStringLiteral("Porch"));
        Type(w.get(), QStringLiteral("edt_Pop_CloudDev_Name"), QStringLiteral("Front porch"));
        w->img_PopClick(TMainAccount::TagCloudChange);
        QCOMPARE(LastMessage(), QStringLiteral("Device information has been updated!"));
        QCOMPARE(qobject_cast<TCloudDevsCell*>(list->itemWidget(list->item(1)))->CellName(),
                 QStringLiteral("Front porch"));
        QCOMPARE(w->Account()->CloudDevs().data.at(1).name, QStringLiteral("Front porch"));

        // A new picture starts white behind the chosen file, then goes up.
        const QString file = FDir->filePath(QStringLiteral("red.png"));
        QImage red(50, 30, QImage::Format_ARGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(file));
        w->Account()->ChooseImageFile = [file] { return file; };
        w->img_PopClick(TMainAccount::TagCloudImage);
        QCOMPARE(w->Account()->CloudPicture().size(), QSize(200, 200));
        w->img_PopClick(TMainAccount::TagCloudUpload);
        QCOMPARE(LastMessage(), QStringLiteral("Uploaded successfully!"));

        // Remove the first: its row and its record go.
        FMsgs->ConfirmAnswers = {true};
        list->setCurrentRow(0);
        w->img_PopClick(TMainAccount::TagCloudRemove);
        QCOMPARE(LastMessage(), QStringLiteral("Device has been removed!"));
        QCOMPARE(list->count(), 1);
        QCOMPARE(w->Account()->CloudDevs().data.size(), 1);
        QCOMPARE(w->Account()->CloudDevs().data.at(0).name, QStringLiteral("Front porch"));
        // Nothing selected now: Change and Remove refuse without a request.
        FMsgs->ConfirmAnswers = {true};
        FMsgs->Messages.clear();
        w->img_PopClick(TMainAccount::TagCloudRemove);
        w->img_PopClick(TMainAccount::TagCloudChange);
        QCOMPARE(FMsgs->Messages.count(QStringLiteral("Please select the device you want to delete!")), 2);

        // Opened again, the cloud lists what is left.
        w->img_PopClick(22);
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        QCOMPARE(list->count(), 1);
        QCOMPARE(qobject_cast<TCloudDevsCell*>(list->itemWidget(list->item(0)))->CellName(),
                 QStringLiteral("Front porch"));
    }

    void emptyCloudList() {
        QVERIFY(StartSim());
        auto w = Open();
        Login(*w, QStringLiteral("bob"), QStringLiteral("bobpw"));
        FMsgs->ConfirmAnswers = {true};
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        // Bob's one board is shown; with it removed, the list is empty and Upload refuses.
        auto* list = Find<QListWidget>(w.get(), QStringLiteral("lst_Pop_CloudDev"));
        QCOMPARE(list->count(), 1);
        w->img_PopClick(TMainAccount::TagCloudRemove);
        QCOMPARE(list->count(), 0);
        FMsgs->Messages.clear();
        w->img_PopClick(TMainAccount::TagCloudUpload);
        QCOMPARE(FMsgs->Messages.size(), 1);
        w->img_PopClick(22);
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        QVERIFY(w->PopVisible(POP_CLOUDDEV));
        QCOMPARE(list->count(), 0);
    }

    void syncToLocal() {
        QVERIFY(StartSim());
        auto w = Open();
        QTRY_VERIFY(!w->IOTUDP()->Searching());
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_Down"));
        QCOMPARE(LastMessage(), QStringLiteral("Synchronization is complete!"));
        QCOMPARE(w->IOTDevList()->DevCount(), 2);
        TNEV_IOTDevConn* hall = DevByMAC(*w, QStringLiteral("5C-CF-7F-01-02-0B"));
        QCOMPARE(hall->DevNameStr(), QStringLiteral("Hall"));
        QCOMPARE(hall->DevPasswordStr(), QStringLiteral("4321"));
        // The relay is the host of the cloud server in use, never the built-in one.
        QCOMPARE(hall->NetIPStr(), QStringLiteral("127.0.0.1"));
        QCOMPARE(w->Account()->CloudDevs().status, QStringLiteral("0"));
        // The list is stored at once.
        TIniSettings ini(FDir->path(), QStringLiteral("0123456789AB"));
        ini.IniLoad();
        QCOMPARE(ini.IniDevs().size(), 2);
        // Read again at the next start, they go to the same relay.
        w.reset();
        auto again = Open();
        QCOMPARE(again->IOTDevList()->DevCount(), 2);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(again->IOTDevList()->DevItems(i)->NetIPStr(), QStringLiteral("127.0.0.1"));
    }

    // A cloud record without a name, a password or a picture leaves the board's own.
    void syncToLocalKeepsWhatTheCloudLacks() {
        QVERIFY(StartSim(
            {QStringLiteral("--device"), QStringLiteral("mac=5ccf7f010210,owner=alice,name=,pass=")}));
        const QString mac = QStringLiteral("5C-CF-7F-01-02-10");
        auto w = Open();
        QTRY_VERIFY(!w->IOTUDP()->Searching());
        QImage own(40, 40, QImage::Format_RGB32);
        own.fill(Qt::green);
        QVERIFY(SaveDevImage(mac, own).Ok);
        TIniDev local;
        local.Name = QStringLiteral("Shelf");
        local.MAC = mac;
        local.DevPassword = QStringLiteral("7777");
        w->IOTDevList()->Add(TIniDevs{local});
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_Down"));
        QCOMPARE(LastMessage(), QStringLiteral("Synchronization is complete!"));
        const TNEV_IOTDevConn* shelf = DevByMAC(*w, mac);
        QCOMPARE(shelf->DevNameStr(), QStringLiteral("Shelf"));
        QCOMPARE(shelf->DevPasswordStr(), QStringLiteral("7777"));
        const QColor kept = LoadDevImage(mac).pixelColor(5, 5); // stored as JPEG
        QVERIFY2(kept.green() > 200 && kept.red() < 50 && kept.blue() < 50, qPrintable(kept.name()));
    }

    void syncToCloud_data() {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<QString>("message");
        QTest::newRow("ok") << QStringList() << "Synchronization is complete!";
        QTest::newRow("update refused by the server")
            << QStringList{QStringLiteral("--http-500"), QStringLiteral("--fault-only"),
                           QStringLiteral("Device/update")}
            << "Synchronization failed!Try again.";
        QTest::newRow("update refused with a reason")
            << QStringList{QStringLiteral("--refuse"), QStringLiteral("Device/update:Maintenance, try later")}
            << "Maintenance, try later";
        QTest::newRow("download unreadable")
            << QStringList{QStringLiteral("--not-json"), QStringLiteral("--fault-only"),
                           QStringLiteral("Device/download")}
            << "Synchronization failed!Try again.";
    }
    void syncToCloud() {
        QFETCH(QStringList, faults);
        QFETCH(QString, message);
        QVERIFY(StartSim(faults));
        auto w = Open();
        QTRY_VERIFY(!w->IOTUDP()->Searching());
        Login(*w, QStringLiteral("alice"), QStringLiteral("secret"));
        TIniDev local;
        local.Name = QStringLiteral("Hall renamed");
        local.MAC = QStringLiteral("5C-CF-7F-01-02-0B");
        local.DevPassword = QStringLiteral("9999");
        w->IOTDevList()->Add(TIniDevs{local});
        FMsgs->Messages.clear();
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_Up"));
        QCOMPARE(FMsgs->Messages, QStringList{message});
        if (!faults.isEmpty())
            return;
        // What went up comes back down.
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        const TCloudDevs& cloud = w->Account()->CloudDevs();
        QCOMPARE(cloud.data.size(), 2);
        QCOMPARE(cloud.data.at(0).name, QStringLiteral("Hall renamed"));
        QCOMPARE(cloud.data.at(0).pass, QStringLiteral("9999"));
        QCOMPARE(cloud.data.at(1).name, QStringLiteral("Porch")); // not in the local list: untouched
    }

    // The popup shows its rows at once; each picture fills in as it arrives, in its own row, and
    // one that cannot be had leaves the row as it was.
    void cloudPicturesArriveLater_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("held");
        QTest::addColumn<bool>("never");
        QTest::newRow("slow picture") << 200 << Jpeg(Qt::green) << true << false;
        QTest::newRow("bytes that are no picture")
            << 200 << QByteArray("<html>busy</html>") << false << false;
        QTest::newRow("missing picture") << 404 << QByteArray("No such picture") << false << false;
        QTest::newRow("picture never answered") << 200 << QByteArray() << false << true;
    }
    void cloudPicturesArriveLater() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, held);
        QFETCH(bool, never);
        PictureCloud cloud;
        TestHttpServer::Answer middle{status, "image/jpeg", body};
        middle.Held = held;
        middle.Never = never;
        QVERIFY(cloud.Start(middle));
        auto w = Open(cloud.Server.Base());
        w->Account()->Pictures()->setTimeoutMs(300);
        LogInAs(*w, QStringLiteral("alice"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        QVERIFY(w->PopVisible(POP_CLOUDDEV));
        auto* list = Find<QListWidget>(w.get(), QStringLiteral("lst_Pop_CloudDev"));
        QCOMPARE(list->count(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(Row(list, i)->CellMAC(), PictureCloud::Shown(i));
        QTRY_VERIFY(Near(Row(list, 0)->Picture(), Qt::red));
        QTRY_VERIFY(Near(Row(list, 2)->Picture(), Qt::blue));
        QCOMPARE(w->Account()->CloudPicture(), Row(list, 0)->Picture()); // row 0's details
        list->setCurrentRow(1);
        if (held) {
            QVERIFY(Row(list, 1)->Picture().isNull());
            cloud.Server.Release(QStringLiteral("/p1.jpg"));
            QTRY_VERIFY(Near(Row(list, 1)->Picture(), Qt::green));
            // The row shown in the details gets it there too.
            QCOMPARE(w->Account()->CloudPicture(), Row(list, 1)->Picture());
        } else {
            QTRY_COMPARE(w->Account()->Pictures()->Pending(), 0);
            QVERIFY(Row(list, 1)->Picture().isNull());
            QVERIFY(w->Account()->CloudPicture().isNull());
        }
        QVERIFY(Row(list, 1)->Picture().width() <= 200 && Row(list, 1)->Picture().height() <= 200);
    }

    // A picture chosen while the cloud's is on its way stays in the details, and once uploaded
    // the cloud's older one, arriving late, does not cover it in the row.
    void chosenPictureBeatsTheLateOne() {
        PictureCloud cloud;
        QVERIFY(cloud.Start(PictureCloud::Held(Qt::green)));
        cloud.Server.Set(QStringLiteral("/api.php/Device/update"),
                         {200, "application/json", R"({"status":1,"info":"Updated","data":null})"});
        auto w = Open(cloud.Server.Base());
        LogInAs(*w, QStringLiteral("alice"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        auto* list = Find<QListWidget>(w.get(), QStringLiteral("lst_Pop_CloudDev"));
        QTRY_COMPARE(cloud.Server.Requests(QStringLiteral("/p1.jpg")), 1);
        list->setCurrentRow(1);
        const QString file = FDir->filePath(QStringLiteral("yellow.png"));
        QImage yellow(40, 40, QImage::Format_RGB32);
        yellow.fill(Qt::yellow);
        QVERIFY(yellow.save(file));
        w->Account()->ChooseImageFile = [file] { return file; };
        w->img_PopClick(TMainAccount::TagCloudImage);
        QVERIFY(Near(w->Account()->CloudPicture(), Qt::yellow));
        w->img_PopClick(TMainAccount::TagCloudUpload);
        QCOMPARE(LastMessage(), QStringLiteral("Uploaded successfully!"));
        QVERIFY(Near(Row(list, 1)->Picture(), Qt::yellow));
        cloud.Server.Release(QStringLiteral("/p1.jpg"));
        QTRY_COMPARE(w->Account()->Pictures()->Pending(), 0);
        QTRY_VERIFY(Near(Row(list, 2)->Picture(), Qt::blue));
        QVERIFY(Near(Row(list, 1)->Picture(), Qt::yellow));
        QVERIFY(Near(w->Account()->CloudPicture(), Qt::yellow));
    }

    // A row removed, or a list filled again, before a picture arrives: the old fetch is dropped
    // and the new rows get their own pictures.
    void cloudRowGoneBeforeItsPicture() {
        PictureCloud cloud;
        QVERIFY(cloud.Start({200, "image/jpeg", Jpeg(Qt::green)}));
        cloud.Server.Set(QStringLiteral("/p0.jpg"), PictureCloud::Held(Qt::red));
        auto w = Open(cloud.Server.Base());
        LogInAs(*w, QStringLiteral("alice"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        auto* list = Find<QListWidget>(w.get(), QStringLiteral("lst_Pop_CloudDev"));
        QTRY_COMPARE(cloud.Server.Requests(QStringLiteral("/p0.jpg")), 1);
        FMsgs->ConfirmAnswers = {true};
        list->setCurrentRow(0);
        w->img_PopClick(TMainAccount::TagCloudRemove);
        QCOMPARE(LastMessage(), QStringLiteral("Device has been removed!"));
        QCOMPARE(list->count(), 2);
        QTRY_COMPARE(w->Account()->Pictures()->Pending(), 0);
        QCOMPARE(Row(list, 0)->CellMAC(), PictureCloud::Shown(1));
        QVERIFY(Near(Row(list, 0)->Picture(), Qt::green));
        QVERIFY(Near(Row(list, 1)->Picture(), Qt::blue));

        // Opened again while board A's picture is still held: it lands in A's new row.
        w->img_PopClick(22);
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        QCOMPARE(list->count(), 3);
        QTRY_COMPARE(cloud.Server.Requests(QStringLiteral("/p0.jpg")), 2);
        QTRY_VERIFY(Near(Row(list, 2)->Picture(), Qt::blue));
        w->img_PopClick(22);
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        QTRY_COMPARE(cloud.Server.Requests(QStringLiteral("/p0.jpg")), 3);
        cloud.Server.Release(QStringLiteral("/p0.jpg"));
        QTRY_VERIFY(Near(Row(list, 0)->Picture(), Qt::red));
        QTRY_COMPARE(w->Account()->Pictures()->Pending(), 0);
        QVERIFY(Near(Row(list, 1)->Picture(), Qt::green));
    }

    // However the cloud popup or the device settings popup closes, the downloaded list with its
    // passwords goes, and its picture fetches with it.
    void closingDiscardsTheCloudList_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("close button") << "close";
        QTest::newRow("Finish") << "finish";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("click beside the popup") << "backdrop";
        QTest::newRow("device settings popup closed") << "settings";
    }
    void closingDiscardsTheCloudList() {
        QFETCH(QString, how);
        PictureCloud cloud;
        QVERIFY(cloud.Start(PictureCloud::Held(Qt::green)));
        auto w = Open(cloud.Server.Base());
        LogInAs(*w, QStringLiteral("alice"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        auto* list = Find<QListWidget>(w.get(), QStringLiteral("lst_Pop_CloudDev"));
        QCOMPARE(list->count(), 3);
        QTRY_COMPARE(cloud.Server.Requests(QStringLiteral("/p1.jpg")), 1);
        QCOMPARE(Edit(w.get(), QStringLiteral("edt_Pop_CloudDev_PSD"))->text(), QStringLiteral("pw1"));
        if (how == u"close")
            QTest::mouseClick(Find<QWidget>(w.get(), QStringLiteral("img_Pop_CloudDev_Close")),
                              Qt::LeftButton);
        else if (how == u"finish")
            QTest::mouseClick(Find<QWidget>(w.get(), QStringLiteral("img_Pop_CloudDev_Finish")),
                              Qt::LeftButton);
        else if (how == u"escape")
            QTest::keyClick(w.get(), Qt::Key_Escape);
        else if (how == u"backdrop")
            w->img_PopClick(0);
        else {
            w->ShowPop(POP_DEVINFO);
            w->img_PopClick(19);
        }
        QVERIFY(!w->PopVisible(POP_CLOUDDEV));
        QCOMPARE(w->Account()->CloudDevs().status, QStringLiteral("0"));
        QVERIFY(w->Account()->CloudDevs().data.isEmpty());
        QCOMPARE(list->count(), 0);
        QVERIFY(Edit(w.get(), QStringLiteral("edt_Pop_CloudDev_PSD"))->text().isEmpty());
        QVERIFY(Label(w.get(), QStringLiteral("lbl_Pop_CloudDev_MAC")).isEmpty());
        QCOMPARE(w->Account()->Pictures()->Pending(), 0);
        cloud.Server.Release(QStringLiteral("/p1.jpg")); // answered to nobody
        QVERIFY(w->Account()->CloudPicture().isNull());
    }

    // "Synchronized to local" ends at once; each board's picture lands in that board when it
    // arrives, one that cannot be had keeps the board's own, and a board removed meanwhile gets
    // none.
    void syncToLocalPicturesArriveLater_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("removeFirst");
        QTest::addColumn<bool>("lands");
        QTest::newRow("picture arrives later") << 200 << Jpeg(Qt::green) << false << true;
        QTest::newRow("bytes that are no picture") << 200 << QByteArray("garbage") << false << false;
        QTest::newRow("missing picture") << 404 << QByteArray("No such picture") << false << false;
        QTest::newRow("board removed before it arrives") << 200 << Jpeg(Qt::green) << true << false;
    }
    void syncToLocalPicturesArriveLater() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, removeFirst);
        QFETCH(bool, lands);
        PictureCloud cloud;
        TestHttpServer::Answer middle{status, "image/jpeg", body};
        middle.Held = true;
        QVERIFY(cloud.Start(middle));
        auto w = Open(cloud.Server.Base());
        QTRY_VERIFY(!w->IOTUDP()->Searching());
        // Board B is listed already, with a picture of its own (white).
        QImage own(60, 60, QImage::Format_RGB32);
        own.fill(Qt::white);
        const QString b = PictureCloud::Shown(1);
        QVERIFY(SaveDevImage(b, own).Ok);
        TIniDev local;
        local.Name = QStringLiteral("Shelf");
        local.MAC = b;
        w->IOTDevList()->Add(TIniDevs{local});
        LogInAs(*w, QStringLiteral("alice"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_Down"));
        QCOMPARE(LastMessage(), QStringLiteral("Synchronization is complete!"));
        QCOMPARE(w->IOTDevList()->DevCount(), 3);
        QTRY_COMPARE(cloud.Server.Requests(QStringLiteral("/p1.jpg")), 1);
        QVERIFY(Near(LoadDevImage(b), Qt::white)); // nothing yet
        if (removeFirst) {
            QVERIFY(QFile::remove(DevImgFile(b)));
            w->IOTDevList()->setRemoveState(true);
            w->IOTDevList()->ItemClick(w->IOTDevList()->Item(w->IOTDevList()->IndexOfMAC(b)),
                                       DevListTag::Remove);
            QTRY_COMPARE(w->IOTDevList()->IndexOfMAC(b), -1);
        }
        cloud.Server.Release(QStringLiteral("/p1.jpg"));
        QTRY_COMPARE(w->Account()->Pictures()->Pending(), 0);
        // The others went to their own boards.
        QVERIFY(Near(LoadDevImage(PictureCloud::Shown(0)), Qt::red));
        QVERIFY(Near(LoadDevImage(PictureCloud::Shown(2)), Qt::blue));
        if (removeFirst) {
            QVERIFY(ExistingDevImgFile(b).isEmpty());
            return;
        }
        QVERIFY(Near(LoadDevImage(b), lands ? QColor(Qt::green) : QColor(Qt::white)));
        QVERIFY(w->IOTDevList()->Item(w->IOTDevList()->IndexOfMAC(b))->isCustomImg());
    }

    void shots_data() {
        QTest::addColumn<bool>("chinese");
        QTest::newRow("en") << false;
        QTest::newRow("cn") << true;
    }
    void shots() {
        QFETCH(bool, chinese);
        QVERIFY(StartSim());
        auto w = Open();
        QTRY_VERIFY(!w->IOTUDP()->Searching());
        Find<TImageSwitch>(w.get(), QStringLiteral("swh_Msg_Lang_State"))->SetisON(chinese);
        w->swh_Msg_Lang_StateSwitch();
        w->img_MainSettingClick(TAB_USER);
        QTRY_VERIFY(!w->Sliding());
        Type(w.get(), QStringLiteral("edt_User_Login_Account"), QStringLiteral("alice"));
        Type(w.get(), QStringLiteral("edt_User_Login_Password"), QStringLiteral("secret"));
        Shoot(*w, QStringLiteral("login"));
        w->Account()->img_User_LoginClick(QStringLiteral("lbl_User_Login_Register"));
        Shoot(*w, QStringLiteral("register"));
        w->img_PopClick(15);
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_Login_Login"));
        QVERIFY(CloudSession.Logged);
        Shoot(*w, QStringLiteral("user"));
        auto* scroll = Find<QScrollArea>(w.get(), QStringLiteral("vrtscrlbx_User_Back"));
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        Shoot(*w, QStringLiteral("user-bottom"));
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_NewPassword"));
        Shoot(*w, QStringLiteral("password"));
        w->img_PopClick(13);
        w->Account()->img_User_LoginClick(QStringLiteral("img_User_CloudDev"));
        QVERIFY(w->PopVisible(POP_CLOUDDEV));
        QTRY_COMPARE(w->Account()->Pictures()->Pending(), 0);
        Shoot(*w, QStringLiteral("clouddev"));
        w->img_PopClick(22);
        w->ShowPop(POP_ADD);
        Shoot(*w, QStringLiteral("add"));
        SetLanguage(LangEn);
    }
};

QTEST_MAIN(tst_mainAccount)
#include "tst_mainAccount.moc"
