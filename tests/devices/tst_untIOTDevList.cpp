// The device list without a window: merges by MAC, selection, remove mode, the records it saves.
// Cloud devices get the relay host "0.0.0.0", which never connects; LAN answers point at a
// loopback listener.
#include "untIOTDevList.h"
#include "untIni.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Mac1 = QStringLiteral("AA-BB-CC-DD-EE-01");
const QString Mac2 = QStringLiteral("AA-BB-CC-DD-EE-02");

TIniDev Stored(const QString& mac, const QString& name) {
    TIniDev d;
    d.Name = name;
    d.MAC = mac;
    d.IP = QStringLiteral("0.0.0.0");
    d.Port = 8900;
    d.DevPassword = QStringLiteral("secret");
    d.DevType = 3;
    d.CtrlByte = 0x1F;
    d.DevParam.LockArr = {true, false, true};
    d.DevParam.TouchMode = false;
    return d;
}

TUDPRcvRcd Answer(const QString& mac, const QByteArray& name, quint8 type = 5) {
    TUDPRcvRcd r;
    r.DevType = type;
    r.DevID = 0x0F;
    r.DevIP = {127, 0, 0, 1};
    MACStrToBuf(mac, r.DevMAC);
    std::copy_n(name.constData(), std::min<qsizetype>(name.size(), 16), r.DevName.begin());
    return r;
}

TDevInfoData Cloud(const QString& mac, const QString& name, const QString& pass, const QString& type,
                   const QString& img = {}) {
    TDevInfoData d;
    d.mac = mac;
    d.name = name;
    d.pass = pass;
    d._type = type;
    d.img = img;
    return d;
}

// A device the list shows as reachable in the given way and state, without any connection.
void Force(TNEV_IOTDevConn* c, TIOTNETSTYLE style, TIOTNETSTATE state) {
    if (style == TIOTNETSTYLE::NET_LAN) {
        c->setDevIPStr({}); // refused at once: no connection is tried
        c->setNetStyle(style);
    } else if (style == TIOTNETSTYLE::NET_REMOTE) {
        c->setNetIPStr(QStringLiteral("0.0.0.0"));
        c->setNetStyle(style);
    } else {
        c->setNetStyle(style);
    }
    c->setNetState(state);
}

} // namespace

class tst_untIOTDevList : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void merge_data();
    void merge();
    void activatedDeviceStaysOnline();
    void cloudPicture_data();
    void cloudPicture();
    void cloudPictureAfterTheUsersOwn();
    void selectionAfterRemoval_data();
    void selectionAfterRemoval();
    void removingIgnoresFurtherClicks();
    void removeMode();
    void passwordPrompt_data();
    void passwordPrompt();
    void getIniDevsRoundTrip();
    void savesOncePerSearchWindow();
    void gettersOutOfRange();

private:
    std::unique_ptr<TNEV_IOTDevList> NewList();
    QTemporaryDir FDir;
    QTcpServer FLan;
};

void tst_untIOTDevList::initTestCase() {
    QVERIFY(FDir.isValid());
    QVERIFY(FLan.listen(QHostAddress::LocalHost, 0));
}

void tst_untIOTDevList::init() {
    SetSettingsFolder(FDir.path());
    QDir(DevImgDir()).removeRecursively();
    CloudSession.Clear();
}

std::unique_ptr<TNEV_IOTDevList> tst_untIOTDevList::NewList() {
    auto list = std::make_unique<TNEV_IOTDevList>();
    list->setCloudHost(QStringLiteral("0.0.0.0"));
    list->setLanPort(FLan.serverPort());
    return list;
}

enum class Source { Lan, CloudAdd, CloudDown };

