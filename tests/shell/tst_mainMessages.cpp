// The message page, anonymous feedback and the feedback conversation of the window, against the
// simulated cloud server on loopback (the window's search stays on loopback too).
#include "CloudSim.h"
#include "ShellFixture.h"
#include "untImgBtn.h"
#include "untMainMessages.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

namespace {

const QString NoConnection = QStringLiteral("Cannot reach the cloud server, please check the network!");
const QString BadAnswer =
    QStringLiteral("The cloud server's answer could not be read, please try again later!");

QList<TNewsListCell*> Cells(QListWidget* list) {
    QList<TNewsListCell*> cells;
    for (int i = 0; i < list->count(); ++i)
        if (auto* c = qobject_cast<TNewsListCell*>(list->itemWidget(list->item(i))))
            cells << c;
    return cells;
}

QStringList Headers(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (auto* l = qobject_cast<QLabel*>(list->itemWidget(list->item(i))))
            out << l->text();
    return out;
}

QString Render(const TFeedMsgs& msgs) {
    QStringList out;
    for (const TFeedMsg& m : msgs)
        out << (m._Type ? QStringLiteral("S:") : QStringLiteral("U:")) + m.Msg;
    return out.join(QLatin1Char('|'));
}

} // namespace

class tst_mainMessages : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FDir;
    std::shared_ptr<TRecordingMessages> FMsgs;
    std::unique_ptr<CloudSim> FSim;
    QString FServer;

    void StartSim() {
        FSim = std::make_unique<CloudSim>();
        FSim->SetVerbose(false);
        QVERIFY(FSim->AddAccount(QStringLiteral("alice"), QStringLiteral("secret")).isEmpty());
        const quint16 port = FSim->listen(QHostAddress::LocalHost, 0);
        QVERIFY(port != 0);
        FServer = QStringLiteral("http://127.0.0.1:%1").arg(port);
    }

    void WriteIni(const QByteArray& text) {
        QFile f(QDir(FDir->path()).filePath(QStringLiteral("program.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    std::unique_ptr<Tfrm_Main> Window() {
        TMainEnv env = LoopbackEnv(FDir->path(), FMsgs);
        env.CloudServer = FServer;
        auto w = std::make_unique<Tfrm_Main>(env);
        w->img_MainSettingClick(TAB_EN);
        return w;
    }

    static void LogIn(const QString& password = QStringLiteral("secret")) {
        CloudSession.Clear();
        CloudSession.SetAccount(QStringLiteral("alice"));
        CloudSession.SetPassword(password);
        CloudSession.Logged = true;
    }

    // A picture of the window in the build folder; every caption shown must fit its label.
    static void Shoot(Tfrm_Main& w, const QString& name) {
        const QString dir = QStringLiteral(SHOT_DIR);
        QDir().mkpath(dir);
        const QPixmap shot = w.grab();
        QVERIFY(!shot.isNull());
        const QString file = QStringLiteral("%1/window-%2-%3@%4x.png")
                                 .arg(dir, name, LangIsCn() ? QStringLiteral("cn") : QStringLiteral("en"))
                                 .arg(qRound(shot.devicePixelRatio()));
        QVERIFY(shot.save(file));
        QStringList cut;
        for (const QLabel* l : w.findChildren<QLabel*>()) {
            if (!l->isVisibleTo(&w) || l->text().isEmpty() || l->wordWrap())
                continue;
            if (l->fontMetrics().horizontalAdvance(l->text()) + 2 * l->indent() > l->width())
                cut << l->objectName() + QStringLiteral(": ") + l->text();
        }
        QVERIFY2(cut.isEmpty(), qPrintable(name + QStringLiteral(": ") + cut.join(QStringLiteral(" | "))));
    }

    static void ShowMessagePage(Tfrm_Main& w) {
        w.img_MainSettingClick(TAB_MESSAGE);
        QTRY_VERIFY(!w.Sliding());
    }

private slots:
    void init() {
        FDir = std::make_unique<QTemporaryDir>();
        FMsgs = std::make_shared<TRecordingMessages>();
        CloudSession.Clear();
        StartSim();
    }
    void cleanup() {
        CloudSession.Clear();
        FSim.reset();
    }

    // --- pieces ---------------------------------------------------------------------------------

    void newsTime_data() {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("unix");
        QTest::addColumn<QString>("shown");
        // 2024-07-01 12:00 and 2024-01-15 12:00 UTC.
        QTest::newRow("Berlin summer") << "Europe/Berlin"
                                       << "1719835200"
                                       << "2024-07-01 14:00:00";
        QTest::newRow("Berlin winter") << "Europe/Berlin"
                                       << "1705320000"
                                       << "2024-01-15 13:00:00";
        QTest::newRow("New York summer") << "America/New_York"
                                         << "1719835200"
                                         << "2024-07-01 08:00:00";
        QTest::newRow("padded") << "Europe/Berlin"
                                << " 1705320000 "
                                << "2024-01-15 13:00:00";
        QTest::newRow("not a number") << "Europe/Berlin"
                                      << "yesterday"
                                      << "";
        QTest::newRow("empty") << "Europe/Berlin"
                               << ""
                               << "";
        QTest::newRow("fraction") << "Europe/Berlin"
                                  << "1705320000.5"
                                  << "";
    }
    void newsTime() {
        QFETCH(QString, zone);
        QFETCH(QString, unix);
        QFETCH(QString, shown);
        const QTimeZone tz(zone.toLatin1());
        QVERIFY(tz.isValid());
        QCOMPARE(NewsTimeText(unix, tz), shown);
    }

    void webAddress_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("http") << "http://cloud.example.com/index.php/News/detail/id/3" << true;
        QTest::newRow("https upper case") << "HTTPS://cloud.example.com/p" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("smb") << "smb://server/share/run.exe" << false;
        QTest::newRow("program path") << "C:\\Windows\\System32\\calc.exe" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("relative") << "/index.php/News/detail/id/3" << false;
        QTest::newRow("no host") << "http:///etc/passwd" << false;
        QTest::newRow("empty") << "" << false;
    }
    void webAddress() {
        QFETCH(QString, url);
        QFETCH(bool, allowed);
        QCOMPARE(IsWebAddress(url), allowed);
    }

    void chatLayout_data() {
        QTest::addColumn<qreal>("textWidth");
        QTest::addColumn<int>("wrapped");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QRect>("bubble");
        QTest::addColumn<QRect>("label");
        QTest::addColumn<int>("itemHeight");
        const int left = int(TCELLMODE::MODE_LEFT), right = int(TCELLMODE::MODE_RIGET);
        QTest::newRow("wider than a line")
            << 260.0 << 2 << left << QRect(18, 18, 300, 64) << QRect(29, 10, 250, 44) << 82;
        QTest::newRow("exactly one line")
            << 240.0 << 1 << left << QRect(18, 18, 300, 44) << QRect(29, 10, 250, 24) << 62;
        QTest::newRow("short, the user's")
            << 99.2 << 1 << right << QRect(500 - 160 - 33, 18, 160, 44) << QRect(18, 10, 110, 24) << 62;
        QTest::newRow("wrap breaks early")
            << 400.0 << 3 << right << QRect(500 - 300 - 33, 18, 300, 84) << QRect(18, 10, 250, 64) << 102;
        QTest::newRow("tall lines") << 600.0 << 3 << left << QRect(18, 18, 300, 92) << QRect(29, 10, 250, 72)
                                    << 110;
    }
    void chatLayout() {
        QFETCH(qreal, textWidth);
        QFETCH(int, wrapped);
        QFETCH(int, mode);
        QFETCH(QRect, bubble);
        QFETCH(QRect, label);
        QFETCH(int, itemHeight);
        const TChatLayout l = ChatLayout(textWidth, wrapped, 500, TCELLMODE(mode),
                                         QTest::currentDataTag() == QByteArray("tall lines") ? 24 : 20);
        QCOMPARE(l.Bubble, bubble);
        QCOMPARE(l.Label, label);
        QCOMPARE(l.ItemHeight, itemHeight);
    }

    // --- message page ---------------------------------------------------------------------------

    void messageTabFollowsSettings_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("shown");
        QTest::newRow("no file") << QByteArray() << false;
        QTest::newRow("MessagePage=1") << QByteArray("[System]\nMessagePage=1\n") << true;
        QTest::newRow("MessagePage=0") << QByteArray("[System]\nMessagePage=0\n") << false;
    }
    void messageTabFollowsSettings() {
        QFETCH(QByteArray, ini);
        QFETCH(bool, shown);
        if (!ini.isEmpty())
            WriteIni(ini);
        auto w = Window();
        w->show();
        auto* tab = Find<QWidget>(w.get(), QStringLiteral("img_Info"));
        QCOMPARE(tab->isVisibleTo(w.get()), shown);
        // A shown tab takes its place between "User" and "More".
        auto* more = Find<QWidget>(w.get(), QStringLiteral("img_Other"));
        auto* user = Find<QWidget>(w.get(), QStringLiteral("img_Setting"));
        QVERIFY(more->y() > user->y());
        if (shown)
            QVERIFY(user->y() < tab->y() && tab->y() < more->y());
    }

    void listsShowAtOncePicturesFollow() {
        FSim->AddProduct(QStringLiteral("Relay board 4"), QStringLiteral("QRB-4"));
        FSim->AddProduct(QStringLiteral("IO mini"), QStringLiteral("QIO-MINI"));
        FSim->AddNewsLinking(QStringLiteral("Summer firmware"), {}, 1719835200);
        FSim->AddNewsLinking(QStringLiteral("Winter firmware"), {}, 1705320000);
        WriteIni("[System]\nMessagePage=1\n");
        auto w = Window();
        w->Messages()->SetTimeZone(QTimeZone("Europe/Berlin"));
        w->show();

        QVERIFY(w->Messages()->LoadMessageLists());
        QListWidget* list = w->Messages()->NewsList();
        const QList<TNewsListCell*> cells = Cells(list);
        QCOMPARE(Headers(list), (QStringList{QStringLiteral("Products"), QStringLiteral("News")}));
        QCOMPARE(cells.size(), 4);
        QCOMPARE(cells.at(0)->CellTitle(), QStringLiteral("Relay board 4"));
        QCOMPARE(cells.at(1)->CellSub(), QStringLiteral("QIO-MINI"));
        QCOMPARE(cells.at(2)->CellSub(), QStringLiteral("2024-07-01 14:00:00"));
        QCOMPARE(cells.at(3)->CellSub(), QStringLiteral("2024-01-15 13:00:00"));
        // The lists are there before the news pictures: those are still on their way.
        QVERIFY(w->Messages()->PendingPictures() > 0);
        QVERIFY(!cells.at(3)->HasPicture());
        QTRY_COMPARE(w->Messages()->PendingPictures(), 0);
        for (const TNewsListCell* c : cells)
            QVERIFY2(c->HasPicture(), qPrintable(c->CellTitle()));
        QVERIFY(FMsgs->Messages.isEmpty());
    }

    void pageLoadsOnceRefreshLoadsAgain() {
        FSim->AddProduct(QStringLiteral("Relay board 4"), QStringLiteral("QRB-4"));
        WriteIni("[System]\nMessagePage=1\n");
        auto w = Window();
        w->show();
        ShowMessagePage(*w);
        QListWidget* list = w->Messages()->NewsList();
        QCOMPARE(Cells(list).size(), 1);
        QVERIFY(w->Messages()->MsgLoaded());

        FSim->AddProduct(QStringLiteral("Relay board 8"), QStringLiteral("QRB-8"));
        w->img_MainSettingClick(TAB_MORE);
        QTRY_VERIFY(!w->Sliding());
        ShowMessagePage(*w);
        QCOMPARE(Cells(list).size(), 1); // shown again as it was

        auto* refresh = Find<TImage>(w.get(), QStringLiteral("img_Msg_Title_Refresh"));
        QTest::mouseClick(refresh, Qt::LeftButton);
        QCOMPARE(Cells(list).size(), 2);
        QVERIFY(!Find<QWidget>(w.get(), QStringLiteral("img_Msging_back"))->isVisible());
    }

    void failedRefreshLoadsAgainOnShow() {
        FSim->AddProduct(QStringLiteral("Relay board 4"), QStringLiteral("QRB-4"));
        WriteIni("[System]\nMessagePage=1\n");
        auto w = Window();
        w->show();
        ShowMessagePage(*w);
        QVERIFY(w->Messages()->MsgLoaded());
        FSim->SetFaults(SimFaults{0, true, false, false, false, {}, {}});
        QTest::mouseClick(Find<TImage>(w.get(), QStringLiteral("img_Msg_Title_Refresh")), Qt::LeftButton);
        QVERIFY(!w->Messages()->MsgLoaded());
        QCOMPARE(Find<QLabel>(w.get(), QStringLiteral("lbl_Msg_Status"))->text(), BadAnswer);

        FSim->SetFaults({});
        w->img_MainSettingClick(TAB_MORE);
        QTRY_VERIFY(!w->Sliding());
        ShowMessagePage(*w);
        QVERIFY(w->Messages()->MsgLoaded());
        QCOMPARE(Cells(w->Messages()->NewsList()).size(), 1);
        QVERIFY(Find<QLabel>(w.get(), QStringLiteral("lbl_Msg_Status"))->isHidden());
    }

    void languageSwitchRelabelsTheLists() {
        FSim->AddProduct(QStringLiteral("Relay board 4"), QStringLiteral("QRB-4"));
        FSim->AddNewsLinking(QStringLiteral("Firmware"), {}, 1719835200);
        auto w = Window();
        w->Messages()->LoadMessageLists();
        QListWidget* list = w->Messages()->NewsList();
        QCOMPARE(Cells(list).first()->ReadButton()->Text(), QStringLiteral("Read"));
        w->img_MainSettingClick(TAB_CN);
        QCOMPARE(Headers(list), (QStringList{QStringLiteral("产品列表"), QStringLiteral("新闻列表")}));
        for (TNewsListCell* c : Cells(list))
            QCOMPARE(c->ReadButton()->Text(), QStringLiteral("查 看"));
        QCOMPARE(Find<QLabel>(w.get(), QStringLiteral("lbl_User_FeedbackInfo"))->text(),
                 QStringLiteral("反馈信息"));
    }

    void readOpensOnlyWebAddresses() {
        FSim->AddNewsLinking(QStringLiteral("On the web"), {}, 1719835200);
        FSim->AddNewsLinking(QStringLiteral("A local file"), QStringLiteral("file:///etc/passwd"),
                             1719835200);
        FSim->AddNewsLinking(QStringLiteral("A share"), QStringLiteral("smb://server/share/setup.exe"),
                             1719835200);
        auto w = Window();
        w->show();
        w->Messages()->LoadMessageLists();
        const QList<TNewsListCell*> cells = Cells(w->Messages()->NewsList());
        QCOMPARE(cells.size(), 3);

        QTest::mouseClick(cells.at(0)->ReadButton(), Qt::LeftButton);
        QCOMPARE(FMsgs->Opened.size(), 1);
        QCOMPARE(FMsgs->Opened.first().scheme(), QStringLiteral("http"));
        QVERIFY(FMsgs->Opened.first().path().endsWith(QStringLiteral("/News/detail/id/") +
                                                      cells.at(0)->CellID()));
        QVERIFY(FMsgs->Messages.isEmpty());

        for (int i : {1, 2}) {
            QTest::mouseClick(cells.at(i)->ReadButton(), Qt::LeftButton);
            QCOMPARE(FMsgs->Messages.takeLast(), QStringLiteral("Read message failed!"));
        }
        QCOMPARE(FMsgs->Opened.size(), 1);

        // A cell without an id is refused whatever its address.
        cells.at(0)->SetCellID({});
        QTest::mouseClick(cells.at(0)->ReadButton(), Qt::LeftButton);
        QCOMPARE(FMsgs->Messages.takeLast(), QStringLiteral("Read message failed!"));
        QCOMPARE(FMsgs->Opened.size(), 1);
    }

    void pageFailureIsSaid_data() {
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<QString>("said");
        QTest::newRow("server stopped") << true << NoConnection;
        QTest::newRow("garbage") << false << BadAnswer;
    }
    void pageFailureIsSaid() {
        QFETCH(bool, stopped);
        QFETCH(QString, said);
        WriteIni("[System]\nMessagePage=1\n");
        auto w = Window();
        w->show();
        if (stopped)
            FSim.reset();
        else
            FSim->SetFaults(SimFaults{0, false, true, false, false, {}, {}});
        ShowMessagePage(*w);
        QVERIFY(!w->Messages()->MsgLoaded());
        QCOMPARE(w->Messages()->NewsList()->count(), 0);
        auto* status = Find<QLabel>(w.get(), QStringLiteral("lbl_Msg_Status"));
        QVERIFY(status->isVisible());
        QCOMPARE(status->text(), said);
        QVERIFY(FMsgs->Messages.isEmpty()); // said on the page, no box in the way
        QVERIFY(!Find<QWidget>(w.get(), QStringLiteral("img_Msging_back"))->isVisible());
    }

    // --- anonymous feedback ---------------------------------------------------------------------

    void anonymousFeedback_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("server"); // 0 up, 1 stopped, 2 garbage
        QTest::addColumn<QString>("said");
        QTest::newRow("sent") << "The relay clicks twice" << 0
                              << "Thank you for your support, we will solve the problem as soon as possible!";
        QTest::newRow("empty") << "" << 0 << "Input no content!";
        QTest::newRow("blanks only") << "  \n " << 0 << "Input no content!";
        QTest::newRow("server stopped") << "The relay clicks twice" << 1 << NoConnection;
        QTest::newRow("garbage") << "The relay clicks twice" << 2 << BadAnswer;
    }
    void anonymousFeedback() {
        QFETCH(QString, text);
        QFETCH(int, server);
        QFETCH(QString, said);
        auto w = Window();
        auto* memo = Find<QPlainTextEdit>(w.get(), QStringLiteral("mmo_More_Msg"));
        auto* contact = Find<QLineEdit>(w.get(), QStringLiteral("edt_More_Contact"));
        memo->setPlainText(text);
        contact->setText(QStringLiteral("me@example.com"));
        if (server == 1)
            FSim.reset();
        else if (server == 2)
            FSim->SetFaults(SimFaults{0, false, true, false, false, {}, {}});
        QTest::mouseClick(Find<QWidget>(w.get(), QStringLiteral("img_Msg_FeedBack")), Qt::LeftButton);
        QCOMPARE(FMsgs->Messages, QStringList{said});
        QCOMPARE(memo->toPlainText(), text);
        QCOMPARE(contact->text(), QStringLiteral("me@example.com"));
        if (FSim && server == 0)
            QCOMPARE(FSim->Messages().size(), said == QLatin1String("Input no content!") ? 0 : 1);
    }

    void anonymousFeedbackNamesTheProgram_data() {
        QTest::addColumn<int>("langTab");
        QTest::addColumn<QString>("system");
        QTest::newRow("English") << int(TAB_EN) << "Quillet for Windows V1.2.6";
        QTest::newRow("Chinese") << int(TAB_CN) << "澜桥匣 for Windows V1.2.6";
    }
    void anonymousFeedbackNamesTheProgram() {
        QFETCH(int, langTab);
        QFETCH(QString, system);
        auto w = Window();
        w->img_MainSettingClick(langTab);
        Find<QPlainTextEdit>(w.get(), QStringLiteral("mmo_More_Msg"))
            ->setPlainText(QStringLiteral("继电器 3 不动作"));
        Find<QLineEdit>(w.get(), QStringLiteral("edt_More_Contact"))->setText(QStringLiteral("QQ 12345"));
        w->Img_MorClick(3);
        QCOMPARE(FSim->Messages().size(), 1);
        const CloudSim::Message& m = FSim->Messages().first();
        QCOMPARE(m.msg, QStringLiteral("继电器 3 不动作"));
        QCOMPARE(m.contact, QStringLiteral("QQ 12345"));
        QCOMPARE(m.system, system);
    }

    // --- conversation ---------------------------------------------------------------------------

    void replyArrivesAtNextOpening() {
        LogIn();
        FSim->AddSupportReply(QStringLiteral("alice"), QStringLiteral("Welcome to support"));
        FSim->SetAutoReply(QStringLiteral("We are looking into it"));
        auto w = Window();
        w->show();
        TMainMessages* m = w->Messages();
        auto* badge = Find<QWidget>(w.get(), QStringLiteral("crcl_User_Feedlist_Count"));
        m->SetUnreadReplies(QStringLiteral("1"));
        QVERIFY(!badge->isHidden());
        QCOMPARE(Find<QLabel>(w.get(), QStringLiteral("lbl_User_Feedlist_Count"))->text(),
                 QStringLiteral("1"));

        QTest::mouseClick(Find<QWidget>(w.get(), QStringLiteral("img_User_Feedlist")), Qt::LeftButton);
        QVERIFY(w->PopVisible(POP_FEEDLIST));
        QVERIFY(badge->isHidden());
        QCOMPARE(Render(m->Conversation()), QStringLiteral("S:Welcome to support"));

        // Enter sends, and the box empties because the server took it.
        auto* edit = Find<QLineEdit>(w.get(), QStringLiteral("edt_Pop_FeedList_Text"));
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("My relay 3 sticks"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(edit->text(), QString());
        QCOMPARE(Render(m->Conversation()), QStringLiteral("S:Welcome to support|U:My relay 3 sticks"));

        // The answer comes with the next opening, once.
        w->img_PopClick(29);
        QVERIFY(!w->PopVisible(POP_FEEDLIST));
        m->OpenFeedList();
        m->OpenFeedList();
        QCOMPARE(Render(m->Conversation()),
                 QStringLiteral("S:Welcome to support|U:My relay 3 sticks|S:We are looking into it"));
        QVERIFY(FMsgs->Messages.isEmpty());
    }

    void repeatedReplyShownOnce() {
        LogIn();
        FSim->SetRepeatReplies(true);
        FSim->AddSupportReply(QStringLiteral("alice"), QStringLiteral("First answer"));
        auto w = Window();
        TMainMessages* m = w->Messages();
        m->OpenFeedList();
        FSim->AddSupportReply(QStringLiteral("alice"), QStringLiteral("Second answer"));
        m->OpenFeedList();
        m->OpenFeedList();
        QCOMPARE(Render(m->Conversation()), QStringLiteral("S:First answer|S:Second answer"));
        w.reset();
        // Nor after a restart.
        auto again = Window();
        again->Messages()->OpenFeedList();
        QCOMPARE(Render(again->Messages()->Conversation()), QStringLiteral("S:First answer|S:Second answer"));
    }

    void sendRefusedKeepsText_data() {
        QTest::addColumn<bool>("logged");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("server"); // 0 up, 1 stopped, 2 garbage
        QTest::addColumn<QString>("said");
        QTest::newRow("logged out") << false << "secret" << 0 << "Login first please";
        QTest::newRow("refused") << true << "wrong" << 0 << "Account or password error";
        QTest::newRow("server stopped") << true << "secret" << 1 << NoConnection;
        QTest::newRow("garbage") << true << "secret" << 2 << BadAnswer;
    }
    void sendRefusedKeepsText() {
        QFETCH(bool, logged);
        QFETCH(QString, password);
        QFETCH(int, server);
        QFETCH(QString, said);
        if (logged)
            LogIn(password);
        auto w = Window();
        w->Messages()->OpenFeedList();
        if (server == 1)
            FSim.reset();
        else if (server == 2)
            FSim->SetFaults(SimFaults{0, false, true, false, false, {}, {}});
        FMsgs->Messages.clear();
        auto* edit = Find<QLineEdit>(w.get(), QStringLiteral("edt_Pop_FeedList_Text"));
        edit->setText(QStringLiteral("Is anybody there?"));
        QTest::mouseClick(Find<QWidget>(w.get(), QStringLiteral("img_Pop_FeedList_Send")), Qt::LeftButton);
        QCOMPARE(FMsgs->Messages, QStringList{said});
        QCOMPARE(edit->text(), QStringLiteral("Is anybody there?"));
        QCOMPARE(w->Messages()->FeedList()->count(), 0);
    }

    void loggedOutShowsStoredOnly() {
        FSim->AddSupportReply(QStringLiteral("alice"), QStringLiteral("Not for strangers"));
        WriteIni("[System]\nFeedListCount=2\n[FeedList0]\nText=Hello\nType=0\n[FeedList1]\nText=Hi, how can "
                 "we help?\nType=1\n");
        auto w = Window();
        auto* badge = Find<QWidget>(w.get(), QStringLiteral("crcl_User_Feedlist_Count"));
        w->Messages()->SetUnreadReplies(QStringLiteral("2"));
        w->Messages()->OpenFeedList();
        QVERIFY(w->PopVisible(POP_FEEDLIST));
        QCOMPARE(Render(w->Messages()->Conversation()), QStringLiteral("U:Hello|S:Hi, how can we help?"));
        QVERIFY(!badge->isHidden()); // nothing was fetched
        QCOMPARE(Find<QLabel>(w.get(), QStringLiteral("lbl_Pop_FeedList_Status"))->text(),
                 QStringLiteral("Log in to receive the replies of support."));
        // The reply waits for the login.
        LogIn();
        w->Messages()->OpenFeedList();
        QCOMPARE(Render(w->Messages()->Conversation()),
                 QStringLiteral("U:Hello|S:Hi, how can we help?|S:Not for strangers"));
        QVERIFY(badge->isHidden());
    }

    void refusedReplyListSaysWhy() {
        LogIn(QStringLiteral("wrong"));
        FSim->AddSupportReply(QStringLiteral("alice"), QStringLiteral("Only for alice"));
        auto w = Window();
        w->Messages()->SetUnreadReplies(QStringLiteral("1"));
        w->Messages()->OpenFeedList();
        QVERIFY(w->PopVisible(POP_FEEDLIST));
        QCOMPARE(w->Messages()->FeedList()->count(), 0);
        QCOMPARE(Find<QLabel>(w.get(), QStringLiteral("lbl_Pop_FeedList_Status"))->text(),
                 QStringLiteral("Account or password error"));
        QVERIFY(!Find<QWidget>(w.get(), QStringLiteral("crcl_User_Feedlist_Count"))->isHidden());
    }

    void badge_data() {
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("shown"); // empty: hidden
        QTest::newRow("three") << "3"
                               << "3";
        QTest::newRow("zero") << "0"
                              << "";
        QTest::newRow("negative") << "-2"
                                  << "";
        QTest::newRow("not a number") << "many"
                                      << "";
        QTest::newRow("hundreds") << "250"
                                  << "99+";
    }
    void badge() {
        QFETCH(QString, count);
        QFETCH(QString, shown);
        auto w = Window();
        w->Messages()->SetUnreadReplies(count);
        QCOMPARE(!Find<QWidget>(w.get(), QStringLiteral("crcl_User_Feedlist_Count"))->isHidden(),
                 !shown.isEmpty());
        if (!shown.isEmpty())
            QCOMPARE(Find<QLabel>(w.get(), QStringLiteral("lbl_User_Feedlist_Count"))->text(), shown);
    }

    void shots_data() {
        QTest::addColumn<int>("langTab");
        QTest::newRow("en") << int(TAB_EN);
        QTest::newRow("cn") << int(TAB_CN);
    }
    void shots() {
        QFETCH(int, langTab);
        FSim->AddDefaultContent();
        FSim->AddNewsLinking(QStringLiteral("Maintenance on Sunday night"), {}, 1719835200);
        WriteIni("[System]\nMessagePage=1\nFeedListCount=3\n"
                 "[FeedList0]\nText=The relay of output 3 does not switch after a power cut. "
                 "It comes back only when I switch it by hand.\nType=0\n"
                 "[FeedList1]\nText=Thank you! Which firmware does the board show?\nType=1\n"
                 "[FeedList2]\nText=2.0.4\nType=0\n");
        LogIn();
        FSim->AddSupportReply(QStringLiteral("alice"),
                              QStringLiteral("请升级到 2.1 固件，这个问题已经修复。"));
        auto w = Window();
        w->img_MainSettingClick(langTab);
        w->show();
        ShowMessagePage(*w);
        QTRY_COMPARE(w->Messages()->PendingPictures(), 0);
        QTRY_VERIFY(!Find<QWidget>(w.get(), QStringLiteral("img_Searching_back"))->isVisible());
        Shoot(*w, QStringLiteral("message-list"));

        w->Messages()->SetUnreadReplies(QStringLiteral("1"));
        w->img_MainSettingClick(TAB_USER);
        QTRY_VERIFY(!w->Sliding());
        Shoot(*w, QStringLiteral("user-feedback"));
        w->Messages()->OpenFeedList();
        Find<QLineEdit>(w.get(), QStringLiteral("edt_Pop_FeedList_Text"))
            ->setText(QStringLiteral("Thanks, it works now"));
        Shoot(*w, QStringLiteral("pop-feedlist"));
        w->HideAllPops();

        LogIn(QStringLiteral("wrong"));
        FSim.reset();
        w->Messages()->LoadMessageLists();
        w->img_MainSettingClick(TAB_MESSAGE);
        QTRY_VERIFY(!w->Sliding());
        Shoot(*w, QStringLiteral("message-failed"));
        w->Messages()->OpenFeedList();
        Shoot(*w, QStringLiteral("pop-feedlist-failed"));
    }

    void logOutHidesTheBadge() {
        LogIn();
        auto w = Window();
        auto* badge = Find<QWidget>(w.get(), QStringLiteral("crcl_User_Feedlist_Count"));
        w->Messages()->SetUnreadReplies(QStringLiteral("2"));
        w->UpdateLoginState();
        QVERIFY(!badge->isHidden());
        CloudSession.Clear();
        w->UpdateLoginState();
        QVERIFY(badge->isHidden());
    }

    void conversationOrderSurvivesRestart() {
        LogIn();
        FSim->SetAutoReply(QStringLiteral("Answer"));
        FSim->AddSupportReply(QStringLiteral("alice"), QStringLiteral("Hello from support"));
        {
            auto w = Window();
            w->Messages()->OpenFeedList();
            QVERIFY(w->Messages()->SendFeedMessage(QStringLiteral("第一个问题")));
            w->close();
        }
        {
            auto w = Window();
            QCOMPARE(Render(w->Messages()->Conversation()),
                     QStringLiteral("S:Hello from support|U:第一个问题"));
            w->Messages()->OpenFeedList();
            QVERIFY(w->Messages()->SendFeedMessage(QStringLiteral("Second question")));
            w->Messages()->OpenFeedList();
            w->close();
        }
        auto w = Window();
        QCOMPARE(Render(w->Messages()->Conversation()),
                 QStringLiteral("S:Hello from support|U:第一个问题|S:Answer|U:Second question|S:Answer"));
    }
};

QTEST_MAIN(tst_mainMessages)
#include "tst_mainMessages.moc"
