// The main window offscreen, with its search on loopback and its settings in a temporary folder:
// start-up with and without program.ini, the page frame, lock and language across a restart,
// the search overlay and taken ports, popups and their password boxes, and what shutdown writes.
#include "ShellFixture.h"

#include "untAddRouter.h"
#include "untAnchorMenu.h"
#include "untIOTUDP.h"
#include "untImage.h"
#include "untImgBtn.h"
#include "untImgSwitch.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

class tst_frmMain : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FDir;
    std::shared_ptr<TRecordingMessages> FMsgs;

    std::unique_ptr<Tfrm_Main> Open(std::optional<TMainEnv> env = std::nullopt) {
        auto w = std::make_unique<Tfrm_Main>(env ? *env : LoopbackEnv(FDir->path(), FMsgs));
        w->show();
        return w;
    }
    QString IniText() const {
        QFile f(FDir->filePath(QStringLiteral("program.ini")));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    static void ClickTab(Tfrm_Main& w, int tag) {
        w.img_MainSettingClick(tag);
        QTRY_VERIFY(!w.Sliding());
    }
    static QString LabelText(const Tfrm_Main& w, const char* name) {
        return Find<QLabel>(&w, QLatin1String(name))->text();
    }

private slots:
    void init() {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
        FMsgs = std::make_shared<TRecordingMessages>();
        CloudSession.Clear();
    }

    void startWithoutSettingsFile() {
        QVERIFY(!QFile::exists(FDir->filePath(QStringLiteral("program.ini"))));
        auto w = Open();
        QCOMPARE(w->size(), QSize(1024, 680));
        QCOMPARE(w->NowMainPage(), int(TAB_DEVICE));
        QVERIFY(!w->Locked());
        QVERIFY(Find(w.get(), QStringLiteral("rctngl_Startup"))->isHidden());
        // Chinese is the default language.
        QCOMPARE(w->windowTitle(), QStringLiteral("澜桥匣 for Windows V1.2.6"));
        QCOMPARE(LabelText(*w, "lbl_MainSetting_Title_Info"), QStringLiteral("未登录"));
        // The first search ran on loopback, and its overlay goes with its window.
        QVERIFY(w->IOTUDP()->Active());
        QVERIFY(w->IOTUDP()->BroadcastAddress().isLoopback());
        QTRY_VERIFY(Find(w.get(), QStringLiteral("img_Searching_back"))->isHidden());
        QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
        QVERIFY(w->AddRouter()->isListening());
        QVERIFY(!w->tmr_Red()->isActive() && !w->tmr_RedClose()->isActive());
        w.reset();
        const QString ini = IniText();
        QVERIFY2(ini.contains(QStringLiteral("Language=1")), qPrintable(ini));
    }

    void components_data() {
        QTest::addColumn<QString>("name");
        for (const char* n : {"rctngl_MainSetting_Back",
                              "img_MainSetting_Title",
                              "lbl_MainSetting_Title_Info",
                              "img_MainSetting_LogState",
                              "img_Dev",
                              "img_Setting",
                              "img_Info",
                              "img_Other",
                              "rctngl_MainSetting_CN",
                              "rctngl_MainSetting_EN",
                              "rctngl_User_Back",
                              "rctngl_User_LoginBack",
                              "img_User_LoginBack",
                              "rctngl_Msg_Back",
                              "rctngl_Msg_Title",
                              "img_Msg_Title_Refresh",
                              "rctngl_Msg_Newslist",
                              "rctngl_More_Back",
                              "rctngl_More_Title",
                              "swh_Msg_Lang_State",
                              "lbl_Msg_Lang_State",
                              "img_More_AboutUs",
                              "img_Msg_FeedBack",
                              "img_More_Lock",
                              "img_More_Unlock",
                              "mmo_More_Msg",
                              "edt_More_Contact",
                              "rctngl_Startup",
                              "rctngl_Lock",
                              "edt_Lock_Unlock",
                              "img_Lock_Unlock",
                              "img_Searching_back",
                              "lbl_Searching_Tips1",
                              "lbl_Searching_Tips2",
                              "img_Msging_back",
                              "andctr_Msging",
                              "rctngl_Pop_Back",
                              "rctngl_Pop_Add",
                              "rctngl_Pop_Task",
                              "rctngl_Pop_TaskAdd",
                              "rctngl_Pop_Password",
                              "rctngl_Pop_Register",
                              "rctngl_Pop_DevInfo",
                              "rctngl_Pop_CloudDev",
                              "rctngl_Pop_ReName",
                              "rctngl_Pop_FeedList",
                              "rctngl_Pop_RedStudy",
                              "rctngl_Pop_Addmini",
                              "img_PopTask_Back",
                              "edt_PopAdd_MAC",
                              "edt_PopAdd_Activation",
                              "img_PopAdd_Yes",
                              "img_PopAdd_No",
                              "img_PopTask_Yes",
                              "img_PopTask_No",
                              "img_PopTask_Close",
                              "img_PopTaskAdd_Yes",
                              "img_PopTaskAdd_No",
                              "img_PopTaskAdd_Close",
                              "img_Pop_Input_Yes",
                              "img_Pop_Input_No",
                              "edt_Pop_Input_Text",
                              "img_PopPassword_Yes",
                              "img_PopPassword_No",
                              "img_Register_Yes",
                              "img_Register_No",
                              "img_Pop_Register_Close",
                              "img_Pop_DevInfo_Close",
                              "img_Pop_CloudDev_Finish",
                              "img_Pop_CloudDev_Close",
                              "img_Pop_FeedList_Send",
                              "img_Pop_FeedList_Close",
                              "edt_Pop_FeedList_Text",
                              "img_RedStudy_PopBtn1",
                              "img_RedStudy_PopBtn4",
                              "img_Addmini_Yes",
                              "img_Addmini_No",
                              "img_Pop_Addmini_Close",
                              "PopImgLst",
                              "edt_PopAddmini_MAC",
                              "edt_PopAddmini_IP",
                              "edt_PopAddmini_Port",
                              "edt_PopAddmini_PSD",
                              "Pop_DevCtrl_Light",
                              "img_DevCtrl_PopBtn1",
                              "img_DevCtrl_PopBtn3",
                              "img_DevCtrl_PopBtn5",
                              "Pop_DevCtrl_Red",
                              "img_DevCtrl_ReStudy",
                              "img_DevCtrl_Remove",
                              "rctngl_Pop_DevInfo_NewImg",
                              "img_Pop_DevInfo_AddNewImg",
                              "img_Pop_DevInfo_NewImg",
                              "img_Pop_DevInfo_ACT",
                              "edt_Pop_DevInfo_DevName",
                              "img_Pop_DevInfo_DevName",
                              "edt_Pop_DevInfo_Old",
                              "edt_Pop_DevInfo_New",
                              "edt_Pop_DevInfo_Retype",
                              "img_Pop_DevInfo_PSD",
                              "spnbx_Pop_DevInfo_Out",
                              "spnbx_Pop_DevInfo_In",
                              "spnbx_Pop_DevInfo_PWM",
                              "spnbx_Pop_DevInfo_AD",
                              "chk_Pop_DevInfo_IO_Save",
                              "img_Pop_DevInfo_IO",
                              "edt_Pop_DevInfo_RouterSearch",
                              "img_Pop_DevInfo_RouterSearch",
                              "edt_Pop_DevInfo_RouterPWD",
                              "img_Pop_DevInfo_RouterAdd",
                              "tmr_Red",
                              "tmr_RedClose"})
            QTest::newRow(n) << QString::fromLatin1(n);
    }
    void components() {
        QFETCH(QString, name);
        Tfrm_Main w(LoopbackEnv(FDir->path(), FMsgs));
        QVERIFY2(w.findChild<QObject*>(name), qPrintable(name));
    }

    void tabsSlidePages_data() {
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("page");
        QTest::newRow("user") << int(TAB_USER) << "rctngl_User_Back";
        QTest::newRow("more") << int(TAB_MORE) << "rctngl_More_Back";
        QTest::newRow("message") << int(TAB_MESSAGE) << "rctngl_Msg_Back";
    }
    void tabsSlidePages() {
        QFETCH(int, tag);
        QFETCH(QString, page);
        auto w = Open();
        QWidget* target = Find(w.get(), page);
        w->img_MainSettingClick(tag);
        QVERIFY(w->Sliding());
        // A second tab click during the slide is ignored.
        w->img_MainSettingClick(TAB_DEVICE);
        QCOMPARE(w->NowMainPage(), tag);
        QTRY_VERIFY(!w->Sliding());
        QCOMPARE(target->pos(), QPoint(0, 0));
        QVERIFY(target->isVisible());
        QVERIFY(Find(w.get(), QStringLiteral("rctngl_Dev_Back"))->isHidden());
        QCOMPARE(w->LastMainPage(), int(TAB_DEVICE));
        auto* row = Find<TImage>(w.get(), tag == TAB_USER   ? "img_Setting"
                                          : tag == TAB_MORE ? "img_Other"
                                                            : "img_Info");
        QCOMPARE(row->Bitmap().name().toLower(), QStringLiteral("mainsettingbg_s"));
        QCOMPARE(Find<TImage>(w.get(), "img_Dev")->Bitmap().name().toLower(),
                 QStringLiteral("mainsettingbg_n"));
        ClickTab(*w, TAB_DEVICE);
        QVERIFY(Find(w.get(), QStringLiteral("rctngl_Dev_Back"))->isVisible());
    }

    void devicePageLeftAndEntered() {
        auto w = Open();
        QList<bool> left;
        int shown = 0;
        w->OnLeaveDevicePage = [&](bool fromDevice) { left << fromDevice; };
        w->OnDevicePageShown = [&] { ++shown; };
        w->img_MainSettingClick(TAB_DEVICE); // already there: nothing
        QVERIFY(left.isEmpty());
        ClickTab(*w, TAB_USER);
        ClickTab(*w, TAB_MORE);
        ClickTab(*w, TAB_DEVICE);
        QCOMPARE(left, (QList<bool>{true, false, false}));
        QCOMPARE(shown, 1);
    }

    void userPageShowsLoginPanelWhenLoggedOut() {
        auto w = Open();
        ClickTab(*w, TAB_USER);
        QVERIFY(Find(w.get(), QStringLiteral("rctngl_User_LoginBack"))->isVisible());
        ClickTab(*w, TAB_DEVICE);
        CloudSession.Logged = true;
        ClickTab(*w, TAB_USER);
        QVERIFY(Find(w.get(), QStringLiteral("rctngl_User_LoginBack"))->isHidden());
    }

    void languageRelabelsAndPersists() {
        auto w = Open();
        ClickTab(*w, TAB_EN);
        QCOMPARE(w->windowTitle(), QStringLiteral("Quillet for Windows V1.2.6"));
        QCOMPARE(LabelText(*w, "lbl_Dev"), QStringLiteral("Device"));
        QCOMPARE(LabelText(*w, "lbl_MainSetting_Title_Info"), QStringLiteral("Unlogged"));
        QCOMPARE(LabelText(*w, "lbl_Msg_Lang_State"), QStringLiteral("English"));
        QCOMPARE(Find<QLineEdit>(w.get(), "edt_More_Contact")->placeholderText(),
                 QStringLiteral("(Email , QQ , Telphone ... )"));
        QVERIFY(!Find<TImageSwitch>(w.get(), "swh_Msg_Lang_State")->isON());
        // The same language button again does nothing; the other one switches back.
        ClickTab(*w, TAB_EN);
        QCOMPARE(LabelText(*w, "lbl_Dev"), QStringLiteral("Device"));
        w.reset();
        QVERIFY(IniText().contains(QStringLiteral("Language=0")));

        w = Open();
        QCOMPARE(LabelText(*w, "lbl_Dev"), QStringLiteral("Device"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Quillet for Windows V1.2.6"));
        // The switch on the More page works the same way.
        auto* swh = Find<TImageSwitch>(w.get(), "swh_Msg_Lang_State");
        swh->SetisON(true);
        w->swh_Msg_Lang_StateSwitch();
        QCOMPARE(LabelText(*w, "lbl_Dev"), QStringLiteral("设 备"));
        QCOMPARE(LabelText(*w, "lbl_Msg_Lang_State"), QStringLiteral("中文"));
        QCOMPARE(LabelText(*w, "lbl_MainSetting_Title_Info"), QStringLiteral("未登录"));
        QCOMPARE(w->windowTitle(), QStringLiteral("澜桥匣 for Windows V1.2.6"));
        w.reset();
        QVERIFY(IniText().contains(QStringLiteral("Language=1")));
    }

    void loginLabelFollowsTheSession_data() {
        QTest::addColumn<QString>("account");
        QTest::newRow("plain") << "alice";
        QTest::newRow("named like the logged-out text") << "Unlogged";
        QTest::newRow("named like the Chinese text") << "未登录";
    }
    void loginLabelFollowsTheSession() {
        QFETCH(QString, account);
        auto w = Open();
        QVERIFY(CloudSession.SetAccount(account));
        CloudSession.Logged = true;
        w->UpdateLoginState();
        for (int tag : {TAB_EN, TAB_CN, TAB_EN}) {
            ClickTab(*w, tag);
            QCOMPARE(LabelText(*w, "lbl_MainSetting_Title_Info"), account);
        }
        CloudSession.Clear();
        w->UpdateLoginState();
        QCOMPARE(LabelText(*w, "lbl_MainSetting_Title_Info"), QStringLiteral("Unlogged"));
        ClickTab(*w, TAB_CN);
        QCOMPARE(LabelText(*w, "lbl_MainSetting_Title_Info"), QStringLiteral("未登录"));
    }

    void lockAction_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<QString>("message");
        QTest::newRow("cancel") << QString() << false << QString();
        QTest::newRow("empty") << QStringLiteral("") << false << "Please enter the lock screen password!";
        QTest::newRow("password") << QStringLiteral("s3cret") << true
                                  << "Please remember to lock screen password:s3cret";
    }
    void lockAction() {
        QFETCH(QString, answer);
        QFETCH(bool, locked);
        QFETCH(QString, message);
        auto w = Open();
        ClickTab(*w, TAB_EN);
        FMsgs->InputAnswers.push_back(answer);
        w->Img_MorClick(5);
        QCOMPARE(FMsgs->Inputs.size(), size_t(1));
        QCOMPARE(FMsgs->Inputs[0].Caption, QStringLiteral("Lock screen"));
        QCOMPARE(FMsgs->Inputs[0].Prompt, QStringLiteral("Lock password"));
        QVERIFY(FMsgs->Inputs[0].Masked);
        QCOMPARE(FMsgs->Messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(w->Locked(), locked);
        QCOMPARE(w->Settings().IniReadLock(), locked ? answer : QString());
    }

    void lockedAcrossRestartAndUnlock() {
        auto w = Open();
        ClickTab(*w, TAB_EN);
        FMsgs->InputAnswers.push_back(QStringLiteral("pw1"));
        w->Img_MorClick(5);
        QVERIFY(w->Locked());
        w.reset();
        QVERIFY(IniText().contains(QStringLiteral("Lock=pw1")));

        FMsgs->Messages.clear();
        FMsgs->Inputs.clear();
        w = Open();
        QVERIFY(w->Locked());
        auto* box = Find<QLineEdit>(w.get(), "edt_Lock_Unlock");
        QCOMPARE(box->echoMode(), QLineEdit::Password);
        QApplication::setActiveWindow(w.get());
        QTRY_COMPARE(QApplication::focusWidget(), box);
        // A stored lock is used at once, without asking.
        w->Img_MorClick(5);
        QVERIFY(FMsgs->Inputs.empty());

        QTest::keyClicks(box, QStringLiteral("wrong"));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(FMsgs->Messages, QStringList{QStringLiteral("Input lock screen password error!")});
        QVERIFY(w->Locked());
        QVERIFY(box->text().isEmpty());
        QTest::keyClicks(box, QStringLiteral("pw1"));
        w->img_PopClick(30);
        QVERIFY(!w->Locked());
        QVERIFY(box->text().isEmpty());
        // Unlocking keeps the stored password: the next start is locked again.
        QCOMPARE(w->Settings().IniReadLock(), QStringLiteral("pw1"));
    }

    void lockedWindowTakesNoInputBehindIt() {
        auto w = Open();
        FMsgs->InputAnswers.push_back(QStringLiteral("pw"));
        w->Img_MorClick(5);
        QVERIFY(w->Locked());
        QApplication::setActiveWindow(w.get());
        auto* box = Find<QLineEdit>(w.get(), "edt_Lock_Unlock");
        QTRY_COMPARE(QApplication::focusWidget(), box);
        QWidget* lock = Find(w.get(), QStringLiteral("rctngl_Lock"));
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* f = QApplication::focusWidget();
            QVERIFY2(!f || f == lock || lock->isAncestorOf(f), f ? qPrintable(f->objectName()) : "");
        }
        // Behind the lock nothing reacts: tabs, popup buttons, the More page.
        w->img_MainSettingClick(TAB_MORE);
        QCOMPARE(w->NowMainPage(), int(TAB_DEVICE));
        QVERIFY(!Find(w.get(), QStringLiteral("rctngl_Main_Content"))->isEnabled());
        // Whatever is raised behind it, the lock stays in front.
        w->ShowPop(POP_ADD);
        w->ShowSearching(true, QStringLiteral("Search for devices ..."));
        const QObjectList kids = w->children();
        QWidget* topmost = nullptr;
        for (QObject* o : kids)
            if (auto* wd = qobject_cast<QWidget*>(o); wd && wd->isVisible())
                topmost = wd;
        QCOMPARE(topmost, lock);
        // Another copy asks for the window: shown, still locked.
        w->showMinimized();
        w->ShowFromOtherCopy();
        QVERIFY(w->Locked());
        QVERIFY(!w->isMinimized());
        QTRY_COMPARE(QApplication::focusWidget(), box);
        // Esc does not close the popups behind the lock.
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(w->PopVisible(POP_ADD));
    }

    void removeLock_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("after");
        QTest::newRow("none stored") << QString() << QString()
                                     << "The lock screen password function has been canceled!" << QString();
        QTest::newRow("right") << "pw" << QStringLiteral("pw")
                               << "The lock screen password function has been canceled!" << QString();
        QTest::newRow("wrong") << "pw" << QStringLiteral("px") << "Please enter the lock screen password!"
                               << "pw";
        QTest::newRow("cancel") << "pw" << QString() << QString() << "pw";
    }
    void removeLock() {
        QFETCH(QString, stored);
        QFETCH(QString, answer);
        QFETCH(QString, message);
        QFETCH(QString, after);
        {
            TIniSettings ini(FDir->path(), QStringLiteral("0123456789AB"));
            ini.IniLoad();
            QVERIFY(ini.IniWriteLanguage(false).Ok);
            QVERIFY(ini.IniWriteLock(stored).Ok);
        }
        auto w = Open();
        if (w->Locked()) {
            Find<QLineEdit>(w.get(), "edt_Lock_Unlock")->setText(stored);
            w->img_PopClick(30);
        }
        QVERIFY(!w->Locked());
        FMsgs->InputAnswers.push_back(answer);
        w->Img_MorClick(6);
        QCOMPARE(FMsgs->Inputs.size(), size_t(stored.isEmpty() ? 0 : 1));
        QCOMPARE(FMsgs->Messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(w->Settings().IniReadLock(), after);
        QVERIFY(!w->Locked());
    }

    void popupsAndEscape() {
        auto w = Open();
        QWidget* back = Find(w.get(), QStringLiteral("rctngl_Pop_Back"));
        auto* editor = Find(w.get(), QStringLiteral("rctngl_Pop_TaskAdd"));
        w->ShowPop(POP_TASK);
        w->img_PopClick(3);
        QVERIFY(back->isVisible());
        QVERIFY(editor->isVisible());
        // Closing the editor keeps the task list and the back panel up.
        w->img_PopClick(6);
        QVERIFY(editor->isHidden());
        QVERIFY(w->PopVisible(POP_TASK));
        QVERIFY(back->isVisible());
        w->img_PopClick(4);
        QVERIFY(!w->PopVisible(POP_TASK));
        QVERIFY(back->isHidden());
        // The popup's own close icon takes the back panel away too.
        w->ShowPop(POP_TASK);
        QTest::mouseClick(Find(w.get(), QStringLiteral("img_PopTask_Close")), Qt::LeftButton);
        QVERIFY(!w->PopVisible(POP_TASK));
        QVERIFY(back->isHidden());
        // Esc closes every popup and the back panel; with none open it changes nothing.
        w->ShowPop(POP_RENAME);
        QTest::keyClick(w.get(), Qt::Key_Escape);
        QVERIFY(!w->PopVisible(POP_RENAME));
        QVERIFY(back->isHidden());
        QTest::keyClick(w.get(), Qt::Key_Escape);
        QVERIFY(back->isHidden());
        // A click on the back panel closes everything too.
        w->ShowPop(POP_ADD);
        QTest::mouseClick(back, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!w->PopVisible(POP_ADD));
    }

    void popupButtonsGoToTheirHandlers() {
        auto w = Open();
        QList<int> seen;
        w->SetPopHandler(1, [&] { seen << 1; });
        w->SetPopHandler(9, [&] { seen << 9; });
        w->ShowPop(POP_ADD);
        QTest::mouseClick(Find(w.get(), QStringLiteral("img_PopAdd_Yes")), Qt::LeftButton);
        // Enter in either box of the add popup is "Add".
        QTest::keyClick(Find(w.get(), QStringLiteral("edt_PopAdd_Activation")), Qt::Key_Return);
        QTest::keyClick(Find(w.get(), QStringLiteral("edt_PopAdd_MAC")), Qt::Key_Enter);
        w->ShowPop(POP_RENAME);
        QTest::keyClick(Find(w.get(), QStringLiteral("edt_Pop_Input_Text")), Qt::Key_Return);
        QCOMPARE(seen, (QList<int>{1, 1, 1, 9}));
        QTest::mouseClick(Find(w.get(), QStringLiteral("img_PopAdd_No")), Qt::LeftButton);
        QVERIFY(!w->PopVisible(POP_ADD));
    }

    void anchoredMenus() {
        auto w = Open();
        QList<int> seen;
        w->SetPopHandler(7, [&] { seen << 7; });
        TAnchorMenu* menu = w->MenuLight();
        QWidget* anchor = Find(w.get(), QStringLiteral("img_Other"));
        menu->OpenAt(w->DevicePage(), TAnchorMenu::TSide::Left);
        menu->OpenAt(anchor, TAnchorMenu::TSide::Below);
        QVERIFY(menu->isVisible());
        QVERIFY(w->rect().contains(menu->geometry()));
        // Its buttons act and leave it open.
        QTest::mouseClick(Find(menu, QStringLiteral("img_DevCtrl_PopBtn1")), Qt::LeftButton);
        QCOMPARE(seen, QList<int>{7});
        QVERIFY(menu->isVisible());
        // A press elsewhere closes it, and only closes it.
        QTest::mouseClick(Find(w.get(), QStringLiteral("img_Setting")), Qt::LeftButton);
        QVERIFY(!menu->isVisible());
        QCOMPARE(w->NowMainPage(), int(TAB_DEVICE));
        w->MenuRed()->OpenAt(anchor, TAnchorMenu::TSide::Left);
        QTest::keyClick(w.get(), Qt::Key_Escape);
        QVERIFY(!w->MenuRed()->isVisible());
        // The lock closes it too.
        menu->OpenAt(anchor, TAnchorMenu::TSide::Left);
        w->LockScreen(true);
        QVERIFY(!menu->isVisible());
    }

    void touchModeButtonByModeAndLanguage() {
        auto w = Open();
        auto* btn = Find<TImageButton>(w.get(), "img_DevCtrl_PopBtn3");
        ClickTab(*w, TAB_EN);
        QCOMPARE(btn->Text(), QStringLiteral("Touch mode"));
        QCOMPARE(btn->Bit_N().name().toLower(), QStringLiteral("button_n"));
        w->ShowTouchMode(false);
        QCOMPARE(btn->Text(), QStringLiteral("Jog mode"));
        QCOMPARE(btn->Bit_N().name().toLower(), QStringLiteral("button_hl"));
        ClickTab(*w, TAB_CN);
        QCOMPARE(btn->Text(), QStringLiteral("点动模式"));
        w->ShowTouchMode(true);
        QCOMPARE(btn->Text(), QStringLiteral("触动模式"));
    }

    void passwordBoxesMaskedAndEmptiedOnHide_data() {
        QTest::addColumn<int>("pop");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("closeTag");
        QTest::newRow("account password") << int(POP_PASSWORD) << "edt_PopPassword_NewPassword" << 13;
        QTest::newRow("register") << int(POP_REGISTER) << "edt_Register_Password" << 15;
        QTest::newRow("add by address") << int(POP_ADDMINI) << "edt_PopAddmini_PSD" << 40;
        QTest::newRow("register by Esc") << int(POP_REGISTER) << "edt_Register_Retype" << -1;
        QTest::newRow("by the back panel") << int(POP_PASSWORD) << "edt_PopPassword_OldPassword" << 0;
        QTest::newRow("device password") << int(POP_DEVINFO) << "edt_Pop_DevInfo_Retype" << 19;
        QTest::newRow("router password") << int(POP_DEVINFO) << "edt_Pop_DevInfo_RouterPWD" << -1;
    }
    void passwordBoxesMaskedAndEmptiedOnHide() {
        QFETCH(int, pop);
        QFETCH(QString, box);
        QFETCH(int, closeTag);
        auto w = Open();
        auto* edit = Find<QLineEdit>(w.get(), box);
        QVERIFY2(edit, qPrintable(box));
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        w->ShowPop(pop);
        edit->setText(QStringLiteral("hunter2"));
        if (closeTag < 0)
            QTest::keyClick(w.get(), Qt::Key_Escape);
        else
            w->img_PopClick(closeTag);
        QVERIFY(!w->PopVisible(pop));
        QVERIFY(edit->text().isEmpty());
    }

    void searchPortTaken() {
        QUdpSocket taken;
        QVERIFY(taken.bind(QHostAddress::AnyIPv4, 0));
        TMainEnv env = LoopbackEnv(FDir->path(), FMsgs);
        env.SearchPort = taken.localPort();
        auto w = Open(env);
        QCOMPARE(FMsgs->Messages, QStringList{LangText(QStringLiteral("1901 search port is occupied!"))});
        QVERIFY(Find(w.get(), QStringLiteral("img_Searching_back"))->isHidden());
        QVERIFY(!w->IOTUDP()->Active());
        // Searching again while it is still taken: one message, no overlay left behind.
        FMsgs->Messages.clear();
        QVERIFY(!w->SearchDevices());
        QCOMPARE(FMsgs->Messages.size(), 1);
        QVERIFY(Find(w.get(), QStringLiteral("img_Searching_back"))->isHidden());
        // Once free, the next search binds it.
        taken.close();
        QVERIFY(w->SearchDevices());
        QVERIFY(w->IOTUDP()->Active());
        QVERIFY(Find(w.get(), QStringLiteral("img_Searching_back"))->isVisible());
        QTRY_VERIFY(Find(w.get(), QStringLiteral("img_Searching_back"))->isHidden());
    }

    void routerPortTakenIsQuietAndRetried() {
        QUdpSocket taken;
        QVERIFY(taken.bind(QHostAddress::AnyIPv4, 0));
        TMainEnv env = LoopbackEnv(FDir->path(), FMsgs);
        env.RouterPort = taken.localPort();
        auto w = Open(env);
        QVERIFY(FMsgs->Messages.isEmpty());
        QVERIFY(!w->AddRouter()->isListening());
        QTRY_VERIFY(!w->IOTUDP()->Searching());
        taken.close();
        QVERIFY(w->SearchDevices());
        QVERIFY(w->AddRouter()->isListening());
        QVERIFY(FMsgs->Messages.isEmpty());
    }

    void searchAnswersReachTheList() {
        // A board answering on loopback, as the LAN search's target.
        QUdpSocket board;
        QVERIFY(board.bind(QHostAddress::LocalHost, 0));
        TUDPRcvRcd rcd;
        rcd.DevType = 1;
        rcd.DevMAC = {0x5C, 0xCF, 0x7F, 1, 2, 3};
        rcd.DevIP = {127, 0, 0, 1};
        connect(&board, &QUdpSocket::readyRead, &board, [&] {
            while (board.hasPendingDatagrams()) {
                const QNetworkDatagram d = board.receiveDatagram();
                if (d.data() == SearchRequest)
                    board.writeDatagram(BuildSearchAnswer(rcd), d.senderAddress(), quint16(d.senderPort()));
            }
        });
        TMainEnv env = LoopbackEnv(FDir->path(), FMsgs);
        env.SearchTargetPort = board.localPort();
        env.SearchWindowMs = 2000;
        QList<QString> answers;
        auto w = std::make_unique<Tfrm_Main>(env);
        // The search at start is answered.
        w->OnSearchAnswer = [&](const TUDPRcvRcd& r) { answers << MACBufToStr(r.DevMAC); };
        QTRY_COMPARE(answers, QList<QString>{QStringLiteral("5C-CF-7F-01-02-03")});
    }

    void shutdownWritesStoredValues() {
        TIniDev dev;
        dev.Name = QStringLiteral("Lab");
        dev.MAC = QStringLiteral("5C-CF-7F-01-02-0A");
        dev.IP = QStringLiteral("relay.example");
        dev.DevPassword = QStringLiteral("qorvu9");
        dev.DevType = 1;
        dev.CtrlByte = 6;
        dev.DevParam.LockArr = {true, false};
        {
            TIniSettings ini(FDir->path(), QStringLiteral("0123456789AB"));
            ini.IniLoad();
            QVERIFY(ini.IniWriteDevs({dev}).Ok);
            QVERIFY(
                ini.IniWriteFeedMsgs({{false, QStringLiteral("hello")}, {true, QStringLiteral("hi")}}).Ok);
            QVERIFY(ini.IniWriteLanguage(false).Ok);
        }
        auto w = Open();
        ClickTab(*w, TAB_CN);
        FMsgs->InputAnswers.push_back(QStringLiteral("lockpw"));
        w->Img_MorClick(5);
        w->close(); // the close saves; destroying it later saves nothing more
        QVERIFY(FMsgs->Messages.filter(QStringLiteral("fail"), Qt::CaseInsensitive).isEmpty());
        const QString ini = IniText();
        QVERIFY2(ini.contains(QStringLiteral("Language=1")), qPrintable(ini));
        QVERIFY(ini.contains(QStringLiteral("Lock=lockpw")));
        // No clear device password: it is stored ciphered.
        QVERIFY(!ini.contains(QStringLiteral("qorvu9")));
        QVERIFY(!w->IOTUDP());
        w.reset();
        TIniSettings again(FDir->path(), QStringLiteral("0123456789AB"));
        again.IniLoad();
        QCOMPARE(again.IniDevs().size(), 1);
        QCOMPARE(again.IniDevs().first().MAC, dev.MAC);
        QCOMPARE(again.IniDevs().first().DevPassword, dev.DevPassword);
        QCOMPARE(again.IniFeedMsgs().size(), 2);
        QCOMPARE(again.IniReadLock(), QStringLiteral("lockpw"));
    }

    void shutdownDetachesBeforeSaving() {
        auto w = Open();
        QStringList order;
        w->OnShutdown = [&] {
            order << QStringLiteral("detach");
            QVERIFY(!w->tmr_Red()->isActive());
            QVERIFY(!w->IOTUDP()->Active());
        };
        w->CollectDevs = [&] {
            order << QStringLiteral("collect");
            return TIniDevs{};
        };
        w->tmr_Red()->start();
        w->Shutdown(false);
        QCOMPARE(order, (QStringList{QStringLiteral("detach"), QStringLiteral("collect")}));
        w->Shutdown(false); // once only
        QCOMPARE(order.size(), 2);
    }

    void heldOutputsReleasedBeforeBoxesAndLock_data() {
        QTest::addColumn<int>("action");
        QTest::newRow("message") << 0;
        QTest::newRow("lock input box") << 1;
        QTest::newRow("lock screen") << 2;
        QTest::newRow("remove-lock message") << 3;
    }
    void heldOutputsReleasedBeforeBoxesAndLock() {
        QFETCH(int, action);
        QStringList order;
        // A recorder that notes each box in the same order as the releases.
        struct TOrdered : TRecordingMessages {
            QStringList* Order = nullptr;
            void ShowMessage(QWidget* p, const QString& t) override {
                *Order << QStringLiteral("box");
                TRecordingMessages::ShowMessage(p, t);
            }
            std::optional<QString> InputQuery(QWidget* p, const QString& c, const QString& pr,
                                              const QString& i, bool m) override {
                *Order << QStringLiteral("box");
                return TRecordingMessages::InputQuery(p, c, pr, i, m);
            }
        };
        auto boxes = std::make_shared<TOrdered>();
        boxes->Order = &order;
        auto w = Open(LoopbackEnv(FDir->path(), boxes));
        w->OnBeforeModal = [&] { order << QStringLiteral("release"); };
        switch (action) {
        case 0:
            w->Msg(QStringLiteral("Input error!"));
            break;
        case 1:
            w->Img_MorClick(5);
            break;
        case 2:
            w->LockScreen(true);
            break;
        case 3:
            w->Img_MorClick(6);
            break;
        }
        QVERIFY(!order.isEmpty());
        QCOMPARE(order.first(), QStringLiteral("release"));
        for (int i = 0; i < order.size(); ++i)
            if (order[i] == QLatin1String("box"))
                QCOMPARE(order.value(i - 1), QStringLiteral("release"));
    }

    void tcpSendWithoutDeviceDropsIt() {
        auto w = Open();
        int asked = 0;
        w->SelectedDevice = [&]() -> TNEV_IOTDevConn* {
            ++asked;
            return nullptr;
        };
        w->TCPSend(QByteArray::fromHex("0203"));
        QCOMPARE(asked, 1);
        QVERIFY(FMsgs->Messages.isEmpty());
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
