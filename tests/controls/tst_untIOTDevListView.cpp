// The visible device list, clicked where a user clicks: what each part of a row does in each
// connection state, the positions the events carry, and where the title icons sit. Devices are
// put into their states without any connection (no address, or the relay host "0.0.0.0").
#include "untIOTDevListView.h"
#include "untIni.h"
#include "untLang.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Click = QPair<int, int>;

void Force(TNEV_IOTDevConn* c, TIOTNETSTYLE style, TIOTNETSTATE state) {
    if (style == TIOTNETSTYLE::NET_LAN)
        c->setDevIPStr({});
    else
        c->setNetIPStr(QStringLiteral("0.0.0.0"));
    c->setNetStyle(style);
    c->setNetState(state);
}

TIniDevs Devices(int n) {
    TIniDevs devs;
    for (int i = 0; i < n; ++i) {
        TIniDev d;
        d.Name = QStringLiteral("Board %1").arg(i);
        d.MAC = QStringLiteral("AA-BB-CC-DD-EE-%1").arg(i, 2, 10, QChar('0'));
        d.DevType = quint8(i);
        devs << d;
    }
    return devs;
}

struct Fixture {
    explicit Fixture(int n, int fadeMs = 0) {
        list.setCloudHost(QStringLiteral("0.0.0.0"));
        list.Add(Devices(n));
        list.setUi(
            {[this](const QString& t) { messages << t; }, {}, [this](const QString& u) { urls << u; }});
        list.OnIOTListClick = [this](int i, int t) { clicks << Click(i, t); };
        view.setDurations({0, fadeMs, 0, 0});
        view.resize(860, 560);
        view.show();
    }
    QWidget* Viewport() { return view.Rows()->viewport(); }
    void ClickPart(int index, int tag) {
        const QRect r = view.ItemPartRect(index, tag);
        QVERIFY2(!r.isEmpty(), "part not shown");
        QTest::mouseClick(Viewport(), Qt::LeftButton, {}, r.center());
    }
    TNEV_IOTDevList list;
    TIOTDevListView view{&list};
    QStringList messages, urls;
    QList<Click> clicks;
};

} // namespace

class tst_untIOTDevListView : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { CloudSession.Clear(); }
    void itemClick_data();
    void itemClick();
    void openUrl();
    void positionsAtClickTime();
    void emptyAreaAndIcons();
    void titleIcons_data();
    void titleIcons();
    void chineseTitle();

private:
    QTemporaryDir FDir;
};

void tst_untIOTDevListView::initTestCase() {
    QVERIFY(FDir.isValid());
    SetSettingsFolder(FDir.path());
}

void tst_untIOTDevListView::itemClick_data() {
    QTest::addColumn<TIOTNETSTYLE>("style");
    QTest::addColumn<TIOTNETSTATE>("state");
    QTest::addColumn<bool>("logged");
    QTest::addColumn<int>("tag");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("event"); // tag of OnIOTListClick for row 1, -1 for none

    using S = TIOTNETSTYLE;
    using T = TIOTNETSTATE;
    const int dev = DevListTag::Device;
    QTest::newRow("unconnected, logged out")
        << S::NET_DEFAULT << T::NET_DISCNNT << false << dev << "Please login first!" << -1;
    QTest::newRow("unconnected, logged in")
        << S::NET_DEFAULT << T::NET_OK << true << dev << "The device is disconnected!" << -1;
    QTest::newRow("lan, not verified")
        << S::NET_LAN << T::NET_CNNT << false << dev << "The device is not verified!" << -1;
    QTest::newRow("lan, connecting") << S::NET_LAN << T::NET_CNNTING << false << dev
                                     << "The device is connecting!" << -1;
    QTest::newRow("lan, disconnected")
        << S::NET_LAN << T::NET_DISCNNT << false << dev << "The device is disconnected!" << -1;
    QTest::newRow("lan, time-out") << S::NET_LAN << T::NET_TIMEOUT << false << dev
                                   << "The device connect overtime!" << -1;
    QTest::newRow("lan, connect failed")
        << S::NET_LAN << T::NET_CNNTFAILED << false << dev << "Device connection failed!" << -1;
    QTest::newRow("lan, online") << S::NET_LAN << T::NET_OK << false << dev << "" << dev;
    QTest::newRow("relay, online") << S::NET_REMOTE << T::NET_OK << true << dev << "" << dev;
    QTest::newRow("relay, account refused")
        << S::NET_REMOTE << T::NET_PSDERR << true << dev << "Account password error!" << -1;
    QTest::newRow("relay, board off-line")
        << S::NET_REMOTE << T::NET_OFFLINE << true << dev << "The device is off-line!" << -1;
    QTest::newRow("relay, no permission")
        << S::NET_REMOTE << T::NET_NOPER << true << dev << "No permission to control the device!" << -1;
    QTest::newRow("state label does nothing")
        << S::NET_REMOTE << T::NET_OK << true << int(DevListTag::Panel) << "" << -1;
    QTest::newRow("picture of a relay board does nothing")
        << S::NET_REMOTE << T::NET_OK << true << int(DevListTag::Picture) << "" << -1;
    QTest::newRow("picture of a lan board turns it")
        << S::NET_LAN << T::NET_DISCNNT << false << int(DevListTag::Picture) << "" << -1;
    QTest::newRow("remove button") << S::NET_LAN << T::NET_DISCNNT << false << int(DevListTag::Remove) << ""
                                   << int(DevListTag::Remove);
}

