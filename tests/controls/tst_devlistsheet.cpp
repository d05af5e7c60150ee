// The device list as a person sees it, in English and Chinese, written to one PNG (path in
// QUILLET_SHEET) for review: rows in every connection state, a user's own picture, the turned
// picture with its "Open URL" button, remove mode, and the selected row with the control panel
// open. Devices are put into their states without any connection.
#include "untFonts.h"
#include "untIOTDevListView.h"
#include "untIni.h"
#include "untLang.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int ViewWidth = 860;
constexpr int Margin = 24;
constexpr int CaptionHeight = 34;

struct TRowSetup {
    QString name;
    TIOTNETSTYLE style;
    TIOTNETSTATE state;
    quint8 type;
};

void Force(TNEV_IOTDevConn* c, TIOTNETSTYLE style, TIOTNETSTATE state) {
    if (style == TIOTNETSTYLE::NET_LAN)
        c->setDevIPStr({});
    else
        c->setNetIPStr(QStringLiteral("0.0.0.0"));
    c->setNetStyle(style);
    c->setNetState(state);
}

// A list with its view, grabbed after the given changes.
QPixmap Scene(const QList<TRowSetup>& rows,
              const std::function<void(TNEV_IOTDevList&, TIOTDevListView&)>& change, int height) {
    TNEV_IOTDevList list;
    TIniDevs devs;
    for (int i = 0; i < rows.size(); ++i) {
        TIniDev d;
        d.Name = rows[i].name;
        d.MAC = QStringLiteral("3C-71-BF-0A-%1-%2")
                    .arg(i / 10, 2, 10, QChar('0'))
                    .arg(i % 10 * 7, 2, 10, QChar('0'));
        d.DevType = rows[i].type;
        devs << d;
    }
    list.Add(devs);
    for (int i = 0; i < rows.size(); ++i)
        Force(list.DevItems(i), rows[i].style, rows[i].state);
    TIOTDevListView view(&list);
    view.setDurations({0, 0, 0, 0});
    view.resize(ViewWidth, height);
    view.show();
    if (change)
        change(list, view);
    QCoreApplication::processEvents();
    return view.grab();
}

} // namespace

class tst_devlistsheet : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sheet();

private:
    QList<QPair<QString, QPixmap>> Scenes();
    QTemporaryDir FDir;
};

void tst_devlistsheet::initTestCase() {
    SetupAppFonts();
    BuildLangTable();
    QVERIFY(FDir.isValid());
    SetSettingsFolder(FDir.path());
    // A user's own picture for the fourth device of the first scene.
    QImage photo(320, 320, QImage::Format_RGB32);
    QPainter p(&photo);
    QLinearGradient g(0, 0, 320, 320);
    g.setColorAt(0, QColor(0x2E, 0x7D, 0x32));
    g.setColorAt(1, QColor(0xA5, 0xD6, 0xA7));
    p.fillRect(photo.rect(), g);
    p.setBrush(QColor(0xFF, 0xF8, 0xE1));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPoint(160, 150), 90, 90);
    p.setBrush(QColor(0xFB, 0x8C, 0x00));
    p.drawEllipse(QPoint(160, 150), 40, 40);
    p.end();
    QVERIFY(SaveDevImage(QStringLiteral("3C-71-BF-0A-00-21"), photo));
}

