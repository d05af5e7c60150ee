// Every call of the cloud client against the simulated cloud server, run as its own process.
#include "CloudSimProcess.h"
#include "RelaySim.h"
#include "nevIOTJSONAPI.h"

#include <QBuffer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString Secret = QStringLiteral("secret");

// The simulator with the given options; the port comes from its first line of output.
class SimProcess : public CloudSimProcess {
public:
    explicit SimProcess(const QStringList& args) : CloudSimProcess(QStringLiteral(QUILLET_CLOUDSIM), args) {}
};

const QStringList StandardWorld{
    QStringLiteral("--account"),
    QStringLiteral("alice:secret"),
    QStringLiteral("--account"),
    QStringLiteral("bob:bobpw"),
    QStringLiteral("--device"),
    QStringLiteral("mac=5ccf7f01020a,code=AB12,name=Kitchen,pass=1234,type=1"),
    QStringLiteral("--device"),
    QStringLiteral("mac=5ccf7f01020b,owner=alice,name=Hall,pass=4321,type=2,img=1"),
    QStringLiteral("--device"),
    QStringLiteral("mac=5ccf7f01020c,owner=bob,name=Shed"),
    QStringLiteral("--device"),
    QStringLiteral("mac=5ccf7f01020d,remote=0"),
    QStringLiteral("--device"),
    QStringLiteral("mac=5ccf7f01020e,refuse=4"),
    QStringLiteral("--support-reply"),
    QStringLiteral("alice:Hello from support"),
    QStringLiteral("--auto-reply"),
    QStringLiteral("We will look into it"),
};

template <class T> QString Raised(const TCloudResult<T>& r) {
    if (!r.Error)
        return QStringLiteral("not raised");
    switch (r.Error->kind) {
    case TCloudError::Kind::Timeout:
        return QStringLiteral("timeout");
    case TCloudError::Kind::HttpStatus:
        return QStringLiteral("http %1").arg(r.Error->HttpStatus);
    case TCloudError::Kind::BadReply:
        return QStringLiteral("bad reply");
    default:
        return QStringLiteral("other: ") + r.Error->Message;
    }
}

QString WriteJpeg(const QString& path, int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::red);
    img.save(path, "JPG");
    return path;
}

} // namespace

#define START_SIM(sim, args)                                                                                 \
    SimProcess sim(args);                                                                                    \
    QVERIFY2(sim.WaitReady(), qPrintable(sim.Errors()));                                                     \
    CloudClient client(sim.BaseUrl())

class tst_CloudSim : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void login();
    void registerThenLogin();
    void editUser();
    void changePassword();
    void accountWithSlashes();
    void anonymousFeedback();
    void activation_data();
    void activation();
    void download();
    void updateDevice();
    void uploadImage();
    void uploadWithNonAsciiAccount();
    void deleteDevice();
    void feedbackConversation();
    void newsAndProducts();
    void aboutPage();
    void faultDelay();
    void faultHttp500();
    void faultNotJson();
    void faultRawNonAscii();
    void faultReorder();
    void faultOnlyOneCall();
    void refusedCall();
    void badOptionsAreRefused();
    void relayAgreesWithTheCloud();

private:
    QTemporaryDir FDir;
};

void tst_CloudSim::initTestCase() {
    QVERIFY(FDir.isValid());
}

void tst_CloudSim::login() {
    START_SIM(sim, StandardWorld);
    const auto ok = client.User_Login(QStringLiteral("alice"), Secret);
    QVERIFY(!ok.Error);
    QCOMPARE(ok.Reply.status, QStringLiteral("1"));
    const TUserReadData& d = ok.Reply.data;
    QVERIFY(!d.id.isEmpty());
    QCOMPARE(d.account, QStringLiteral("alice"));
    QCOMPARE(d.nickname, QStringLiteral("alice"));
    QCOMPARE(d.password, Md5Hex(Secret));
    QCOMPARE(d.last_login_ip, QStringLiteral("127.0.0.1"));
    QVERIFY(d.last_login_time.toLongLong() > 0);
    QCOMPARE(d.login_count, QStringLiteral("1"));
    QCOMPARE(d.status, QStringLiteral("1"));
    QCOMPARE(d.type_id, QStringLiteral("1"));
    QCOMPARE(d.feedbackcount, QStringLiteral("1"));
    QCOMPARE(d.email, QString());

    const auto wrong = client.User_Login(QStringLiteral("alice"), QStringLiteral("Secret"));
    QVERIFY(!wrong.Error);
    QCOMPARE(wrong.Reply.status, QStringLiteral("0"));
    QCOMPARE(wrong.Reply.info, QStringLiteral("Account or password error"));
    QCOMPARE(wrong.Reply.data, TUserReadData{});
    QCOMPARE(client.User_Login(QStringLiteral("nobody"), Secret).Reply.status, QStringLiteral("0"));
}

