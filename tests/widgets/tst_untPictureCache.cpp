#include "untPictureCache.h"

#include <QtTest>

class TestPictureCache : public QObject {
    Q_OBJECT
private slots:
    void rendersAtSizeAndRatio_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<qreal>("dpr");
        QTest::newRow("1x") << "Device_img0" << QSize(40, 40) << 1.0;
        QTest::newRow("2x") << "Device_img0" << QSize(40, 40) << 2.0;
        QTest::newRow("other case, odd size") << "device_IMG3" << QSize(33, 21) << 1.5;
    }
    void rendersAtSizeAndRatio() {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(qreal, dpr);
        const QPixmap p = CachedPicture(name, size, dpr);
        QVERIFY(!p.isNull());
        QCOMPARE(p.devicePixelRatio(), dpr);
        QCOMPARE(p.size(), (QSizeF(size) * dpr).toSize());
    }
    void sharesOneRendering() {
        const QPixmap a = CachedPicture("Device_img1", {24, 24}, 1.0);
        const QPixmap b = CachedPicture("DEVICE_IMG1", {24, 24}, 1.0);
        QCOMPARE(a.cacheKey(), b.cacheKey());
        QVERIFY(CachedPicture("Device_img1", {25, 24}, 1.0).cacheKey() != a.cacheKey());
        ClearPictureCache();
        QCOMPARE(CachedPicture("Device_img1", {24, 24}, 1.0).toImage(), a.toImage());
    }
    void missingOrEmptyIsNull() {
        QVERIFY(CachedPicture("No_Such_Picture", {10, 10}, 1.0).isNull());
        QVERIFY(CachedPicture("Device_img0", {0, 10}, 1.0).isNull());
        QVERIFY(CachedBitmap("No_Such_Picture").isNull());
        QVERIFY(!CachedBitmap("Device_img0").isNull());
        QCOMPARE(CachedBitmap("device_img0"), CachedBitmap("Device_img0"));
    }
};

QTEST_MAIN(TestPictureCache)
#include "tst_untPictureCache.moc"