void tst_untIOTDevList::merge_data() {
    QTest::addColumn<Source>("source");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pass");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("wantMac"); // the device looked at afterwards
    QTest::addColumn<QString>("wantName");
    QTest::addColumn<QString>("wantPass");
    QTest::addColumn<int>("wantType");
    QTest::addColumn<bool>("locksKept");

    // The list holds the stored Mac1 "Kitchen" (type 3, password "secret", locks 1 and 3, jog).
    QTest::newRow("lan answer updates the stored device") << Source::Lan << Mac1 << "Lamp"
                                                          << ""
                                                          << "5" << 1 << Mac1 << "Lamp"
                                                          << "secret" << 5 << true;
    QTest::newRow("lan answer of a new board with no name") << Source::Lan << Mac2 << ""
                                                            << ""
                                                            << "5" << 2 << Mac2 << "No name"
                                                            << "qorvu" << 5 << false;
    QTest::newRow("activation of a listed board keeps its parameters") << Source::CloudAdd << "aabbccddee01"
                                                                       << "Cloud name"
                                                                       << "newpass"
                                                                       << "9" << 1 << Mac1 << "Cloud name"
                                                                       << "newpass" << 9 << true;
    QTest::newRow("activation with empty name, password and a bad type")
        << Source::CloudAdd << "aa-bb-cc-dd-ee-01"
        << ""
        << ""
        << "x9" << 1 << Mac1 << "Kitchen"
        << "secret" << 3 << true;
    QTest::newRow("cloud mac with colons finds the listed board") << Source::CloudAdd << "aa:bb:cc:dd:ee:01"
                                                                  << "Colon"
                                                                  << ""
                                                                  << "300" << 1 << Mac1 << "Colon"
                                                                  << "secret" << 3 << true;
    QTest::newRow("cloud record of a new board") << Source::CloudAdd << "AA BB CC DD EE 02"
                                                 << "Garage"
                                                 << "p2"
                                                 << "7" << 2 << Mac2 << "Garage"
                                                 << "p2" << 7 << false;
    QTest::newRow("new cloud board with a type out of range") << Source::CloudAdd << "aabbccddee02"
                                                              << "Garage"
                                                              << "p2"
                                                              << "256" << 2 << Mac2 << "Garage"
                                                              << "p2" << 0 << false;
    QTest::newRow("cloud mac too short is skipped") << Source::CloudAdd << "aa:bb:cc:dd:ee"
                                                    << "X"
                                                    << "p"
                                                    << "1" << 1 << Mac1 << "Kitchen"
                                                    << "secret" << 3 << true;
    QTest::newRow("cloud mac with a letter beyond f is skipped") << Source::CloudAdd << "aabbccddeeg1"
                                                                 << "X"
                                                                 << "p"
                                                                 << "1" << 1 << Mac1 << "Kitchen"
                                                                 << "secret" << 3 << true;
    QTest::newRow("sync renames and keeps an empty password") << Source::CloudDown << "AABBCCDDEE01"
                                                              << "Synced"
                                                              << ""
                                                              << "4" << 2 << Mac1 << "Synced"
                                                              << "secret" << 4 << true;
    QTest::newRow("sync with a bad type goes on with the rest") << Source::CloudDown << "aabbccddee01"
                                                                << ""
                                                                << "pw"
                                                                << "-1" << 2 << Mac2 << "Next"
                                                                << "pn" << 2 << false;
}

void tst_untIOTDevList::merge() {
    QFETCH(Source, source);
    QFETCH(QString, mac);
    QFETCH(QString, name);
    QFETCH(QString, pass);
    QFETCH(QString, type);
    QFETCH(int, count);
    QFETCH(QString, wantMac);
    QFETCH(QString, wantName);
    QFETCH(QString, wantPass);
    QFETCH(int, wantType);
    QFETCH(bool, locksKept);

    auto list = NewList();
    list->Add(TIniDevs{Stored(Mac1, QStringLiteral("Kitchen"))});
    switch (source) {
    case Source::Lan:
        list->Add(Answer(NormalizeMACText(mac).value(), name.toUtf8(), quint8(type.toInt())));
        break;
    case Source::CloudAdd:
        list->Add(Cloud(mac, name, pass, type));
        break;
    case Source::CloudDown: {
        TCloudDevs devs;
        devs.status = QStringLiteral("1");
        devs.data = {Cloud(mac, name, pass, type),
                     Cloud(Mac2, QStringLiteral("Next"), QStringLiteral("pn"), "2")};
        list->Down2local(devs);
        break;
    }
    }
    QCOMPARE(list->DevCount(), count);
    const TIniDevs devs = list->GetIniDevs();
    const auto it =
        std::find_if(devs.begin(), devs.end(), [&](const TIniDev& d) { return d.MAC == wantMac; });
    QVERIFY(it != devs.end());
    QCOMPARE(it->Name, wantName);
    QCOMPARE(it->DevPassword, wantPass);
    QCOMPARE(int(it->DevType), wantType);
    if (locksKept) {
        QCOMPARE(it->DevParam.LockArr, (TBooleans{true, false, true}));
        QCOMPARE(it->DevParam.TouchMode, false);
    } else {
        QCOMPARE(it->DevParam, TDevParam{});
    }
    // Every MAC stays unique.
    QSet<QString> macs;
    for (const TIniDev& d : devs)
        macs.insert(d.MAC);
    QCOMPARE(macs.size(), devs.size());
}

