// The named pictures: every name the window asks for loads (whatever its case) at the size the
// window places it; a missing or broken picture leaves the target empty and raises nothing.
#include "untImage.h"
#include "untResImages.h"

#include <QPainter>
#include <QRegularExpression>
#include <QtTest>

namespace {
// Name and, where the window lays it out at a fixed size, that size.
struct Required {
    QString name;
    QSize size;
};

QList<Required> RequiredPictures() {
    const QSize any;
    QList<Required> r{
        {"Account_BG", any},
        {"Add_N", {40, 40}},
        {"Add_HL", {40, 40}},
        {"Alarm_ON", any},
        {"Alarm_HL", any},
        {"Alarm_OFF", any},
        {"Button_N", any},
        {"Button_HL", any},
        {"CellRemove_N", any},
        {"CellRemove_HL", any},
        {"Clock_N", {40, 40}},
        {"Clock_HL", {40, 40}},
        {"Close_E", any},
        {"Close_N", any},
        {"Close_HL", any},
        {"ControlCell_BG", {330, 104}},
        {"Del_N", any},
        {"Del_HL", any},
        {"DeviceCell_N", any},
        {"DeviceCell_S", any},
        {"Edit_N", {40, 40}},
        {"Edit_HL", {40, 40}},
        {"Edit_HL2", {40, 40}},
        {"Home_N", any},
        {"Home_S", any},
        {"Setting_N", any},
        {"Setting_S", any},
        {"Message_N", any},
        {"Message_S", any},
        {"More_N", any},
        {"More_S", any},
        {"IR_N", {80, 80}},
        {"IR_HL", {80, 80}},
        {"IR_UN", {80, 80}},
        {"Light_N", {40, 40}},
        {"Light_HL", {40, 40}},
        {"ListButton_N", any},
        {"ListButton_HL", any},
        {"Lock", {30, 30}},
        {"Unlock", {30, 30}},
        {"LockBlind", {80, 80}},
        {"LoginBtn_N", any},
        {"LoginBtn_HL", any},
        {"Login_BG", any},
        {"Log_BG", any},
        {"Log_OFF", any},
        {"Log_ON", any},
        {"MainSettingBG_N", any},
        {"MainSettingBG_S", any},
        {"Main_Boy", any},
        {"MsgCell_BG", {400, 80}},
        {"NetOffLine", any},
        {"NetOnLine", any},
        {"WifiOffLine", any},
        {"WifiOnLine", any},
        {"Pop_BG", any},
        {"Power_ON", {80, 80}},
        {"Power_OFF", {80, 80}},
        {"Power_HL", {80, 80}},
        {"PWMText_N", {88, 30}},
        {"Refresh_N", {40, 40}},
        {"Refresh_HL", {40, 40}},
        {"Remove_N", {40, 40}},
        {"Remove_HL", {40, 40}},
        {"Signal_ON", {80, 80}},
        {"Signal_OFF", {80, 80}},
        {"TaskList_BG", any},
        {"TaskWeek_N", any},
        {"TaskWeek_HL", any},
        {"Transparent", any},
    };
    for (int i = 0; i < 12; ++i)
        r.append({QStringLiteral("Device_img%1").arg(i), {80, 80}});
    for (int i = 0; i <= 16; ++i)
        r.append({QStringLiteral("Device_Type%1").arg(i), any});
    return r;
}

QString Mixed(const QString& s) {
    QString out = s;
    for (int i = 0; i < out.size(); ++i)
        out[i] = i % 2 ? out[i].toLower() : out[i].toUpper();
    return out;
}
} // namespace

class tst_untResImages : public QObject {
    Q_OBJECT

private slots:
    void requiredPictureLoads_data();
    void requiredPictureLoads();
    void namesListed();
    void missingOrBrokenGivesEmpty_data();
    void missingOrBrokenGivesEmpty();
    void loadersEmptyTheirTarget();
    void pressedAndSelectedDiffer_data();
    void pressedAndSelectedDiffer();
    void ctrlListImgs();
};

