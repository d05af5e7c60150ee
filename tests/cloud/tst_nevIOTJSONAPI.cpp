// The cloud client's requests, byte for byte, and its failure handling, against loopback peers.
#include "RecordingServer.h"
#include "nevIOTJSONAPI.h"

#include <QBuffer>
#include <QLoggingCategory>
#include <QSet>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

namespace {

using Call = std::function<QString(CloudClient&, const QString& file)>;

// What a call raised, or its status and info.
template <class T> QString Outcome(const TCloudResult<T>& r) {
    if (!r.Error)
        return QStringLiteral("status=%1 info=%2").arg(r.Reply.status, r.Reply.info);
    switch (r.Error->kind) {
    case TCloudError::Kind::Network:
        return QStringLiteral("raised network");
    case TCloudError::Kind::Timeout:
        return QStringLiteral("raised timeout");
    case TCloudError::Kind::HttpStatus:
        return QStringLiteral("raised http %1").arg(r.Error->HttpStatus);
    case TCloudError::Kind::TooLarge:
        return QStringLiteral("raised too large");
    case TCloudError::Kind::Redirect:
        return QStringLiteral("raised redirect");
    case TCloudError::Kind::BadRequest:
        return QStringLiteral("raised bad request");
    case TCloudError::Kind::File:
        return QStringLiteral("raised file");
    case TCloudError::Kind::BadReply:
        return QStringLiteral("raised bad reply");
    }
    return {};
}

struct CallCase {
    const char* name;
    Call call;
    QByteArray method;
    QByteArray path;
    QByteArray contentType; // empty: no body
    QByteArray body;
};

const char UploadFileLiteral[] = "\xFF\xD8\xFF\xE0 picture bytes \r\n--BOUND \x00\x01";
const QByteArray UploadFileBytes(UploadFileLiteral, sizeof UploadFileLiteral - 1);

const QByteArray MultipartBody = "--BOUNDARY\r\n"
                                 "Content-Disposition: form-data; name=\"account\"\r\n"
                                 "Content-Type: text/plain; charset=utf-8\r\n"
                                 "Content-Transfer-Encoding: quoted-printable\r\n"
                                 "\r\n"
                                 "alice\r\n"
                                 "--BOUNDARY\r\n"
                                 "Content-Disposition: form-data; name=\"password\"\r\n"
                                 "Content-Type: text/plain; charset=utf-8\r\n"
                                 "Content-Transfer-Encoding: quoted-printable\r\n"
                                 "\r\n"
                                 "5ebe2294ecd0e0f08eab7690d2a6ee69\r\n"
                                 "--BOUNDARY\r\n"
                                 "Content-Disposition: form-data; name=\"mac\"\r\n"
                                 "Content-Type: text/plain; charset=utf-8\r\n"
                                 "Content-Transfer-Encoding: quoted-printable\r\n"
                                 "\r\n"
                                 "5ccf7f01020a\r\n"
                                 "--BOUNDARY\r\n"
                                 "Content-Disposition: form-data; name=\"img\"; filename=\"Upload.jpg\"\r\n"
                                 "Content-Type: image/jpeg\r\n"
                                 "Content-Transfer-Encoding: binary\r\n"
                                 "\r\n" +
                                 UploadFileBytes +
                                 "\r\n"
                                 "--BOUNDARY--\r\n";

// The fourteen calls, each with the request it must send. Passwords: "secret" (MD5
// 5ebe2294ecd0e0f08eab7690d2a6ee69) and "old" (MD5 149603e6c03516362a8da23f624db945).
const QList<CallCase>& Calls() {
    static const QList<CallCase> calls{
        {"Index_ProductList",
         [](CloudClient& c, const QString&) { return Outcome(c.Index_ProductList()); },
         "GET",
         "/api.php/Index/productlist",
         {},
         {}},
        {"Index_NewsList",
         [](CloudClient& c, const QString&) { return Outcome(c.Index_NewsList()); },
         "GET",
         "/api.php/Index/newslist",
         {},
         {}},
        {"User_Login",
         [](CloudClient& c, const QString&) { return Outcome(c.User_Login("alice", "secret")); },
         "GET",
         "/api.php/User/login/account/alice/password/5ebe2294ecd0e0f08eab7690d2a6ee69",
         {},
         {}},
        {"User_Register",
         [](CloudClient& c, const QString&) {
             return Outcome(c.User_Register("alice", "pa ss", "Al", "a@b.c", QString::fromUtf8("张三"), "123",
                                            "1 Road", "hi"));
         },
         "POST", "/api.php/User/register", "application/x-www-form-urlencoded",
         "account=alice&password=pa+ss&nickname=Al&email=a%40b.c&name=%E5%BC%A0%E4%B8%89&tel=123&address=1+"
         "Road&remark=hi"},
        {"User_Edit",
         [](CloudClient& c, const QString&) {
             return Outcome(c.User_Edit("alice", "secret", "7", "Al", "a@b.c", "N", "123", "Addr", "R"));
         },
         "POST", "/api.php/User/edit", "application/x-www-form-urlencoded",
         "account=alice&password=5ebe2294ecd0e0f08eab7690d2a6ee69&id=7&nickname=Al&email=a%40b.c&name=N&tel="
         "123&address=Addr&remark=R"},
        {"User_Password",
         [](CloudClient& c, const QString&) { return Outcome(c.User_Password("alice", "old", "7", "new1")); },
         "GET",
         "/api.php/User/edit/account/alice/password/149603e6c03516362a8da23f624db945/id/7/newpassword/new1",
         {},
         {}},
        {"Index_Feedback",
         [](CloudClient& c, const QString&) {
             return Outcome(c.Index_Feedback("It works!", "me@x.y", "Quillet for Windows V1.2.6"));
         },
         "POST", "/api.php/Index/feedback/", "application/x-www-form-urlencoded",
         "msg=It+works%21&contact=me%40x.y&system=Quillet+for+Windows+V1.2.6"},
        {"Device_Active",
         [](CloudClient& c, const QString&) {
             return Outcome(c.Device_Active("alice", "secret", "5ccf7f01020a", "ab12"));
         },
         "POST", "/api.php/Device/active", "application/x-www-form-urlencoded",
         "account=alice&password=5ebe2294ecd0e0f08eab7690d2a6ee69&mac=5ccf7f01020a&devicepass=ab12"},
        {"Device_Download",
         [](CloudClient& c, const QString&) { return Outcome(c.Device_Download("alice", "secret")); }, "POST",
         "/api.php/Device/download", "application/x-www-form-urlencoded",
         "account=alice&password=5ebe2294ecd0e0f08eab7690d2a6ee69"},
        {"Device_Delete",
         [](CloudClient& c, const QString&) {
             return Outcome(c.Device_Delete("alice", "secret", "5ccf7f01020a"));
         },
         "GET",
         "/api.php/Device/delete/account/alice/password/5ebe2294ecd0e0f08eab7690d2a6ee69/mac/5ccf7f01020a",
         {},
         {}},
        {"Device_Update",
         [](CloudClient& c, const QString&) {
             return Outcome(c.Device_Update("alice", "secret", "5ccf7f01020a", "Kitchen light", "qorvu"));
         },
         "POST", "/api.php/Device/update", "application/x-www-form-urlencoded",
         "account=alice&password=5ebe2294ecd0e0f08eab7690d2a6ee69&mac=5ccf7f01020a&name=Kitchen+light&pass="
         "qorvu"},
        {"Device_UploadImg",
         [](CloudClient& c, const QString& file) {
             return Outcome(c.Device_UploadImg("alice", "secret", "5ccf7f01020a", file));
         },
         "POST", "/api.php/Device/update", "multipart/form-data; boundary=BOUNDARY", MultipartBody},
        {"Feedback_FeedList",
         [](CloudClient& c, const QString&) { return Outcome(c.Feedback_FeedList("alice", "secret")); },
         "GET",
         "/api.php/Feedback/feedlist/account/alice/password/5ebe2294ecd0e0f08eab7690d2a6ee69",
         {},
         {}},
        {"Feedback_Add",
         [](CloudClient& c, const QString&) {
             return Outcome(c.Feedback_Add("alice", "secret", QString::fromUtf8("灯不亮 & more")));
         },
         "POST", "/api.php/Feedback/add", "application/x-www-form-urlencoded",
         "account=alice&password=5ebe2294ecd0e0f08eab7690d2a6ee69&msg=%E7%81%AF%E4%B8%8D%E4%BA%AE+%26+more"},
    };
    return calls;
}

const CallCase& CallNamed(const QByteArray& name) {
    for (const CallCase& c : Calls())
        if (name == c.name)
            return c;
    qFatal("no call %s", name.constData());
}

// The exact request: request line and headers in the order Qt writes them, then the body.
QByteArray ExpectedRequest(const CallCase& c, quint16 port) {
    QByteArray r = c.method + ' ' + c.path + " HTTP/1.1\r\n";
    r += "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\n";
    r += "Accept: */*\r\n";
    r += "Accept-Encoding: identity\r\n";
    r += "User-Agent: Quillet/1.2.6\r\n";
    if (!c.contentType.isEmpty()) {
        r += "Content-Type: " + c.contentType + "\r\n";
        r += "Content-Length: " + QByteArray::number(c.body.size()) + "\r\n";
    }
    r += "Connection: Keep-Alive\r\n";
    r += "Accept-Language: en,*\r\n";
    r += "\r\n";
    return r + c.body;
}

QByteArray Jpeg(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "JPG");
    return bytes;
}