void tst_untIOTDevList::activatedDeviceStaysOnline() {
    auto list = NewList();
    list->Add(TIniDevs{Stored(Mac1, QStringLiteral("Online")), Stored(Mac2, QStringLiteral("Offline"))});
    Force(list->DevItems(0), TIOTNETSTYLE::NET_LAN, TIOTNETSTATE::NET_OK);
    Force(list->DevItems(1), TIOTNETSTYLE::NET_LAN, TIOTNETSTATE::NET_DISCNNT);

    QVERIFY(list->Add(Cloud(Mac1, "A", "pa", "1")));
    QVERIFY(list->Add(Cloud(Mac2, "B", "pb", "1")));
    QCOMPARE(list->DevItems(0)->NetStyle(), TIOTNETSTYLE::NET_LAN);
    QCOMPARE(list->DevItems(0)->NetState(), TIOTNETSTATE::NET_OK);
    QCOMPARE(list->DevItems(1)->NetStyle(), TIOTNETSTYLE::NET_REMOTE);
    QVERIFY(list->DevItems(0)->Activation());
    QCOMPARE(list->DevItems(0)->NetIPStr(), QStringLiteral("0.0.0.0"));
    QCOMPARE(list->DevItems(0)->CtrlByte(), quint8(0x1F));
}

void tst_untIOTDevList::cloudPicture_data() {
    QTest::addColumn<QString>("img");
    QTest::addColumn<bool>("fetchable");
    QTest::addColumn<bool>("custom");
    QTest::newRow("picture fetched") << "http://127.0.0.1/p.jpg" << true << true;
    QTest::newRow("picture that cannot be fetched") << "http://127.0.0.1/p.jpg" << false << false;
    QTest::newRow("no picture") << "" << true << false;
}

void tst_untIOTDevList::cloudPicture() {
    QFETCH(QString, img);
    QFETCH(bool, fetchable);
    QFETCH(bool, custom);
    auto list = NewList();
    list->Add(TIniDevs{Stored(Mac1, QStringLiteral("Kitchen"))});
    QStringList fetched;
    list->setImageFetch([&](const QString& url, QObject*, std::function<void(const QImage&)> done) {
        fetched << url;
        QImage picture(16, 16, QImage::Format_RGB32);
        picture.fill(Qt::red);
        done(fetchable ? picture : QImage());
    });
    QSignalSpy dropped(list.get(), &TNEV_IOTDevList::customImageChanged);
    TCloudDevs devs;
    devs.data = {Cloud(Mac1, "K", "", "3", img)};
    list->Down2local(devs);
    QCOMPARE(fetched.size(), img.isEmpty() ? 0 : 1);
    QCOMPARE(list->Item(0)->isCustomImg(), custom);
    QCOMPARE(!LoadDevImage(Mac1).isNull(), custom);
    QCOMPARE(dropped.size(), custom ? 1 : 0);
}

// The user's own picture, saved while a cloud picture is on its way, is not covered by it.
void tst_untIOTDevList::cloudPictureAfterTheUsersOwn() {
    auto list = NewList();
    list->Add(TIniDevs{Stored(Mac1, QStringLiteral("Kitchen"))});
    std::function<void(const QImage&)> pending;
    list->setImageFetch([&](const QString&, QObject*, std::function<void(const QImage&)> done) {
        pending = std::move(done);
    });
    TCloudDevs devs;
    devs.data = {Cloud(Mac1, "K", "", "3", "http://127.0.0.1/p.jpg")};
    list->Down2local(devs);
    QVERIFY(pending);
    QImage own(16, 16, QImage::Format_RGB32);
    own.fill(Qt::blue);
    const QString mac = list->DevItems(0)->DevMACStr();
    QVERIFY(SaveDevImage(mac, own).Ok);
    list->DropPictureFetch(mac);
    QImage late(16, 16, QImage::Format_RGB32);
    late.fill(Qt::red);
    pending(late);
    const QColor kept = LoadDevImage(mac).pixelColor(8, 8); // a JPEG: near, not exact
    QVERIFY2(kept.blue() > 200 && kept.red() < 50, qPrintable(kept.name()));
}

