// TPopImageList: one report per choice with the right index, closing and emptying, item size,
// the layout of each placement and the pointer toward the anchor.
#include "PointerEvents.h"
#include "untPopImgLst.h"
#include "untResImages.h"

#include <QKeyEvent>
#include <QScrollArea>
#include <QtTest>

using P = TCalloutRectangle::TCalloutPosition;
Q_DECLARE_METATYPE(TPlacement)
Q_DECLARE_METATYPE(TCalloutRectangle::TCalloutPosition)

namespace {
// A window with an anchor in its middle, far from every edge.
struct Scene {
    QWidget host;
    TRectangle* anchor;
    TPopImageList* pop;
    QList<std::pair<QObject*, int>> chosen;

    explicit Scene(TPlacement placement = TPlacement::TopCenter, QRect anchorRect = {380, 280, 40, 30}) {
        host.resize(800, 600);
        anchor = new TRectangle(&host);
        anchor->setGeometry(anchorRect);
        pop = new TPopImageList(&host);
        pop->SetPlacement(placement);
        pop->resize(250, 250);
        pop->SetClientSquare(60);
        pop->SetPlacementTarget(anchor);
        pop->OnImgClick = [this](QObject* sender, quint16 index) { chosen.append({sender, index}); };
        host.show(); // children lay themselves out as in the running window
    }
    void Fill(int n = CtrlListImgCount) {
        for (int i = 0; i < n; ++i)
            pop->AddImg(ResBitmap(QStringLiteral("Device_img%1").arg(i)));
    }
};
} // namespace

class tst_untPopImgLst : public QObject {
    Q_OBJECT

private slots:
    void choice_data();
    void choice();
    void oneReportPerChoice();
    void reopenShowsOnlyNewPictures();
    void clientSquareResizesItems();
    void layout_data();
    void layout();
    void otherPlacementsKeepTheLayout();
    void pointsAtTheAnchor_data();
    void pointsAtTheAnchor();
    void staysInsideTheWindow();
    void closesOnClickElsewhere();
    void throughTheWindow();
    void clickInsideKeepsItOpen();
    void closesOnEsc();
    void handlerMayReopenOrDelete();
};

void tst_untPopImgLst::choice_data() {
    QTest::addColumn<int>("index");
    QTest::newRow("first") << 0;
    QTest::newRow("middle") << 5;
    QTest::newRow("last") << 11;
}

void tst_untPopImgLst::choice() {
    QFETCH(int, index);
    Scene s;
    s.Fill();
    s.pop->Popup();
    QVERIFY(s.pop->IsOpen());
    QCOMPARE(s.pop->Count(), 12);
    QCOMPARE(s.pop->Item(index)->Img()->Bitmap().name(), QStringLiteral("Device_img%1").arg(index));
    QPointer<TImageItem> item = s.pop->Item(index);
    s.pop->ListBox()->ensureWidgetVisible(item);
    pointer::Click(item->Img());
    QCOMPARE(s.chosen.size(), 1);
    QCOMPARE(s.chosen[0].first, s.pop);
    QCOMPARE(s.chosen[0].second, index);
    QVERIFY(!s.pop->IsOpen());
    QVERIFY(s.pop->isHidden());
    QCOMPARE(s.pop->Count(), 0);
    // The items are gone once the click that closed the picker has returned.
    QTRY_VERIFY(item.isNull());
    QVERIFY(s.pop->findChildren<TImageItem*>().isEmpty());
}

void tst_untPopImgLst::oneReportPerChoice() {
    Scene s;
    s.Fill(3);
    s.pop->Popup();
    TImage* img = s.pop->Item(1)->Img();
    pointer::Click(img);
    // A second click reaching the same item before it is deleted is not a second choice.
    pointer::Click(img);
    QCOMPARE(s.chosen.size(), 1);
}

void tst_untPopImgLst::reopenShowsOnlyNewPictures() {
    Scene s;
    s.Fill(5);
    s.pop->Popup();
    s.pop->ClosePopup();
    QCOMPARE(s.pop->Count(), 0);
    s.pop->AddImg(ResBitmap("Device_img7"));
    s.pop->AddImg(ResBitmap("Device_img8"));
    s.pop->Popup();
    QCOMPARE(s.pop->Count(), 2);
    QCOMPARE(s.pop->Item(0)->Img()->Bitmap().name(), QString("Device_img7"));
    pointer::Click(s.pop->Item(1)->Img());
    QCOMPARE(s.chosen.size(), 1);
    QCOMPARE(s.chosen[0].second, 1);
}