// A loopback port nothing listens on.
quint16 DeadPort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort(); // closed again when `s` goes
}

class CountingWindow : public QWindow {
public:
    int updates = 0;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::UpdateRequest)
            ++updates;
        return QWindow::event(e);
    }
};

} // namespace

class tst_nevIOTJSONAPI : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void requestBytes_data();
    void requestBytes();
    void pathParametersAreSegments_data();
    void pathParametersAreSegments();
    void accountInEveryPath_data();
    void accountInEveryPath();
    void dotSegmentsAreRefused();
    void emptyFieldsAreLeftOut();
    void failures_data();
    void failures();
    void failureMessagesAreDistinct();
    void deadlineEndsATrickledCall_data();
    void deadlineEndsATrickledCall();
    void redirectsLeavingTheServerAreRefused_data();
    void redirectsLeavingTheServerAreRefused();
    void redirectsOnTheServer_data();
    void redirectsOnTheServer();
    void abortClosesTheConnection_data();
    void abortClosesTheConnection();
    void passwordsNeverReachTheLog();
    void emptyReplyKeepsPreset();
    void formReplyDecodedByCharset();
    void redirectsAreFollowed();
    void formPostAfterUpload_data();
    void formPostAfterUpload();
    void uploadOfMissingFileSendsNothing();
    void uploadContentTypeFollowsExtension();
    void connectTimeout();
    void windowKeepsPaintingWhileWaiting();
    void loadUrlImage_data();
    void loadUrlImage();
    void loadUrlImageIntoClearsOnFailure();
    void serverWithPathAndAboutPage();

