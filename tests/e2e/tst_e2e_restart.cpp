// The window across restarts, end to end: offscreen, with temporary settings folders, on a virtual
// LAN (tools/virtual-lan) with simulated boards, some of them behind their own passwords. What one
// window stores (board passwords, the lock, the language, the mode) must be what the next window
// on the same folder starts from, and the real program must run once per settings folder. Started
// by ctest, the program starts the virtual LAN and runs itself again inside its "pc" namespace;
// without root it exits with VirtualLanSkipStatus (reported as skipped).
#include "VirtualLan.h"
#include "WindowLan.h"

#include "untAddRouter.h"
#include "untDevEvents.h"
#include "untIOTCtrlList.h"
#include "untIOTDev.h"
#include "untIOTDevList.h"
#include "untIOTUDP.h"
#include "untSingleInstance.h"

#include <QComboBox>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QUdpSocket>
#include <QtTest>

namespace {

constexpr const char* InsideVar = "QUILLET_E2E_RESTART_INSIDE";
constexpr int BoardWaitMs = 15000;

struct TBoard {
    const char* Spec;
    const char* MAC;
    const char* Password;
};

// Each password board serves one row of the prompt test (its password changes there); "Safe"
// keeps its password for the shutdown test.
const TBoard Boards[] = {
    {"mac=5C-CF-7F-02-03-0A,name=VaultA,type=2,ctrl=6,password=alpha1,out=4,in=0,pwm=0,reg=0,ir=0",
     "5C-CF-7F-02-03-0A", "alpha1"},
    {"mac=5C-CF-7F-02-03-0B,name=VaultB,type=2,ctrl=6,password=beta22,out=4,in=0,pwm=0,reg=0,ir=0",
     "5C-CF-7F-02-03-0B", "beta22"},
    {"mac=5C-CF-7F-02-03-0C,name=VaultC,type=2,ctrl=6,password=gamma3,out=4,in=0,pwm=0,reg=0,ir=0",
     "5C-CF-7F-02-03-0C", "gamma3"},
    {"mac=5C-CF-7F-02-03-0D,name=Safe,type=1,ctrl=6,password=s3cret", "5C-CF-7F-02-03-0D", "s3cret"},
    {"mac=5C-CF-7F-02-03-0E,name=Open,type=1,ctrl=6", "5C-CF-7F-02-03-0E", "qorvu"},
};

QWidget* Searching(const Tfrm_Main& w) {
    return w.findChild<QWidget*>(QStringLiteral("img_Searching_back"));
}

TNEV_IOTDevConn* Board(const Tfrm_Main& w, const QString& mac) {
    TNEV_IOTDevList* list = w.IOTDevList();
    const int i = list->IndexOfMAC(mac);
    return i >= 0 ? list->DevItems(i) : nullptr;
}

TIOTNETSTATE StateOf(const Tfrm_Main& w, const QString& mac) {
    const TNEV_IOTDevConn* d = Board(w, mac);
    return d ? d->NetState() : TIOTNETSTATE::NET_DISCNNT;
}

// The board's row as a user clicks it.
void ClickBoard(Tfrm_Main& w, const QString& mac) {
    TNEV_IOTDevList* list = w.IOTDevList();
    list->ItemClick(list->Item(list->IndexOfMAC(mac)), DevListTag::Device);
}

bool PanelShows(const Tfrm_Main& w, const QString& mac) {
    return w.IOTCtrlList()->Appeared() && w.DevEvents()->Selected() == Board(w, mac) &&
           !w.DevEvents()->ChainRunning() && !w.IOTCtrlList()->isSliding();
}

// program.ini read as text: section → key → value.
QMap<QString, QMap<QString, QString>> IniSections(const QString& file) {
    QFile f(file);
    QMap<QString, QMap<QString, QString>> out;
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return out;
    QString section;
    for (const QString& raw : QString::fromUtf8(f.readAll()).split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']'))
            section = line.mid(1, line.size() - 2);
        else if (const int eq = line.indexOf(u'='); eq > 0)
            out[section][line.left(eq)] = line.mid(eq + 1);
    }
    return out;
}

