// TBitmap: decoding, rendering at a pixel ratio, drawing sharp on a 2x device.
#include "untBitmap.h"

#include <QBuffer>
#include <QPainter>
#include <QtTest>

namespace {
// (single-quoted attributes: moc does not read raw string literals)
const QByteArray Disc = "<svg xmlns='http://www.w3.org/2000/svg' width='40' height='20' viewBox='0 0 40 20'>"
                        "<rect x='0' y='0' width='40' height='20' fill='#1379B9'/>"
                        "<circle cx='10' cy='10' r='6' fill='#FA6806'/></svg>";

QByteArray Png(const QImage& img) {
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "PNG");
    return out;
}
} // namespace

class tst_untBitmap : public QObject {
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void rendersAtPixelRatio();
    void drawsSharpOnA2xDevice();
    void drawsSharpWhenScaled();
    void sharedByValue();
};

void tst_untBitmap::decode_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size"); // invalid: must not decode

    QImage red(7, 5, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QTest::newRow("svg") << Disc << QSize(40, 20);
    QTest::newRow("svg with xml head") << QByteArray("<?xml version=\"1.0\"?>\n") + Disc << QSize(40, 20);
    QTest::newRow("png") << Png(red) << QSize(7, 5);
    QTest::newRow("empty") << QByteArray() << QSize();
    QTest::newRow("garbage") << QByteArray("\x01\x02\x03 not a picture") << QSize();
    QTest::newRow("cut svg") << Disc.left(60) << QSize();
    QTest::newRow("svg without size")
        << QByteArray("<svg xmlns='http://www.w3.org/2000/svg'></svg>") << QSize();
    QTest::newRow("svg absurdly large")
        << QByteArray("<svg xmlns='http://www.w3.org/2000/svg' width='100000' height='100000'>"
                      "<rect width='10' height='10'/></svg>")
        << QSize();
    QTest::newRow("cut png") << Png(red).left(30) << QSize();
}

void tst_untBitmap::decode() {
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);
    const TBitmap b = TBitmap::FromData(data, "x");
    QCOMPARE(b.isNull(), !size.isValid());
    QCOMPARE(b.size(), size.isValid() ? size : QSize());
}

void tst_untBitmap::rendersAtPixelRatio() {
    const TBitmap b = TBitmap::FromSvg(Disc);
    QVERIFY(b.isVector());
    const QImage one = b.toImage(QSize(40, 20), 1.0);
    const QImage two = b.toImage(QSize(40, 20), 2.0);
    QCOMPARE(one.size(), QSize(40, 20));
    QCOMPARE(two.size(), QSize(80, 40));
    QCOMPARE(two.devicePixelRatio(), 2.0);
    QCOMPARE(two.deviceIndependentSize(), QSizeF(40, 20));
    QVERIFY(b.toImage(QSize(), 1.0).isNull());
    QVERIFY(b.toImage(QSize(10, 10), 0).isNull());
}

// Drawn on a 2x canvas the picture is rendered at 2x, not drawn at 1x and blown up.
void tst_untBitmap::drawsSharpOnA2xDevice() {
    const TBitmap b = TBitmap::FromSvg(Disc);
    QImage canvas(QSize(80, 40), QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(2.0);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    b.draw(p, QRectF(0, 0, 40, 20));
    p.end();
    const QImage expected = b.toImage(QSize(40, 20), 2.0).convertToFormat(canvas.format());
    QCOMPARE(canvas.size(), expected.size());
    QCOMPARE(canvas.convertToFormat(QImage::Format_ARGB32), expected.convertToFormat(QImage::Format_ARGB32));
}

void tst_untBitmap::drawsSharpWhenScaled() {
    const TBitmap b = TBitmap::FromSvg(Disc);
    QImage canvas(QSize(120, 60), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    p.scale(3, 3);
    b.draw(p, QRectF(0, 0, 40, 20));
    p.end();
    const QImage expected = b.toImage(QSize(120, 60), 1.0);
    QCOMPARE(canvas.convertToFormat(QImage::Format_ARGB32), expected.convertToFormat(QImage::Format_ARGB32));
}

void tst_untBitmap::sharedByValue() {
    const TBitmap a = TBitmap::FromSvg(Disc, "a");
    const TBitmap copy = a;
    QVERIFY(copy == a);
    QVERIFY(!(TBitmap::FromSvg(Disc, "a") == a));
    QVERIFY(TBitmap() == TBitmap());
    QCOMPARE(copy.name(), QString("a"));
}

QTEST_MAIN(tst_untBitmap)
#include "tst_untBitmap.moc"