private:
    QTemporaryDir FDir;
    QString FUpload;
};

void tst_nevIOTJSONAPI::initTestCase() {
    QVERIFY(FDir.isValid());
    FUpload = FDir.filePath(QStringLiteral("Upload.jpg"));
    QFile f(FUpload);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(UploadFileBytes), UploadFileBytes.size());
}

void tst_nevIOTJSONAPI::requestBytes_data() {
    QTest::addColumn<QByteArray>("name");
    for (const CallCase& c : Calls())
        QTest::newRow(c.name) << QByteArray(c.name);
}

void tst_nevIOTJSONAPI::requestBytes() {
    QFETCH(QByteArray, name);
    const CallCase& c = CallNamed(name);
    RecordingServer rec;
    CloudClient client(QUrl(rec.Base()));
    QCOMPARE(c.call(client, FUpload), QStringLiteral("status=1 info=ok"));
    QCOMPARE(rec.requests.size(), 1);
    QByteArray expected = ExpectedRequest(c, rec.Port());
    if (c.contentType.startsWith("multipart/")) {
        const QByteArray type = rec.requests.first().Header("Content-Type");
        QVERIFY(type.startsWith("multipart/form-data; boundary="));
        const QByteArray boundary = type.mid(30);
        QVERIFY(boundary.size() >= 16);
        QVERIFY(!UploadFileBytes.contains(boundary));
        // The boundary is random; the expected bytes are written with a placeholder of its length.
        expected = ExpectedRequest(CallCase{c.name, c.call, c.method, c.path,
                                            "multipart/form-data; boundary=" + boundary,
                                            QByteArray(c.body).replace("BOUNDARY", boundary)},
                                   rec.Port());
    }
    QCOMPARE(rec.requests.first().raw, expected);
}

void tst_nevIOTJSONAPI::pathParametersAreSegments_data() {
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QByteArray>("path");
    const QByteArray md5 = "5ebe2294ecd0e0f08eab7690d2a6ee69";
    QTest::newRow("slash, query and fragment in the account")
        << "a/b?c#d"
        << "5ccf7f01020a"
        << "/api.php/Device/delete/account/a%2Fb%3Fc%23d/password/" + md5 + "/mac/5ccf7f01020a";
    QTest::newRow("a MAC that tries another call")
        << "alice"
        << "x/../../User/login"
        << "/api.php/Device/delete/account/alice/password/" + md5 + "/mac/x%2F..%2F..%2FUser%2Flogin";
    QTest::newRow("spaces and percent signs")
        << "a b%20"
        << "m"
        << "/api.php/Device/delete/account/a%20b%2520/password/" + md5 + "/mac/m";
    QTest::newRow("non-ASCII account")
        << QString::fromUtf8("小明") << "m"
        << "/api.php/Device/delete/account/%E5%B0%8F%E6%98%8E/password/" + md5 + "/mac/m";
    QTest::newRow("empty account") << ""
                                   << "m"
                                   << "/api.php/Device/delete/account//password/" + md5 + "/mac/m";
    QTest::newRow("characters a segment carries go as typed")
        << "a@b.com:+!$,;&='()*~_-"
        << "m"
        << "/api.php/Device/delete/account/a@b.com:+!$,;&='()*~_-/password/" + md5 + "/mac/m";
    QTest::newRow("control characters and characters no address may hold")
        << QString::fromUtf8("a\tb\x7f\"<>\\^`{|}[]") << "m"
        << "/api.php/Device/delete/account/a%09b%7F%22%3C%3E%5C%5E%60%7B%7C%7D%5B%5D/password/" + md5 +
               "/mac/m";
}

void tst_nevIOTJSONAPI::pathParametersAreSegments() {
    QFETCH(QString, account);
    QFETCH(QString, mac);
    QFETCH(QByteArray, path);
    RecordingServer rec;
    CloudClient client(QUrl(rec.Base()));
    QCOMPARE(Outcome(client.Device_Delete(account, QStringLiteral("secret"), mac)),
             QStringLiteral("status=1 info=ok"));
    QCOMPARE(rec.requests.size(), 1);
    QCOMPARE(rec.requests.first().head.left(rec.requests.first().head.indexOf(" HTTP/1.1")), "GET " + path);
}

void tst_nevIOTJSONAPI::accountInEveryPath_data() {
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QByteArray>("segment");
    for (const char* call : {"User_Login", "User_Password", "Device_Delete", "Feedback_FeedList"}) {
        QTest::newRow(QByteArray(call) + ": e-mail account")
            << QByteArray(call) << "a@b.com" << QByteArray("/account/a@b.com/");
        QTest::newRow(QByteArray(call) + ": slash and question mark")
            << QByteArray(call) << "a/b?c" << QByteArray("/account/a%2Fb%3Fc/");
    }
}

void tst_nevIOTJSONAPI::accountInEveryPath() {
    QFETCH(QByteArray, call);
    QFETCH(QString, account);
    QFETCH(QByteArray, segment);
    RecordingServer rec;
    CloudClient client(QUrl(rec.Base()));
    TCloudResult<TJSInfoReturn> r;
    if (call == "User_Login")
        r.Error = client.User_Login(account, "secret").Error;
    else if (call == "User_Password")
        r = client.User_Password(account, "old", "7", "new1");
    else if (call == "Device_Delete")
        r = client.Device_Delete(account, "secret", "5ccf7f01020a");
    else
        r.Error = client.Feedback_FeedList(account, "secret").Error;
    QVERIFY2(!r.Error, r.Error ? qPrintable(r.Error->Message) : "");
    QCOMPARE(rec.requests.size(), 1);
    const QByteArray line = rec.requests.first().head.left(rec.requests.first().head.indexOf("\r\n"));
    QVERIFY2(line.contains(segment), line.constData());
}