void tst_untIOTDevListView::itemClick() {
    QFETCH(TIOTNETSTYLE, style);
    QFETCH(TIOTNETSTATE, state);
    QFETCH(bool, logged);
    QFETCH(int, tag);
    QFETCH(QString, message);
    QFETCH(int, event);
    CloudSession.Logged = logged;
    Fixture f(3);
    Force(f.list.DevItems(1), style, state);
    if (tag == DevListTag::Remove)
        f.list.setRemoveState(true);
    f.clicks.clear();

    f.ClickPart(1, tag);
    QCOMPARE(f.messages.join('|'), message);
    if (event < 0)
        QVERIFY(f.clicks.isEmpty());
    else
        QCOMPARE(f.clicks, QList<Click>{Click(1, event)});
    if (event == DevListTag::Device) {
        QCOMPARE(f.list.NowSelect(), 1);
        QVERIFY(f.list.DevItems(1)->ClickState());
    }
    if (event == DevListTag::Remove)
        QCOMPARE(f.list.DevCount(), 2);
    const bool turned = tag == DevListTag::Picture && style == TIOTNETSTYLE::NET_LAN;
    QCOMPARE(f.list.Item(1)->ImgAnimated(), turned);
    QCOMPARE(!f.view.ItemPartRect(1, DevListTag::OpenURL).isEmpty(), turned);
}

void tst_untIOTDevListView::openUrl() {
    Fixture f(1);
    TNEV_IOTDevConn* c = f.list.DevItems(0);
    Force(c, TIOTNETSTYLE::NET_LAN, TIOTNETSTATE::NET_DISCNNT);
    c->setDevIPStr(QStringLiteral("192.0.2.7")); // shown only; nothing connects here
    f.ClickPart(0, DevListTag::Picture);
    f.ClickPart(0, DevListTag::OpenURL);
    QCOMPARE(f.urls, QStringList{"Http://192.0.2.7"});
    QVERIFY(!f.list.Item(0)->ImgAnimated());
    QVERIFY(f.view.ItemPartRect(0, DevListTag::OpenURL).isEmpty());
}

void tst_untIOTDevListView::positionsAtClickTime() {
    // The fade runs in the event loop; clicks meanwhile see the list as it is then.
    Fixture f(4, 150);
    for (int i = 0; i < 4; ++i)
        Force(f.list.DevItems(i), TIOTNETSTYLE::NET_REMOTE, TIOTNETSTATE::NET_OK);
    f.ClickPart(3, DevListTag::Device);
    const QString selected = f.list.NowDev()->DevMACStr();
    f.list.setRemoveState(true);
    QPointer<TIOTDevItem> first = f.list.Item(0);
    f.ClickPart(0, DevListTag::Remove);
    // A second click on the fading row, and one on its picture, change nothing.
    QTest::mouseClick(f.Viewport(), Qt::LeftButton, {}, f.view.ItemPartRect(0, DevListTag::Device).center());
    QTest::mouseClick(f.Viewport(), Qt::LeftButton, {}, f.view.ItemPartRect(0, DevListTag::Picture).center());
    QCOMPARE(f.clicks, (QList<Click>{{3, DevListTag::Device}}));

    QTRY_COMPARE(f.list.DevCount(), 3);
    QCOMPARE(f.clicks.last(), Click(0, DevListTag::Remove));
    QTRY_VERIFY(!first);
    QCOMPARE(f.list.NowSelect(), 2);
    QCOMPARE(f.list.NowDev()->DevMACStr(), selected);

    // The row that moved up answers with its new position.
    f.list.setRemoveState(false);
    f.ClickPart(1, DevListTag::Device);
    QCOMPARE(f.clicks.last(), Click(1, DevListTag::Device));
    QCOMPARE(f.list.DevItems(1)->DevMACStr(), QStringLiteral("AA-BB-CC-DD-EE-02"));
    QVERIFY(f.messages.isEmpty());
}

