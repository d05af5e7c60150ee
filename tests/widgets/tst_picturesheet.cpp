// Renders every named picture with its name, and the picture widgets in each of their states,
// into one PNG contact sheet (path in QUILLET_SHEET) for a person to review the whole set at once.
#include "untFonts.h"
#include "untImgBtn.h"
#include "untImgSwitch.h"
#include "untPopImgLst.h"
#include "untPressPictures.h"
#include "untResImages.h"
#include "untUnderLineLbl.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QPainter>
#include <QRawFont>
#include <QtTest>

#include <vector>

namespace {
const QColor ColorTitle(11, 67, 104);
const QColor ColorBar(19, 121, 185);
const QColor ColorBadge(250, 104, 6);
constexpr int SheetWidth = 1640;
constexpr int Margin = 20;

// The background each picture is shown on in the window, so that white glyphs stay visible.
QColor BackdropOf(const QString& name) {
    static const QStringList onTitle{"Add_N",     "Add_HL",     "Remove_N", "Remove_HL",
                                     "Refresh_N", "Refresh_HL", "Light_N",  "Light_HL",
                                     "Edit_HL",   "Log_OFF",    "Log_ON"};
    static const QStringList onBar{"Home_N", "Home_S", "Setting_N", "Setting_S", "Message_N", "Message_S",
                                   "More_N", "More_S", "Close_N",   "Close_E",   "Close_HL"};
    if (onTitle.contains(name, Qt::CaseInsensitive))
        return ColorTitle;
    if (onBar.contains(name, Qt::CaseInsensitive))
        return ColorBar;
    return {};
}

void Checker(QPainter& p, const QRect& r) {
    p.save();
    p.setClipRect(r);
    p.fillRect(r, QColor(0xF4, 0xF6, 0xF8));
    for (int y = r.top(); y < r.bottom(); y += 8)
        for (int x = r.left() + ((y - r.top()) / 8 % 2) * 8; x < r.right(); x += 16)
            p.fillRect(QRect(x, y, 8, 8), QColor(0xE3, 0xE8, 0xEC));
    p.restore();
}

void SendEnter(QWidget* w) {
    QEnterEvent e(QPointF(2, 2), w->mapTo(w->window(), QPointF(2, 2)), w->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(w, &e);
}

// A widget scene with its caption, laid out in the flow of the sheet.
struct TScene {
    QString caption;
    std::unique_ptr<QWidget> host;
};
} // namespace

class tst_picturesheet : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetupAppFonts(); }
    void sheet();

private:
    std::vector<TScene> WidgetScenes();
};