QString ReadAll(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class tst_e2e_restart : public QObject {
    Q_OBJECT

    std::shared_ptr<TRecordingMessages> FMsgs;

    TMainEnv LanEnv(const QString& folder) const { return VirtualLanEnv(folder, FMsgs); }

    static void Shoot(QWidget& w, const QString& name) {
        const QString dir = QStringLiteral(SHOT_DIR);
        QDir().mkpath(dir);
        const QString lang = LangIsCn() ? QStringLiteral("cn") : QStringLiteral("en");
        QVERIFY(w.grab().save(QStringLiteral("%1/e2e-restart-%2-%3.png").arg(dir, name, lang)));
    }

    // Selects a board whose password the window already has, and waits for its panel.
    static void SelectConnected(Tfrm_Main& w, const QString& mac) {
        // After the search window: its answers reconnect the boards they name.
        QTRY_VERIFY_WITH_TIMEOUT(Searching(w)->isHidden(), BoardWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(StateOf(w, mac) == TIOTNETSTATE::NET_OK, BoardWaitMs);
        ClickBoard(w, mac);
        QTRY_VERIFY_WITH_TIMEOUT(PanelShows(w, mac), BoardWaitMs);
    }

    // Clicks a board that refuses the window's password and answers the prompt with `answers`
    // (a null text cancels) until the last one, which must be the board's password.
    void SelectWithPassword(Tfrm_Main& w, const QString& mac, const QStringList& answers) {
        QTRY_VERIFY_WITH_TIMEOUT(Searching(w)->isHidden(), BoardWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(StateOf(w, mac) == TIOTNETSTATE::NET_PSDERR, BoardWaitMs);
        for (int i = 0; i < answers.size(); ++i) {
            const QString& answer = answers[i];
            const size_t asked = FMsgs->Inputs.size();
            FMsgs->InputAnswers.push_back(answer);
            ClickBoard(w, mac);
            QCOMPARE(FMsgs->Inputs.size(), asked + 1);
            const TRecordingMessages::TInput& input = FMsgs->Inputs.back();
            QCOMPARE(input.Caption, LangText(QStringLiteral("Please input device password")));
            QCOMPARE(input.Prompt, LangText(QStringLiteral("Password:")));
            QVERIFY(input.Masked);
            QVERIFY(input.Initial.isEmpty());
            if (answer.isNull()) {
                // Cancel: nothing is tried, the board stays refused.
                QCOMPARE(StateOf(w, mac), TIOTNETSTATE::NET_PSDERR);
                continue;
            }
            // An answer is tried at once with a new login.
            QVERIFY(StateOf(w, mac) != TIOTNETSTATE::NET_PSDERR);
            if (i + 1 < answers.size()) {
                // A wrong one is refused again; the panel stays away.
                QTRY_VERIFY_WITH_TIMEOUT(StateOf(w, mac) == TIOTNETSTATE::NET_PSDERR, BoardWaitMs);
                QVERIFY(!w.IOTCtrlList()->Appeared());
            } else {
                QTRY_VERIFY_WITH_TIMEOUT(StateOf(w, mac) == TIOTNETSTATE::NET_OK, BoardWaitMs);
            }
        }
        // The right password opens the board's panel without another click.
        QTRY_VERIFY_WITH_TIMEOUT(PanelShows(w, mac), BoardWaitMs);
    }

private slots:
    void initTestCase() {
        QString why;
        if (!qEnvironmentVariableIsSet(InsideVar) || !OnlyVirtualLanInterfaces(&why))
            QFAIL(qPrintable(QStringLiteral("refusing to run outside the virtual LAN: ") + why));
    }

    void init() {
        FMsgs = std::make_shared<TRecordingMessages>();
        CloudSession.Clear();
    }

    // A board behind its own password: the prompt on selection, wrong and cancelled answers, and
    // a password change from the device settings that the next window starts with.
    void lanPasswordAndChangeAcrossRestart_data() {
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("langTab");
        QTest::addColumn<QStringList>("answers"); // the last one is right
        QTest::addColumn<QString>("oldTyped");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<bool>("changed");
        QTest::newRow("right at once, changed") << 0 << int(TAB_EN) << QStringList{"alpha1"} << "alpha1"
                                                << "n3w-A" << true;
        QTest::newRow("wrong then right, changed in Chinese")
            << 1 << int(TAB_CN) << QStringList{"wrong9", "beta22"} << "beta22"
            << "b~2" << true;
        QTest::newRow("cancel then right, wrong old password refused")
            << 2 << int(TAB_EN) << QStringList{QString(), "gamma3"} << "gamma4"
            << "zz9" << false;
    }
    void lanPasswordAndChangeAcrossRestart() {
        QFETCH(int, board);
        QFETCH(int, langTab);
        QFETCH(QStringList, answers);
        QFETCH(QString, oldTyped);
        QFETCH(QString, newPassword);
        QFETCH(bool, changed);
        const QString mac = QLatin1String(Boards[board].MAC);
        const QString password = changed ? newPassword : QLatin1String(Boards[board].Password);
        QTemporaryDir dir;
        {
            Tfrm_Main w(LanEnv(dir.path()));
            w.show();
            w.img_MainSettingClick(langTab);
            SelectWithPassword(w, mac, answers);
            QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));

            QTest::mouseClick(w.IOTCtrlList()->Img_Edit(), Qt::LeftButton);
            QTRY_VERIFY(w.PopVisible(POP_DEVINFO));
            for (const auto& [name, text] :
                 {std::pair{"edt_Pop_DevInfo_Old", oldTyped}, std::pair{"edt_Pop_DevInfo_New", newPassword},
                  std::pair{"edt_Pop_DevInfo_Retype", newPassword}}) {
                auto* edit = w.findChild<QLineEdit*>(QLatin1String(name));
                QCOMPARE(edit->echoMode(), QLineEdit::Password);
                QTest::keyClicks(edit, text);
            }
            Shoot(w, QStringLiteral("device-settings-password"));
            w.img_PopClick(17);
            const QString reply = LangText(changed ? QStringLiteral("Change device Password success!")
                                                   : QStringLiteral("Failed to change device password!"));
            QTRY_VERIFY_WITH_TIMEOUT(!FMsgs->Messages.isEmpty(), BoardWaitMs);
            QCOMPARE(FMsgs->Messages, QStringList{reply});
            QCOMPARE(Board(w, mac)->DevPasswordStr(), password);
            // Closing the settings empties the password boxes.
            w.img_PopClick(19);
            QVERIFY(w.findChild<QLineEdit*>(QStringLiteral("edt_Pop_DevInfo_New"))->text().isEmpty());
        }
        // The next window on this folder logs in with the stored password, asking nothing.
        FMsgs->Messages.clear();
        FMsgs->Inputs.clear();
        Tfrm_Main again(LanEnv(dir.path()));
        again.show();
        SelectConnected(again, mac);
        QVERIFY(FMsgs->Inputs.empty());
        QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));
    }

    // The lock and the language outlive the window; the next one opens locked, in that language,
    // keeps its boards working behind the lock and takes no clicks until unlocked.
    void lockAndLanguageAcrossRestart_data() {
        QTest::addColumn<int>("langTab");
        QTest::addColumn<QString>("lockPassword");
        QTest::addColumn<bool>("removeLock");
        QTest::newRow("Chinese, locked") << int(TAB_CN) << "lk-cn1" << false;
        QTest::newRow("English, locked") << int(TAB_EN) << "Lk 2" << false;
        QTest::newRow("Chinese, lock removed again") << int(TAB_CN) << "lk3" << true;
    }
    void lockAndLanguageAcrossRestart() {
        QFETCH(int, langTab);
        QFETCH(QString, lockPassword);
        QFETCH(bool, removeLock);
        const bool cn = langTab == TAB_CN;
        const QString open = QLatin1String(Boards[4].MAC);
        QTemporaryDir dir;
        {
            Tfrm_Main w(LanEnv(dir.path()));
            w.show();
            // Away from the start language first, so that the row's language is a real switch.
            w.img_MainSettingClick(cn ? TAB_EN : TAB_CN);
            w.img_MainSettingClick(langTab);
            QCOMPARE(LangIsCn(), cn);
            SelectConnected(w, open);
            FMsgs->InputAnswers.push_back(lockPassword);
            w.Img_MorClick(5);
            QVERIFY(w.Locked());
            QCOMPARE(FMsgs->Messages,
                     QStringList{LangChoose(TLangChoice::LockPasswordReminder) + lockPassword});
            // Locking covers the window only: the board stays connected behind it.
            QCOMPARE(StateOf(w, open), TIOTNETSTATE::NET_OK);
            Shoot(w, QStringLiteral("locked"));
            if (removeLock) {
                auto* box = w.findChild<QLineEdit*>(QStringLiteral("edt_Lock_Unlock"));
                QTest::keyClicks(box, lockPassword);
                QTest::keyClick(box, Qt::Key_Return);
                QVERIFY(!w.Locked());
                FMsgs->InputAnswers.push_back(lockPassword);
                w.Img_MorClick(6);
                QCOMPARE(FMsgs->Messages.last(),
                         LangText(QStringLiteral("The lock screen password function has been canceled!")));
            }
        }
        FMsgs->Messages.clear();
        Tfrm_Main again(LanEnv(dir.path()));
        again.show();
        QCOMPARE(LangIsCn(), cn);
        QCOMPARE(again.windowTitle(), cn ? QStringLiteral("澜桥匣 for Windows V1.2.6")
                                         : QStringLiteral("Quillet for Windows V1.2.6"));
        QCOMPARE(again.Locked(), !removeLock);
        QTRY_VERIFY_WITH_TIMEOUT(StateOf(again, open) == TIOTNETSTATE::NET_OK, BoardWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(Searching(again)->isHidden(), BoardWaitMs);
        if (!removeLock) {
            // Behind the lock a click on the board selects nothing.
            ClickBoard(again, open);
            QVERIFY(!again.DevEvents()->Selected());
            QVERIFY(!again.IOTCtrlList()->Appeared());
            auto* box = again.findChild<QLineEdit*>(QStringLiteral("edt_Lock_Unlock"));
            QCOMPARE(box->echoMode(), QLineEdit::Password);
            QTest::keyClicks(box, lockPassword + QStringLiteral("x"));
            QTest::keyClick(box, Qt::Key_Return);
            QCOMPARE(FMsgs->Messages,
                     QStringList{LangText(QStringLiteral("Input lock screen password error!"))});
            QVERIFY(again.Locked());
            QVERIFY(box->text().isEmpty());
            QTest::keyClicks(box, lockPassword);
            again.img_PopClick(30);
            QVERIFY(!again.Locked());
            QVERIFY(box->text().isEmpty());
            // Unlocking keeps the password for the next start.
            QCOMPARE(again.Settings().IniReadLock(), lockPassword);
        } else {
            QVERIFY(again.Settings().IniReadLock().isEmpty());
        }
        SelectConnected(again, open);
        QCOMPARE(FMsgs->Messages.size(), removeLock ? 0 : 1);
    }

    // What a session leaves in program.ini: the boards with their modes, the language and the
    // lock as typed, and no board password in clear text.
    void shutdownContentsOfProgramIni_data() {
        QTest::addColumn<int>("langTab");
        QTest::addColumn<bool>("jog");
        QTest::addColumn<QString>("lockPassword");
        QTest::newRow("English, jog mode") << int(TAB_EN) << true << "lock-en";
        QTest::newRow("Chinese, touch mode") << int(TAB_CN) << false << "k9 cn";
    }
    void shutdownContentsOfProgramIni() {
        QFETCH(int, langTab);
        QFETCH(bool, jog);
        QFETCH(QString, lockPassword);
        const QString safe = QLatin1String(Boards[3].MAC);
        QTemporaryDir dir;
        {
            Tfrm_Main w(LanEnv(dir.path()));
            w.show();
            w.img_MainSettingClick(langTab);
            SelectWithPassword(w, safe, {QLatin1String(Boards[3].Password)});
            if (jog) {
                w.img_PopClick(11);
                QVERIFY(!Board(w, safe)->DevParam().TouchMode);
            }
            for (const TBoard& b : Boards)
                QTRY_VERIFY_WITH_TIMEOUT(Board(w, QLatin1String(b.MAC)), BoardWaitMs);
            FMsgs->InputAnswers.push_back(lockPassword);
            w.Img_MorClick(5);
            QVERIFY(w.Locked());
        }
        const QString file = dir.filePath(QStringLiteral("program.ini"));
        const QString text = ReadAll(file);
        QVERIFY(!text.isEmpty());
        for (const TBoard& b : Boards)
            QVERIFY2(!text.contains(QLatin1String(b.Password)), b.Password);
        const auto ini = IniSections(file);
        const auto system = ini.value(QStringLiteral("System"));
        QCOMPARE(system.value(QStringLiteral("Lock")), lockPassword);
        QCOMPARE(system.value(QStringLiteral("Language")),
                 langTab == TAB_CN ? QStringLiteral("1") : QStringLiteral("0"));
        QCOMPARE(system.value(QStringLiteral("DevListCount")), QString::number(std::size(Boards)));
        QStringList macs;
        for (auto it = ini.begin(); it != ini.end(); ++it) {
            if (!it.key().startsWith(QStringLiteral("Device")))
                continue;
            const QString mac = it.value().value(QStringLiteral("MAC"));
            macs << mac;
            QVERIFY(!it.value().value(QStringLiteral("DevPassword")).isEmpty());
            const bool touch = !(jog && mac == safe);
            QCOMPARE(it.value().value(QStringLiteral("TouchMode")),
                     touch ? QStringLiteral("1") : QStringLiteral("0"));
        }
        macs.sort();
        QStringList want;
        for (const TBoard& b : Boards)
            want << QLatin1String(b.MAC);
        QCOMPARE(macs, want);
        // The ciphered passwords read back as the boards take them.
        TIniSettings read(dir.path(), LanEnv(dir.path()).MachineKey);
        read.IniLoad();
        const TIniDevs devs = read.IniDevs();
        const auto stored =
            std::find_if(devs.begin(), devs.end(), [&](const TIniDev& d) { return d.MAC == safe; });
        QVERIFY(stored != devs.end());
        QCOMPARE(stored->DevPassword, QLatin1String(Boards[3].Password));
    }

    // Another program holds the router-join port: the window starts without a word, with the
    // device settings' router part off; the device list's "Search" takes the port once it is free,
    // and the router part then lists the boards' networks and joins one.
    void routerPortTakenInTheLan_data() {
        QTest::addColumn<QString>("takenOn");
        QTest::addColumn<int>("langTab");
        QTest::addColumn<QString>("network"); // a listed caption, or a typed name
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("result");
        QTest::newRow("every address; listed network joined")
            << QStringLiteral("0.0.0.0") << int(TAB_EN) << "lab   [76%]"
            << "12345678"
            << "Add SSID success!";
        QTest::newRow("the LAN address; wrong network password")
            << qEnvironmentVariable("QUILLET_VLAN_PC_IP") << int(TAB_CN) << "office   [52%]"
            << "office99"
            << "SSID password error!";
        QTest::newRow("loopback; typed name nobody sees")
            << QStringLiteral("127.0.0.1") << int(TAB_EN) << "nowhere"
            << "x"
            << "SSID not exist!";
        QTest::newRow("every address; typed open network")
            << QStringLiteral("0.0.0.0") << int(TAB_CN) << "guest"
            << ""
            << "Add SSID success!";
    }
    void routerPortTakenInTheLan() {
        QFETCH(QString, takenOn);
        QFETCH(int, langTab);
        QFETCH(QString, network);
        QFETCH(QString, password);
        QFETCH(QString, result);
        const QString open = QLatin1String(Boards[4].MAC);
        QTemporaryDir dir;
        QUdpSocket taken;
        QVERIFY(taken.bind(QHostAddress(takenOn),
                           quint16(qEnvironmentVariableIntValue("QUILLET_VLAN_ROUTER_PORT")),
                           QAbstractSocket::DontShareAddress));
        Tfrm_Main w(LanEnv(dir.path()));
        w.show();
        w.img_MainSettingClick(langTab);
        QVERIFY(!w.AddRouter()->isListening());
        // The LAN search goes on as usual.
        QVERIFY(w.IOTUDP()->Active());
        QTRY_VERIFY_WITH_TIMEOUT(
            w.IOTDevList()->DevCount() == int(std::size(Boards)) && Searching(w)->isHidden(), BoardWaitMs);
        SelectConnected(w, open);
        auto* router = w.findChild<QWidget*>(QStringLiteral("rctngl_Pop_DevInfo_Router"));
        auto openSettings = [&] {
            QTest::mouseClick(w.IOTCtrlList()->Img_Edit(), Qt::LeftButton);
            QTRY_VERIFY(w.PopVisible(POP_DEVINFO));
        };
        openSettings();
        QVERIFY(!router->isEnabled());
        Shoot(w, QStringLiteral("device-settings-router-off"));
        w.img_PopClick(19);

        // "Search" while it is still taken: still quiet, still off.
        TNEV_IOTDevList* list = w.IOTDevList();
        list->DoListClick(-1, DevListTag::Refresh);
        QVERIFY(!w.AddRouter()->isListening());
        QTRY_VERIFY_WITH_TIMEOUT(Searching(w)->isHidden(), BoardWaitMs);
        QVERIFY2(FMsgs->Messages.isEmpty(), qPrintable(FMsgs->Messages.join('|')));

        taken.close();
        list->DoListClick(-1, DevListTag::Refresh);
        QVERIFY(w.AddRouter()->isListening());
        QTRY_VERIFY_WITH_TIMEOUT(Searching(w)->isHidden(), BoardWaitMs);
        SelectConnected(w, open);
        openSettings();
        QVERIFY(router->isEnabled());
        auto* names = w.findChild<QComboBox*>(QStringLiteral("edt_Pop_DevInfo_RouterSearch"));
        auto* search = w.findChild<QWidget*>(QStringLiteral("img_Pop_DevInfo_RouterSearch"));
        QTest::mouseClick(search, Qt::LeftButton);
        // Every board answers; the list holds each network once, after the manual entry.
        const QStringList captions{LangChoose(TLangChoice::ManualInput), "lab   [76%]", "office   [52%]",
                                   "guest   [31%]"};
        auto listed = [names] {
            QStringList items;
            for (int i = 0; i < names->count(); ++i)
                items << names->itemText(i);
            return items;
        };
        QTRY_COMPARE_WITH_TIMEOUT(listed(), captions, BoardWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(search->isEnabled(), BoardWaitMs);
        QCOMPARE(
            FMsgs->Messages,
            QStringList{LangText(QStringLiteral("Search finished, please select or enter a SSID name."))});
        FMsgs->Messages.clear();

        if (const int i = captions.indexOf(network); i >= 0)
            names->setCurrentIndex(i);
        else
            names->setEditText(network);
        QTest::keyClicks(w.findChild<QLineEdit*>(QStringLiteral("edt_Pop_DevInfo_RouterPWD")), password);
        Shoot(w, QStringLiteral("device-settings-router"));
        QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("img_Pop_DevInfo_RouterAdd")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!FMsgs->Messages.isEmpty(), BoardWaitMs);
        QCOMPARE(FMsgs->Messages, QStringList{LangText(result)});
    }

    // The real program, copied into temporary folders (its settings live beside it): one copy per
    // settings folder. A second copy on the same folder tells the first and says so, in the first
    // copy's language; a copy elsewhere, or after the first ended, runs.
    void singleInstanceOfTheProgram_data() {
        QTest::addColumn<QString>("second"); // "same", "other" or "after" (the first was killed)
        QTest::addColumn<bool>("cn");
        QTest::newRow("same folder, English") << "same" << false;
        QTest::newRow("same folder, Chinese") << "same" << true;
        QTest::newRow("another folder") << "other" << false;
        QTest::newRow("same folder after the first died") << "after" << true;
    }
    void singleInstanceOfTheProgram() {
        QFETCH(QString, second);
        QFETCH(bool, cn);
        QTemporaryDir first;
        QTemporaryDir other;
        // A copy of the program with its own program.ini; the cloud server stays on loopback.
        auto install = [cn](const QString& folder) {
            const QString exe = folder + QStringLiteral("/quillet");
            if (!QFile::exists(exe) && !QFile::copy(QStringLiteral(QUILLET_PROGRAM), exe))
                return QString();
            QFile ini(folder + QStringLiteral("/program.ini"));
            if (!ini.open(QIODevice::WriteOnly | QIODevice::Text))
                return QString();
            ini.write(QStringLiteral("[System]\nLanguage=%1\nCloudServer=http://127.0.0.1:9\n")
                          .arg(cn ? 1 : 0)
                          .toUtf8());
            return exe;
        };
        const QString firstExe = install(first.path());
        const QString secondExe = second == QLatin1String("other") ? install(other.path()) : firstExe;
        QVERIFY(!firstExe.isEmpty() && !secondExe.isEmpty());
        const QString secondFolder = QFileInfo(secondExe).path();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QLatin1String(InsideVar));
        std::vector<std::unique_ptr<QProcess>> copies;
        QString secondErr;
        auto start = [&](const QString& exe) {
            auto p = std::make_unique<QProcess>();
            p->setProcessEnvironment(env);
            p->setProgram(exe);
            p->start();
            copies.push_back(std::move(p));
            return copies.back().get();
        };
        // The copy that holds the folder's lock file, by the process id written in it.
        auto holder = [](const QString& folder) {
            qint64 pid = 0;
            QString host, app;
            QLockFile lock(TSingleInstance::LockFileName(folder));
            return lock.getLockInfo(&pid, &host, &app) ? pid : 0;
        };
        const auto cleanup = qScopeGuard([&] {
            for (auto& p : copies) {
                p->kill();
                p->waitForFinished(10000);
            }
        });

        QProcess* one = start(firstExe);
        QVERIFY(one->waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(holder(first.path()), one->processId(), BoardWaitMs);
        if (second == QLatin1String("after")) {
            // Ended without a word: the lock file stays behind, naming a process that is gone.
            one->kill();
            QTRY_COMPARE_WITH_TIMEOUT(one->state(), QProcess::NotRunning, BoardWaitMs);
            QVERIFY(QFile::exists(TSingleInstance::LockFileName(first.path())));
        }

        QProcess* two = start(secondExe);
        QVERIFY(two->waitForStarted(10000));
        connect(two, &QProcess::readyReadStandardError, this,
                [&] { secondErr += QString::fromUtf8(two->readAllStandardError()); });
        if (second == QLatin1String("same")) {
            const QString saved = LangIsCn() ? LangCn : LangEn;
            SetLanguage(cn ? LangCn : LangEn);
            const QString line = QStringLiteral("quillet: ") +
                                 LangText(QStringLiteral("The program is already running!")) + u'\n';
            SetLanguage(saved);
            QTRY_VERIFY2_WITH_TIMEOUT(secondErr.contains(line), qPrintable(secondErr), BoardWaitMs);
            // It never took the lock; the first copy runs on and still holds it.
            QCOMPARE(holder(first.path()), one->processId());
            two->kill();
            QTRY_COMPARE_WITH_TIMEOUT(two->state(), QProcess::NotRunning, BoardWaitMs);
            QCOMPARE(one->state(), QProcess::Running);
            QCOMPARE(holder(first.path()), one->processId());
        } else {
            // It runs as the copy of its folder.
            QTRY_COMPARE_WITH_TIMEOUT(holder(secondFolder), two->processId(), BoardWaitMs);
            QVERIFY2(!secondErr.contains(QStringLiteral("quillet: ")), qPrintable(secondErr));
            QCOMPARE(two->state(), QProcess::Running);
            if (second == QLatin1String("other"))
                QCOMPARE(one->state(), QProcess::Running);
        }
    }
};

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet(InsideVar)) {
        QStringList lan{"--boardsim", BOARDSIM};
        for (const TBoard& b : Boards)
            lan << "--board" << QLatin1String(b.Spec);
        return RunInVirtualLan("tst_e2e_restart", InsideVar, lan, argc, argv);
    }
    QApplication app(argc, argv);
    tst_e2e_restart test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_restart.moc"