void tst_untPopImgLst::clientSquareResizesItems() {
    Scene s(TPlacement::TopCenter);
    s.Fill(4);
    s.pop->Popup();
    for (int i = 0; i < 4; ++i)
        QCOMPARE(s.pop->Item(i)->size(), QSize(60, 60));
    s.pop->SetClientSquare(48);
    QCOMPARE(s.pop->ClientSquare(), 48.0f);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(s.pop->Item(i)->size(), QSize(48, 48));
        QCOMPARE(s.pop->Item(i)->Img()->size(), QSize(48, 48));
        if (i)
            QCOMPARE(s.pop->Item(i)->x(), s.pop->Item(i - 1)->x() + 48); // a row, side by side
    }
    QCOMPARE(s.pop->height(), 48 + 11 + 20);
}

// Popup size, pointer side and list geometry per placement; L = 11, popup 250 x 250, square 60.
void tst_untPopImgLst::layout_data() {
    QTest::addColumn<TPlacement>("placement");
    QTest::addColumn<QSize>("popup");
    QTest::addColumn<TCalloutRectangle::TCalloutPosition>("pointer");
    QTest::addColumn<qreal>("offset");
    QTest::addColumn<QRect>("list");
    QTest::addColumn<bool>("horizontal");

    QTest::newRow("below") << TPlacement::Bottom << QSize(250, 91) << P::Top << 30.0 << QRect(1, 12, 248, 78)
                           << true;
    QTest::newRow("above") << TPlacement::Top << QSize(250, 91) << P::Bottom << 30.0 << QRect(1, 1, 248, 78)
                           << true;
    QTest::newRow("below, centred") << TPlacement::BottomCenter << QSize(250, 91) << P::Top << 0.0
                                    << QRect(1, 12, 248, 78) << true;
    QTest::newRow("above, centred") << TPlacement::TopCenter << QSize(250, 91) << P::Bottom << 0.0
                                    << QRect(1, 1, 248, 78) << true;
    QTest::newRow("left, centred") << TPlacement::LeftCenter << QSize(91, 250) << P::Right << 0.0
                                   << QRect(1, 1, 78, 248) << false;
    QTest::newRow("right, centred") << TPlacement::RightCenter << QSize(91, 250) << P::Left << 0.0
                                    << QRect(12, 1, 78, 248) << false;
}

void tst_untPopImgLst::layout() {
    QFETCH(TPlacement, placement);
    QFETCH(bool, horizontal);
    Scene s(placement);
    s.Fill(12);
    QTEST(s.pop->size(), "popup");
    QCOMPARE(s.pop->Callout()->geometry(), s.pop->rect());
    QTEST(s.pop->Callout()->CalloutPosition(), "pointer");
    QTEST(s.pop->Callout()->CalloutOffset(), "offset");
    QTEST(s.pop->ListBox()->geometry(), "list");
    QCOMPARE(s.pop->ListBox()->parentWidget(), s.pop->Callout());
    // Items run along the list: side by side in a row, stacked in a column.
    const QPoint step = s.pop->Item(1)->pos() - s.pop->Item(0)->pos();
    QCOMPARE(step, horizontal ? QPoint(60, 0) : QPoint(0, 60));
    QCOMPARE(s.pop->ListBox()->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff, !horizontal);
    QCOMPARE(s.pop->ListBox()->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff, horizontal);
}

void tst_untPopImgLst::otherPlacementsKeepTheLayout() {
    Scene s(TPlacement::Center);
    s.Fill(2);
    const QSize before = s.pop->size();
    const QRect list = s.pop->ListBox()->geometry();
    s.pop->SetClientSquare(40);
    QCOMPARE(s.pop->ClientSquare(), 40.0f);
    QCOMPARE(s.pop->size(), before);
    QCOMPARE(s.pop->ListBox()->geometry(), list);
    QCOMPARE(s.pop->Item(1)->size(), QSize(40, 40));
}

// Where the pointer's tip lands, in the window, for the anchor (380, 280) 40 x 30.
void tst_untPopImgLst::pointsAtTheAnchor_data() {
    QTest::addColumn<TPlacement>("placement");
    QTest::addColumn<QPoint>("tip");
    QTest::addColumn<QString>("side"); // where the popup lies relative to the anchor

    QTest::newRow("below") << TPlacement::Bottom << QPoint(400, 310) << "below";
    QTest::newRow("above") << TPlacement::Top << QPoint(400, 280) << "above";
    QTest::newRow("below, centred") << TPlacement::BottomCenter << QPoint(400, 310) << "below";
    QTest::newRow("above, centred") << TPlacement::TopCenter << QPoint(400, 280) << "above";
    QTest::newRow("left, centred") << TPlacement::LeftCenter << QPoint(380, 295) << "left";
    QTest::newRow("right, centred") << TPlacement::RightCenter << QPoint(420, 295) << "right";
}