void tst_CloudSim::registerThenLogin() {
    START_SIM(sim, StandardWorld);
    const QString nick = QString::fromUtf8("小明 \"Ming\"");
    const auto reg = client.User_Register(QStringLiteral("carol"), QStringLiteral("c pw&=1"), nick,
                                          QStringLiteral("c@x.y"), QStringLiteral("Carol C"),
                                          QStringLiteral("+86 123"), QStringLiteral("1 Road"), {});
    QVERIFY(!reg.Error);
    QCOMPARE(reg.Reply.status, QStringLiteral("1"));
    const auto login = client.User_Login(QStringLiteral("carol"), QStringLiteral("c pw&=1"));
    QCOMPARE(login.Reply.status, QStringLiteral("1"));
    // Text outside ASCII comes back through "\u" escapes; quotes carry their backslash.
    QCOMPARE(login.Reply.data.nickname, QString::fromUtf8("小明 \\\"Ming\\\""));
    QCOMPARE(login.Reply.data.email, QStringLiteral("c@x.y"));
    QCOMPARE(login.Reply.data.name, QStringLiteral("Carol C"));
    QCOMPARE(login.Reply.data.tel, QStringLiteral("+86 123"));
    QCOMPARE(login.Reply.data.address, QStringLiteral("1 Road"));
    QCOMPARE(login.Reply.data.remark, QString());

    const auto again =
        client.User_Register(QStringLiteral("carol"), QStringLiteral("x"), {}, {}, {}, {}, {}, {});
    QCOMPARE(again.Reply.status, QStringLiteral("0"));
    QCOMPARE(again.Reply.info, QStringLiteral("Account already exists"));
}

void tst_CloudSim::editUser() {
    START_SIM(sim, StandardWorld);
    const QString id = client.User_Login(QStringLiteral("alice"), Secret).Reply.data.id;
    QCOMPARE(client
                 .User_Edit(QStringLiteral("alice"), Secret, id, QStringLiteral("Ali"), QStringLiteral("a@x"),
                            QStringLiteral("Alice A"), QStringLiteral("123"), QStringLiteral("Road 1"),
                            QStringLiteral("r"))
                 .Reply.status,
             QStringLiteral("1"));
    // An emptied field is left out of the request, and the server empties it.
    QCOMPARE(client
                 .User_Edit(QStringLiteral("alice"), Secret, id, QStringLiteral("Ali"), QStringLiteral("a@x"),
                            QStringLiteral("Alice A"), QStringLiteral("123"), QStringLiteral("Road 1"), {})
                 .Reply.status,
             QStringLiteral("1"));
    const TUserReadData d = client.User_Login(QStringLiteral("alice"), Secret).Reply.data;
    QCOMPARE(d.nickname, QStringLiteral("Ali"));
    QCOMPARE(d.email, QStringLiteral("a@x"));
    QCOMPARE(d.name, QStringLiteral("Alice A"));
    QCOMPARE(d.tel, QStringLiteral("123"));
    QCOMPARE(d.address, QStringLiteral("Road 1"));
    QCOMPARE(d.remark, QString());

    const auto wrongId = client.User_Edit(QStringLiteral("alice"), Secret, QStringLiteral("999"),
                                          QStringLiteral("x"), {}, {}, {}, {}, {});
    QCOMPARE(wrongId.Reply.status, QStringLiteral("0"));
    QCOMPARE(wrongId.Reply.info, QStringLiteral("User id error"));
    QCOMPARE(client.User_Edit(QStringLiteral("alice"), QStringLiteral("bad"), id, {}, {}, {}, {}, {}, {})
                 .Reply.status,
             QStringLiteral("0"));
}

