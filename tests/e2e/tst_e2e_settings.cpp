// The device popups end to end: device settings (name, IO configuration, password), channel names
// and pictures, infrared learning and the task popup, through the window offscreen on a virtual
// LAN (tools/virtual-lan) against quillet-boardsim boards. What a board took is read from the
// simulator's request log. Started by ctest, the program starts the virtual LAN with the boards
// below and runs itself again inside its "pc" namespace; without root it exits with
// VirtualLanSkipStatus (reported as skipped).
#include "VirtualLan.h"
#include "WindowLan.h"

#include "untDevEvents.h"
#include "untIOTCtrlList.h"
#include "untIOTDevList.h"
#include "untIOTOutCtrl.h"
#include "untIOTRedCtrl.h"
#include "untImgBtn.h"
#include "untImgSwitch.h"
#include "untPopImgLst.h"
#include "untTaskCell.h"
#include "untTaskEditor.h"
#include "untTaskList.h"
#include "untUnderLineLbl.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QtTest>

namespace {

constexpr const char* InsideVar = "QUILLET_E2E_SETTINGS_INSIDE";
// The caller's logging rules, kept for the test itself while the simulator runs without them.
constexpr const char* LoggingVar = "QUILLET_E2E_SETTINGS_LOGGING_RULES";

// Each board serves the rows that change it, so that no row depends on another one's changes.
const char* const Boards[] = {
    // device names
    "mac=5C-CF-7F-05-01-01,name=Porch,type=1,ctrl=6,out=2,in=0,pwm=0,reg=0,ir=0",
    "mac=5C-CF-7F-05-01-02,name=Attic,type=1,ctrl=6,out=2,in=0,pwm=0,reg=0,ir=0",
    "mac=5C-CF-7F-05-01-03,name=Cellar,type=1,ctrl=6,out=2,in=0,pwm=0,reg=0,ir=0,refuse=0x74",
    // IO configuration
    "mac=5C-CF-7F-05-02-01,name=Rack A,type=1,ctrl=6,out=8,in=4,pwm=2,reg=2,ir=0,maxreg=8",
    "mac=5C-CF-7F-05-02-02,name=Rack B,type=1,ctrl=6,out=8,in=4,pwm=2,reg=2,ir=0,maxreg=8",
    "mac=5C-CF-7F-05-02-03,name=Rack C,type=1,ctrl=6,out=8,in=4,pwm=2,reg=2,ir=0,maxreg=8",
    "mac=5C-CF-7F-05-02-04,name=Fixed,type=2,ctrl=4,out=4,in=2,pwm=0,reg=0,ir=0",
    "mac=5C-CF-7F-05-02-05,name=Rack D,type=1,ctrl=6,out=8,in=4,pwm=2,reg=2,ir=0,maxreg=8,refuse=0x7A",
    // device password
    "mac=5C-CF-7F-05-03-01,name=Safe,type=1,ctrl=6,out=1,in=0,pwm=0,reg=0,ir=0",
    // channel names and pictures
    "mac=5C-CF-7F-05-04-01,name=Studio,type=1,ctrl=6,out=2,in=1,pwm=1,reg=2,ir=1,regs=20.5/-1.5",
    // infrared
    "mac=5C-CF-7F-05-05-01,name=IR "
    "ok,type=1,ctrl=6,out=1,in=0,pwm=0,reg=0,ir=0,ir-delay-ms=800,ir-result=success",
    "mac=5C-CF-7F-05-05-02,name=IR "
    "bad,type=1,ctrl=6,out=1,in=0,pwm=0,reg=0,ir=0,ir-delay-ms=800,ir-result=failure",
    "mac=5C-CF-7F-05-05-03,name=IR "
    "late,type=1,ctrl=6,out=1,in=0,pwm=0,reg=0,ir=0,ir-delay-ms=800,ir-result=timeout",
    "mac=5C-CF-7F-05-05-04,name=IR mute,type=1,ctrl=6,out=1,in=0,pwm=0,reg=0,ir=0,ir-delay-ms=600000",
    // tasks
    "mac=5C-CF-7F-05-06-01,name=Timer,type=1,ctrl=6,out=2,in=0,pwm=0,reg=0,ir=0,tasks=2",
    "mac=5C-CF-7F-05-06-02,name=No clock,type=1,ctrl=6,out=2,in=0,pwm=0,reg=0,ir=0,refuse=0x54",
    // pictures for review
    "mac=5C-CF-7F-05-07-01,name=Showroom,type=1,ctrl=6,out=2,in=1,pwm=0,reg=0,ir=1",
};

// One request a board took: its payload and its answer ("ignored" when it gave none).
struct TLogged {
    QString Request;
    QString Answer;
};

// The simulator's request log (its debug output, written by tools/virtual-lan into its log
// folder), for one board.
QList<TLogged> BoardLog(const QString& mac) {
    QFile f(qEnvironmentVariable("QUILLET_VLAN_LOG_DIR") + QStringLiteral("/boardsim.err"));
    QList<TLogged> r;
    if (!f.open(QIODevice::ReadOnly))
        return r;
    static const QRegularExpression served("< ([0-9a-f ]+) >\\s*([0-9a-f ]*)$");
    static const QRegularExpression ignored("ignores ([0-9a-f ]+)$");
    for (const QString& line : QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)) {
        if (!line.contains(mac, Qt::CaseInsensitive))
            continue;
        if (const auto m = served.match(line); m.hasMatch())
            r.push_back({m.captured(1).trimmed(), m.captured(2).trimmed()});
        else if (const auto i = ignored.match(line); i.hasMatch())
            r.push_back({i.captured(1).trimmed(), QStringLiteral("ignored")});
    }
    return r;
}