void tst_untPopImgLst::pointsAtTheAnchor() {
    QFETCH(TPlacement, placement);
    QFETCH(QString, side);
    Scene s(placement);
    s.Fill(3);
    s.pop->Popup();
    const QPointF tip = s.pop->Callout()->mapTo(&s.host, s.pop->Callout()->PointerTip());
    QTEST(tip.toPoint(), "tip");
    const QRect pop = s.pop->geometry();
    const QRect a = s.anchor->geometry();
    if (side == "below")
        QCOMPARE(pop.top(), a.bottom() + 1);
    else if (side == "above")
        QCOMPARE(pop.bottom() + 1, a.top());
    else if (side == "left")
        QCOMPARE(pop.right() + 1, a.left());
    else
        QCOMPARE(pop.left(), a.right() + 1);
    if (placement == TPlacement::BottomCenter || placement == TPlacement::TopCenter)
        QCOMPARE(pop.center().x(), a.center().x());
    if (placement == TPlacement::Bottom || placement == TPlacement::Top)
        QCOMPARE(s.pop->Callout()->CalloutOffset(), 30.0); // pointer 30 from the left end
}

void tst_untPopImgLst::staysInsideTheWindow() {
    // The window's own use: above, centred, on a picture at the window's left edge.
    Scene s(TPlacement::TopCenter, QRect(10, 300, 60, 60));
    s.Fill(12);
    s.pop->Popup();
    QVERIFY(s.host.rect().contains(s.pop->geometry()));
    const QPointF tip = s.pop->Callout()->mapTo(&s.host, s.pop->Callout()->PointerTip());
    QCOMPARE(tip.toPoint(), QPoint(40, 300));
}

void tst_untPopImgLst::closesOnClickElsewhere() {
    Scene s;
    auto* other = new TImage(&s.host);
    other->setGeometry(10, 10, 40, 40);
    QSignalSpy pressed(other, &TImage::pressed);
    s.Fill(3);
    s.pop->Popup();
    pointer::Press(other);
    QVERIFY(!s.pop->IsOpen());
    QCOMPARE(s.pop->Count(), 0);
    QCOMPARE(s.chosen.size(), 0);
    QCOMPARE(pressed.count(), 0); // the closing press is not passed on
    pointer::Press(other);
    QCOMPARE(pressed.count(), 1);
}

// Real clicks, routed by the window system to whatever lies under the pointer.
void tst_untPopImgLst::throughTheWindow() {
    Scene s(TPlacement::TopCenter);
    auto* other = new TImage(&s.host);
    other->setGeometry(10, 10, 40, 40);
    other->show();
    QSignalSpy otherClicked(other, &TImage::clicked);
    QVERIFY(QTest::qWaitForWindowExposed(&s.host));
    s.Fill(12);
    s.pop->Popup();
    TImageItem* item = s.pop->Item(2);
    const QPoint at = item->mapTo(&s.host, item->rect().center());
    QCOMPARE(s.host.childAt(at), item->Img());
    QTest::mouseClick(s.host.windowHandle(), Qt::LeftButton, {}, at);
    QCOMPARE(s.chosen.size(), 1);
    QCOMPARE(s.chosen[0].second, 2);
    QVERIFY(!s.pop->IsOpen());

    s.Fill(3);
    s.pop->Popup();
    QTest::mouseClick(s.host.windowHandle(), Qt::LeftButton, {}, QPoint(30, 30));
    QVERIFY(!s.pop->IsOpen());
    QCOMPARE(otherClicked.count(), 0);
    QTest::mouseClick(s.host.windowHandle(), Qt::LeftButton, {}, QPoint(30, 30));
    QCOMPARE(otherClicked.count(), 1);
    QCOMPARE(s.chosen.size(), 1);
}

void tst_untPopImgLst::clickInsideKeepsItOpen() {
    Scene s;
    s.Fill(3);
    s.pop->Popup();
    pointer::Click(s.pop->Callout());
    QVERIFY(s.pop->IsOpen());
    QCOMPARE(s.pop->Count(), 3);
}

void tst_untPopImgLst::closesOnEsc() {
    Scene s;
    s.Fill(3);
    s.pop->Popup();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&s.host, &esc);
    QVERIFY(!s.pop->IsOpen());
    QCOMPARE(s.pop->Count(), 0);
}

void tst_untPopImgLst::handlerMayReopenOrDelete() {
    {
        Scene s;
        s.Fill(3);
        s.pop->OnImgClick = [&s](QObject*, quint16) {
            s.pop->ClosePopup();
            s.pop->AddImg(ResBitmap("Device_img11"));
            s.pop->Popup();
        };
        s.pop->Popup();
        pointer::Click(s.pop->Item(2)->Img());
        QVERIFY(s.pop->IsOpen());
        QCOMPARE(s.pop->Count(), 1);
    }
    {
        Scene s;
        s.Fill(3);
        QPointer<TPopImageList> watch(s.pop);
        s.pop->OnImgClick = [&s](QObject*, quint16) { delete s.pop; };
        s.pop->Popup();
        pointer::Click(s.pop->Item(0)->Img());
        QVERIFY(watch.isNull());
    }
}

QTEST_MAIN(tst_untPopImgLst)
#include "tst_untPopImgLst.moc"