void tst_nevIOTJSONAPI::dotSegmentsAreRefused() {
    // "." and ".." would be resolved on the way to the server and change the call; they are not sent.
    RecordingServer rec;
    CloudClient client(QUrl(rec.Base()));
    const auto login = client.User_Login(QStringLiteral(".."), QStringLiteral("x"));
    QVERIFY(login.Error);
    QCOMPARE(login.Error->kind, TCloudError::Kind::BadRequest);
    QCOMPARE(login.Reply.status, QStringLiteral("0"));
    const auto del = client.Device_Delete(QStringLiteral("alice"), QStringLiteral("x"), QStringLiteral("."));
    QVERIFY(del.Error);
    QCOMPARE(rec.Connections(), 0);
    // Dots inside a segment are ordinary characters.
    QVERIFY(!client.User_Login(QStringLiteral("a..b"), QStringLiteral("x")).Error);
    QCOMPARE(rec.requests.size(), 1);
}

void tst_nevIOTJSONAPI::emptyFieldsAreLeftOut() {
    RecordingServer rec;
    CloudClient client(QUrl(rec.Base()));
    client.User_Register(QStringLiteral("alice"), QStringLiteral("pw"), {}, {}, {}, {}, {}, {});
    client.Index_Feedback(QStringLiteral("msg"), {}, QStringLiteral("sys"));
    client.Device_Update(QStringLiteral("alice"), QStringLiteral("secret"), QStringLiteral("m"), {}, {});
    QCOMPARE(rec.requests.size(), 3);
    QCOMPARE(rec.requests[0].body, QByteArray("account=alice&password=pw"));
    QCOMPARE(rec.requests[1].body, QByteArray("msg=msg&system=sys"));
    QCOMPARE(rec.requests[2].body,
             QByteArray("account=alice&password=5ebe2294ecd0e0f08eab7690d2a6ee69&mac=m"));
}

void tst_nevIOTJSONAPI::failures_data() {
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("outcome");

    // GET calls raise every failure.
    for (const QByteArray& call :
         {QByteArray("Index_ProductList"), QByteArray("Index_NewsList"), QByteArray("User_Login"),
          QByteArray("User_Password"), QByteArray("Device_Delete"), QByteArray("Feedback_FeedList")}) {
        QTest::newRow(call + ": refused") << call << "refused"
                                          << "raised network";
        QTest::newRow(call + ": HTTP 500") << call << "500"
                                           << "raised http 500";
        QTest::newRow(call + ": closed") << call << "close"
                                         << "raised network";
        QTest::newRow(call + ": not JSON") << call << "html"
                                           << "raised bad reply";
    }
    QTest::newRow("User_Login: no answer") << QByteArray("User_Login") << "silent"
                                           << "raised timeout";
    QTest::newRow("Index_ProductList: answer stops halfway") << QByteArray("Index_ProductList") << "half"
                                                             << "raised timeout";
    // Form POSTs keep their reason too.
    for (const QByteArray& call :
         {QByteArray("User_Register"), QByteArray("User_Edit"), QByteArray("Index_Feedback"),
          QByteArray("Device_Active"), QByteArray("Device_Download"), QByteArray("Device_Update"),
          QByteArray("Feedback_Add")}) {
        QTest::newRow(call + ": refused") << call << "refused"
                                          << "raised network";
        QTest::newRow(call + ": HTTP 500") << call << "500"
                                           << "raised http 500";
        QTest::newRow(call + ": closed") << call << "close"
                                         << "raised network";
        QTest::newRow(call + ": not JSON") << call << "html"
                                           << "raised bad reply";
        QTest::newRow(call + ": empty reply") << call << "empty"
                                              << "raised bad reply";
    }
    QTest::newRow("Feedback_Add: no answer") << QByteArray("Feedback_Add") << "silent"
                                             << "raised timeout";
    QTest::newRow("Device_Download: answer stops halfway") << QByteArray("Device_Download") << "half"
                                                           << "raised timeout";
    // The upload raises like a GET.
    QTest::newRow("Device_UploadImg: refused") << QByteArray("Device_UploadImg") << "refused"
                                               << "raised network";
    QTest::newRow("Device_UploadImg: HTTP 500") << QByteArray("Device_UploadImg") << "500"
                                                << "raised http 500";
    QTest::newRow("Device_UploadImg: closed") << QByteArray("Device_UploadImg") << "close"
                                              << "raised network";
    QTest::newRow("Device_UploadImg: no answer") << QByteArray("Device_UploadImg") << "silent"
                                                 << "raised timeout";
    QTest::newRow("Device_UploadImg: not JSON") << QByteArray("Device_UploadImg") << "html"
                                                << "raised bad reply";
}