std::vector<TScene> tst_picturesheet::WidgetScenes() {
    std::vector<TScene> scenes;
    auto scene = [&](const QString& caption, QSize size, const QColor& back = QColor(0xF4, 0xF6, 0xF8)) {
        auto host = std::make_unique<QWidget>();
        host->resize(size);
        host->setAutoFillBackground(true);
        QPalette pal = host->palette();
        pal.setColor(QPalette::Window, back);
        host->setPalette(pal);
        QWidget* raw = host.get();
        scenes.push_back({caption, std::move(host)});
        return raw;
    };

    // Push buttons: rest and pressed, Chinese and English captions.
    const TBitmap btnN = ResBitmap("Button_N"), btnHL = ResBitmap("Button_HL");
    {
        QWidget* h = scene("TImageButton Button_N / Button_HL: rest, pressed", {280, 60});
        auto* a = new TImageButton(h, {}, btnN, btnHL, 10, 10, 120, 40);
        a->SetText(QStringLiteral("确定"));
        auto* b = new TImageButton(h, {}, btnN, btnHL, 150, 10, 120, 40);
        b->SetText(QStringLiteral("Cancel"));
        QTest::mousePress(b, Qt::LeftButton);
    }
    {
        const TBitmap n = ResBitmap("LoginBtn_N"), hl = ResBitmap("LoginBtn_HL");
        QWidget* h = scene("TImageButton LoginBtn: rest, pressed", {440, 64});
        auto* a = new TImageButton(h, {}, n, hl, 10, 10, 200, 44);
        a->SetText(QStringLiteral("登录"));
        auto* b = new TImageButton(h, {}, n, hl, 230, 10, 200, 44);
        b->SetText(QStringLiteral("Login"));
        QTest::mousePress(b, Qt::LeftButton);
    }
    {
        QWidget* h = scene("Close button rules: rest, pointer over, pressed", {170, 52}, ColorBar);
        TPressPictures pictures;
        for (int i = 0; i < 3; ++i) {
            auto* img = new TImage(h);
            img->setObjectName("img_PopTask_Close");
            img->setGeometry(10 + i * 55, 10, 32, 32);
        }
        pictures.AttachByName(h);
        const auto imgs = h->findChildren<TImage*>();
        SendEnter(imgs[1]);
        QTest::mousePress(imgs[2], Qt::LeftButton);
    }
    {
        QWidget* h = scene("List button rules: rest, pressed", {620, 120}, Qt::white);
        TPressPictures pictures;
        const QStringList captions{QStringLiteral("修改密码"), QStringLiteral("Log out")};
        for (int i = 0; i < 2; ++i) {
            auto* img = new TImage(h);
            img->setObjectName(i ? "img_User_logoff" : "img_User_NewPassword");
            img->setGeometry(10, 10 + i * 52, 600, 50);
            auto* lbl = new QLabel(captions[i], img);
            lbl->setGeometry(20, 0, 300, 50);
        }
        pictures.AttachByName(h);
        QTest::mousePress(h->findChildren<TImage*>()[1], Qt::LeftButton);
    }
    {
        QWidget* h = scene("TImageSwitch Alarm: on, off, pressed, isCanClick off", {250, 68}, Qt::white);
        const TBitmap on = ResBitmap("Alarm_ON"), hl = ResBitmap("Alarm_HL"), off = ResBitmap("Alarm_OFF");
        for (int i = 0; i < 4; ++i) {
            auto* s = new TImageSwitch(h, on, hl, off, 10 + i * 60, 10, 48, 48);
            s->SetisON(i != 1);
            if (i == 2)
                QTest::mousePress(s, Qt::LeftButton);
            if (i == 3)
                s->SetisCanClick(false);
        }
    }
    {
        QWidget* h = scene("Day switches TaskWeek_N / TaskWeek_HL / Transparent", {380, 80}, Qt::white);
        const TBitmap n = ResBitmap("TaskWeek_N"), hl = ResBitmap("TaskWeek_HL"),
                      t = ResBitmap("Transparent");
        const QStringList days{" SU", " MO", " TU", " WE", " TH", " FR", " SA"};
        for (int i = 0; i < 7; ++i) {
            auto* s = new TImageSwitch(h, n, hl, t, 10 + i * 52, 8, 44, 26);
            s->SetText(days[i]);
            s->SetisON(i % 3 != 0);
        }
        const QStringList zh{QStringLiteral("日"), QStringLiteral("一"), QStringLiteral("二")};
        for (int i = 0; i < 3; ++i) {
            auto* s = new TImageSwitch(h, n, hl, t, 10 + i * 52, 44, 44, 26);
            s->SetText(zh[i]);
            s->SetisON(i == 0);
            if (i == 2)
                QTest::mousePress(s, Qt::LeftButton);
        }
    }
    {
        QWidget* h = scene("TUnderLineLbl: rest, pointer over", {300, 44}, Qt::white);
        auto* a = new TUnderLineLbl(h);
        a->setText(QStringLiteral("注册 Register"));
        a->setGeometry(10, 10, 130, 24);
        auto* b = new TUnderLineLbl(h);
        b->setText(QStringLiteral("注册 Register"));
        b->setGeometry(160, 10, 130, 24);
        SendEnter(b);
    }
    // An output cell, as the channel cells compose the pictures: on, off and locked.
    {
        QWidget* h = scene("Channel cells composed: output on, output off + locked, input on, IR", {700, 240},
                           QColor(0xEE, 0xF4, 0xF8));
        struct Cell {
            QString img, right, name;
            bool lock;
        };
        const QList<Cell> cells{{"Device_img0", "Power_ON", QStringLiteral("客厅灯"), false},
                                {"Device_img1", "Power_OFF", QStringLiteral("Ceiling fan"), true},
                                {"Device_img4", "Signal_ON", QStringLiteral("门磁 Door"), false},
                                {"Device_img6", "IR_N", QStringLiteral("电视 TV"), false}};
        for (int i = 0; i < cells.size(); ++i) {
            const Cell& c = cells[i];
            auto* back = new TImage(h);
            LoadResImage(back, "ControlCell_BG");
            back->setGeometry(10 + (i % 2) * 345, 10 + (i / 2) * 114, 330, 104);
            auto* pic = new TImage(back);
            LoadResImage(pic, c.img);
            pic->setGeometry(14, 12, 80, 80);
            auto* name = new TUnderLineLbl(back);
            name->setText(c.name);
            name->setGeometry(104, 16, 110, 24);
            auto* right = new TImage(back);
            LoadResImage(right, c.right);
            right->setGeometry(236, 12, 80, 80);
            if (c.right.startsWith("Power")) {
                auto* clock = new TImage(back);
                LoadResImage(clock, "Clock_N");
                clock->setGeometry(104, 52, 40, 40);
                auto* lock = new TImage(back);
                LoadResImage(lock, c.lock ? "Lock" : "Unlock");
                lock->setGeometry(156, 57, 30, 30);
                if (c.lock) {
                    auto* blind = new TImage(back);
                    LoadResImage(blind, "LockBlind");
                    blind->setGeometry(236, 12, 80, 80);
                }
            }
            if (c.right == "IR_N") {
                auto* edit = new TImage(back);
                LoadResImage(edit, "Edit_N");
                edit->setGeometry(104, 52, 40, 40);
            }
        }
    }
    // A device item, normal and selected.
    {
        QWidget* h =
            scene("Device items composed: DeviceCell_N, DeviceCell_S", {790, 230}, QColor(0xEE, 0xF4, 0xF8));
        for (int i = 0; i < 2; ++i) {
            auto* rem = new TImage(h);
            LoadResImage(rem, "CellRemove_N");
            rem->setGeometry(12, 18 + i * 110 + 25, 50, 50);
            auto* back = new TImage(h);
            LoadResImage(back, i ? "DeviceCell_S" : "DeviceCell_N");
            back->setGeometry(i ? 70 : 15, 10 + i * 110, 700, 100);
            auto* pic = new TRectangle(back);
            pic->SetCornerRadius(10);
            LoadResFill(pic, i ? "Device_Type10" : "Device_Type3");
            pic->setGeometry(40, 10, 80, 80);
            auto* name = new QLabel(i ? QStringLiteral("Garage board") : QStringLiteral("客厅继电器"), back);
            QFont f = name->font();
            f.setBold(true);
            f.setPointSize(14);
            name->setFont(f);
            name->setGeometry(160, 18, 260, 30);
            auto* mac = new QLabel("5C-CF-7F-01-02-0A", back);
            mac->setGeometry(160, 54, 200, 20);
            auto* net = new TImage(back);
            LoadResImage(net, i ? "NetOffLine" : "WifiOnLine");
            net->setGeometry(600, 30, 40, 40);
            auto* state = new QLabel(i ? QStringLiteral("Disconnected") : QStringLiteral("已连接"), back);
            state->setStyleSheet("color: rgb(250,104,6)");
            state->setGeometry(440, 40, 140, 20);
        }
    }
    // The side bar with its login block and tab rows, the first tab selected.
    {
        QWidget* h =
            scene("Side bar composed: Log_BG, Log_ON, MainSettingBG_S/_N, tab icons", {230, 370}, ColorBar);
        auto* log = new TImage(h);
        LoadResImage(log, "Log_BG");
        log->setGeometry(0, 0, 230, 130);
        auto* state = new TImage(log);
        LoadResImage(state, "Log_ON");
        state->setGeometry(83, 14, 64, 64);
        auto* acc = new QLabel("demo@quillet", log);
        acc->setStyleSheet("color: white");
        acc->setAlignment(Qt::AlignCenter);
        acc->setGeometry(0, 92, 230, 24);
        const QStringList icons{"Home", "Setting", "Message", "More"};
        const QStringList labels{QStringLiteral("设备"), QStringLiteral("用户"), QStringLiteral("消息"),
                                 QStringLiteral("More")};
        for (int i = 0; i < 4; ++i) {
            auto* row = new TImage(h);
            LoadResImage(row, i == 0 ? "MainSettingBG_S" : "MainSettingBG_N");
            row->setGeometry(0, 140 + i * 56, 230, 56);
            auto* icon = new TImage(row);
            LoadResImage(icon, icons[i] + (i == 0 ? "_S" : "_N"));
            icon->setGeometry(40, 12, 32, 32);
            auto* lbl = new QLabel(labels[i], row);
            lbl->setStyleSheet("color: white; font-size: 16px");
            lbl->setGeometry(90, 12, 120, 32);
        }
    }
    // The picker in each placement of its table, anchored at the orange square.
    const QList<std::pair<TPlacement, QString>> placements{{TPlacement::Bottom, "Bottom"},
                                                           {TPlacement::Top, "Top"},
                                                           {TPlacement::BottomCenter, "BottomCenter"},
                                                           {TPlacement::TopCenter, "TopCenter"},
                                                           {TPlacement::LeftCenter, "LeftCenter"},
                                                           {TPlacement::RightCenter, "RightCenter"}};
    LoadCtrlListImgs();
    for (const auto& [placement, label] : placements) {
        const bool vertical = placement == TPlacement::LeftCenter || placement == TPlacement::RightCenter;
        QWidget* h = scene("TPopImageList " + label, vertical ? QSize(300, 320) : QSize(330, 230),
                           QColor(0xEE, 0xF4, 0xF8));
        auto* anchor = new TRectangle(h);
        anchor->SetFillColor(ColorBadge);
        anchor->SetCornerRadius(6);
        anchor->setGeometry(vertical ? 130 : 140, vertical ? 145 : 100, 40, 30);
        auto* pop = new TPopImageList(h);
        pop->SetPlacement(placement);
        if (vertical)
            pop->resize(0, 250);
        else
            pop->resize(250, 0);
        pop->SetClientSquare(60);
        pop->SetPlacementTarget(anchor);
        for (const TBitmap& b : std::as_const(CtrlListImgs))
            pop->AddImg(b);
        pop->Popup();
    }
    return scenes;
}

