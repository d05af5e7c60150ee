// The message page, anonymous feedback and the feedback conversation end to end: the window
// offscreen on a virtual LAN (tools/virtual-lan), where its start-up search really broadcasts,
// talking to quillet-cloudsim run as its own program. Started by ctest, the program starts the
// virtual LAN and runs itself again inside its "pc" namespace; without root it exits with
// VirtualLanSkipStatus (reported as skipped).
#include "CloudSimProcess.h"
#include "VirtualLan.h"
#include "WindowLan.h"

#include "untImgBtn.h"
#include "untMainMessages.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QtTest>

namespace {

constexpr const char* InsideVar = "QUILLET_E2E_MESSAGES_INSIDE";

// quillet-cloudsim on the pc namespace's loopback; the port comes from its first line.
class TCloudSimProcess : public CloudSimProcess {
public:
    explicit TCloudSimProcess(const QStringList& args) : CloudSimProcess(QStringLiteral(CLOUDSIM), args) {}
};

QString Render(const TFeedMsgs& msgs) {
    QStringList out;
    for (const TFeedMsg& m : msgs)
        out << (m._Type ? QStringLiteral("S:") : QStringLiteral("U:")) + m.Msg;
    return out.join(QLatin1Char('|'));
}

} // namespace

class tst_e2e_messages : public QObject {
    Q_OBJECT

    std::shared_ptr<TRecordingMessages> FMsgs;

    TMainEnv LanEnv(const QString& folder, const QString& cloud) const {
        TMainEnv env = VirtualLanEnv(folder, FMsgs, 1000);
        env.CloudServer = cloud;
        return env;
    }

    static void LogIn() {
        CloudSession.Clear();
        CloudSession.SetAccount(QStringLiteral("alice"));
        CloudSession.SetPassword(QStringLiteral("secret"));
        CloudSession.Logged = true;
    }

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

    void messagesFeedbackAndConversation() {
        TCloudSimProcess sim({QStringLiteral("--account"), QStringLiteral("alice:secret"),
                              QStringLiteral("--support-reply"), QStringLiteral("alice:Welcome to support"),
                              QStringLiteral("--auto-reply"), QStringLiteral("We are on it"),
                              QStringLiteral("--no-default-content"), QStringLiteral("--product"),
                              QStringLiteral("Relay board 4:QRB-4"), QStringLiteral("--news"),
                              QStringLiteral("Firmware 2.1 released"), QStringLiteral("--news-link"),
                              QStringLiteral("Local file=file:///etc/passwd")});
        QVERIFY(sim.WaitReady());
        QTemporaryDir dir;
        {
            QFile ini(dir.filePath(QStringLiteral("program.ini")));
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[System]\nLanguage=0\nMessagePage=1\n");
        }
        LogIn();
        {
            Tfrm_Main w(LanEnv(dir.path(), sim.Base()));
            w.show();
            QTRY_VERIFY_WITH_TIMEOUT(w.findChild<QWidget*>(QStringLiteral("img_Searching_back"))->isHidden(),
                                     5000);

            // The message page: its tab is there, the lists come, the pictures follow.
            auto* tab = w.findChild<QWidget*>(QStringLiteral("img_Info"));
            QVERIFY(tab->isVisible());
            QTest::mouseClick(tab, Qt::LeftButton);
            QTRY_VERIFY(w.Messages()->MsgLoaded());
            QListWidget* list = w.Messages()->NewsList();
            QList<TNewsListCell*> cells;
            for (int i = 0; i < list->count(); ++i)
                if (auto* c = qobject_cast<TNewsListCell*>(list->itemWidget(list->item(i))))
                    cells << c;
            QCOMPARE(cells.size(), 3);
            QTRY_COMPARE(w.Messages()->PendingPictures(), 0);
            QVERIFY(cells.at(0)->HasPicture());
            QTest::mouseClick(cells.at(1)->ReadButton(), Qt::LeftButton);
            QCOMPARE(FMsgs->Opened.size(), 1);
            QCOMPARE(FMsgs->Opened.first().host(), QStringLiteral("127.0.0.1"));
            QTest::mouseClick(cells.at(2)->ReadButton(), Qt::LeftButton);
            QCOMPARE(FMsgs->Messages, QStringList{QStringLiteral("Read message failed!")});
            QCOMPARE(FMsgs->Opened.size(), 1);
            FMsgs->Messages.clear();

            // Anonymous feedback from the More page.
            w.img_MainSettingClick(TAB_MORE);
            QTRY_VERIFY(!w.Sliding());
            w.findChild<QPlainTextEdit*>(QStringLiteral("mmo_More_Msg"))
                ->setPlainText(QStringLiteral("Hello"));
            QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("img_Msg_FeedBack")), Qt::LeftButton);
            QCOMPARE(FMsgs->Messages,
                     QStringList{QStringLiteral(
                         "Thank you for your support, we will solve the problem as soon as possible!")});
            FMsgs->Messages.clear();

            // The conversation: the waiting reply, a message sent with Enter, the answer at the
            // next opening.
            w.Messages()->SetUnreadReplies(QStringLiteral("1"));
            w.img_MainSettingClick(TAB_USER);
            QTRY_VERIFY(!w.Sliding());
            QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("img_User_Feedlist")), Qt::LeftButton);
            QVERIFY(w.PopVisible(POP_FEEDLIST));
            QVERIFY(w.findChild<QWidget*>(QStringLiteral("crcl_User_Feedlist_Count"))->isHidden());
            auto* edit = w.findChild<QLineEdit*>(QStringLiteral("edt_Pop_FeedList_Text"));
            QTest::keyClicks(edit, QStringLiteral("Relay 3 sticks"));
            QTest::keyClick(edit, Qt::Key_Return);
            QCOMPARE(edit->text(), QString());
            w.img_PopClick(29);
            QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("img_User_Feedlist")), Qt::LeftButton);
            QCOMPARE(Render(w.Messages()->Conversation()),
                     QStringLiteral("S:Welcome to support|U:Relay 3 sticks|S:We are on it"));
            QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
            w.close();
        }
        // A restart shows the conversation in its order, logged out too.
        CloudSession.Clear();
        Tfrm_Main again(LanEnv(dir.path(), sim.Base()));
        again.Messages()->OpenFeedList();
        QCOMPARE(Render(again.Messages()->Conversation()),
                 QStringLiteral("S:Welcome to support|U:Relay 3 sticks|S:We are on it"));
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet(InsideVar))
        return RunInVirtualLan("tst_e2e_messages", InsideVar, {"--boardsim", BOARDSIM}, argc, argv);
    QApplication app(argc, argv);
    tst_e2e_messages test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_messages.moc"