void tst_untResImages::requiredPictureLoads_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    for (const Required& r : RequiredPictures()) {
        QTest::addRow("%s", qPrintable(r.name)) << r.name << r.size;
        QTest::addRow("%s lower", qPrintable(r.name)) << r.name.toLower() << r.size;
        QTest::addRow("%s upper", qPrintable(r.name)) << r.name.toUpper() << r.size;
        QTest::addRow("%s mixed", qPrintable(r.name)) << Mixed(r.name) << r.size;
    }
}

void tst_untResImages::requiredPictureLoads() {
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QVERIFY(ResPictureExists(name));
    const TBitmap b = ResBitmap(name);
    QVERIFY(!b.isNull());
    QVERIFY(!b.size().isEmpty());
    QCOMPARE(b.name().toLower(), name.toLower());
    if (size.isValid())
        QCOMPARE(b.size(), size);
    const QImage img = b.toImage();
    QCOMPARE(img.size(), b.size());
    // Every picture but the empty one draws something.
    if (name.compare("Transparent", Qt::CaseInsensitive) != 0) {
        bool painted = false;
        for (int y = 0; y < img.height() && !painted; ++y)
            for (int x = 0; x < img.width() && !painted; ++x)
                painted = qAlpha(img.pixel(x, y)) > 0;
        QVERIFY(painted);
    }
}

void tst_untResImages::namesListed() {
    const QStringList names = ResPictureNames();
    for (const Required& r : RequiredPictures())
        QVERIFY2(names.contains(r.name), qPrintable(r.name)); // listed in its own spelling
    // Numbers in order.
    QVERIFY(names.indexOf("Device_img2") < names.indexOf("Device_img10"));
}

void tst_untResImages::missingOrBrokenGivesEmpty_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "No_Such_Picture";
    QTest::newRow("empty name") << "";
    QTest::newRow("model beyond the set") << "Device_Type200";
    QTest::newRow("path-like") << "../pictures/Power_ON";
    QTest::newRow("with extension") << "Power_ON.svg";
    QTest::newRow("broken svg") << "Broken_Svg";
    QTest::newRow("broken png") << "broken_png";
    QTest::newRow("text, not a picture") << "Not_A_Picture";
}

