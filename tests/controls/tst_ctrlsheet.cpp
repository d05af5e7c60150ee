// The control panel and the task popups as a person sees them, in English and Chinese, written
// into one PNG (path in QUILLET_SHEET) for review: the panel for a board with 8 outputs, 4 inputs,
// 2 PWM channels, 2 registers and 1 infrared channel in touch mode (top and scrolled to the end)
// and in jog mode with an output held; the task list with rows and with the editor open.
#include "../widgets/PointerEvents.h"
#include "untFonts.h"
#include "untIOTCtrlList.h"
#include "untLang.h"
#include "untTaskList.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

namespace {
constexpr int Gap = 24;
constexpr int CaptionHeight = 28;
const QColor Backdrop(0x2b, 0x3a, 0x47);

// Scroll bars show or hide on a queued notification: let it arrive before the picture is taken.
QPixmap Grab(QWidget& w) {
    QCoreApplication::processEvents();
    return w.grab();
}

struct TShot {
    QString caption;
    QPixmap pixmap;
};

void FillBoard(TNEV_IOTCtrlList& list, bool touch) {
    TDevParam param;
    param.LockArr = {false, false, true, false, false, false, false, true};
    param.TouchMode = touch;
    list.SetDevParam(param);
    list.Add(8, 4, 2, 2, 1);
    const bool cn = LangIsCn();
    const QStringList outs =
        cn ? QStringList{"客厅灯", "水泵", "风扇", "", "门锁", "热水器", "窗帘", "插座"}
           : QStringList{"Hall light", "Pump", "Fan", "", "Door", "Boiler", "Curtain", "Socket"};
    for (int i = 0; i < 8; ++i) {
        list.OutItems(i)->SetIOName({quint8(i % 12), 0, outs[i]});
        if (touch)
            list.OutItems(i)->SetisOn(i == 0 || i == 1 || i == 5);
    }
    for (int i = 0; i < 4; ++i) {
        list.InItems(i)->SetIOName(
            {quint8(4 + i), 0,
             cn ? QStringLiteral("输入 %1").arg(i + 1) : QStringLiteral("Sensor %1").arg(i + 1)});
        list.InItems(i)->SetisON(i % 2 == 0);
    }
    list.PWMItems(0)->SetIOName({8, 0, cn ? QStringLiteral("调光") : QStringLiteral("Dimmer")});
    list.PWMItems(0)->SetDuty(73);
    list.PWMItems(0)->SetPinLv(1000);
    list.PWMItems(1)->SetDuty(20);
    list.REGItems(0)->SetIOName({9, 0, cn ? QStringLiteral("温度") : QStringLiteral("Temperature")});
    list.REGItems(0)->SetREG(23.46f);
    list.REGItems(1)->SetREG(1013.2f);
    list.RedItems(0)->SetIOName({10, 0, cn ? QStringLiteral("空调") : QStringLiteral("Air con")});
    list.AddRed(2);
}

TTaskRcd Task(quint8 id, bool enable, quint8 code, QTime at, quint8 mask) {
    TTaskRcd t;
    t.ID = id;
    t.Enable = enable;
    t.StartTime = QDateTime(QDate(2026, 12, 10), at);
    t.CMD = QByteArray(1, char(code)) + char(1);
    t.Week = WeekDays(mask);
    t.LoopStyle = mask ? TTASKLOOPSTYLE::TASK_LOOP_DAY : TTASKLOOPSTYLE::TASK_LOOP_ONE;
    return t;
}
} // namespace

class tst_ctrlsheet : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        SetupAppFonts();
        BuildLangTable();
    }
    void sheet();

private:
    void PanelShots(QList<TShot>& shots);
    void TaskShots(QList<TShot>& shots);
};

void tst_ctrlsheet::PanelShots(QList<TShot>& shots) {
    for (const bool touch : {true, false}) {
        QWidget owner;
        owner.resize(TNEV_IOTCtrlList::PanelWidth, 680);
        auto* list = new TNEV_IOTCtrlList(&owner);
        list->SetSlideDuration(0);
        int jogs = 0;
        list->OnIOTJogMode = [&jogs](int, bool) { ++jogs; };
        FillBoard(*list, touch);
        owner.show();
        list->SetAppeared(true);
        [&] { QTRY_COMPARE(list->x(), 0); }();
        const QString mode = touch ? QStringLiteral("touch mode") : QStringLiteral("jog mode, output 2 held");
        if (!touch) {
            pointer::Press(list->OutItems(1)->Img_Power());
            QCOMPARE(list->OutItems(1)->Img_Power()->PictureName(), QStringLiteral("Power_ON"));
        }
        shots.append({QStringLiteral("%1 (8,4,2,2,1), top").arg(mode), Grab(owner)});
        if (touch) {
            QScrollBar* bar = list->Lstbx()->verticalScrollBar();
            bar->setValue(bar->maximum());
            shots.append({QStringLiteral("%1, scrolled to the end").arg(mode), Grab(owner)});
        } else {
            pointer::Release(list->OutItems(1)->Img_Power());
            QCOMPARE(jogs, 2);
        }
    }
}