void tst_untIOTDevList::selectionAfterRemoval_data() {
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("wantIndex"); // -1: nothing selected
    QTest::newRow("removed above the selection") << 3 << 1 << 2;
    QTest::newRow("removed below the selection") << 1 << 3 << 1;
    QTest::newRow("selected device removed") << 2 << 2 << -1;
    QTest::newRow("first removed, last selected") << 4 << 0 << 3;
}

void tst_untIOTDevList::selectionAfterRemoval() {
    QFETCH(int, selected);
    QFETCH(int, removed);
    QFETCH(int, wantIndex);
    auto list = NewList();
    TIniDevs stored;
    for (int n = 0; n < 5; ++n)
        stored << Stored(QStringLiteral("AA-BB-CC-DD-EE-1%1").arg(n), QStringLiteral("D%1").arg(n));
    list->Add(stored);
    for (int n = 0; n < 5; ++n)
        Force(list->DevItems(n), TIOTNETSTYLE::NET_REMOTE, TIOTNETSTATE::NET_OK);
    QList<QPair<int, int>> clicks;
    list->OnIOTListClick = [&](int i, int t) { clicks << qMakePair(i, t); };
    const QString selectedMac = list->DevItems(selected)->DevMACStr();

    list->ItemClick(list->Item(selected), DevListTag::Device);
    QCOMPARE(list->NowSelect(), selected);
    list->setRemoveState(true);
    list->ItemClick(list->Item(removed), DevListTag::Remove);

    QCOMPARE(clicks.last(), qMakePair(removed, DevListTag::Remove));
    QCOMPARE(list->DevCount(), 4);
    QCOMPARE(list->NowSelect(), wantIndex);
    if (wantIndex >= 0)
        QCOMPARE(list->NowDev()->DevMACStr(), selectedMac);
    else
        QVERIFY(!list->NowDev());
    // Highlighted exactly when selected.
    for (int n = 0; n < list->DevCount(); ++n)
        QCOMPARE(list->DevItems(n)->ClickState(), n == wantIndex);
}

void tst_untIOTDevList::removingIgnoresFurtherClicks() {
    auto list = NewList();
    list->Add(
        TIniDevs{Stored(Mac1, "A"), Stored(Mac2, "B"), Stored(QStringLiteral("AA-BB-CC-DD-EE-03"), "C")});
    for (int n = 0; n < 3; ++n)
        Force(list->DevItems(n), TIOTNETSTYLE::NET_REMOTE, TIOTNETSTATE::NET_OK);
    QList<TIOTDevItem*> fading;
    list->OnItemFadeOut = [&](TIOTDevItem* item) { fading << item; };
    QList<QPair<int, int>> clicks;
    list->OnIOTListClick = [&](int i, int t) { clicks << qMakePair(i, t); };
    list->setRemoveState(true);

    QPointer<TIOTDevItem> last = list->Item(2);
    list->ItemClick(last, DevListTag::Remove);
    list->ItemClick(last, DevListTag::Remove);
    list->ItemClick(last, DevListTag::Device);
    QCOMPARE(fading.size(), 1);
    QVERIFY(clicks.isEmpty());
    QCOMPARE(last->RemoveState(), TREMOVESTATE::REMOVE_GO);

    // Another device goes first while the fade runs: the position is the one at the end of it.
    list->OnItemFadeOut = nullptr;
    list->ItemClick(list->Item(0), DevListTag::Remove);
    list->FinishRemove(last);
    QCOMPARE(clicks, (QList<QPair<int, int>>{{0, DevListTag::Remove}, {1, DevListTag::Remove}}));
    QCOMPARE(list->DevCount(), 1);
    QCOMPARE(list->DevItems(0)->DevMACStr(), Mac2);
    // Taken out at once, freed later, so that the handler that clicked can still return.
    QVERIFY(last);
    QTRY_VERIFY(!last);
    list->FinishRemove(nullptr);
    QCOMPARE(clicks.size(), 2);
}