QList<QPair<QString, QPixmap>> tst_devlistsheet::Scenes() {
    using S = TIOTNETSTYLE;
    using T = TIOTNETSTATE;
    const bool cn = LangIsCn();
    const QList<TRowSetup> states{
        {cn ? QStringLiteral("客厅灯") : QStringLiteral("Living room"), S::NET_LAN, T::NET_OK, 1},
        {QStringLiteral("Garage door"), S::NET_LAN, T::NET_CNNTING, 2},
        {QStringLiteral("Pump house"), S::NET_LAN, T::NET_PSDERR, 3},
        {QStringLiteral("Greenhouse"), S::NET_REMOTE, T::NET_OK, 4},
        {QStringLiteral("Warehouse 2"), S::NET_REMOTE, T::NET_OFFLINE, 5},
        {QStringLiteral("Office HVAC"), S::NET_REMOTE, T::NET_NOPER, 6},
        {QStringLiteral("Barn"), S::NET_LAN, T::NET_CNNTFAILED, 7},
        {QStringLiteral("A board with a very long name that does not fit"), S::NET_LAN, T::NET_DISCNNT, 16},
        {QStringLiteral("Cellar"), S::NET_DEFAULT, T::NET_DISCNNT, 200},
    };
    QList<QPair<QString, QPixmap>> scenes;
    scenes << qMakePair(QStringLiteral("Every state; the first row selected, the third picture turned"),
                        Scene(
                            states,
                            [](TNEV_IOTDevList& list, TIOTDevListView&) {
                                list.SetSelected(0);
                                Force(list.DevItems(1), TIOTNETSTYLE::NET_LAN, TIOTNETSTATE::NET_OK);
                                list.ItemClick(list.Item(1), DevListTag::Picture);
                                Force(list.DevItems(1), TIOTNETSTYLE::NET_LAN, TIOTNETSTATE::NET_CNNTING);
                            },
                            TIOTDevListView::TitleHeight + states.size() * TIOTDevListView::RowHeight));
    const QList<TRowSetup> few{{QStringLiteral("Kitchen"), S::NET_LAN, T::NET_OK, 1},
                               {QStringLiteral("Gate"), S::NET_REMOTE, T::NET_OK, 9},
                               {QStringLiteral("Fountain"), S::NET_REMOTE, T::NET_OFFLINE, 12}};
    const int fewHeight = TIOTDevListView::TitleHeight + 3 * TIOTDevListView::RowHeight + 20;
    scenes << qMakePair(
        QStringLiteral("Remove mode"),
        Scene(
            few, [](TNEV_IOTDevList& list, TIOTDevListView&) { list.setRemoveState(true); }, fewHeight));
    scenes << qMakePair(QStringLiteral("Selected, control panel open (icons moved aside)"),
                        Scene(
                            few,
                            [](TNEV_IOTDevList& list, TIOTDevListView& view) {
                                view.setAnimatedLang(330);
                                list.SetSelected(1);
                                list.setAnimated(true);
                            },
                            fewHeight));
    return scenes;
}

void tst_devlistsheet::sheet() {
    const QString path = qEnvironmentVariable("QUILLET_SHEET");
    QList<QList<QPair<QString, QPixmap>>> columns;
    for (const QString& lang : {LangEn, LangCn}) {
        SetLanguage(lang);
        QCoreApplication::processEvents();
        columns << Scenes();
    }
    SetLanguage(LangEn);

    int height = 0;
    for (const auto& col : columns) {
        int h = Margin;
        for (const auto& [caption, pix] : col)
            h += CaptionHeight + int(pix.deviceIndependentSize().height()) + Margin;
        height = std::max(height, h);
    }
    const int width = Margin + int(columns.size()) * (ViewWidth + Margin);
    const qreal dpr = columns.first().first().second.devicePixelRatio();
    QImage sheet(QSize(width, height) * dpr, QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(dpr);
    sheet.fill(QColor(0xF4, 0xF6, 0xF8));
    QPainter p(&sheet);
    p.setRenderHint(QPainter::Antialiasing);
    QFont captionFont(AppFontFamily);
    captionFont.setPixelSize(15);
    captionFont.setBold(true);
    for (int c = 0; c < columns.size(); ++c) {
        int y = Margin;
        const int x = Margin + c * (ViewWidth + Margin);
        for (const auto& [caption, pix] : columns[c]) {
            p.setFont(captionFont);
            p.setPen(QColor(0x33, 0x33, 0x33));
            p.drawText(QRect(x, y, ViewWidth, CaptionHeight), Qt::AlignLeft | Qt::AlignVCenter,
                       (c ? QStringLiteral("中文 · ") : QStringLiteral("English · ")) + caption);
            y += CaptionHeight;
            const QSizeF size = pix.deviceIndependentSize();
            p.drawPixmap(QPoint(x, y), pix);
            y += int(size.height()) + Margin;
            QVERIFY(!pix.isNull());
        }
    }
    p.end();
    if (path.isEmpty())
        QSKIP("QUILLET_SHEET not set: nothing written");
    QVERIFY(sheet.save(path));
    qInfo() << "device list sheet:" << path;
}

QTEST_MAIN(tst_devlistsheet)
#include "tst_devlistsheet.moc"