void tst_nevIOTJSONAPI::failures() {
    QFETCH(QByteArray, call);
    QFETCH(QString, failure);
    QFETCH(QString, outcome);

    RecordingServer rec;
    QUrl base(rec.Base());
    if (failure == QLatin1String("refused"))
        base.setPort(DeadPort());
    else if (failure == QLatin1String("500"))
        rec.status = 500;
    else if (failure == QLatin1String("close"))
        rec.mode = RecordingServer::Mode::Close;
    else if (failure == QLatin1String("silent"))
        rec.mode = RecordingServer::Mode::Silent;
    else if (failure == QLatin1String("half"))
        rec.mode = RecordingServer::Mode::HeadersThenSilent;
    else if (failure == QLatin1String("html"))
        rec.body = "<html><body>Service unavailable</body></html>";
    else if (failure == QLatin1String("empty"))
        rec.body.clear();

    CloudClient client(base);
    QCOMPARE(CallNamed(call).call(client, FUpload), outcome);
}

void tst_nevIOTJSONAPI::failureMessagesAreDistinct() {
    // What a person reads for each failure names it, and never shows the path's parameters.
    QSet<QString> seen;
    const QStringList failures{"refused", "500", "close", "silent", "html", "empty", "trickle"};
    for (const QString& failure : failures) {
        RecordingServer rec;
        QUrl base(rec.Base());
        if (failure == QLatin1String("refused"))
            base.setPort(DeadPort());
        else if (failure == QLatin1String("500"))
            rec.status = 500;
        else if (failure == QLatin1String("close"))
            rec.mode = RecordingServer::Mode::Close;
        else if (failure == QLatin1String("silent"))
            rec.mode = RecordingServer::Mode::Silent;
        else if (failure == QLatin1String("html"))
            rec.body = "<html></html>";
        else if (failure == QLatin1String("empty"))
            rec.body.clear();
        else
            rec.mode = RecordingServer::Mode::Trickle;
        CloudClient client(base);
        client.SetDeadlineMs(1500);
        const auto r = client.User_Password(QStringLiteral("alice"), QStringLiteral("old"),
                                            QStringLiteral("7"), QStringLiteral("n3wPassw0rd"));
        QVERIFY2(r.Error, qPrintable(failure));
        const QString message = r.Error->Message;
        QVERIFY2(!message.isEmpty(), qPrintable(failure));
        QVERIFY2(!message.contains(QLatin1String("n3wPassw0rd")) &&
                     !message.contains(QLatin1String("149603e6")),
                 qPrintable(message));
        QVERIFY2(!seen.contains(message), qPrintable(failure + ": " + message));
        seen.insert(message);
    }
}

void tst_nevIOTJSONAPI::deadlineEndsATrickledCall_data() {
    QTest::addColumn<QByteArray>("call");
    QTest::newRow("GET") << QByteArray("Index_NewsList");
    QTest::newRow("form POST") << QByteArray("Device_Download");
    QTest::newRow("upload") << QByteArray("Device_UploadImg");
}

void tst_nevIOTJSONAPI::deadlineEndsATrickledCall() {
    // A byte every 200 ms keeps restarting the 1000 ms read time-out; only the deadline ends it.
    QFETCH(QByteArray, call);
    RecordingServer rec;
    rec.mode = RecordingServer::Mode::Trickle;
    CloudClient client(QUrl(rec.Base()));
    client.SetDeadlineMs(1500);
    QCOMPARE(CallNamed(call).call(client, FUpload), QStringLiteral("raised timeout"));
    // The deadline, not the read time-out, ended it: the server had sent body bytes by then.
    const auto again = client.Index_NewsList();
    QVERIFY(again.Error);
    QCOMPARE(again.Error->Message, QStringLiteral("the call did not finish within 1500 ms"));
}

void tst_nevIOTJSONAPI::redirectsLeavingTheServerAreRefused_data() {
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<int>("code");
    for (const char* call : {"User_Login", "Device_Download", "Device_UploadImg"})
        for (const int code : {301, 302, 307, 308})
            QTest::newRow(QByteArray(call) + ' ' + QByteArray::number(code)) << QByteArray(call) << code;
}

void tst_nevIOTJSONAPI::redirectsLeavingTheServerAreRefused() {
    // The account and the password digest must not follow a redirect to another address.
    QFETCH(QByteArray, call);
    QFETCH(int, code);
    RecordingServer elsewhere;
    RecordingServer rec;
    rec.status = code;
    rec.body.clear();
    rec.extraHeaders = "Location: " + elsewhere.Base().toLatin1() + "/api.php/User/login\r\n";
    CloudClient client(QUrl(rec.Base()));
    QCOMPARE(CallNamed(call).call(client, FUpload), QStringLiteral("raised redirect"));
    QVERIFY(!rec.requests.isEmpty());
    // Had the client followed, the other server would have accepted during the call's wait.
    QCoreApplication::processEvents();
    QCOMPARE(elsewhere.Connections(), 0);
}

void tst_nevIOTJSONAPI::redirectsOnTheServer_data() {
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QByteArray>("resent"); // the request the new address received, or empty
    QTest::newRow("GET 301") << QByteArray("Index_NewsList") << 301 << "status=1 info=moved"
                             << QByteArray("GET /moved ");
    QTest::newRow("GET 307") << QByteArray("User_Login") << 307 << "status=1 info=moved"
                             << QByteArray("GET /moved ");
    // A form is not re-sent, not even on the same server.
    QTest::newRow("form POST 302 would become a GET")
        << QByteArray("Device_Download") << 302 << "raised redirect" << QByteArray();
    QTest::newRow("form POST 301 would become a GET")
        << QByteArray("Feedback_Add") << 301 << "raised redirect" << QByteArray();
    QTest::newRow("form POST 307") << QByteArray("Device_Download") << 307 << "raised redirect"
                                   << QByteArray();
    QTest::newRow("upload 308") << QByteArray("Device_UploadImg") << 308 << "raised redirect" << QByteArray();
}