void tst_ctrlsheet::TaskShots(QList<TShot>& shots) {
    for (const bool editing : {false, true}) {
        QWidget owner;
        owner.resize(TTaskPopup::PopupWidth, TTaskPopup::PopupHeight);
        auto* popup = new TTaskPopup(&owner);
        popup->SetClock([] { return QDateTime(QDate(2026, 12, 10), QTime(14, 3, 30)); });
        popup->OnSend = [](const QByteArray&) {};
        owner.show();
        popup->Open(0);
        popup->TaskListReply(5, {Task(1, true, 2, QTime(7, 30), 0x3E), Task(2, true, 1, QTime(23, 0), 0x7F),
                                 Task(3, false, 3, QTime(12, 15), 0x41),
                                 Task(4, true, 2, QTime(18, 45), 0x00), Task(5, true, 1, QTime(6, 0), 0x2A)});
        if (editing) {
            popup->PopClick(TTaskPopup::TagAdd);
            popup->Editor()->WeekStyleBox()->setCurrentIndex(int(TWeekStyle::Weekdays));
            emit popup->Editor()->WeekStyleBox()->activated(int(TWeekStyle::Weekdays));
            QCOMPARE(popup->Editor()->DateTimeEdit()->text(), QStringLiteral("2026-12-10 14:05"));
        }
        shots.append(
            {editing ? QStringLiteral("task list, editor open") : QStringLiteral("task list"), Grab(owner)});
    }
}

void tst_ctrlsheet::sheet() {
    const QString path = qEnvironmentVariable("QUILLET_SHEET");
    if (path.isEmpty())
        QSKIP("QUILLET_SHEET names the file to write");

    QList<QList<TShot>> rows;
    for (const QString& lang : {LangEn, LangCn}) {
        SetLanguage(lang);
        QList<TShot> row;
        PanelShots(row);
        TaskShots(row);
        if (QTest::currentTestFailed())
            return;
        for (TShot& shot : row)
            shot.caption =
                (lang == LangEn ? QStringLiteral("English: ") : QStringLiteral("Chinese: ")) + shot.caption;
        rows.append(row);
    }
    SetLanguage(LangEn);

    const qreal dpr = rows[0][0].pixmap.devicePixelRatio();
    int width = Gap, height = Gap;
    for (const auto& row : rows) {
        int w = Gap, h = 0;
        for (const TShot& shot : row) {
            const QSize s = shot.pixmap.deviceIndependentSize().toSize();
            w += s.width() + Gap;
            h = std::max(h, s.height());
        }
        width = std::max(width, w);
        height += CaptionHeight + h + Gap;
    }
    QImage sheet(QSize(width, height) * dpr, QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(dpr);
    sheet.fill(Backdrop);
    QPainter p(&sheet);
    QFont font(AppFontFamily);
    font.setPixelSize(15);
    p.setFont(font);
    p.setPen(Qt::white);
    int y = Gap;
    for (const auto& row : rows) {
        int x = Gap, h = 0;
        for (const TShot& shot : row) {
            const QSize s = shot.pixmap.deviceIndependentSize().toSize();
            QVERIFY(!shot.pixmap.isNull());
            p.drawText(QRect(x, y, s.width(), CaptionHeight - 6), Qt::AlignLeft | Qt::AlignBottom,
                       shot.caption);
            p.drawPixmap(QPoint(x, y + CaptionHeight), shot.pixmap);
            x += s.width() + Gap;
            h = std::max(h, s.height());
        }
        y += CaptionHeight + h + Gap;
    }
    p.end();
    QVERIFY(sheet.save(path));
    qInfo("contact sheet: %s (%dx%d)", qPrintable(path), sheet.width(), sheet.height());
}

QTEST_MAIN(tst_ctrlsheet)
#include "tst_ctrlsheet.moc"