void tst_CloudSim::changePassword() {
    START_SIM(sim, StandardWorld);
    const QString id = client.User_Login(QStringLiteral("alice"), Secret).Reply.data.id;
    const QString newPw = QStringLiteral("n/ew pw?#");
    const auto wrongOld = client.User_Password(QStringLiteral("alice"), QStringLiteral("guess"), id, newPw);
    QCOMPARE(wrongOld.Reply.status, QStringLiteral("0"));
    QCOMPARE(client.User_Login(QStringLiteral("alice"), Secret).Reply.status, QStringLiteral("1"));

    const auto changed = client.User_Password(QStringLiteral("alice"), Secret, id, newPw);
    QVERIFY(!changed.Error);
    QCOMPARE(changed.Reply.status, QStringLiteral("1"));
    QCOMPARE(client.User_Login(QStringLiteral("alice"), Secret).Reply.status, QStringLiteral("0"));
    QCOMPARE(client.User_Login(QStringLiteral("alice"), newPw).Reply.status, QStringLiteral("1"));
}

void tst_CloudSim::accountWithSlashes() {
    START_SIM(sim, StandardWorld);
    const QString account = QStringLiteral("a/b?c#d");
    QCOMPARE(client.User_Register(account, QStringLiteral("pw"), {}, {}, {}, {}, {}, {}).Reply.status,
             QStringLiteral("1"));
    const auto login = client.User_Login(account, QStringLiteral("pw"));
    QVERIFY(!login.Error);
    QCOMPARE(login.Reply.status, QStringLiteral("1"));
    QCOMPARE(login.Reply.data.account, account);
    QCOMPARE(client.Feedback_FeedList(account, QStringLiteral("pw")).Reply.status, QStringLiteral("1"));
}

void tst_CloudSim::anonymousFeedback() {
    START_SIM(sim, StandardWorld);
    const auto sent =
        client.Index_Feedback(QStringLiteral("The relay clicks twice"), QStringLiteral("me@x.y"),
                              QStringLiteral("Quillet for Windows V1.2.6"));
    QVERIFY(!sent.Error);
    QCOMPARE(sent.Reply.status, QStringLiteral("1"));
    const auto empty = client.Index_Feedback({}, QStringLiteral("me"), QStringLiteral("sys"));
    QCOMPARE(empty.Reply.status, QStringLiteral("0"));
    QCOMPARE(empty.Reply.info, QStringLiteral("Message is required"));
}

void tst_CloudSim::activation_data() {
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("info");
    QTest::newRow("activated") << "5ccf7f01020a"
                               << "ab12" << Secret << "1"
                               << "Activation successful";
    QTest::newRow("own device again") << "5ccf7f01020b"
                                      << "1234" << Secret << "1"
                                      << "Activation successful";
    QTest::newRow("0: unknown device") << "5ccf7f0102ff"
                                       << "ab12" << Secret << "0"
                                       << "0";
    QTest::newRow("1: no remote control") << "5ccf7f01020d"
                                          << "1234" << Secret << "0"
                                          << "1";
    QTest::newRow("2: another account's device") << "5ccf7f01020c"
                                                 << "1234" << Secret << "0"
                                                 << "2,bob";
    QTest::newRow("3: wrong code") << "5ccf7f01020a"
                                   << "zz99" << Secret << "0"
                                   << "3";
    QTest::newRow("3: code not lower-cased") << "5ccf7f01020a"
                                             << "AB12" << Secret << "0"
                                             << "3";
    QTest::newRow("4: wrong password") << "5ccf7f01020a"
                                       << "ab12"
                                       << "nope"
                                       << "0"
                                       << "4";
    QTest::newRow("4: refused by the server") << "5ccf7f01020e"
                                              << "1234" << Secret << "0"
                                              << "4";
}