void tst_untIOTDevListView::emptyAreaAndIcons() {
    Fixture f(1);
    Force(f.list.DevItems(0), TIOTNETSTYLE::NET_REMOTE, TIOTNETSTATE::NET_OK);
    f.ClickPart(0, DevListTag::Device);
    auto* del = f.view.findChild<QWidget*>(QStringLiteral("img_DevList_Del"));
    auto* add = f.view.findChild<QWidget*>(QStringLiteral("img_DevList_Add"));
    auto* refresh = f.view.findChild<QWidget*>(QStringLiteral("img_DevList_Refresh"));
    QVERIFY(del && add && refresh);
    QTest::mouseClick(del, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(f.list.RemoveState());
    QCOMPARE(f.list.Item(0)->RemoveState(), TREMOVESTATE::REMOVE_READY);
    QTest::mouseClick(add, Qt::LeftButton, {}, QPoint(20, 20));
    // Below the last row: the empty area is the panel.
    QTest::mouseClick(f.Viewport(), Qt::LeftButton, {}, QPoint(400, 400));
    QVERIFY(!f.list.RemoveState());
    QCOMPARE(f.list.NowSelect(), -1);
    QCOMPARE(
        f.clicks,
        (QList<Click>{
            {0, DevListTag::Device}, {-1, DevListTag::Del}, {-1, DevListTag::Add}, {-1, DevListTag::Panel}}));
}

void tst_untIOTDevListView::titleIcons_data() {
    QTest::addColumn<bool>("panelShown");
    QTest::addColumn<int>("lang");
    QTest::addColumn<int>("shift");
    QTest::newRow("no control panel") << false << 300 << 0;
    QTest::newRow("control panel shown") << true << 300 << 300;
    QTest::newRow("control panel of no width") << true << 0 << 0;
}

void tst_untIOTDevListView::titleIcons() {
    QFETCH(bool, panelShown);
    QFETCH(int, lang);
    QFETCH(int, shift);
    Fixture f(2);
    f.view.setAnimatedLang(float(lang));
    f.list.setAnimated(panelShown);
    const int w = f.view.width();
    QCOMPARE(f.view.IconRect(DevListTag::Refresh).topLeft(), QPoint(4, 4));
    QCOMPARE(f.view.IconRect(DevListTag::Add).topLeft(), QPoint(w - 124 - shift, 4));
    QCOMPARE(f.view.IconRect(DevListTag::Del).topLeft(), QPoint(w - 63 - shift, 4));
    auto* title = f.view.findChild<QLabel*>(QStringLiteral("lbl_DevList_Name"));
    QCOMPARE(title->geometry().center().x(), (w - shift - 1) / 2);
    // Hiding the panel brings them back.
    f.list.setAnimated(false);
    QCOMPARE(f.view.IconRect(DevListTag::Add).topLeft(), QPoint(w - 124, 4));
}

void tst_untIOTDevListView::chineseTitle() {
    BuildLangTable();
    Fixture f(0);
    auto* title = f.view.findChild<QLabel*>(QStringLiteral("lbl_DevList_Name"));
    QCOMPARE(title->text(), QStringLiteral("Device"));
    SetLanguage(LangCn);
    QTRY_COMPARE(title->text(), QStringLiteral("设 备"));
    SetLanguage(LangEn);
    QTRY_COMPARE(title->text(), QStringLiteral("Device"));
}

QTEST_MAIN(tst_untIOTDevListView)
#include "tst_untIOTDevListView.moc"
