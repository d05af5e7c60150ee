// TImageButton and the pointer reporting of TImage beneath it.
#include "PointerEvents.h"
#include "untFonts.h"
#include "untImgBtn.h"
#include "untResImages.h"

#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

class tst_untImgBtn : public QObject {
    Q_OBJECT

private slots:
    void pictures_data();
    void pictures();
    void sharesCallersBitmaps();
    void creation();
    void clickReports_data();
    void clickReports();
    void captionDoesNotCatchThePointer();
    void handlerMayDeleteTheButton();
};

// Which picture a button shows after a pointer script; "E" columns use a button with an enter
// picture, which no button of the window has but the class supports.
void tst_untImgBtn::pictures_data() {
    QTest::addColumn<bool>("withEnter");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("shown");

    QTest::newRow("created") << false << ""
                             << "Button_N";
    QTest::newRow("press") << false << "press"
                           << "Button_HL";
    QTest::newRow("press release") << false << "press release"
                                   << "Button_N";
    QTest::newRow("press leave") << false << "press leave"
                                 << "Button_N";
    QTest::newRow("enter without enter picture") << false << "enter"
                                                 << "Button_N";
    QTest::newRow("enter press") << false << "enter press"
                                 << "Button_HL";
    QTest::newRow("held pointer leaves") << false << "press dragout"
                                         << "Button_N";
    QTest::newRow("held pointer leaves and is let go") << false << "press dragout releaseout"
                                                       << "Button_N";
    QTest::newRow("click") << false << "click"
                           << "Button_N";
    QTest::newRow("E: enter") << true << "enter"
                              << "Close_E";
    QTest::newRow("E: enter press") << true << "enter press"
                                    << "Button_HL";
    QTest::newRow("E: enter press release") << true << "enter press release"
                                            << "Close_E";
    QTest::newRow("E: enter leave") << true << "enter leave"
                                    << "Button_N";
    QTest::newRow("E: press dragout releaseout") << true << "press dragout releaseout"
                                                 << "Button_N";
}

void tst_untImgBtn::pictures() {
    QFETCH(bool, withEnter);
    QFETCH(QString, script);
    QFETCH(QString, shown);
    QWidget owner;
    TImageButton btn(&owner, withEnter ? ResBitmap("Close_E") : TBitmap(), ResBitmap("Button_N"),
                     ResBitmap("Button_HL"), 10, 20, 120, 40);
    pointer::Run(&btn, script);
    QCOMPARE(btn.Bitmap().name(), shown);
}

void tst_untImgBtn::sharesCallersBitmaps() {
    const TBitmap n = ResBitmap("Button_N"), hl = ResBitmap("Button_HL");
    QWidget owner;
    TImageButton btn(&owner, {}, n, hl, 0, 0, 120, 40);
    QVERIFY(btn.Bitmap() == n);
    pointer::Press(&btn);
    QVERIFY(btn.Bitmap() == hl);
    // A picture loaded again is a different picture, not the caller's.
    QVERIFY(!(btn.Bitmap() == ResBitmap("Button_HL")));
}

void tst_untImgBtn::creation() {
    QWidget owner;
    auto* btn = new TImageButton(&owner, {}, ResBitmap("Button_N"), ResBitmap("Button_HL"), 15, 25, 130, 44);
    QCOMPARE(btn->parentWidget(), &owner);
    QCOMPARE(btn->geometry(), QRect(15, 25, 130, 44));
    QLabel* lbl = btn->Lbl_Text();
    QVERIFY(lbl);
    QCOMPARE(lbl->parentWidget(), btn);
    QCOMPARE(lbl->width(), 130 - 10);
    QCOMPARE(lbl->geometry().center(), btn->rect().center());
    QCOMPARE(lbl->alignment(), Qt::AlignCenter);
    QVERIFY(!lbl->wordWrap());
    QVERIFY(lbl->text().isEmpty());
    QCOMPARE(lbl->font().family(), AppFontFamily);
    btn->SetText(QStringLiteral("确定"));
    QCOMPARE(btn->Text(), QStringLiteral("确定"));
    owner.show();
    btn->resize(200, 50);
    QCOMPARE(lbl->width(), 190);
    QCOMPARE(lbl->geometry().center(), btn->rect().center());
}

// pressed / released / clicked / entered / left of the picture control beneath the button.
void tst_untImgBtn::clickReports_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("pressed");
    QTest::addColumn<int>("released");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<int>("left");

    QTest::newRow("click") << "click" << 1 << 1 << 1 << 0;
    QTest::newRow("let go outside") << "press dragout releaseout" << 1 << 1 << 0 << 1;
    QTest::newRow("out and back in") << "press dragout dragin release" << 1 << 1 << 1 << 1;
    QTest::newRow("leave after a held leave is not reported twice")
        << "press dragout releaseout leave" << 1 << 1 << 0 << 1;
    QTest::newRow("release without press") << "release" << 0 << 0 << 0 << 0;
    QTest::newRow("enter leave") << "enter leave" << 0 << 0 << 0 << 1;
}

void tst_untImgBtn::clickReports() {
    QFETCH(QString, script);
    QWidget owner;
    TImageButton btn(&owner, {}, ResBitmap("Button_N"), ResBitmap("Button_HL"), 0, 0, 100, 40);
    QSignalSpy pressed(&btn, &TImage::pressed), released(&btn, &TImage::released),
        clicked(&btn, &TImage::clicked), left(&btn, &TImage::left);
    pointer::Run(&btn, script);
    QTEST(int(pressed.count()), "pressed");
    QTEST(int(released.count()), "released");
    QTEST(int(clicked.count()), "clicked");
    QTEST(int(left.count()), "left");
}

void tst_untImgBtn::captionDoesNotCatchThePointer() {
    QWidget owner;
    owner.resize(300, 200);
    auto* btn = new TImageButton(&owner, {}, ResBitmap("Button_N"), ResBitmap("Button_HL"), 10, 10, 120, 40);
    btn->SetText("OK");
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QSignalSpy clicked(btn, &TImage::clicked);
    // Through the window system, as a real click on the caption arrives.
    QTest::mouseClick(owner.windowHandle(), Qt::LeftButton, {}, btn->geometry().center());
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(owner.childAt(btn->geometry().center()), btn);
}

void tst_untImgBtn::handlerMayDeleteTheButton() {
    QWidget owner;
    auto* btn = new TImageButton(&owner, {}, ResBitmap("Button_N"), ResBitmap("Button_HL"), 0, 0, 100, 40);
    QPointer<TImageButton> watch(btn);
    connect(btn, &TImage::released, &owner, [btn] { delete btn; });
    pointer::Click(btn);
    QVERIFY(watch.isNull());
}

QTEST_MAIN(tst_untImgBtn)
#include "tst_untImgBtn.moc"