void tst_CloudSim::activation() {
    QFETCH(QString, mac);
    QFETCH(QString, code);
    QFETCH(QString, password);
    QFETCH(QString, status);
    QFETCH(QString, info);
    START_SIM(sim, StandardWorld);
    const QString aliceId = client.User_Login(QStringLiteral("alice"), Secret).Reply.data.id;
    const auto r = client.Device_Active(QStringLiteral("alice"), password, mac, code);
    QVERIFY(!r.Error);
    QCOMPARE(r.Reply.status, status);
    QCOMPARE(r.Reply.info, info);
    if (status == QLatin1String("0")) {
        QCOMPARE(r.Reply.data, TDevActiveData{});
        return;
    }
    QCOMPARE(r.Reply.data.mac, mac);
    QCOMPARE(r.Reply.data.uid, aliceId);
    QVERIFY(r.Reply.data.create_time.toLongLong() > 0);
    if (mac == QLatin1String("5ccf7f01020a")) {
        QCOMPARE(r.Reply.data.name, QStringLiteral("Kitchen"));
        QCOMPARE(r.Reply.data.pass, QStringLiteral("1234"));
        QCOMPARE(r.Reply.data._type, QStringLiteral("1"));
        QCOMPARE(r.Reply.data.hardver, QStringLiteral("1.0"));
        // Now in the account's device list.
        const auto devs = client.Device_Download(QStringLiteral("alice"), Secret);
        QCOMPARE(devs.Reply.data.size(), 2);
        QVERIFY(devs.Reply.data[0].mac == mac || devs.Reply.data[1].mac == mac);
    }
}

void tst_CloudSim::download() {
    START_SIM(sim, StandardWorld);
    const auto r = client.Device_Download(QStringLiteral("alice"), Secret);
    QVERIFY(!r.Error);
    QCOMPARE(r.Reply.status, QStringLiteral("1"));
    QCOMPARE(r.Reply.data.size(), 1);
    const TDevInfoData& d = r.Reply.data.first();
    QCOMPARE(d.mac, QStringLiteral("5ccf7f01020b"));
    QCOMPARE(d.name, QStringLiteral("Hall"));
    QCOMPARE(d.pass, QStringLiteral("4321"));
    QCOMPARE(d._type, QStringLiteral("2"));
    QCOMPARE(d.status, QStringLiteral("1"));
    QVERIFY(!d.id.isEmpty());
    QVERIFY(d.img.endsWith(QLatin1String(".jpg?v=1")));
    const QImage picture = client.LoadUrlImage(d.img);
    QVERIFY(!picture.isNull());

    const auto bob = client.Device_Download(QStringLiteral("bob"), QStringLiteral("bobpw"));
    QCOMPARE(bob.Reply.data.size(), 1);
    QCOMPARE(bob.Reply.data.first().img, QString());
    const auto refused = client.Device_Download(QStringLiteral("alice"), QStringLiteral("x"));
    QCOMPARE(refused.Reply.status, QStringLiteral("0"));
    QVERIFY(refused.Reply.data.isEmpty());
}

void tst_CloudSim::updateDevice() {
    START_SIM(sim, StandardWorld);
    const auto r = client.Device_Update(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020b"),
                                        QString::fromUtf8("客厅 Hall"), QStringLiteral("9999"));
    QVERIFY(!r.Error);
    QCOMPARE(r.Reply.status, QStringLiteral("1"));
    const TDevInfoData d = client.Device_Download(QStringLiteral("alice"), Secret).Reply.data.first();
    QCOMPARE(d.name, QString::fromUtf8("客厅 Hall"));
    QCOMPARE(d.pass, QStringLiteral("9999"));
    const auto notMine = client.Device_Update(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020c"),
                                              QStringLiteral("x"), QStringLiteral("y"));
    QCOMPARE(notMine.Reply.status, QStringLiteral("0"));
    QCOMPARE(notMine.Reply.info, QStringLiteral("Device not found"));
}

