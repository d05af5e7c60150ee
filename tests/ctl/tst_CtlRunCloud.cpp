// quillet-ctl's cloud commands against the simulated cloud server, started as its own process.
#include "CtlRun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

class TestCtlCloud : public QObject {
    Q_OBJECT

    QProcess FSim;
    QString FServer;

    // A fresh simulator per test function keeps the tests independent of each other's changes.
    bool StartSim(const QStringList& extra = {}) {
        FSim.kill();
        FSim.waitForFinished(5000);
        FSim.setProgram(QStringLiteral(QUILLET_CLOUDSIM));
        FSim.setArguments(QStringList{"--quiet", "--port", "0", "--account", "alice:secret", "--account",
                                      "bob:bobpw", "--device", "mac=5ccf7f01020a,code=AB12,name=Kitchen",
                                      "--device", "mac=5ccf7f01020c,owner=bob,name=Shed", "--device",
                                      "mac=5ccf7f01020d,remote=0", "--device",
                                      "mac=5ccf7f01020e,owner=alice,name=Hall"} +
                          extra);
        FSim.start();
        if (!FSim.waitForStarted(10000))
            return false;
        while (!FSim.canReadLine())
            if (!FSim.waitForReadyRead(10000))
                return false;
        FServer = QStringLiteral("http://127.0.0.1:%1").arg(FSim.readLine().trimmed().toInt());
        return true;
    }
    TCtlRun Cloud(const QStringList& args, bool asAlice = true) {
        QStringList a{"cloud", "--server", FServer};
        if (asAlice)
            a << QStringList{"--account", "alice", "--account-password", "secret"};
        return RunCtl(a + args);
    }
    static QJsonObject Json(const QString& line) { return QJsonDocument::fromJson(line.toUtf8()).object(); }
    static QStringList Keys(const QString& line) {
        // Key order is part of the output; QJsonObject would sort the keys.
        QStringList keys;
        static const QRegularExpression key(QStringLiteral("\"([A-Za-z_]+)\":"));
        for (auto it = key.globalMatch(line); it.hasNext();)
            keys << it.next().captured(1);
        return keys;
    }

private slots:
    void init() { QVERIFY(StartSim()); }
    void cleanupTestCase() {
        FSim.kill();
        FSim.waitForFinished(5000);
    }

    void loginPrintsTheWholeUserRecord() {
        const TCtlRun r = Cloud({"login"});
        QCOMPARE(r.rc, 0);
        QCOMPARE(r.Lines().size(), 1);
        QCOMPARE(Keys(r.Lines().first()),
                 (QStringList{"id",           "account",         "nickname",      "password",
                              "bind_account", "last_login_time", "last_login_ip", "login_count",
                              "verify",       "email",           "name",          "tel",
                              "address",      "remark",          "create_time",   "update_time",
                              "status",       "type_id",         "admininfo",     "newscount",
                              "newstime",     "feedbackcount"}));
        QCOMPARE(Json(r.out)["account"].toString(), QStringLiteral("alice"));
    }

    void wrongPasswordGivesTheServersInfo() {
        const TCtlRun r = RunCtl(
            {"cloud", "--server", FServer, "--account", "alice", "--account-password", "nope", "login"});
        QCOMPARE(r.rc, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(!r.err.trimmed().isEmpty(), "the server's info is shown");
    }

    void activationAndRefusals_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("rc");
        QTest::addColumn<QString>("text");
        QTest::newRow("activated, dashed MAC, code in any case") << "5C-CF-7F-01-02-0A"
                                                                 << "ab12" << 0 << "";
        QTest::newRow("unknown device") << "5ccf7f0102ff"
                                        << "1" << 1 << "Device is not in the cloud server!";
        QTest::newRow("no remote control") << "5ccf7f01020d"
                                           << "1" << 1 << "Device disable remote control!";
        QTest::newRow("other account") << "5ccf7f01020c"
                                       << "1" << 1 << "Device has been activated by: bob";
        QTest::newRow("wrong code") << "5ccf7f01020a"
                                    << "0000" << 1 << "Device activation failed!";
    }
    void activationAndRefusals() {
        QFETCH(QString, mac);
        QFETCH(QString, code);
        QFETCH(int, rc);
        QFETCH(QString, text);
        const TCtlRun r = Cloud({"activate", mac, code});
        QCOMPARE(r.rc, rc);
        if (rc == 0) {
            QCOMPARE(Keys(r.out).size(), 11);
            QCOMPARE(Json(r.out)["mac"].toString(), QStringLiteral("5ccf7f01020a"));
        } else {
            QCOMPARE(r.err.trimmed(), text);
        }
    }