void tst_nevIOTJSONAPI::redirectsOnTheServer() {
    QFETCH(QByteArray, call);
    QFETCH(int, code);
    QFETCH(QString, outcome);
    QFETCH(QByteArray, resent);
    RecordingServer rec;
    rec.onRequest = [&rec, code](const RecordingServer::Request& r) {
        const bool first = r.head.startsWith("GET /api.php/") || r.head.startsWith("POST /api.php/");
        rec.status = first ? code : 200;
        rec.extraHeaders = first ? QByteArray("Location: /moved\r\n") : QByteArray();
        rec.body = first ? QByteArray() : QByteArray(R"({"status":1,"info":"moved"})");
    };
    CloudClient client(QUrl(rec.Base()));
    QCOMPARE(CallNamed(call).call(client, FUpload), outcome);
    const auto moved = std::find_if(rec.requests.cbegin(), rec.requests.cend(),
                                    [](const auto& r) { return r.head.contains(" /moved "); });
    if (resent.isEmpty()) {
        QVERIFY(moved == rec.requests.cend());
    } else {
        QVERIFY(moved != rec.requests.cend());
        QVERIFY(moved->head.startsWith(resent));
    }
}

void tst_nevIOTJSONAPI::abortClosesTheConnection_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("reply too large") << "flood";
    QTest::newRow("deadline") << "trickle";
}

void tst_nevIOTJSONAPI::abortClosesTheConnection() {
    // An aborted call drops its connection at once: the client neither keeps reading a flood nor
    // keeps the connection for the next call.
    QFETCH(QString, mode);
    RecordingServer rec;
    rec.mode = mode == QLatin1String("flood") ? RecordingServer::Mode::Flood : RecordingServer::Mode::Trickle;
    CloudClient client(QUrl(rec.Base()));
    client.SetDeadlineMs(mode == QLatin1String("flood") ? 60000 : 1000);
    const auto r = client.Index_NewsList();
    QVERIFY(r.Error);
    QCOMPARE(r.Error->kind,
             mode == QLatin1String("flood") ? TCloudError::Kind::TooLarge : TCloudError::Kind::Timeout);
    QTRY_COMPARE(rec.Disconnects(), rec.Connections());
    // The flood stopped near the limit instead of being drained.
    if (mode == QLatin1String("flood"))
        QVERIFY2(rec.flooded < 2 * CloudClient::MaxReplyBytes, qPrintable(QString::number(rec.flooded)));
}

void tst_nevIOTJSONAPI::passwordsNeverReachTheLog() {
    static QStringList logged;
    logged.clear();
    QLoggingCategory::setFilterRules(QStringLiteral("quillet.cloud.debug=true"));
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) { logged << m; });
    const QString password = QStringLiteral("Hunter2secret");
    const QString digest = Md5Hex(password);
    const QString newPassword = QStringLiteral("N3wHunter");
    const QString devicePassword = QStringLiteral("dev1cePw");
    {
        RecordingServer rec;
        CloudClient client(QUrl(rec.Base()));
        // Replies that carry passwords, as the login and the device list do.
        rec.body =
            R"({"status":1,"info":"ok","data":{"id":"7","account":"alice","nickname":"Al","password":")" +
            digest.toLatin1() + R"("}})";
        client.User_Login(QStringLiteral("alice"), password);
        rec.body = R"({"status":1,"info":"ok","data":[{"id":"1","mac":"m","name":"n","pass" : ")" +
                   devicePassword.toLatin1() + R"("},{"pass":12345678}]})";
        client.Device_Download(QStringLiteral("alice"), password);
        client.Device_Update(QStringLiteral("alice"), password, QStringLiteral("m"), QStringLiteral("n"),
                             devicePassword);
        client.User_Register(QStringLiteral("alice"), password, {}, {}, {}, {}, {}, {});
        client.User_Password(QStringLiteral("alice"), password, QStringLiteral("7"), newPassword);
        rec.status = 500;
        client.User_Password(QStringLiteral("alice"), password, QStringLiteral("7"), newPassword);
        rec.status = 404;
        client.Feedback_FeedList(QStringLiteral("alice"), password);
    }
    {
        // A failure from the network library, whose own message may quote the address.
        CloudClient dead(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(DeadPort())));
        dead.User_Password(QStringLiteral("alice"), password, QStringLiteral("7"), newPassword);
    }
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QStringLiteral("quillet.cloud.debug=false"));

    const QString all = logged.join(QLatin1Char('\n'));
    QVERIFY2(all.contains(QLatin1String("/api.php/User/login")), qPrintable(all)); // the log is on
    QVERIFY2(all.contains(QLatin1String("\"nickname\":\"Al\"")), qPrintable(all)); // replies are logged
    for (const QString& secret : {password, digest, newPassword, devicePassword, QStringLiteral("12345678")})
        QVERIFY2(!all.contains(secret), qPrintable(secret + " in:\n" + all));
}

void tst_nevIOTJSONAPI::emptyReplyKeepsPreset() {
    // An empty reply is a failure with its own reason; the record keeps its preset all the same.
    RecordingServer rec;
    rec.body.clear();
    CloudClient client(QUrl(rec.Base()));
    const auto login = client.User_Login(QStringLiteral("alice"), QStringLiteral("secret"));
    QVERIFY(login.Error);
    QCOMPARE(login.Error->kind, TCloudError::Kind::BadReply);
    QCOMPARE(login.Reply, TUserRead{});
    const auto devs = client.Device_Download(QStringLiteral("alice"), QStringLiteral("secret"));
    QVERIFY(devs.Error);
    QCOMPARE(devs.Reply, TCloudDevs{});
}

