// The main window's picture-button rules: which buttons are of which kind, and which picture
// each pointer event shows on each kind.
#include "PointerEvents.h"
#include "untImage.h"
#include "untPressPictures.h"

#include <QtTest>

Q_DECLARE_METATYPE(TPressStyle)

class tst_untPressPictures : public QObject {
    Q_OBJECT

private slots:
    void styleOfName_data();
    void styleOfName();
    void pictures_data();
    void pictures();
    void attachByName();
    void attachMatching();
};

void tst_untPressPictures::styleOfName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("style"); // -1: not one of the window's picture buttons

    const auto rows = [](const QStringList& names, int style) {
        for (const QString& n : names)
            QTest::addRow("%s", qPrintable(n)) << n << style;
    };
    // One button of each kind shows the lookup; the table itself is not repeated here.
    rows({"img_PopAdd_Yes"}, int(TPressStyle::PushButton));
    rows({"img_User_Feedlist"}, int(TPressStyle::ListButton));
    rows({"img_Pop_DevInfo_Close"}, int(TPressStyle::CloseButton));
    rows({"img_Lock_Unlock"}, int(TPressStyle::LoginButton));
    rows({"img_Msg_Title_Refresh"}, int(TPressStyle::RefreshButton));
    // The touch-mode button swaps pictures by mode, not by pointer; the rest are not buttons.
    rows({"img_DevCtrl_PopBtn3", "img_DevCtrl_PopBtn6", "img_RedStudy_PopBtn5", "img_PopAdd_Yes2",
          "ximg_PopAdd_Yes", "img_popadd_yes", "", "img_DevList_Refresh"},
         -1);
}

void tst_untPressPictures::styleOfName() {
    QFETCH(QString, name);
    QFETCH(int, style);
    const auto found = PressStyleOf(name);
    QCOMPARE(found.has_value(), style >= 0);
    if (found)
        QCOMPARE(int(*found), style);
}

void tst_untPressPictures::pictures_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("shown");

    QTest::newRow("push: attached") << "img_PopAdd_Yes"
                                    << ""
                                    << "Button_N";
    QTest::newRow("push: press") << "img_PopAdd_Yes"
                                 << "press"
                                 << "Button_HL";
    QTest::newRow("push: release") << "img_PopAdd_Yes"
                                   << "press release"
                                   << "Button_N";
    QTest::newRow("push: leave") << "img_PopAdd_Yes"
                                 << "press leave"
                                 << "Button_N";
    QTest::newRow("push: enter") << "img_PopAdd_Yes"
                                 << "enter"
                                 << "Button_N";
    QTest::newRow("list: press") << "img_User_logoff"
                                 << "press"
                                 << "ListButton_HL";
    QTest::newRow("list: release") << "img_User_logoff"
                                   << "press release"
                                   << "ListButton_N";
    QTest::newRow("list: leave") << "img_RedStudy_PopBtn3"
                                 << "press leave"
                                 << "ListButton_N";
    QTest::newRow("close: attached") << "img_PopTask_Close"
                                     << ""
                                     << "Close_N";
    QTest::newRow("close: enter") << "img_PopTask_Close"
                                  << "enter"
                                  << "Close_E";
    QTest::newRow("close: press") << "img_PopTask_Close"
                                  << "enter press"
                                  << "Close_HL";
    QTest::newRow("close: release") << "img_PopTask_Close"
                                    << "enter press release"
                                    << "Close_E";
    QTest::newRow("close: leave") << "img_PopTask_Close"
                                  << "enter leave"
                                  << "Close_N";
    QTest::newRow("close: held pointer leaves") << "img_PopTask_Close"
                                                << "press dragout"
                                                << "Close_N";
    QTest::newRow("close: let go outside") << "img_PopTask_Close"
                                           << "press dragout releaseout"
                                           << "Close_N";
    QTest::newRow("close: out and back in") << "img_PopTask_Close"
                                            << "press dragout dragin release"
                                            << "Close_E";
    QTest::newRow("login: press") << "img_Lock_Unlock"
                                  << "press"
                                  << "LoginBtn_HL";
    QTest::newRow("login: release") << "img_User_Login_Login"
                                    << "press release"
                                    << "LoginBtn_N";
    QTest::newRow("login: leave") << "img_User_Login_Login"
                                  << "press leave"
                                  << "LoginBtn_N";
    QTest::newRow("refresh: press") << "img_Msg_Title_Refresh"
                                    << "press"
                                    << "Refresh_HL";
    QTest::newRow("refresh: release keeps pressed") << "img_Msg_Title_Refresh"
                                                    << "press release"
                                                    << "Refresh_HL";
    QTest::newRow("refresh: leave") << "img_Msg_Title_Refresh"
                                    << "press release leave"
                                    << "Refresh_N";
}

void tst_untPressPictures::pictures() {
    QFETCH(QString, name);
    QFETCH(QString, script);
    QWidget window;
    auto* img = new TImage(&window);
    img->setObjectName(name);
    img->setGeometry(0, 0, 120, 40);
    TPressPictures pictures;
    QCOMPARE(pictures.AttachByName(&window), 1);
    pointer::Run(img, script);
    QTEST(img->Bitmap().name(), "shown");
}

void tst_untPressPictures::attachByName() {
    QWidget window;
    const QStringList names{"img_PopAdd_Yes",      "img_PopAdd_No",   "img_User_Up",
                            "img_DevCtrl_PopBtn3", "lbl_User_LastIP", "img_Pop_Addmini_Close"};
    for (const QString& n : names) {
        auto* img = new TImage(&window);
        img->setObjectName(n);
    }
    TPressPictures pictures;
    QCOMPARE(pictures.AttachByName(&window), 4);
    auto* touch = window.findChild<TImage*>("img_DevCtrl_PopBtn3");
    pointer::Press(touch);
    QVERIFY(touch->Bitmap().isNull()); // left to the window's mode switch
    // The buttons of one kind share one picture.
    QVERIFY(window.findChild<TImage*>("img_PopAdd_Yes")->Bitmap() ==
            window.findChild<TImage*>("img_PopAdd_No")->Bitmap());
    // Attaching again neither doubles the rules nor changes the kind.
    QCOMPARE(pictures.AttachByName(&window), 4);
    auto* yes = window.findChild<TImage*>("img_PopAdd_Yes");
    pointer::Press(yes);
    QCOMPARE(yes->Bitmap().name(), QString("Button_HL"));
}

void tst_untPressPictures::attachMatching() {
    QWidget window;
    for (const char* n : {"img_Cell_Go1", "img_Cell_Go2", "img_Other"}) {
        auto* img = new TImage(&window);
        img->setObjectName(n);
    }
    TPressPictures pictures;
    QCOMPARE(pictures.AttachMatching(&window, "img_Cell_Go*", TPressStyle::ListButton), 2);
    auto* go = window.findChild<TImage*>("img_Cell_Go2");
    QCOMPARE(go->Bitmap().name(), QString("ListButton_N"));
    pointer::Press(go);
    QCOMPARE(go->Bitmap().name(), QString("ListButton_HL"));
    QVERIFY(window.findChild<TImage*>("img_Other")->Bitmap().isNull());
}

QTEST_MAIN(tst_untPressPictures)
#include "tst_untPressPictures.moc"