void tst_untIOTDevList::removeMode() {
    auto list = NewList();
    list->Add(TIniDevs{Stored(Mac1, "A")});
    list->DoListClick(-1, DevListTag::Del);
    QVERIFY(list->RemoveState());
    QCOMPARE(list->Item(0)->RemoveState(), TREMOVESTATE::REMOVE_READY);
    list->Add(Answer(Mac2, "B"));
    QCOMPARE(list->Item(1)->RemoveState(), TREMOVESTATE::REMOVE_READY);

    list->DoListClick(-1, DevListTag::Panel);
    QVERIFY(!list->RemoveState());
    QCOMPARE(list->Item(0)->RemoveState(), TREMOVESTATE::REMOVE_DEFAULT);
    QCOMPARE(list->Item(1)->RemoveState(), TREMOVESTATE::REMOVE_DEFAULT);

    // Removing the last device switches remove mode off.
    list->DoListClick(-1, DevListTag::Del);
    list->ItemClick(list->Item(1), DevListTag::Remove);
    QVERIFY(list->RemoveState());
    list->ItemClick(list->Item(0), DevListTag::Remove);
    QCOMPARE(list->DevCount(), 0);
    QVERIFY(!list->RemoveState());

    // The window's answer before a click drops it.
    list->OnIOTListBeforeClick = [](bool& go) { go = false; };
    list->DoListClick(-1, DevListTag::Del);
    QVERIFY(!list->RemoveState());
}

void tst_untIOTDevList::passwordPrompt_data() {
    QTest::addColumn<std::optional<QString>>("entered");
    QTest::addColumn<QString>("wantPassword");
    QTest::addColumn<QString>("wantMessage");
    QTest::addColumn<bool>("reconnects");
    QTest::newRow("new password") << std::optional<QString>("abc 123!") << "abc 123!"
                                  << "" << true;
    QTest::newRow("cancelled") << std::optional<QString>() << "qorvu"
                               << "" << false;
    QTest::newRow("empty entry cancels") << std::optional<QString>("") << "qorvu"
                                         << "" << false;
    QTest::newRow("line break refused") << std::optional<QString>("ab\r\ncd") << "qorvu"
                                        << "The device password error!" << false;
    QTest::newRow("non-ASCII refused") << std::optional<QString>(QStringLiteral("pä")) << "qorvu"
                                       << "The device password error!" << false;
}

void tst_untIOTDevList::passwordPrompt() {
    QFETCH(std::optional<QString>, entered);
    QFETCH(QString, wantPassword);
    QFETCH(QString, wantMessage);
    QFETCH(bool, reconnects);
    auto list = NewList();
    list->Add(Answer(Mac1, "A"));
    TNEV_IOTDevConn* c = list->DevItems(0);
    Force(c, TIOTNETSTYLE::NET_LAN, TIOTNETSTATE::NET_PSDERR);
    QStringList messages, prompts;
    list->setUi({[&](const QString& t) { messages << t; },
                 [&](const QString& title, const QString& label) {
                     prompts << title << label;
                     return entered;
                 },
                 {}});
    QList<QPair<int, int>> clicks;
    list->OnIOTListClick = [&](int i, int t) { clicks << qMakePair(i, t); };
    c->setDevIPStr(QStringLiteral("127.0.0.1"));

    list->ItemClick(list->Item(0), DevListTag::Device);
    QCOMPARE(clicks, (QList<QPair<int, int>>{{0, DevListTag::Device}}));
    QCOMPARE(prompts, (QStringList{"Please input device password", "Password:"}));
    QCOMPARE(c->DevPasswordStr(), wantPassword);
    QCOMPARE(messages.join('|'), wantMessage);
    QCOMPARE(c->NetState() == TIOTNETSTATE::NET_PSDERR, !reconnects);
}