void tst_picturesheet::sheet() {
    const QString out = qEnvironmentVariable("QUILLET_SHEET");
    if (out.isEmpty())
        QSKIP("QUILLET_SHEET names the PNG to write");

    // Chinese must come out as Chinese, not boxes.
    const QRawFont raw = QRawFont::fromFont(QFont(AppFontFamily));
    QVERIFY2(raw.supportsCharacter(QChar(0x6CA1)) && raw.supportsCharacter(QChar(0x8BBE)),
             qPrintable("no CJK glyphs in " + raw.familyName()));

    const QStringList names = ResPictureNames();
    QVERIFY(names.size() >= 99);

    // Flow layout: each picture at its natural size with its name underneath.
    struct Placed {
        QRect box;
        QString text;
        TBitmap bitmap;
        QPixmap pixmap;
        QColor back;
    };
    QList<Placed> placed;
    int x = Margin, y = 70, rowH = 0;
    const auto flow = [&](QSize size, int captionWidth) {
        const int w = std::max(size.width(), captionWidth) + 16;
        if (x + w > SheetWidth - Margin) {
            x = Margin;
            y += rowH + 14;
            rowH = 0;
        }
        const QRect box(x, y, w, size.height() + 30);
        x += w + 10;
        rowH = std::max(rowH, box.height());
        return box;
    };
    QFont captionFont(AppFontFamily);
    captionFont.setPixelSize(12);
    const QFontMetrics fm(captionFont);
    for (const QString& name : names) {
        const TBitmap b = ResBitmap(name);
        QVERIFY2(!b.isNull(), qPrintable(name));
        const QString text =
            QStringLiteral("%1  %2×%3").arg(name).arg(b.size().width()).arg(b.size().height());
        placed.append({flow(b.size(), fm.horizontalAdvance(text)), text, b, {}, BackdropOf(name)});
    }
    x = Margin;
    y += rowH + 60;
    rowH = 0;
    const int widgetsTop = y - 36;
    for (TScene& s : WidgetScenes()) {
        const QPixmap pm = s.host->grab();
        placed.append({flow(s.host->size(), fm.horizontalAdvance(s.caption)), s.caption, {}, pm, {}});
    }
    const int height = y + rowH + Margin;

    const qreal dpr = qApp->devicePixelRatio();
    QImage sheet(QSize(SheetWidth, height) * dpr, QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(dpr);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont titleFont(AppFontFamily);
    titleFont.setPixelSize(22);
    titleFont.setBold(true);
    p.setFont(titleFont);
    p.setPen(ColorTitle);
    p.drawText(QRect(Margin, 16, SheetWidth, 40), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("澜桥匣 Quillet — %1 named pictures (device pixel ratio %2)")
                   .arg(names.size())
                   .arg(dpr));
    p.drawText(QRect(Margin, widgetsTop, SheetWidth, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("控件状态 Widgets in their states"));
    p.setFont(captionFont);
    for (const Placed& e : placed) {
        const QSize size = e.bitmap.isNull() ? e.pixmap.deviceIndependentSize().toSize() : e.bitmap.size();
        const QRect pic(e.box.x() + 8, e.box.y(), size.width(), size.height());
        if (e.bitmap.isNull()) {
            p.drawPixmap(pic.topLeft(), e.pixmap);
        } else {
            if (e.back.isValid())
                p.fillRect(pic, e.back);
            else
                Checker(p, pic);
            e.bitmap.draw(p, QRectF(pic));
        }
        p.setPen(QColor(0x44, 0x52, 0x5C));
        p.drawText(QRect(e.box.x() + 8, pic.bottom() + 4, e.box.width(), 20), Qt::AlignLeft | Qt::AlignTop,
                   e.text);
    }
    p.end();
    QVERIFY2(sheet.save(out, "PNG"), qPrintable(out));
    qInfo("contact sheet: %s (%dx%d px)", qPrintable(out), sheet.width(), sheet.height());
}

QTEST_MAIN(tst_picturesheet)
#include "tst_picturesheet.moc"
