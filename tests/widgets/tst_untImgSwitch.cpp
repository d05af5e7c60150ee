// TImageSwitch: pictures per pointer event, the isCanClick / isClickChange rules, cursors and the
// caption colour.
#include "PointerEvents.h"
#include "untFonts.h"
#include "untImgSwitch.h"
#include "untResImages.h"

#include <QLabel>
#include <QtTest>

class tst_untImgSwitch : public QObject {
    Q_OBJECT

private slots:
    void pointer_data();
    void pointer();
    void refusesPointerWhileCanClickOff();
    void cursorFollowsCanClick();
    void stateSetterShowsPictureAndCaptionColour();
    void stateWithoutPictureKeepsPicture();
    void creation();
};

void tst_untImgSwitch::pointer_data() {
    QTest::addColumn<bool>("canClick");
    QTest::addColumn<bool>("clickChange");
    QTest::addColumn<bool>("startOn");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("endOn");
    QTest::addColumn<int>("fired");

    QTest::newRow("click turns on") << true << true << false << "click"
                                    << "Alarm_ON" << true << 1;
    QTest::newRow("click turns off") << true << true << true << "click"
                                     << "Alarm_OFF" << false << 1;
    QTest::newRow("two clicks") << true << true << false << "click click"
                                << "Alarm_OFF" << false << 2;
    QTest::newRow("no change keeps off, still reports") << true << false << false << "click"
                                                        << "Alarm_OFF" << false << 1;
    QTest::newRow("no change keeps on, still reports") << true << false << true << "click"
                                                       << "Alarm_ON" << true << 1;
    QTest::newRow("press shows pressed") << true << true << false << "press"
                                         << "Alarm_HL" << false << 0;
    QTest::newRow("press leave shows state") << true << true << true << "press leave"
                                             << "Alarm_ON" << true << 0;
    QTest::newRow("held pointer leaves, let go outside")
        << true << true << false << "press dragout releaseout"
        << "Alarm_OFF" << false << 0;
    QTest::newRow("leave without press") << true << true << true << "enter leave"
                                         << "Alarm_ON" << true << 0;
    QTest::newRow("cannot click: press") << false << true << false << "press"
                                         << "Alarm_OFF" << false << 0;
    QTest::newRow("cannot click: click") << false << true << false << "click"
                                         << "Alarm_OFF" << false << 0;
    QTest::newRow("cannot click, no change: click on") << false << false << true << "click"
                                                       << "Alarm_ON" << true << 0;
}

void tst_untImgSwitch::pointer() {
    QFETCH(bool, canClick);
    QFETCH(bool, clickChange);
    QFETCH(bool, startOn);
    QFETCH(QString, script);
    QWidget owner;
    TImageSwitch sw(&owner, ResBitmap("Alarm_ON"), ResBitmap("Alarm_HL"), ResBitmap("Alarm_OFF"), 0, 0, 48,
                    48);
    sw.SetisON(startOn);
    sw.SetisClickChange(clickChange);
    sw.SetisCanClick(canClick);
    int fired = 0;
    TImageSwitch* sender = nullptr;
    sw.OnSwhClick = [&](TImageSwitch* s) {
        ++fired;
        sender = s;
        // The state is already changed when the handler runs.
        QCOMPARE(s->isON(), clickChange ? !startOn == bool(fired % 2) : startOn);
    };
    pointer::Run(&sw, script);
    QTEST(sw.Bitmap().name(), "shown");
    QTEST(sw.isON(), "endOn");
    QTEST(fired, "fired");
    if (fired)
        QCOMPARE(sender, &sw);
}

// Pressed while accepted, then refused: the leave changes nothing and the click is not taken.
void tst_untImgSwitch::refusesPointerWhileCanClickOff() {
    QWidget owner;
    TImageSwitch sw(&owner, ResBitmap("Alarm_ON"), ResBitmap("Alarm_HL"), ResBitmap("Alarm_OFF"), 0, 0, 48,
                    48);
    int fired = 0;
    sw.OnSwhClick = [&](TImageSwitch*) { ++fired; };
    pointer::Press(&sw);
    QCOMPARE(sw.Bitmap().name(), QString("Alarm_HL"));
    sw.SetisCanClick(false);
    pointer::Leave(&sw);
    QCOMPARE(sw.Bitmap().name(), QString("Alarm_HL"));
    pointer::Release(&sw);
    QCOMPARE(fired, 0);
    QVERIFY(!sw.isON());
}

