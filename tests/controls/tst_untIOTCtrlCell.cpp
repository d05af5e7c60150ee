// The channel cells: names and pictures, the register value format, and the PWM duty slider's
// reports (throttled, final position always sent, wheel left to the list).
#include "untIOTPWMCtrl.h"
#include "untIOTREGCtrl.h"
#include "untIOTRedCtrl.h"
#include "untLang.h"

#include <QLabel>
#include <QLocale>
#include <QWheelEvent>
#include <QtTest>

#include <cmath>
#include <limits>

class tst_untIOTCtrlCell : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { BuildLangTable(); }
    void cleanup() {
        QLocale::setDefault(QLocale::c());
        SetLanguage(LangEn);
    }
    void nameAndPicture_data();
    void nameAndPicture();
    void registerFormat_data();
    void registerFormat();
    void dutyThrottle_data();
    void dutyThrottle();
    void dutySetAndWheelReportNothing();
    void frequencyLabel();
};

void tst_untIOTCtrlCell::nameAndPicture_data() {
    QTest::addColumn<QString>("lang");
    QTest::addColumn<int>("ctrlType");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("picture");
    QTest::newRow("named") << "en" << 5 << "Pump"
                           << "Pump"
                           << "Device_img5";
    QTest::newRow("empty name, English") << "en" << 11 << ""
                                         << "No name"
                                         << "Device_img11";
    QTest::newRow("empty name, Chinese") << "cn" << 0 << ""
                                         << "未命名"
                                         << "Device_img0";
    QTest::newRow("picture number past the last") << "en" << 20 << "x"
                                                  << "x"
                                                  << "Device_img0";
}

void tst_untIOTCtrlCell::nameAndPicture() {
    QFETCH(QString, lang);
    QFETCH(int, ctrlType);
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QFETCH(QString, picture);
    SetLanguage(lang);
    TNEV_IOTRedCtrl cell;
    cell.SetIOName({quint8(ctrlType), 0, name});
    QCOMPARE(cell.CtrlName(), shown);
    QCOMPARE(cell.Img_Img()->PictureName(), picture);
    // Switching the language re-labels a cell without a name.
    SetLanguage(lang == LangEn ? LangCn : LangEn);
    if (name.isEmpty())
        QTRY_VERIFY(cell.CtrlName() != shown);
}

void tst_untIOTCtrlCell::registerFormat_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("readBack");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("pi, C") << "C" << 3.14159f << "3.1" << 3.1;
    QTest::newRow("whole number, C") << "C" << 2.0f << "2.0" << 2.0;
    QTest::newRow("pi, comma locale") << "de_DE" << 3.14159f << "3,1" << 3.1;
    QTest::newRow("thousands, comma locale, no grouping") << "de_DE" << 1234.56f << "1234,6" << 1234.6;
    QTest::newRow("negative, comma locale") << "de_DE" << -12.25f << "-12,3" << -12.3;
    QTest::newRow("not a number") << "C" << nan << "--" << double(nan);
    QTest::newRow("infinite") << "de_DE" << std::numeric_limits<float>::infinity() << "--" << double(nan);
    QTest::newRow("huge stays short") << "C" << 3.0e20f << "3.0e+20" << 3.0e20;
}

void tst_untIOTCtrlCell::registerFormat() {
    QFETCH(QString, locale);
    QFETCH(float, value);
    QFETCH(QString, text);
    QFETCH(double, readBack);
    QLocale::setDefault(QLocale(locale));
    TNEV_IOTREGCtrl cell;
    QCOMPARE(cell.REGText(), QStringLiteral("0"));
    cell.SetREG(value);
    QCOMPARE(cell.REGText(), text);
    if (std::isnan(readBack))
        QVERIFY(std::isnan(cell.REG()));
    else
        QCOMPARE(cell.REG(), readBack);
}