void tst_nevIOTJSONAPI::formReplyDecodedByCharset() {
    // "é" as UTF-8 is two bytes: read as Latin-1 they are two characters, hence two "?".
    RecordingServer rec;
    rec.body = "{\"status\":1,\"info\":\"\xC3\xA9\"}";
    CloudClient client(QUrl(rec.Base()));
    rec.contentType = "application/json; charset=utf-8";
    QCOMPARE(client.Feedback_Add("a", "b", "c").Reply.info, QStringLiteral("?"));
    rec.contentType = "application/json; charset=\"ISO-8859-1\"";
    QCOMPARE(client.Feedback_Add("a", "b", "c").Reply.info, QStringLiteral("??"));
    rec.contentType = "application/json";
    QCOMPARE(client.Feedback_Add("a", "b", "c").Reply.info, QStringLiteral("?"));
}

void tst_nevIOTJSONAPI::redirectsAreFollowed() {
    RecordingServer rec;
    rec.onRequest = [&rec](const RecordingServer::Request& r) {
        const bool first = r.head.startsWith("GET /api.php/Index/newslist ");
        rec.status = first ? 302 : 200;
        rec.extraHeaders = first ? QByteArray("Location: /moved/newslist\r\n") : QByteArray();
        rec.body = first ? QByteArray() : QByteArray(R"({"status":1,"info":"moved","data":[]})");
    };
    CloudClient client(QUrl(rec.Base()));
    const auto news = client.Index_NewsList();
    QVERIFY(!news.Error);
    QCOMPARE(news.Reply.info, QStringLiteral("moved"));
    // Qt sometimes sends the first request a second time on a parallel connection before it
    // follows the redirect; what matters is that the new address was asked once and answered.
    QVERIFY(rec.requests.first().head.startsWith("GET /api.php/Index/newslist "));
    QVERIFY(rec.requests.last().head.startsWith("GET /moved/newslist "));
    QCOMPARE(std::count_if(rec.requests.cbegin(), rec.requests.cend(),
                           [](const auto& r) { return r.head.startsWith("GET /moved/"); }),
             1);
}

void tst_nevIOTJSONAPI::formPostAfterUpload_data() {
    QTest::addColumn<QString>("upload");
    QTest::newRow("upload without a connection") << "refused";
    QTest::newRow("upload answered with HTTP 500") << "500";
    QTest::newRow("successful upload") << "ok";
}

void tst_nevIOTJSONAPI::formPostAfterUpload() {
    QFETCH(QString, upload);
    RecordingServer rec;
    CloudClient client(QUrl(rec.Base()));
    if (upload == QLatin1String("refused")) {
        QUrl dead(rec.Base());
        dead.setPort(DeadPort());
        client.SetServer(dead);
    } else if (upload == QLatin1String("500")) {
        rec.status = 500;
    }
    const auto up = client.Device_UploadImg("alice", "secret", "m", FUpload);
    QCOMPARE(up.Failed(), upload != QLatin1String("ok"));

    rec.status = 200;
    client.SetServer(QUrl(rec.Base()));
    client.Device_Update("alice", "secret", "m", "n", "p");
    client.Feedback_Add("alice", "secret", "after");
    QVERIFY(rec.requests.size() >= 2);
    for (qsizetype i = rec.requests.size() - 2; i < rec.requests.size(); ++i) {
        QCOMPARE(rec.requests[i].Header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QVERIFY(!rec.requests[i].body.contains("--"));
    }
}

void tst_nevIOTJSONAPI::uploadOfMissingFileSendsNothing() {
    RecordingServer rec;
    CloudClient client(QUrl(rec.Base()));
    const auto up =
        client.Device_UploadImg("alice", "secret", "m", FDir.filePath(QStringLiteral("missing.jpg")));
    QVERIFY(up.Error);
    QCOMPARE(up.Error->kind, TCloudError::Kind::File);
    QCOMPARE(up.Reply.status, QStringLiteral("0"));
    QCOMPARE(rec.Connections(), 0);
}

void tst_nevIOTJSONAPI::uploadContentTypeFollowsExtension() {
    RecordingServer rec;
    CloudClient client(QUrl(rec.Base()));
    const QString png = FDir.filePath(QStringLiteral("pic \"one\".PNG"));
    QFile f(png);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("png");
    f.close();
    QVERIFY(!client.Device_UploadImg("alice", "secret", "m", png).Error);
    QCOMPARE(rec.requests.size(), 1);
    QVERIFY(rec.requests[0].body.contains(
        "name=\"img\"; filename=\"pic %22one%22.PNG\"\r\nContent-Type: image/png\r\n"));
}

void tst_nevIOTJSONAPI::connectTimeout() {
    // A listener whose accept queue is full drops further connection attempts, so the connect
    // never completes: the loopback stand-in for an address that does not answer.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    QCOMPARE(::listen(fd, 0), 0);
    socklen_t len = sizeof addr;
    QCOMPARE(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const quint16 port = ntohs(addr.sin_port);

    QList<std::shared_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 2; ++i) {
        auto s = std::make_shared<QTcpSocket>();
        s->connectToHost(QHostAddress::LocalHost, port);
        fillers.append(s);
    }
    QTRY_VERIFY(fillers.first()->state() == QAbstractSocket::ConnectedState);

    CloudClient client(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)));
    const auto login = client.User_Login(QStringLiteral("alice"), QStringLiteral("secret"));
    ::close(fd);
    QVERIFY(login.Error);
    QCOMPARE(login.Error->kind, TCloudError::Kind::Timeout);
}