    void devicesUpdateRemove() {
        TCtlRun r = Cloud({"devices"});
        QCOMPARE(r.rc, 0);
        QCOMPARE(r.Lines().size(), 1);
        QCOMPARE(Keys(r.Lines().first()).size(), 12);
        QCOMPARE(Json(r.Lines().first())["name"].toString(), QStringLiteral("Hall"));

        r = Cloud({"update", "5C-CF-7F-01-02-0E", "客厅", "9999"});
        QCOMPARE(r.rc, 0);
        r = Cloud({"devices"});
        QCOMPARE(Json(r.Lines().first())["name"].toString(), QStringLiteral("客厅"));
        QCOMPARE(Json(r.Lines().first())["pass"].toString(), QStringLiteral("9999"));

        QCOMPARE(Cloud({"remove", "5ccf7f01020e"}).rc, 0);
        r = Cloud({"devices"});
        QCOMPARE(r.rc, 0);
        QVERIFY(r.out.isEmpty());
        // Another account's board cannot be removed by alice.
        QCOMPARE(Cloud({"remove", "5ccf7f01020c"}).rc, 1);
    }

    void uploadImage() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("board.jpg"));
        QImage img(16, 16, QImage::Format_RGB32);
        img.fill(Qt::red);
        QVERIFY(img.save(file, "JPG"));
        QCOMPARE(Cloud({"upload-image", "5ccf7f01020e", file}).rc, 0);
        const TCtlRun r = Cloud({"devices"});
        QVERIFY(Json(r.Lines().first())["img"].toString().contains(QLatin1String("5ccf7f01020e.jpg")));
        const TCtlRun missing = Cloud({"upload-image", "5ccf7f01020e", dir.filePath("none.jpg")});
        QCOMPARE(missing.rc, 1);
    }

    void feedbackAndContent() {
        QVERIFY(StartSim({"--support-reply", "alice:We are on it"}));
        TCtlRun r = Cloud({"feedback", "send", "Relay 3 sticks"});
        QCOMPARE(r.rc, 0);
        r = Cloud({"feedback", "list"});
        QCOMPARE(r.rc, 0);
        QCOMPARE(r.Lines().size(), 1);
        QCOMPARE(Json(r.out)["msg"].toString(), QStringLiteral("We are on it"));
        QCOMPARE(Keys(r.out).size(), 9);

        r = Cloud({"feedback", "anonymous", "Nice tool", "--contact", "me@example.com"}, false);
        QCOMPARE(r.rc, 0);

        r = Cloud({"news"}, false);
        QCOMPARE(r.rc, 0);
        QVERIFY(!r.Lines().isEmpty());
        QCOMPARE(Keys(r.Lines().first()),
                 (QStringList{"id", "img", "status", "title", "create_time", "weburl"}));
        r = Cloud({"products"}, false);
        QCOMPARE(r.rc, 0);
        QCOMPARE(Keys(r.Lines().first()),
                 (QStringList{"id", "sn", "name", "img", "create_time", "imgtime", "weburl"}));
    }

    void registerThenLogin() {
        TCtlRun r =
            Cloud({"register", "carol", "pw1", "--nickname", "Caz", "--email", "c@example.com"}, false);
        QCOMPARE(r.rc, 0);
        r = RunCtl(
            {"cloud", "--server", FServer, "--account", "carol", "--account-password", "pw1", "login"});
        QCOMPARE(r.rc, 0);
        QCOMPARE(Json(r.out)["nickname"].toString(), QStringLiteral("Caz"));
        QCOMPARE(Json(r.out)["email"].toString(), QStringLiteral("c@example.com"));
    }

    void serverFaults_data() {
        QTest::addColumn<QStringList>("command");
        const QList<QStringList> commands{{"login"},
                                          {"register", "dave", "pw"},
                                          {"devices"},
                                          {"activate", "5ccf7f01020a", "ab12"},
                                          {"update", "5ccf7f01020e", "Hall", "1234"},
                                          {"remove", "5ccf7f01020e"},
                                          {"upload-image", "5ccf7f01020e", "@IMAGE@"},
                                          {"feedback", "list"},
                                          {"feedback", "send", "Relay 3 sticks"},
                                          {"feedback", "anonymous", "Nice tool"},
                                          {"news"},
                                          {"products"}};
        for (const QStringList& c : commands)
            QTest::newRow(qPrintable(c.mid(0, 2).join(QLatin1Char(' ')))) << c;
    }
    void serverFaults() {
        // A stopped server, one answering HTTP 500 and one answering garbage: three different,
        // true reasons, exit status 1 and nothing on standard output.
        QFETCH(QStringList, command);
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("board.jpg"));
        QImage img(8, 8, QImage::Format_RGB32);
        img.fill(Qt::blue);
        QVERIFY(img.save(image, "JPG"));
        command.replaceInStrings(QStringLiteral("@IMAGE@"), image);

        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QString stopped = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
        probe.close();

        struct Fault {
            QStringList simArgs; // empty: the stopped server
            QString reason;
        };
        const QList<Fault> faults{{{}, QStringLiteral("refused")},
                                  {{"--http-500"}, QStringLiteral("HTTP 500")},
                                  {{"--not-json"}, QStringLiteral("unreadable reply")}};
        QStringList messages;
        for (const Fault& f : faults) {
            if (f.simArgs.isEmpty())
                FServer = stopped;
            else
                QVERIFY(StartSim(f.simArgs));
            const TCtlRun r = Cloud(command);
            QCOMPARE(r.rc, 1);
            QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
            QVERIFY2(r.err.startsWith(QLatin1String("Cloud server: ")) && r.err.contains(f.reason),
                     qPrintable(r.err));
            QVERIFY2(!r.err.contains(QLatin1String("secret")), qPrintable(r.err));
            messages << r.err;
        }
        QCOMPARE(QSet<QString>(messages.cbegin(), messages.cend()).size(), messages.size());
    }

    void longAndEmailAccountsAreSentWhole() {
        // 32 characters is the longest account and password the login panel takes; both reach the
        // server whole, and an e-mail account goes as typed.
        const QString account = QStringLiteral("a.very.long.account@example.com");
        const QString password = QStringLiteral("0123456789abcdefghijklmnopqrstuv");
        QCOMPARE(account.size(), 31);
        QCOMPARE(password.size(), 32);
        QVERIFY(StartSim(
            {"--account", account + ':' + password, "--account", "b234567890123456789012345678901x:pw"}));
        for (const QString& who : {account, QStringLiteral("b234567890123456789012345678901x")}) {
            const QString pw = who == account ? password : QStringLiteral("pw");
            TCtlRun r =
                RunCtl({"cloud", "--server", FServer, "--account", who, "--account-password", pw, "login"});
            QVERIFY2(r.rc == 0, qPrintable(r.err));
            QCOMPARE(Json(r.out)["account"].toString(), who);
            r = RunCtl({"cloud", "--server", FServer, "--account", who, "--account-password", pw, "feedback",
                        "list"});
            QVERIFY2(r.rc == 0, qPrintable(r.err));
        }
    }
};

QTEST_MAIN(TestCtlCloud)
#include "tst_CtlRunCloud.moc"