QStringList Requests(const QList<TLogged>& log) {
    QStringList r;
    for (const TLogged& l : log)
        r << l.Request;
    return r;
}

QStringList Codes(const QList<TLogged>& log) {
    QStringList r;
    for (const TLogged& l : log)
        r << l.Request.left(2);
    return r;
}

// A text as the board's fixed-size field: its UTF-8 bytes, then zeros, in the log's hex form.
QString FieldHex(const QString& text, int size) {
    QByteArray b = text.toUtf8().left(size);
    b.append(QByteArray(size - b.size(), '\0'));
    return QString::fromLatin1(b.toHex(' '));
}

TIniDev StoredDev(const QString& folder, const QString& mac) {
    TIniSettings ini(folder, QStringLiteral("0123456789AB"));
    ini.IniLoad();
    for (const TIniDev& d : ini.IniDevs())
        if (d.MAC.compare(mac, Qt::CaseInsensitive) == 0)
            return d;
    return {};
}

} // namespace

class tst_e2e_settings : public QObject {
    Q_OBJECT

    std::shared_ptr<TRecordingMessages> FMsgs;
    std::unique_ptr<QTemporaryDir> FDir;

    // Short infrared timers, long enough to see each text of the learning overlay.
    std::unique_ptr<Tfrm_Main> Open() {
        TMainEnv env = VirtualLanEnv(FDir->path(), FMsgs);
        env.RedMs = 2500;
        env.RedCloseMs = 1500;
        auto w = std::make_unique<Tfrm_Main>(env);
        w->show();
        return w;
    }

    static TIOTDevItem* Online(Tfrm_Main& w, const QString& mac) {
        TNEV_IOTDevList* list = w.IOTDevList();
        const int at = list->IndexOfMAC(mac);
        if (at < 0 || list->DevItems(at)->NetState() != TIOTNETSTATE::NET_OK)
            return nullptr;
        return list->Item(at);
    }

    // Selects the board once it is online and waits until the chain has read it into the panel.
    static bool Select(Tfrm_Main& w, const QString& mac) {
        if (!QTest::qWaitFor([&] { return Online(w, mac) != nullptr; }, 20000))
            return false;
        TIOTDevItem* item = Online(w, mac);
        w.IOTDevList()->ItemClick(item, DevListTag::Device);
        return QTest::qWaitFor(
            [&] {
                return w.DevEvents()->Selected() == item->Conn() && w.DevEvents()->ChainWaiting() == 0 &&
                       w.IOTCtrlList()->Appeared();
            },
            20000);
    }

    static TIniDev Record(Tfrm_Main& w, const QString& mac) {
        for (const TIniDev& d : w.IOTDevList()->GetIniDevs())
            if (d.MAC.compare(mac, Qt::CaseInsensitive) == 0)
                return d;
        return {};
    }

    // Clicks a shown button of the window; false when there is none by that name.
    [[nodiscard]] static bool Click(Tfrm_Main& w, const char* name) {
        auto* target = w.findChild<QWidget*>(QLatin1String(name));
        if (!target || !target->isVisible()) {
            qWarning("no shown %s", name);
            return false;
        }
        QTest::mouseClick(target, Qt::LeftButton);
        return true;
    }

    // Opens the settings popup from the panel's settings button.
    [[nodiscard]] static bool OpenSettings(Tfrm_Main& w) {
        QTest::mouseClick(w.IOTCtrlList()->Img_Edit(), Qt::LeftButton);
        return w.PopVisible(POP_DEVINFO);
    }

    // The window as it looks now, named after the row's language.
    [[nodiscard]] static bool Shoot(Tfrm_Main& w, const QString& name) {
        const QString lang = QLatin1String(QTest::currentDataTag());
        const QPixmap shot = w.grab();
        QDir().mkpath(QStringLiteral(SHOT_DIR));
        return shot.save(QStringLiteral("%1/settings-%2-%3@%4x.png")
                             .arg(QStringLiteral(SHOT_DIR), name, lang)
                             .arg(qRound(shot.devicePixelRatio())));
    }

    QStringList Translated(const QStringList& english) const {
        QStringList r;
        for (const QString& e : english)
            r << LangText(e);
        return r;
    }

private slots:
    void initTestCase() {
        QString why;
        if (!qEnvironmentVariableIsSet(InsideVar) || !OnlyVirtualLanInterfaces(&why))
            QFAIL(qPrintable(QStringLiteral("refusing to run outside the virtual LAN: ") + why));
        QVERIFY2(
            QFile::exists(qEnvironmentVariable("QUILLET_VLAN_LOG_DIR") + QStringLiteral("/boardsim.err")),
            "no request log");
    }

    void init() {
        FMsgs = std::make_shared<TRecordingMessages>();
        FDir = std::make_unique<QTemporaryDir>();
        CloudSession.Clear();
    }