void tst_CloudSim::uploadImage() {
    START_SIM(sim, StandardWorld);
    const QString jpg = WriteJpeg(FDir.filePath(QStringLiteral("Upload.jpg")), 200, 200);
    const auto up =
        client.Device_UploadImg(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020b"), jpg);
    QVERIFY2(!up.Error, up.Error ? qPrintable(up.Error->Message) : "");
    QCOMPARE(up.Reply.status, QStringLiteral("1"));
    const TDevInfoData d = client.Device_Download(QStringLiteral("alice"), Secret).Reply.data.first();
    QVERIFY(d.img.endsWith(QLatin1String("5ccf7f01020b.jpg?v=2")));
    QImage loaded;
    client.LoadUrlImageInto(loaded, d.img);
    QCOMPARE(loaded.size(), QSize(200, 200));

    const QString text = FDir.filePath(QStringLiteral("notes.jpg"));
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
    f.close();
    const auto bad =
        client.Device_UploadImg(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020b"), text);
    QCOMPARE(bad.Reply.status, QStringLiteral("0"));
    QCOMPARE(bad.Reply.info, QStringLiteral("Only JPEG pictures are accepted"));
    const auto wrongPw = client.Device_UploadImg(QStringLiteral("alice"), QStringLiteral("x"),
                                                 QStringLiteral("5ccf7f01020b"), jpg);
    QCOMPARE(wrongPw.Reply.status, QStringLiteral("0"));
}

void tst_CloudSim::uploadWithNonAsciiAccount() {
    // The text parts travel quoted-printable: "=" and UTF-8 bytes must survive the round trip.
    const QString account = QString::fromUtf8("张=41 x");
    START_SIM(sim,
              (QStringList{QStringLiteral("--account"), account + QStringLiteral(":pw=1"),
                           QStringLiteral("--device"), QStringLiteral("mac=5ccf7f0102aa,owner=") + account}));
    const QString jpg = WriteJpeg(FDir.filePath(QStringLiteral("Upload.jpg")), 30, 30);
    const auto up =
        client.Device_UploadImg(account, QStringLiteral("pw=1"), QStringLiteral("5ccf7f0102aa"), jpg);
    QVERIFY(!up.Error);
    QCOMPARE(up.Reply.status, QStringLiteral("1"));
    const auto devs = client.Device_Download(account, QStringLiteral("pw=1"));
    QCOMPARE(devs.Reply.data.size(), 1);
    QCOMPARE(client.LoadUrlImage(devs.Reply.data.first().img).size(), QSize(30, 30));
}

void tst_CloudSim::deleteDevice() {
    START_SIM(sim, StandardWorld);
    const auto r = client.Device_Delete(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020b"));
    QVERIFY(!r.Error);
    QCOMPARE(r.Reply.status, QStringLiteral("1"));
    const auto devs = client.Device_Download(QStringLiteral("alice"), Secret);
    QCOMPARE(devs.Reply.status, QStringLiteral("1"));
    QVERIFY(devs.Reply.data.isEmpty());
    const auto again = client.Device_Delete(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020b"));
    QCOMPARE(again.Reply.status, QStringLiteral("0"));
    // Once removed, the device can be activated again by another account.
    QCOMPARE(client
                 .Device_Active(QStringLiteral("bob"), QStringLiteral("bobpw"),
                                QStringLiteral("5ccf7f01020b"), QStringLiteral("1234"))
                 .Reply.status,
             QStringLiteral("1"));
}

void tst_CloudSim::feedbackConversation() {
    START_SIM(sim, StandardWorld);
    const auto first = client.Feedback_FeedList(QStringLiteral("alice"), Secret);
    QVERIFY(!first.Error);
    QCOMPARE(first.Reply.status, QStringLiteral("1"));
    QCOMPARE(first.Reply.data.size(), 1);
    QCOMPARE(first.Reply.data.first().msg, QStringLiteral("Hello from support"));
    QVERIFY(first.Reply.data.first().read_time.toLongLong() > 0);
    // Fetched replies are not sent again.
    QCOMPARE(client.Feedback_FeedList(QStringLiteral("alice"), Secret).Reply.data.size(), 0);
    QCOMPARE(client.User_Login(QStringLiteral("alice"), Secret).Reply.data.feedbackcount,
             QStringLiteral("0"));

    const auto add = client.Feedback_Add(QStringLiteral("alice"), Secret, QString::fromUtf8("灯不亮"));
    QVERIFY(!add.Error);
    QCOMPARE(add.Reply.status, QStringLiteral("1"));
    QCOMPARE(client.User_Login(QStringLiteral("alice"), Secret).Reply.data.feedbackcount,
             QStringLiteral("1"));
    const auto replies = client.Feedback_FeedList(QStringLiteral("alice"), Secret);
    QCOMPARE(replies.Reply.data.size(), 1);
    QCOMPARE(replies.Reply.data.first().msg, QStringLiteral("We will look into it"));

    QCOMPARE(
        client.Feedback_Add(QStringLiteral("alice"), QStringLiteral("x"), QStringLiteral("m")).Reply.status,
        QStringLiteral("0"));
    QCOMPARE(client.Feedback_FeedList(QStringLiteral("alice"), QStringLiteral("x")).Reply.status,
             QStringLiteral("0"));
}

void tst_CloudSim::newsAndProducts() {
    START_SIM(sim, QStringList(StandardWorld)
                       << QStringLiteral("--product") << QStringLiteral("Eight relays:QRB-8"));
    const auto news = client.Index_NewsList();
    QVERIFY(!news.Error);
    QCOMPARE(news.Reply.status, QStringLiteral("1"));
    QCOMPARE(news.Reply.data.size(), 2);
    QCOMPARE(news.Reply.data[0].title, QStringLiteral("Firmware 2.1 released"));
    QCOMPARE(news.Reply.data[1].title, QString::fromUtf8("新品发布：八路继电器"));
    for (const TNewsListData& n : news.Reply.data) {
        QVERIFY(n.create_time.toLongLong() > 0);
        QCOMPARE(n.status, QStringLiteral("1"));
        QVERIFY(!client.LoadUrlImage(n.img).isNull());
        const auto page = client.Http_Get(QUrl(n.weburl));
        QVERIFY(!page.Error);
        QVERIFY(page.Reply.contains(QLatin1String("News item")));
    }

    const auto products = client.Index_ProductList();
    QVERIFY(!products.Error);
    QCOMPARE(products.Reply.status, QStringLiteral("1"));
    QCOMPARE(products.Reply.data.size(), 3);
    QCOMPARE(products.Reply.data[0].sn, QStringLiteral("QRB-4"));
    QCOMPARE(products.Reply.data[1].name, QString::fromUtf8("WiFi IO mini 继电器"));
    QCOMPARE(products.Reply.data[2].name, QStringLiteral("Eight relays"));
    QCOMPARE(products.Reply.data[2].sn, QStringLiteral("QRB-8"));
    for (const TProduct& p : products.Reply.data) {
        QVERIFY(!p.imgtime.isEmpty());
        QVERIFY(p.weburl.contains(QLatin1String("/index.php/Product/detail/id/")));
        QVERIFY(!client.LoadUrlImage(p.img).isNull());
    }
}

void tst_CloudSim::aboutPage() {
    START_SIM(sim, StandardWorld);
    const auto page = client.Http_Get(client.AboutPageUrl());
    QVERIFY(!page.Error);
    QVERIFY(page.Reply.contains(QLatin1String("About Quillet")));
}

// The relay decides with the accounts the cloud keeps: a board activated in the cloud becomes
// reachable through the relay for its account only, a registered account can log in to it, and
// a removed board is no longer anybody's.
void tst_CloudSim::relayAgreesWithTheCloud() {
    const QString file = FDir.filePath(QStringLiteral("relay-accounts"));
    START_SIM(sim, QStringList(StandardWorld) << QStringLiteral("--relay-accounts") << file);
    relay::RelayConfig cfg;
    cfg.accountsFile = file;
    relay::DeviceRoute kitchen;
    QVERIFY(MACStrToBuf(QStringLiteral("5C-CF-7F-01-02-0A"), kitchen.mac));
    kitchen.host = QStringLiteral("127.0.0.1");
    cfg.devices << kitchen;
    auto decide = [&](const QString& account, const QString& password) {
        relay::RelayConfig now = cfg;
        now.accounts = relay::ReadAccountsFile(file);
        relay::LoginBlock login;
        login.mac = kitchen.mac;
        StrToBuf16(account, login.account);
        StrToBuf16(password, login.password);
        return QChar::fromLatin1(relay::Decide(now, login, nullptr));
    };
    QCOMPARE(decide(QStringLiteral("alice"), Secret), QChar(u'3')); // nobody's yet
    QCOMPARE(decide(QStringLiteral("alice"), QStringLiteral("wrong")), QChar(u'2'));
    QCOMPARE(client
                 .Device_Active(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020a"),
                                QStringLiteral("ab12"))
                 .Reply.status,
             QStringLiteral("1"));
    QCOMPARE(decide(QStringLiteral("alice"), Secret), QChar(u'1'));
    QCOMPARE(decide(QStringLiteral("bob"), QStringLiteral("bobpw")), QChar(u'4'));
    QCOMPARE(client.User_Register(QStringLiteral("carol"), QStringLiteral("c pw"), {}, {}, {}, {}, {}, {})
                 .Reply.status,
             QStringLiteral("1"));
    QCOMPARE(decide(QStringLiteral("carol"), QStringLiteral("c pw")), QChar(u'4'));
    QCOMPARE(
        client.Device_Delete(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020a")).Reply.status,
        QStringLiteral("1"));
    QCOMPARE(decide(QStringLiteral("alice"), Secret), QChar(u'3'));
}

void tst_CloudSim::faultDelay() {
    START_SIM(sim, QStringList(StandardWorld) << QStringLiteral("--delay") << QStringLiteral("1500"));
    QCOMPARE(Raised(client.User_Login(QStringLiteral("alice"), Secret)), QStringLiteral("timeout"));
    const auto devs = client.Device_Download(QStringLiteral("alice"), Secret);
    QCOMPARE(Raised(devs), QStringLiteral("timeout"));
    QCOMPARE(devs.Reply, TCloudDevs{});
    const QString jpg = WriteJpeg(FDir.filePath(QStringLiteral("Upload.jpg")), 20, 20);
    QCOMPARE(
        Raised(client.Device_UploadImg(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020b"), jpg)),
        QStringLiteral("timeout"));
    QVERIFY(client.LoadUrlImage(sim.Base() + QStringLiteral("/uploads/device/5ccf7f01020b.jpg")).isNull());
}

void tst_CloudSim::faultHttp500() {
    START_SIM(sim, QStringList(StandardWorld) << QStringLiteral("--http-500"));
    QCOMPARE(Raised(client.User_Login(QStringLiteral("alice"), Secret)), QStringLiteral("http 500"));
    QCOMPARE(Raised(client.Index_NewsList()), QStringLiteral("http 500"));
    const auto reg =
        client.User_Register(QStringLiteral("dave"), QStringLiteral("pw"), {}, {}, {}, {}, {}, {});
    QCOMPARE(Raised(reg), QStringLiteral("http 500"));
    QCOMPARE(reg.Reply, TJSInfoReturn{});
    const QString jpg = WriteJpeg(FDir.filePath(QStringLiteral("Upload.jpg")), 20, 20);
    QCOMPARE(
        Raised(client.Device_UploadImg(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020b"), jpg)),
        QStringLiteral("http 500"));
    // Pictures are not API calls and still come.
    QVERIFY(!client.LoadUrlImage(sim.Base() + QStringLiteral("/uploads/device/5ccf7f01020b.jpg")).isNull());
}

void tst_CloudSim::faultNotJson() {
    START_SIM(sim, QStringList(StandardWorld) << QStringLiteral("--not-json"));
    QCOMPARE(Raised(client.User_Login(QStringLiteral("alice"), Secret)), QStringLiteral("bad reply"));
    const auto devs = client.Device_Download(QStringLiteral("alice"), Secret);
    QCOMPARE(Raised(devs), QStringLiteral("bad reply"));
    QCOMPARE(devs.Reply, TCloudDevs{});
    QCOMPARE(Raised(client.Feedback_Add(QStringLiteral("alice"), Secret, QStringLiteral("m"))),
             QStringLiteral("bad reply"));
}

void tst_CloudSim::faultRawNonAscii() {
    START_SIM(sim, QStringList(StandardWorld) << QStringLiteral("--raw-non-ascii"));
    const auto news = client.Index_NewsList();
    QVERIFY(!news.Error);
    QCOMPARE(news.Reply.data[0].title, QStringLiteral("Firmware 2.1 released"));
    QCOMPARE(news.Reply.data[1].title, QString(10, QLatin1Char('?')));
    const auto products = client.Index_ProductList();
    QCOMPARE(products.Reply.data[1].name, QStringLiteral("WiFi IO mini ???"));
}

void tst_CloudSim::faultReorder() {
    START_SIM(sim, QStringList(StandardWorld) << QStringLiteral("--reorder"));
    // Reversed members: the data object comes first, then info, then status; read by position
    // the record ends at "info" with the preset status, and the data fields are scrambled.
    const auto login = client.User_Login(QStringLiteral("alice"), Secret);
    QVERIFY(!login.Error);
    QCOMPARE(login.Reply.status, QStringLiteral("0"));
    QCOMPARE(login.Reply.info, QStringLiteral("Login successful"));
    QCOMPARE(login.Reply.data.id, QStringLiteral("1")); // feedbackcount, written first
    QVERIFY(login.Reply.data.account != QLatin1String("alice"));
    const auto fb = client.Index_Feedback(QStringLiteral("m"), {}, {});
    QCOMPARE(fb.Reply.status, QStringLiteral("0"));
    QCOMPARE(fb.Reply.info, QStringLiteral("Thank you"));
}

void tst_CloudSim::faultOnlyOneCall() {
    START_SIM(sim, QStringList(StandardWorld)
                       << QStringLiteral("--http-500") << QStringLiteral("--fault-only")
                       << QStringLiteral("Device/update"));
    const QString jpg = WriteJpeg(FDir.filePath(QStringLiteral("Upload.jpg")), 20, 20);
    QCOMPARE(
        Raised(client.Device_UploadImg(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020b"), jpg)),
        QStringLiteral("http 500"));
    QCOMPARE(Raised(client.Device_Update(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020b"),
                                         QStringLiteral("n"), QStringLiteral("p"))),
             QStringLiteral("http 500"));
    QCOMPARE(client.Device_Download(QStringLiteral("alice"), Secret).Reply.status, QStringLiteral("1"));
}

void tst_CloudSim::refusedCall() {
    START_SIM(sim, QStringList(StandardWorld) << QStringLiteral("--refuse")
                                              << QStringLiteral("Device/update:Maintenance, try later"));
    const auto r = client.Device_Update(QStringLiteral("alice"), Secret, QStringLiteral("5ccf7f01020b"),
                                        QStringLiteral("New"), QStringLiteral("1"));
    QVERIFY(!r.Error);
    QCOMPARE(r.Reply.status, QStringLiteral("0"));
    QCOMPARE(r.Reply.info, QStringLiteral("Maintenance, try later"));
    // Nothing changed, and the other calls answer as usual.
    const auto devs = client.Device_Download(QStringLiteral("alice"), Secret);
    QCOMPARE(devs.Reply.status, QStringLiteral("1"));
    QCOMPARE(devs.Reply.data.value(0).name, QStringLiteral("Hall"));
}

void tst_CloudSim::badOptionsAreRefused() {
    for (const QStringList& args :
         {QStringList{QStringLiteral("--device"), QStringLiteral("mac=12")},
          QStringList{QStringLiteral("--device"), QStringLiteral("mac=5ccf7f01020a,owner=zed")},
          QStringList{QStringLiteral("--account"), QStringLiteral("nopassword")},
          QStringList{QStringLiteral("--delay"), QStringLiteral("soon")},
          QStringList{QStringLiteral("--refuse"), QStringLiteral("no-colon")},
          QStringList{QStringLiteral("--relay-accounts"),
                      FDir.filePath(QStringLiteral("no/such/folder/file"))}}) {
        QProcess p;
        p.start(QStringLiteral(QUILLET_CLOUDSIM), args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardOutput().isEmpty());
        QVERIFY(!p.readAllStandardError().isEmpty());
    }
    // The slow and garbage modes and the relay's file are described in the help.
    QProcess help;
    help.start(QStringLiteral(QUILLET_CLOUDSIM), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(10000));
    const QString text = QString::fromUtf8(help.readAllStandardOutput());
    for (const char* option : {"--delay", "--not-json", "--http-500", "--refuse", "--relay-accounts"})
        QVERIFY2(text.contains(QLatin1String(option)), option);
}

QTEST_MAIN(tst_CloudSim)
#include "tst_CloudSim.moc"
