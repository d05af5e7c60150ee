// The program's typeface resolves to a font with Chinese glyphs.
#include "untFonts.h"
#include "untImgBtn.h"

#include <QApplication>
#include <QLabel>
#include <QRawFont>
#include <QtTest>

class tst_untFonts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetupAppFonts(); }
    void chineseHasGlyphs_data();
    void chineseHasGlyphs();
    void applicationAsksForTheFamily();
};

void tst_untFonts::chineseHasGlyphs_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("window title") << QStringLiteral("澜桥匣");
    QTest::newRow("touch mode") << QStringLiteral("触动模式");
    QTest::newRow("not logged in") << QStringLiteral("未登录");
    QTest::newRow("latin too") << QStringLiteral("Quillet 1.2.6");
}

void tst_untFonts::chineseHasGlyphs() {
    QFETCH(QString, text);
    for (const QFont& font : {QFont(AppFontFamily), QApplication::font()}) {
        const QRawFont raw = QRawFont::fromFont(font);
        QVERIFY2(raw.isValid(), qPrintable(font.family()));
        for (const QChar c : text)
            QVERIFY2(c.isSpace() || raw.supportsCharacter(c),
                     qPrintable(QString("%1 has no glyph for %2").arg(raw.familyName()).arg(c)));
    }
}

void tst_untFonts::applicationAsksForTheFamily() {
    QCOMPARE(QApplication::font().families().value(0), AppFontFamily);
    QVERIFY(!QFont::substitutes(AppFontFamily).isEmpty());
    QWidget owner;
    TImageButton btn(&owner, {}, {}, {}, 0, 0, 100, 30);
    QCOMPARE(btn.Lbl_Text()->font().family(), AppFontFamily);
    QVERIFY(QRawFont::fromFont(btn.Lbl_Text()->font()).supportsCharacter(QChar(0x786E))); // 确
}

QTEST_MAIN(tst_untFonts)
#include "tst_untFonts.moc"