void tst_untResImages::missingOrBrokenGivesEmpty() {
    QFETCH(QString, name);
    if (!name.startsWith("Broken", Qt::CaseInsensitive) && !name.startsWith("Not_"))
        QTest::failOnWarning(QRegularExpression(".*")); // a missing name is not worth a warning
    const TBitmap b = ResBitmap(name);
    QVERIFY(b.isNull());
    QVERIFY(b.size().isEmpty());
    QVERIFY(b.toImage(QSize(10, 10)).isNull());
    // Drawing an empty picture draws nothing and does not fail.
    QImage canvas(8, 8, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    b.draw(p, QRectF(0, 0, 8, 8));
    p.end();
    QCOMPARE(canvas.pixel(4, 4), qRgba(0, 0, 0, 0));
}

void tst_untResImages::loadersEmptyTheirTarget() {
    QWidget owner;
    auto* img = new TImage(&owner);
    LoadResImage(img, "Power_ON");
    QCOMPARE(img->Bitmap().name(), QString("Power_ON"));
    LoadResImage(img, "No_Such_Picture");
    QVERIFY(img->Bitmap().isNull());
    LoadResImage(img, "broken_svg");
    QVERIFY(img->Bitmap().isNull());

    auto* rect = new TRectangle(&owner);
    LoadResFill(rect, "device_type3");
    QCOMPARE(rect->FillKind(), TRectangle::TFillKind::Bitmap);
    QCOMPARE(rect->FillBitmap().name(), QString("Device_Type3"));
    LoadResFill(rect, "Broken_Png");
    QCOMPARE(rect->FillKind(), TRectangle::TFillKind::None);
    QVERIFY(rect->FillBitmap().isNull());

    LoadResImage(nullptr, "Power_ON");
    LoadResFill(nullptr, "Power_ON");
}

// A pressed, selected or "on" picture must not be the normal one drawn again.
void tst_untResImages::pressedAndSelectedDiffer_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    const QList<std::pair<QString, QString>> pairs{
        {"Add_N", "Add_HL"},
        {"Alarm_ON", "Alarm_HL"},
        {"Alarm_ON", "Alarm_OFF"},
        {"Button_N", "Button_HL"},
        {"CellRemove_N", "CellRemove_HL"},
        {"Clock_N", "Clock_HL"},
        {"Close_N", "Close_HL"},
        {"Close_N", "Close_E"},
        {"Close_E", "Close_HL"},
        {"Del_N", "Del_HL"},
        {"DeviceCell_N", "DeviceCell_S"},
        {"Edit_N", "Edit_HL"},
        {"Edit_N", "Edit_HL2"},
        {"Home_N", "Home_S"},
        {"Setting_N", "Setting_S"},
        {"Message_N", "Message_S"},
        {"More_N", "More_S"},
        {"IR_N", "IR_HL"},
        {"IR_N", "IR_UN"},
        {"Light_N", "Light_HL"},
        {"ListButton_N", "ListButton_HL"},
        {"Lock", "Unlock"},
        {"LoginBtn_N", "LoginBtn_HL"},
        {"Log_OFF", "Log_ON"},
        {"MainSettingBG_N", "MainSettingBG_S"},
        {"NetOffLine", "NetOnLine"},
        {"WifiOffLine", "WifiOnLine"},
        {"Power_ON", "Power_OFF"},
        {"Power_ON", "Power_HL"},
        {"Power_OFF", "Power_HL"},
        {"Refresh_N", "Refresh_HL"},
        {"Remove_N", "Remove_HL"},
        {"Signal_ON", "Signal_OFF"},
        {"TaskWeek_N", "TaskWeek_HL"},
        {"TaskWeek_N", "Transparent"},
    };
    for (const auto& [a, b] : pairs)
        QTest::addRow("%s / %s", qPrintable(a), qPrintable(b)) << a << b;
}

void tst_untResImages::pressedAndSelectedDiffer() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    const QImage ia = ResBitmap(a).toImage(), ib = ResBitmap(b).toImage();
    QCOMPARE(ia.size(), ib.size()); // they replace each other in place
    // Clearly different: a good share of the pixels changes, not a few.
    int changed = 0;
    for (int y = 0; y < ia.height(); ++y)
        for (int x = 0; x < ia.width(); ++x) {
            const QRgb p = ia.pixel(x, y), q = ib.pixel(x, y);
            const int d = std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                          std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
            changed += d > 60;
        }
    const double share = double(changed) / (ia.width() * ia.height());
    QVERIFY2(share > 0.05, qPrintable(QString("only %1% of the pixels differ").arg(share * 100, 0, 'f', 1)));
}

void tst_untResImages::ctrlListImgs() {
    LoadCtrlListImgs();
    QCOMPARE(CtrlListImgs.size(), CtrlListImgCount);
    for (int i = 0; i < CtrlListImgCount; ++i) {
        QCOMPARE(CtrlListImgs[i].name(), QStringLiteral("Device_img%1").arg(i));
        QVERIFY(CtrlListImg(i) == CtrlListImgs[i]);
    }
    QVERIFY(CtrlListImg(12) == CtrlListImgs[0]);
    QVERIFY(CtrlListImg(20) == CtrlListImgs[0]);
    QVERIFY(CtrlListImg(-1) == CtrlListImgs[0]);
    // The twelve are twelve different pictures.
    QSet<QByteArray> seen;
    for (const TBitmap& b : std::as_const(CtrlListImgs)) {
        const QImage img = b.toImage();
        seen.insert(QByteArray(reinterpret_cast<const char*>(img.constBits()), int(img.sizeInBytes())));
    }
    QCOMPARE(seen.size(), CtrlListImgCount);
    FreeCtrlListImgs();
    QVERIFY(CtrlListImgs.isEmpty());
    QVERIFY(CtrlListImg(0).isNull());
}

QTEST_MAIN(tst_untResImages)
#include "tst_untResImages.moc"
