// TUnderLineLbl: the link look under the pointer and its click.
#include "PointerEvents.h"
#include "untUnderLineLbl.h"

#include <QSignalSpy>
#include <QtTest>

class tst_untUnderLineLbl : public QObject {
    Q_OBJECT

private slots:
    void look_data();
    void look();
    void click();
};

void tst_untUnderLineLbl::look_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<bool>("underline");

    QTest::newRow("created") << "" << QRgb(0xFF000000) << false;
    QTest::newRow("enter") << "enter" << QRgb(0xFF87CEEB) << true;
    QTest::newRow("enter leave") << "enter leave" << QRgb(0xFF000000) << false;
    QTest::newRow("enter leave enter") << "enter leave enter" << QRgb(0xFF87CEEB) << true;
}

void tst_untUnderLineLbl::look() {
    QFETCH(QString, script);
    QFETCH(QRgb, colour);
    QWidget owner;
    TUnderLineLbl lbl(&owner);
    lbl.setText(QStringLiteral("注册"));
    pointer::Run(&lbl, script);
    QCOMPARE(lbl.palette().color(QPalette::WindowText).rgba(), colour);
    QVERIFY(lbl.font().bold());
    QTEST(lbl.font().underline(), "underline");
    QCOMPARE(lbl.cursor().shape(), Qt::PointingHandCursor);
}

void tst_untUnderLineLbl::click() {
    QWidget owner;
    TUnderLineLbl lbl(&owner);
    lbl.resize(80, 20);
    QSignalSpy clicked(&lbl, &TUnderLineLbl::clicked);
    pointer::Click(&lbl);
    QCOMPARE(clicked.count(), 1);
    pointer::Press(&lbl);
    pointer::Release(&lbl, pointer::Outside(&lbl));
    QCOMPARE(clicked.count(), 1);
}

QTEST_MAIN(tst_untUnderLineLbl)
#include "tst_untUnderLineLbl.moc"