void tst_nevIOTJSONAPI::windowKeepsPaintingWhileWaiting() {
    CountingWindow window;
    window.resize(100, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    RecordingServer rec;
    rec.mode = RecordingServer::Mode::Silent;
    int updatesDuringWait = -1;
    rec.onRequest = [&](const RecordingServer::Request&) {
        const int before = window.updates;
        window.requestUpdate();
        // Answer only once the repaint went through, from inside the call's wait.
        auto* poll = new QTimer(&rec);
        connect(poll, &QTimer::timeout, &rec, [&, before, poll] {
            if (window.updates > before) {
                updatesDuringWait = window.updates - before;
                poll->stop();
                rec.ReleaseHeld();
            }
        });
        poll->start(5);
    };
    CloudClient client(QUrl(rec.Base()));
    const auto news = client.Index_NewsList();
    QVERIFY2(!news.Error, news.Error ? qPrintable(news.Error->Message) : "");
    QVERIFY(updatesDuringWait >= 1);
}

void tst_nevIOTJSONAPI::loadUrlImage_data() {
    QTest::addColumn<QString>("path"); // appended to the recorder's base unless it has a scheme
    QTest::addColumn<QByteArray>("served");
    QTest::addColumn<int>("status");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("requests");
    const QByteArray jpeg = Jpeg(40, 30);
    QTest::newRow(".jpg") << "/p/a.jpg" << jpeg << 200 << QSize(40, 30) << 1;
    QTest::newRow(".JPEG upper case") << "/p/a.JPEG" << jpeg << 200 << QSize(40, 30) << 1;
    QTest::newRow(".jpg with a query") << "/p/a.jpg?v=2" << jpeg << 200 << QSize(40, 30) << 1;
    QTest::newRow("relative address on the server") << "uploads/a.jpg" << jpeg << 200 << QSize(40, 30) << 1;
    QTest::newRow(".png is not fetched") << "/p/a.png" << jpeg << 200 << QSize() << 0;
    QTest::newRow("no extension is not fetched") << "/p/jpg" << jpeg << 200 << QSize() << 0;
    QTest::newRow("extension only in the query is not fetched")
        << "/p/a.php?x=.jpg" << jpeg << 200 << QSize() << 0;
    QTest::newRow("empty address") << "" << jpeg << 200 << QSize() << 0;
    QTest::newRow("file address is not read") << "file:///etc/hostname.jpg" << jpeg << 200 << QSize() << 0;
    QTest::newRow("undecodable bytes") << "/p/a.jpg" << QByteArray("not a picture") << 200 << QSize() << 1;
    QTest::newRow("HTTP 404") << "/p/a.jpg" << jpeg << 404 << QSize() << 1;
}

void tst_nevIOTJSONAPI::loadUrlImage() {
    QFETCH(QString, path);
    QFETCH(QByteArray, served);
    QFETCH(int, status);
    QFETCH(QSize, size);
    QFETCH(int, requests);
    RecordingServer rec;
    rec.body = served;
    rec.status = status;
    rec.contentType = "image/jpeg";
    CloudClient client(QUrl(rec.Base()));
    QString url = path;
    if (path.startsWith(QLatin1Char('/')))
        url = rec.Base() + path;
    const QImage img = client.LoadUrlImage(url);
    QCOMPARE(img.isNull(), !size.isValid());
    if (size.isValid())
        QCOMPARE(img.size(), size);
    QCOMPARE(int(rec.requests.size()), requests);
    if (path == QLatin1String("uploads/a.jpg"))
        QVERIFY(rec.requests.first().head.startsWith("GET /uploads/a.jpg "));
}

void tst_nevIOTJSONAPI::loadUrlImageIntoClearsOnFailure() {
    RecordingServer rec;
    rec.body = Jpeg(8, 8);
    rec.contentType = "image/jpeg";
    CloudClient client(QUrl(rec.Base()));
    QImage target(5, 5, QImage::Format_RGB32);
    client.LoadUrlImageInto(target, rec.Base() + QStringLiteral("/a.jpg"));
    QCOMPARE(target.size(), QSize(8, 8));
    client.LoadUrlImageInto(target, rec.Base() + QStringLiteral("/a.gif"));
    QVERIFY(target.isNull());
    target = QImage(5, 5, QImage::Format_RGB32);
    rec.mode = RecordingServer::Mode::Close;
    client.LoadUrlImageInto(target, rec.Base() + QStringLiteral("/a.jpg"));
    QVERIFY(target.isNull());
}

void tst_nevIOTJSONAPI::serverWithPathAndAboutPage() {
    RecordingServer rec;
    CloudClient client(QUrl(rec.Base() + QStringLiteral("/cloud/")));
    client.Index_NewsList();
    QCOMPARE(rec.requests.size(), 1);
    QVERIFY(rec.requests.first().head.startsWith("GET /cloud/api.php/Index/newslist "));
    QCOMPARE(client.AboutPageUrl().toString(),
             rec.Base() + QStringLiteral("/cloud/index.php/Page/detail/item/about"));
    QCOMPARE(CloudClient(QUrl(QStringLiteral("http://cloud.example.com:8080"))).AboutPageUrl().toString(),
             QStringLiteral("http://cloud.example.com:8080/index.php/Page/detail/item/about"));
}

QTEST_MAIN(tst_nevIOTJSONAPI)
#include "tst_nevIOTJSONAPI.moc"