void tst_untIOTDevList::getIniDevsRoundTrip() {
    TIniDevs stored;
    TIniDev a = Stored(Mac1, QStringLiteral("客厅 Living"));
    a.DevParam.LockArr = {false, true, false, false, false, false, false, true}; // kept past the outputs
    a.Activation = true;
    TIniDev b = Stored(QStringLiteral("aa-bb-cc-dd-ee-02"), QStringLiteral("Lower"));
    b.DevParam = {};
    b.DevType = 16;
    TIniDev dupOld = Stored(QStringLiteral("AA-BB-CC-DD-EE-03"), QStringLiteral("Old"));
    TIniDev dupNew = Stored(QStringLiteral("AA-BB-CC-DD-EE-03"), QStringLiteral("New"));
    stored << a << dupOld << b << dupNew;

    QTemporaryDir dir;
    {
        TIniSettings ini(dir.path(), QStringLiteral("test-key"));
        ini.IniLoad();
        QVERIFY(ini.IniWriteDevs(stored));
    }
    TIniSettings ini(dir.path(), QStringLiteral("test-key"));
    ini.IniLoad();
    auto list = NewList();
    list->Add(ini.IniDevs());

    TIniDev aSaved = a;
    aSaved.Activation = false; // known from the cloud, not from the file
    TIniDev bNormal = b;
    bNormal.MAC = Mac2;
    TIniDevs want{aSaved, bNormal, dupNew};
    for (TIniDev& d : want)
        d.IP = ini.IniCloudHost(); // loaded devices take the relay host of the cloud server
    const TIniDevs got = list->GetIniDevs();
    QCOMPARE(got.size(), want.size());
    for (int n = 0; n < got.size(); ++n) {
        QCOMPARE(got[n].Name, want[n].Name);
        QCOMPARE(got[n].MAC, want[n].MAC);
        QCOMPARE(got[n].IP, want[n].IP);
        QCOMPARE(got[n].Port, want[n].Port);
        QCOMPARE(got[n].DevPassword, want[n].DevPassword);
        QCOMPARE(got[n].DevType, want[n].DevType);
        QCOMPARE(got[n].CtrlByte, want[n].CtrlByte);
        QCOMPARE(got[n].DevParam.LockArr, want[n].DevParam.LockArr);
        QCOMPARE(got[n].DevParam.TouchMode, want[n].DevParam.TouchMode);
    }
    QCOMPARE(got, want);
    for (int n = 0; n < list->DevCount(); ++n)
        QCOMPARE(list->DevItems(n)->NetStyle(), TIOTNETSTYLE::NET_DEFAULT);
}

void tst_untIOTDevList::savesOncePerSearchWindow() {
    auto list = NewList();
    list->Add(TIniDevs{Stored(Mac1, "Kitchen")});
    int saves = 0;
    TIniDevs saved;
    list->OnIOTListSave = [&](const TIniDevs& d) {
        ++saves;
        saved = d;
    };
    for (int n = 0; n < 50; ++n)
        list->Add(Answer(
            QStringLiteral("AA-BB-CC-DD-%1-%2").arg(n / 10, 2, 10, QChar('0')).arg(n % 10, 2, 10, QChar('0')),
            "Board"));
    QCOMPARE(saves, 0);
    list->SearchFinished();
    QCOMPARE(saves, 1);
    QCOMPARE(saved.size(), 51);

    // The same answers again change nothing stored: no write.
    list->Add(Answer(QStringLiteral("AA-BB-CC-DD-00-00"), "Board"));
    list->SearchFinished();
    QCOMPARE(saves, 1);
    // A new name is worth a write.
    list->Add(Answer(QStringLiteral("AA-BB-CC-DD-00-00"), "Renamed"));
    list->SearchFinished();
    QCOMPARE(saves, 2);
    QCOMPARE(saved.at(1).Name, QStringLiteral("Renamed"));
}

void tst_untIOTDevList::gettersOutOfRange() {
    auto list = NewList();
    QVERIFY(!list->DevItems(0));
    QVERIFY(!list->NowDev());
    list->Add(TIniDevs{Stored(Mac1, "A")});
    QVERIFY(!list->DevItems(-1));
    QVERIFY(!list->DevItems(1));
    QVERIFY(!list->Item(1));
    list->SetSelected(5);
    QCOMPARE(list->NowSelect(), -1);
    list->DoListClick(7, DevListTag::Device);
    QCOMPARE(list->NowSelect(), -1);
    list->ItemClick(nullptr, DevListTag::Device);
    list->SetSelected(0);
    QCOMPARE(list->NowSelect(), 0);
    list->setAnimated(true);
    list->setAnimated(false);
    QVERIFY(!list->NowDev());
}

QTEST_GUILESS_MAIN(tst_untIOTDevList)
#include "tst_untIOTDevList.moc"