// Slider steps: "t:v" moves the handle to v at clock time t (ms); "release" lets go of it;
// "wait" lets the throttle interval pass on the event loop.
void tst_untIOTCtrlCell::dutyThrottle_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("reports"); // duty values reported with tag 8, in order
    QTest::newRow("first change after the interval goes at once") << "200:50"
                                                                  << "50";
    QTest::newRow("change 50 ms later is held, then sent") << "200:50 250:60 wait"
                                                           << "50 60";
    QTest::newRow("only the newest held value is sent") << "200:50 220:55 240:73 wait"
                                                        << "50 73";
    QTest::newRow("release sends the held value at once") << "200:50 220:73 release"
                                                          << "50 73";
    QTest::newRow("release with nothing held sends nothing more") << "200:50 release"
                                                                  << "50";
    QTest::newRow("changes far apart all go") << "200:10 400:20 600:30"
                                              << "10 20 30";
    QTest::newRow("within the interval after creation") << "50:40 wait"
                                                        << "40";
}

void tst_untIOTCtrlCell::dutyThrottle() {
    QFETCH(QString, steps);
    QFETCH(QString, reports);
    qint64 now = 0;
    TNEV_IOTPWMCtrl cell;
    cell.SetIndex(1);
    cell.SetClock([&now] { return now; });
    QStringList seen;
    cell.OnPWMEvent = [&](QObject* Sender, int Index, int Tag, TIOTYPE Type) {
        QCOMPARE(Sender, cell.Trckbr_Duty());
        QCOMPARE(Index, 1);
        QCOMPARE(Tag, 8);
        QCOMPARE(Type, TIOTYPE::IO_PWM);
        seen << QString::number(cell.Duty());
    };
    QSlider* slider = cell.Trckbr_Duty();
    slider->setSliderDown(true);
    for (const QString& step : steps.split(' ')) {
        if (step == "release") {
            slider->setSliderDown(false);
        } else if (step == "wait") {
            QTRY_VERIFY(!cell.HasPendingDuty());
        } else {
            now = step.section(':', 0, 0).toLongLong();
            slider->setSliderPosition(step.section(':', 1).toInt());
        }
    }
    QCOMPARE(seen.join(' '), reports);
    QVERIFY(!cell.HasPendingDuty());
    QCOMPARE(cell.DutyText(), QStringLiteral("0")); // the label shows the board's value only
}

void tst_untIOTCtrlCell::dutySetAndWheelReportNothing() {
    qint64 now = 1000;
    TNEV_IOTPWMCtrl cell;
    cell.SetClock([&now] { return now; });
    int reports = 0;
    cell.OnPWMEvent = [&](QObject*, int, int, TIOTYPE) { ++reports; };
    now = 5000;
    cell.SetDuty(50);
    QCOMPARE(cell.Duty(), 50);
    QCOMPARE(cell.DutyText(), QStringLiteral("50"));
    // The wheel over the slider belongs to the scrolling list around it.
    QWidget* slider = cell.Trckbr_Duty();
    QWheelEvent wheel(QPointF(10, 10), slider->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider, &wheel);
    QVERIFY(!wheel.isAccepted());
    QCOMPARE(cell.Duty(), 50);
    // Disconnected reports stay silent for the user's moves too.
    cell.Trckbr_DutyChangeEvent(false);
    cell.Trckbr_Duty()->setSliderPosition(70);
    QCOMPARE(reports, 0);
    cell.Trckbr_DutyChangeEvent(true);
    now = 9000;
    cell.Trckbr_Duty()->setSliderPosition(71);
    QCOMPARE(reports, 1);
}

void tst_untIOTCtrlCell::frequencyLabel() {
    TNEV_IOTPWMCtrl cell;
    QCOMPARE(cell.PinLv(), 715);
    cell.SetPinLv(1000);
    QCOMPARE(cell.PinLv(), 1000);
    QVERIFY(cell.Img_HZ()->findChild<QLabel*>()->text() == QStringLiteral("1000 Hz"));
}

QTEST_MAIN(tst_untIOTCtrlCell)
#include "tst_untIOTCtrlCell.moc"