    // "Change" beside the device name: what the board gets, what the user reads, and what is
    // stored when the window closes.
    void deviceName_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byEnter"); // Enter in the box instead of "Change"
        QTest::addColumn<QString>("sent"); // the name the board gets; null: nothing is sent
        QTest::addColumn<bool>("refused"); // the board answers that it does not take names
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("stored");
        const QString length = QStringLiteral("Device name length requires 1 to 16 bytes!");
        QTest::newRow("blanks around the name are dropped")
            << "5C-CF-7F-05-01-01"
            << "  Porch light  " << false << "Porch light" << false << "Change device name success!"
            << "Porch light";
        QTest::newRow("16 ASCII letters by Enter")
            << "5C-CF-7F-05-01-02"
            << "ABCDEFGHIJKLMNOP" << true << "ABCDEFGHIJKLMNOP" << false << "Change device name success!"
            << "ABCDEFGHIJKLMNOP";
        QTest::newRow("three blanks are no name")
            << "5C-CF-7F-05-01-03"
            << "   " << false << QString() << false << length << "Cellar";
        QTest::newRow("six Chinese characters are 18 bytes")
            << "5C-CF-7F-05-01-03" << QString::fromUtf8("\u5ba2\u5385\u5367\u5ba4\u53a8\u623f") << false
            << QString() << false << length << "Cellar";
        QTest::newRow("17 letters by Enter")
            << "5C-CF-7F-05-01-03"
            << "ABCDEFGHIJKLMNOPQ" << true << QString() << false << length << "Cellar";
        QTest::newRow("the board refuses")
            << "5C-CF-7F-05-01-03"
            << "Shed" << false << "Shed" << true << "Not to support the change devie name now!"
            << "Cellar";
    }
    void deviceName() {
        QFETCH(QString, mac);
        QFETCH(QString, typed);
        QFETCH(bool, byEnter);
        QFETCH(QString, sent);
        QFETCH(bool, refused);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        {
            auto w = Open();
            QVERIFY(Select(*w, mac));
            const TIniDev before = Record(*w, mac);
            const qsizetype mark = BoardLog(mac).size();
            QVERIFY(OpenSettings(*w));
            auto* edit = w->findChild<QLineEdit*>(QStringLiteral("edt_Pop_DevInfo_DevName"));
            QCOMPARE(edit->text(), before.Name);
            edit->setText(typed);
            if (byEnter)
                QTest::keyClick(edit, Qt::Key_Return);
            else
                QVERIFY(Click(*w, "img_Pop_DevInfo_DevName"));
            QTRY_COMPARE_WITH_TIMEOUT(FMsgs->Messages, QStringList{LangText(message)}, 10000);
            const QList<TLogged> log = BoardLog(mac).mid(mark);
            if (sent.isNull()) {
                QVERIFY2(!Codes(log).contains(QStringLiteral("74")), qPrintable(Requests(log).join('|')));
            } else {
                QCOMPARE(Requests(log), QStringList{QStringLiteral("74 ") + FieldHex(sent, 16)});
                QCOMPARE(log.first().Answer.startsWith(QStringLiteral("ff 74")), refused);
            }
            // The popup stays open for another try.
            QVERIFY(w->PopVisible(POP_DEVINFO));
            QCOMPARE(Record(*w, mac).Name, stored);
            if (stored == before.Name)
                QCOMPARE(Record(*w, mac), before);
        }
        // Closing the window stores the device list.
        QCOMPARE(StoredDev(FDir->path(), mac).Name, stored);
    }

    // "Change" of the IO configuration: the counts are checked before anything goes out, the
    // board rebuilds the panel, "Auto save" makes it keep the configuration, and a board that
    // refuses leaves the panel and the stored record as they were.
    void ioConfiguration_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QList<int>>("typed"); // outputs, inputs, PWM, registers
        QTest::addColumn<bool>("autoSave");
        QTest::addColumn<bool>("enabled");     // the board takes IO configurations at all
        QTest::addColumn<QStringList>("sent"); // requests after the click, in order
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QList<int>>("panel"); // the panel's counts afterwards
        const QString refused =
            QStringLiteral("Input error:\rInput and output sum can not greater than 24;PWM number can not "
                           "greater than 2.");
        const QList<int> unchanged{8, 4, 2, 2};
        QTest::newRow("20 outputs, 4 inputs, 2 PWM")
            << "5C-CF-7F-05-02-01" << QList<int>{20, 4, 2, 2} << false << true
            << QStringList{"72 14 04 02 02"} << QStringList{"Change device IO success!"}
            << QList<int>{20, 4, 2, 2};
        QTest::newRow("auto save") << "5C-CF-7F-05-02-02" << QList<int>{6, 2, 0, 1} << true << true
                                   << QStringList{"72 06 02 00 01", "7a"}
                                   << QStringList{"Change device IO success!",
                                                  "Device status has been saved!"}
                                   << QList<int>{6, 2, 0, 1};
        QTest::newRow("auto save refused by the board")
            << "5C-CF-7F-05-02-05" << QList<int>{4, 4, 1, 0} << true << true
            << QStringList{"72 04 04 01 00", "7a"} << QStringList{"Change device IO success!"}
            << QList<int>{4, 4, 1, 0};
        QTest::newRow("20 outputs and 5 inputs")
            << "5C-CF-7F-05-02-03" << QList<int>{20, 5, 0, 0} << false << true << QStringList{}
            << QStringList{refused} << unchanged;
        QTest::newRow("3 PWM") << "5C-CF-7F-05-02-03" << QList<int>{8, 4, 3, 0} << true << true
                               << QStringList{} << QStringList{refused} << unchanged;
        QTest::newRow("the board refuses 50 registers")
            << "5C-CF-7F-05-02-03" << QList<int>{0, 0, 0, 50} << true << true << QStringList{"72 00 00 00 32"}
            << QStringList{"Not to support the change devie IO!"} << unchanged;
        QTest::newRow("a board without IO configuration")
            << "5C-CF-7F-05-02-04" << QList<int>{2, 2, 0, 0} << false << false << QStringList{}
            << QStringList{} << QList<int>{4, 2, 0, 0};
    }
    void ioConfiguration() {
        QFETCH(QString, mac);
        QFETCH(QList<int>, typed);
        QFETCH(bool, autoSave);
        QFETCH(bool, enabled);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, messages);
        QFETCH(QList<int>, panel);
        auto w = Open();
        QVERIFY(Select(*w, mac));
        TNEV_IOTCtrlList* list = w->IOTCtrlList();
        const TIniDev before = Record(*w, mac);
        const qsizetype mark = BoardLog(mac).size();
        QVERIFY(OpenSettings(*w));
        QCOMPARE(w->findChild<QWidget*>(QStringLiteral("rctngl_Pop_DevInfo_IO"))->isEnabled(), enabled);
        const char* spins[] = {"spnbx_Pop_DevInfo_Out", "spnbx_Pop_DevInfo_In", "spnbx_Pop_DevInfo_PWM",
                               "spnbx_Pop_DevInfo_AD"};
        const QList<int> shown{list->OutCount(), list->InCount(), list->PWMCount(), list->REGCount()};
        for (int i = 0; i < 4; ++i) {
            auto* spin = w->findChild<QSpinBox*>(QLatin1String(spins[i]));
            QCOMPARE(spin->value(), shown[i]);
            spin->setValue(typed[i]);
        }
        w->findChild<QCheckBox*>(QStringLiteral("chk_Pop_DevInfo_IO_Save"))->setChecked(autoSave);
        QTest::mouseClick(w->findChild<QWidget*>(QStringLiteral("img_Pop_DevInfo_IO")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(FMsgs->Messages, Translated(messages), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(w->DevEvents()->ChainWaiting() == 0, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(
            (QList<int>{list->OutCount(), list->InCount(), list->PWMCount(), list->REGCount()}), panel,
            10000);
        const QList<TLogged> log = BoardLog(mac).mid(mark);
        QCOMPARE(Requests(log).mid(0, sent.size()), sent);
        // The save request goes out only when asked for.
        QCOMPARE(Codes(log).contains(QStringLiteral("7a")), autoSave && !sent.isEmpty() && panel != shown);
        if (sent.isEmpty())
            QVERIFY2(!Codes(log).contains(QStringLiteral("72")), qPrintable(Requests(log).join('|')));
        if (panel == shown) {
            QCOMPARE(Record(*w, mac), before);
        } else {
            // The new panel is read from the board, names included.
            QTRY_VERIFY_WITH_TIMEOUT(
                Codes(BoardLog(mac).mid(mark)).mid(sent.size()).contains(QStringLiteral("63")), 10000);
            QTRY_COMPARE_WITH_TIMEOUT(list->InItems(0)->CtrlName(), QStringLiteral("In 1"), 10000);
        }
    }

    // "Change" of the device password: a refused change keeps the stored password, an accepted
    // one stores the new password at once and the next start logs in with it.
    void devicePassword_data() {
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("fresh");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("stored");
        QTest::newRow("wrong old password: the board refuses") << "wrong"
                                                               << "s4fe01"
                                                               << "Failed to change device password!"
                                                               << "qorvu";
        QTest::newRow("right old password") << "qorvu"
                                            << "s4fe01"
                                            << "Change device Password success!"
                                            << "s4fe01";
    }
    void devicePassword() {
        QFETCH(QString, old);
        QFETCH(QString, fresh);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        const QString mac = QStringLiteral("5C-CF-7F-05-03-01");
        {
            auto w = Open();
            QVERIFY(Select(*w, mac));
            QVERIFY(OpenSettings(*w));
            const qsizetype mark = BoardLog(mac).size();
            w->findChild<QLineEdit*>(QStringLiteral("edt_Pop_DevInfo_Old"))->setText(old);
            w->findChild<QLineEdit*>(QStringLiteral("edt_Pop_DevInfo_New"))->setText(fresh);
            w->findChild<QLineEdit*>(QStringLiteral("edt_Pop_DevInfo_Retype"))->setText(fresh);
            QVERIFY(Click(*w, "img_Pop_DevInfo_PSD"));
            QTRY_COMPARE_WITH_TIMEOUT(FMsgs->Messages, QStringList{LangText(message)}, 10000);
            QCOMPARE(Requests(BoardLog(mac).mid(mark)),
                     QStringList{QStringLiteral("73 ") + FieldHex(old, 6) + ' ' + FieldHex(fresh, 6)});
            QCOMPARE(Record(*w, mac).DevPassword, stored);
        }
        QCOMPARE(StoredDev(FDir->path(), mac).DevPassword, stored);
        // The next start logs in with what was stored, without asking.
        auto again = Open();
        QVERIFY(Select(*again, mac));
        QCOMPARE(FMsgs->Messages.size(), 1);
        QVERIFY(FMsgs->Inputs.empty());
    }

    // A channel renamed from its name and given a picture from its picture: the board keeps both,
    // so a second window on the same settings folder shows them.
    void channelNameAndPicture_data() {
        QTest::addColumn<int>("kind"); // TIOTYPE
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<int>("picture");
        QTest::addColumn<QString>("kept"); // the name the board keeps (12 bytes at most)
        QTest::newRow("output 2") << int(TIOTYPE::IO_OUT) << 1 << "Out 2"
                                  << "Pump" << false << 5 << "Pump";
        QTest::newRow("input 1 by Enter") << int(TIOTYPE::IO_IN) << 0 << "In 1"
                                          << "Door" << true << 3 << "Door";
        QTest::newRow("PWM 1, a long name") << int(TIOTYPE::IO_PWM) << 0 << "PWM 1"
                                            << "Kitchen window" << false << 7 << "Kitchen wind";
        QTest::newRow("register 2, cut between characters")
            << int(TIOTYPE::IO_REG) << 1 << "REG 2" << QString::fromUtf8("AB\u6e29\u5ea6\u4f20\u611f\u5668")
            << true << 11 << QString::fromUtf8("AB\u6e29\u5ea6\u4f20");
        QTest::newRow("infrared 1") << int(TIOTYPE::IO_Red) << 0 << "IR 1"
                                    << "TV" << false << 2 << "TV";
        QTest::newRow("an empty name shows \"No name\"") << int(TIOTYPE::IO_OUT) << 0 << "Out 1"
                                                         << "" << false << 4 << "";
    }
    void channelNameAndPicture() {
        QFETCH(int, kind);
        QFETCH(int, index);
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(bool, byEnter);
        QFETCH(int, picture);
        QFETCH(QString, kept);
        const QString shown = kept.isEmpty() ? LangText(QStringLiteral("No name")) : kept;
        const QString mac = QStringLiteral("5C-CF-7F-05-04-01");
        const auto type = TIOTYPE(kind);
        const QString prefix = QStringLiteral("60 %1 %2")
                                   .arg(kind, 2, 10, QLatin1Char('0'))
                                   .arg(index + 1, 2, 16, QLatin1Char('0'));
        auto cell = [&](Tfrm_Main& w) -> TNEV_IOTCtrlCell* {
            TNEV_IOTCtrlList* l = w.IOTCtrlList();
            switch (type) {
            case TIOTYPE::IO_OUT:
                return l->OutItems(index);
            case TIOTYPE::IO_IN:
                return l->InItems(index);
            case TIOTYPE::IO_PWM:
                return l->PWMItems(index);
            case TIOTYPE::IO_REG:
                return l->REGItems(index);
            default:
                return l->RedItems(index);
            }
        };
        {
            auto w = Open();
            QVERIFY(Select(*w, mac));
            TNEV_IOTCtrlCell* c = cell(*w);
            QVERIFY(c);
            QCOMPARE(c->CtrlName(), before);
            const qsizetype mark = BoardLog(mac).size();
            QTest::mouseClick(c->Lbl_Name(), Qt::LeftButton);
            QVERIFY(w->PopVisible(POP_RENAME));
            auto* edit = w->findChild<QLineEdit*>(QStringLiteral("edt_Pop_Input_Text"));
            QCOMPARE(edit->text(), before);
            edit->setText(typed);
            if (byEnter)
                QTest::keyClick(edit, Qt::Key_Return);
            else
                QVERIFY(Click(*w, "img_Pop_Input_Yes"));
            QVERIFY(!w->PopVisible(POP_RENAME));
            QTRY_COMPARE_WITH_TIMEOUT(c->CtrlName(), shown, 10000);
            // The picture picker offers the channel pictures; the choice goes to the board.
            QTest::mouseClick(c->Img_Img(), Qt::LeftButton);
            TPopImageList* picker = w->PopImgLst();
            QTRY_VERIFY(picker->isVisible());
            QCOMPARE(picker->Count(), TNEV_IOTCtrlCell::ChannelPictureCount);
            QTest::mouseClick(picker->Item(picture)->Img(), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(c->Img_Img()->PictureName(), TNEV_IOTCtrlCell::ChannelPicture(picture),
                                      10000);
            QTRY_COMPARE_WITH_TIMEOUT(Requests(BoardLog(mac).mid(mark)).size(), 2, 10000);
            const QStringList sent = Requests(BoardLog(mac).mid(mark));
            // The name record: picture, spare byte, 12 bytes of name.
            QVERIFY2(sent[0].startsWith(prefix) && sent[0].endsWith(FieldHex(kept, 12)), qPrintable(sent[0]));
            QVERIFY2(
                sent[1].startsWith(prefix + QStringLiteral(" %1").arg(picture, 2, 16, QLatin1Char('0'))) &&
                    sent[1].endsWith(FieldHex(kept, 12)),
                qPrintable(sent[1]));
            QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
        }
        auto again = Open();
        QVERIFY(Select(*again, mac));
        QTRY_COMPARE_WITH_TIMEOUT(cell(*again)->CtrlName(), shown, 10000);
        QCOMPARE(cell(*again)->Img_Img()->PictureName(), TNEV_IOTCtrlCell::ChannelPicture(picture));
    }

    // A new infrared slot is learned through the learning popup (the overlay tells how it went),
    // a learned one sends its code, and the slot is removed from its menu.
    void infrared_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("result"); // the overlay's text after "Infrared studying ..."
        QTest::addColumn<bool>("learned");
        QTest::newRow("learned, single") << "5C-CF-7F-05-05-01" << 1 << "Infrared study success!" << true;
        QTest::newRow("the board fails, double")
            << "5C-CF-7F-05-05-02" << 2 << "Infrared study failure!" << false;
        QTest::newRow("the board gives up, three")
            << "5C-CF-7F-05-05-03" << 3 << "Infrared study overtime!" << false;
        QTest::newRow("the board never answers")
            << "5C-CF-7F-05-05-04" << 1 << "Infrared study overtime!" << false;
    }
    void infrared() {
        QFETCH(QString, mac);
        QFETCH(int, mode);
        QFETCH(QString, result);
        QFETCH(bool, learned);
        auto w = Open();
        QVERIFY(Select(*w, mac));
        TNEV_IOTCtrlList* list = w->IOTCtrlList();
        const int slotCount = list->RedCount();
        const qsizetype mark = BoardLog(mac).size();
        // "Add infrared" in the panel's menu makes a new slot, not learned yet.
        QTest::mouseClick(list->Img_Light(), Qt::LeftButton);
        QVERIFY(Click(*w, "img_DevCtrl_PopBtn5"));
        QTRY_COMPARE_WITH_TIMEOUT(list->RedCount(), slotCount + 1, 10000);
        w->CloseMenus();
        const quint8 n = quint8(slotCount + 1);
        TNEV_IOTRedCtrl* cell = list->RedItems(slotCount);
        QVERIFY(!cell->isStudied());
        // Its button opens the learning popup for it.
        QTest::mouseClick(cell->Img_IR(), Qt::LeftButton);
        QVERIFY(w->PopVisible(POP_REDSTUDY));
        QVERIFY(Click(*w, qPrintable(QStringLiteral("img_RedStudy_PopBtn%1").arg(mode))));
        QVERIFY(!w->PopVisible(POP_REDSTUDY));
        auto* searching = w->findChild<QWidget*>(QStringLiteral("img_Searching_back"));
        auto* tips = w->findChild<QLabel*>(QStringLiteral("lbl_Searching_Tips1"));
        QTRY_VERIFY_WITH_TIMEOUT(searching->isVisible() && tips->text() == LangText("Infrared studying ..."),
                                 10000);
        QTRY_COMPARE_WITH_TIMEOUT(tips->text(), LangText(result), 10000);
        QVERIFY(searching->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(searching->isHidden(), 10000);
        QCOMPARE(cell->isStudied(), learned);
        QStringList want{
            QStringLiteral("28"),
            QStringLiteral("29 %1 %2").arg(n, 2, 16, QLatin1Char('0')).arg(mode, 2, 10, QLatin1Char('0'))};
        // A learned slot sends its code; one that is not opens the learning popup again.
        QTest::mouseClick(cell->Img_IR(), Qt::LeftButton);
        if (learned) {
            want << QStringLiteral("2a %1").arg(n, 2, 16, QLatin1Char('0'));
            QTRY_COMPARE_WITH_TIMEOUT(Requests(BoardLog(mac).mid(mark)).size(), int(want.size()), 10000);
        } else {
            QVERIFY(w->PopVisible(POP_REDSTUDY));
            QVERIFY(Click(*w, "img_RedStudy_PopBtn4"));
            QVERIFY(!w->PopVisible(POP_REDSTUDY));
        }
        // "Remove" in the slot's menu.
        QTest::mouseClick(cell->Img_Edit(), Qt::LeftButton);
        QVERIFY(Click(*w, "img_DevCtrl_Remove"));
        want << QStringLiteral("2b %1").arg(n, 2, 16, QLatin1Char('0'));
        QTRY_COMPARE_WITH_TIMEOUT(list->RedCount(), slotCount, 10000);
        QCOMPARE(Requests(BoardLog(mac).mid(mark)), want);
        QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
    }

    // Tasks of an output through the task popup: the editor's choices reach the board, which the
    // rows show from its answers (and again after reopening, from its list); a state switch and a
    // confirmed delete go to the board; a full table is told.
    void tasks_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<int>("command");          // editor choice: 1 on, 2 off, 3 reverse
        QTest::addColumn<QList<int>>("dayClicks"); // day switches clicked, Sunday = 0
        QTest::addColumn<int>("adds");
        QTest::addColumn<QString>("commandText");
        QTest::addColumn<QString>("days"); // Sunday first
        QTest::addColumn<QStringList>("messages");
        const QString timer = QStringLiteral("5C-CF-7F-05-06-01");
        QTest::newRow("turn on every day") << timer << 1 << QList<int>{} << 1 << "Turn ON"
                                           << "1111111" << QStringList{};
        QTest::newRow("turn off on weekdays") << timer << 2 << QList<int>{0, 6} << 1 << "Turn OFF"
                                              << "0111110" << QStringList{};
        QTest::newRow("reverse once") << timer << 3 << QList<int>{0, 1, 2, 3, 4, 5, 6} << 1 << "Turn Reverse"
                                      << "0000000" << QStringList{};
        QTest::newRow("a full table") << timer << 1 << QList<int>{} << 3 << "Turn ON"
                                      << "1111111" << QStringList{"Task list was full!"};
        // No task goes out when the board does not take the clock it starts by.
        QTest::newRow("the board refuses the clock")
            << "5C-CF-7F-05-06-02" << 1 << QList<int>{} << 1 << "Turn ON"
            << "1111111" << QStringList{"Failed to set the time, please check your hardware!"};
    }
    void tasks() {
        QFETCH(QString, mac);
        QFETCH(int, command);
        QFETCH(QList<int>, dayClicks);
        QFETCH(int, adds);
        QFETCH(QString, commandText);
        QFETCH(QString, days);
        QFETCH(QStringList, messages);
        const bool clock =
            !messages.contains(QStringLiteral("Failed to set the time, please check your hardware!"));
        const int tableSize = clock ? 2 : 0; // tasks= of the board, none without a clock
        auto w = Open();
        QVERIFY(Select(*w, mac));
        TTaskPopup* popup = w->TaskPopup();
        TNEV_IOTTaskList* list = popup->TaskList();
        const qsizetype mark = BoardLog(mac).size();
        QTest::mouseClick(w->IOTCtrlList()->OutItems(1)->Img_Clock(), Qt::LeftButton);
        QVERIFY(w->PopVisible(POP_TASK));
        QTRY_COMPARE_WITH_TIMEOUT(Requests(BoardLog(mac).mid(mark)), QStringList{QStringLiteral("50 02")},
                                  10000);
        QStringList want{QStringLiteral("50")}; // request codes from here on
        QCOMPARE(list->Count(), 0);
        auto weekText = [](const TBools7& week) {
            QString r;
            for (bool b : week)
                r += b ? '1' : '0';
            return r;
        };
        QStringList starts;
        for (int a = 0; a < adds; ++a) {
            QVERIFY(Click(*w, "img_PopTask_Yes"));
            TTaskEditor* editor = popup->Editor();
            QTRY_VERIFY(editor->isVisible());
            // On the round mark: the button takes clicks on its mark and its text only.
            QRadioButton* choice = editor->Ctrl(command);
            QTest::mouseClick(choice, Qt::LeftButton, {}, QPoint(8, choice->height() / 2));
            QVERIFY(choice->isChecked());
            if (a == 0)
                for (int day : dayClicks)
                    QTest::mouseClick(editor->WeekSwitch(day), Qt::LeftButton);
            QCOMPARE(weekText(editor->Week()), days);
            starts << editor->DateTimeEdit()->text();
            QVERIFY(Click(*w, "img_PopTaskAdd_Yes"));
            QVERIFY(!editor->isVisible());
            want << QStringLiteral("54");
            if (clock)
                want << QStringLiteral("51");
            QTRY_COMPARE_WITH_TIMEOUT(Codes(BoardLog(mac).mid(mark)), want, 10000);
            QTRY_COMPARE_WITH_TIMEOUT(list->Count(), std::min(a + 1, tableSize), 10000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(FMsgs->Messages, Translated(messages), 10000);
        const int rows = std::min(adds, tableSize);
        if (rows == 0) {
            QVERIFY(!popup->PendingTask());
            QCOMPARE(Codes(BoardLog(mac).mid(mark)), want);
            return;
        }
        // What the board keeps, as it answers the list request when the popup opens again.
        QVERIFY(Click(*w, "img_PopTask_No"));
        QVERIFY(!w->PopVisible(POP_TASK));
        QCOMPARE(list->Count(), 0);
        QTest::mouseClick(w->IOTCtrlList()->OutItems(1)->Img_Clock(), Qt::LeftButton);
        want << QStringLiteral("50");
        QTRY_COMPARE_WITH_TIMEOUT(list->Count(), rows, 10000);
        QCOMPARE(Codes(BoardLog(mac).mid(mark)), want);
        for (int r = 0; r < rows; ++r) {
            TNEV_IOTTaskCell* row = list->TaskCell(r);
            QVERIFY(row->isON());
            QCOMPARE(row->CMDText(), LangText(commandText));
            QCOMPARE(weekText(row->Week()), days);
            QCOMPARE(row->DatetimeText(), starts[r]);
        }
        // The state switch: off, then on again, each shown when the board answers.
        TNEV_IOTTaskCell* first = list->TaskCell(0);
        const QString id = QStringLiteral("%1").arg(first->TaskID(), 2, 16, QLatin1Char('0'));
        QTest::mouseClick(first->ImgSwh_State(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!first->isON(), 10000);
        QTest::mouseClick(first->ImgSwh_State(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(first->isON(), 10000);
        QCOMPARE(Requests(BoardLog(mac).mid(mark)).mid(want.size()),
                 (QStringList{QStringLiteral("52 %1 02").arg(id), QStringLiteral("52 %1 01").arg(id)}));
        want << QStringLiteral("52") << QStringLiteral("52");
        // Delete: "No" sends nothing; "Yes" removes the task from the board, then the row.
        const QStringList before = FMsgs->Messages;
        FMsgs->ConfirmAnswers = {false};
        QTest::mouseClick(first->ImgBtn_DeL(), Qt::LeftButton);
        QCOMPARE(FMsgs->Messages, before + QStringList{LangText(QStringLiteral("Are you sure to remove?"))});
        QCOMPARE(list->Count(), rows);
        QStringList deletes;
        for (int r = rows; r > 0; --r) {
            TNEV_IOTTaskCell* row = list->TaskCell(0);
            const QString rowId = QStringLiteral("%1").arg(row->TaskID(), 2, 16, QLatin1Char('0'));
            FMsgs->ConfirmAnswers = {true};
            QTest::mouseClick(row->ImgBtn_DeL(), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(list->Count(), r - 1, 10000);
            deletes << QStringLiteral("52 %1 03").arg(rowId);
        }
        QCOMPARE(Requests(BoardLog(mac).mid(mark)).mid(want.size()), deletes);
    }

    // Pictures of every popup these tests open, in both languages, for review.
    void popupShots_data() {
        QTest::addColumn<int>("langTab");
        QTest::addColumn<int>("output"); // whose task list is shown: one without tasks yet
        QTest::newRow("en") << int(TAB_EN) << 0;
        QTest::newRow("cn") << int(TAB_CN) << 1;
    }
    void popupShots() {
        QFETCH(int, langTab);
        QFETCH(int, output);
        const QString mac = QStringLiteral("5C-CF-7F-05-07-01");
        auto w = Open();
        w->img_MainSettingClick(langTab);
        QVERIFY(Select(*w, mac));
        TNEV_IOTCtrlList* list = w->IOTCtrlList();
        auto* searching = w->findChild<QWidget*>(QStringLiteral("img_Searching_back"));
        QTRY_VERIFY_WITH_TIMEOUT(searching->isHidden(), 10000);
        QVERIFY(Shoot(*w, QStringLiteral("panel")));
        QVERIFY(OpenSettings(*w));
        QVERIFY(Shoot(*w, QStringLiteral("device-settings")));
        w->HideAllPops();
        QTest::mouseClick(list->OutItems(0)->Lbl_Name(), Qt::LeftButton);
        QVERIFY(w->PopVisible(POP_RENAME));
        QVERIFY(Shoot(*w, QStringLiteral("rename")));
        w->HideAllPops();
        QTest::mouseClick(list->OutItems(0)->Img_Img(), Qt::LeftButton);
        QTRY_VERIFY(w->PopImgLst()->isVisible());
        QVERIFY(Shoot(*w, QStringLiteral("picture-picker")));
        w->CloseMenus();
        QTest::mouseClick(list->Img_Light(), Qt::LeftButton);
        QVERIFY(Shoot(*w, QStringLiteral("control-menu")));
        w->CloseMenus();
        QTest::mouseClick(list->RedItems(0)->Img_Edit(), Qt::LeftButton);
        QVERIFY(Shoot(*w, QStringLiteral("infrared-menu")));
        QVERIFY(Click(*w, "img_DevCtrl_ReStudy"));
        QVERIFY(w->PopVisible(POP_REDSTUDY));
        QVERIFY(Shoot(*w, QStringLiteral("infrared-learning")));
        QVERIFY(Click(*w, "img_RedStudy_PopBtn1"));
        auto* tips = w->findChild<QLabel*>(QStringLiteral("lbl_Searching_Tips1"));
        QTRY_COMPARE_WITH_TIMEOUT(tips->text(), LangText("Infrared studying ..."), 10000);
        QVERIFY(Shoot(*w, QStringLiteral("infrared-studying")));
        QTRY_VERIFY_WITH_TIMEOUT(searching->isHidden(), 10000);
        QTest::mouseClick(list->OutItems(output)->Img_Clock(), Qt::LeftButton);
        QVERIFY(w->PopVisible(POP_TASK));
        TNEV_IOTTaskList* tasks = w->TaskPopup()->TaskList();
        QVERIFY(Click(*w, "img_PopTask_Yes"));
        QTRY_VERIFY(w->TaskPopup()->Editor()->isVisible());
        QVERIFY(Shoot(*w, QStringLiteral("task-editor")));
        QVERIFY(Click(*w, "img_PopTaskAdd_Yes"));
        QTRY_COMPARE_WITH_TIMEOUT(tasks->Count(), 1, 10000);
        QVERIFY(Shoot(*w, QStringLiteral("tasks")));
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet(InsideVar)) {
        // The request log is the simulator's debug output: no outside rule may silence it.
        if (qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
            qputenv(LoggingVar, qgetenv("QT_LOGGING_RULES"));
        qunsetenv("QT_LOGGING_RULES");
        QStringList lan{"--boardsim", BOARDSIM, "--sim-arg=--verbose"};
        for (const char* b : Boards)
            lan << "--board" << QLatin1String(b);
        return RunInVirtualLan("tst_e2e_settings", InsideVar, lan, argc, argv);
    }
    if (qEnvironmentVariableIsSet(LoggingVar))
        qputenv("QT_LOGGING_RULES", qgetenv(LoggingVar));
    QApplication app(argc, argv);
    tst_e2e_settings test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_settings.moc"