void tst_untImgSwitch::cursorFollowsCanClick() {
    QWidget owner;
    TImageSwitch sw(&owner, ResBitmap("Alarm_ON"), ResBitmap("Alarm_HL"), ResBitmap("Alarm_OFF"), 0, 0, 48,
                    48);
    QVERIFY(sw.isCanClick());
    QCOMPARE(sw.cursor().shape(), Qt::PointingHandCursor);
    sw.SetisCanClick(false);
    QCOMPARE(sw.cursor().shape(), Qt::ArrowCursor);
    sw.SetisCanClick(false);
    QCOMPARE(sw.cursor().shape(), Qt::ArrowCursor);
    sw.SetisCanClick(true);
    QCOMPARE(sw.cursor().shape(), Qt::PointingHandCursor);
}

void tst_untImgSwitch::stateSetterShowsPictureAndCaptionColour() {
    QWidget owner;
    TImageSwitch sw(&owner, ResBitmap("TaskWeek_N"), ResBitmap("TaskWeek_HL"), ResBitmap("Transparent"), 0, 0,
                    44, 26);
    sw.SetText(" SU");
    sw.SetisON(true);
    QCOMPARE(sw.Bitmap().name(), QString("TaskWeek_N"));
    QCOMPARE(sw.Lbl_Text()->palette().color(QPalette::WindowText), QColor(Qt::white));
    sw.SetisON(false);
    QCOMPARE(sw.Bitmap().name(), QString("Transparent"));
    QCOMPARE(sw.Lbl_Text()->palette().color(QPalette::WindowText), QColor(Qt::black));
    // Setting the same state shows its picture again (a pressed picture does not stay).
    pointer::Press(&sw);
    QCOMPARE(sw.Bitmap().name(), QString("TaskWeek_HL"));
    sw.SetisON(false);
    QCOMPARE(sw.Bitmap().name(), QString("Transparent"));
}

void tst_untImgSwitch::stateWithoutPictureKeepsPicture() {
    QWidget owner;
    TImageSwitch sw(&owner, TBitmap(), ResBitmap("Alarm_HL"), ResBitmap("Alarm_OFF"), 0, 0, 48, 48);
    sw.SetisON(true);
    QVERIFY(sw.isON());
    QCOMPARE(sw.Bitmap().name(), QString("Alarm_OFF"));
    pointer::Click(&sw);
    QVERIFY(!sw.isON());
    QCOMPARE(sw.Bitmap().name(), QString("Alarm_OFF"));
}

void tst_untImgSwitch::creation() {
    QWidget owner;
    auto* sw = new TImageSwitch(&owner, ResBitmap("Alarm_ON"), ResBitmap("Alarm_HL"), ResBitmap("Alarm_OFF"),
                                5, 6, 48, 40);
    QCOMPARE(sw->parentWidget(), &owner);
    QCOMPARE(sw->geometry(), QRect(5, 6, 48, 40));
    QCOMPARE(sw->Bitmap().name(), QString("Alarm_OFF"));
    QVERIFY(!sw->isON());
    QVERIFY(sw->isClickChange());
    QVERIFY(sw->isCanClick());
    QLabel* lbl = sw->Lbl_Text();
    QCOMPARE(lbl->geometry(), sw->rect());
    QVERIFY(lbl->font().bold());
    QCOMPARE(lbl->font().family(), AppFontFamily);
    QCOMPARE(lbl->alignment(), Qt::AlignCenter);
    QVERIFY(!lbl->wordWrap());
    QVERIFY(lbl->text().isEmpty());
    QVERIFY(lbl->testAttribute(Qt::WA_TransparentForMouseEvents));
}

QTEST_MAIN(tst_untImgSwitch)
#include "tst_untImgSwitch.moc"
