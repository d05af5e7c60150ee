// program.ini as the program reads and writes it: a table of files, writes read back by the
// next run, writes that fail, a writer killed half-way, and the device picture names.
#include "PC1_128_Text.h"
#include "untIni.h"

#include <QImageReader>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const QByteArray TestKey = "5CCF7F01020A0000";

QString S(const char* text) {
    return QString::fromUtf8(text);
}
QString Enc(const QString& text) {
    return IniEncrypt(text, TestKey);
}
QString CloudHost() {
    return QUrl(DefaultCloudServer()).host();
}

TIniDev Dev(const QString& name, const QString& mac, const QString& password, quint8 type = 0,
            quint8 ctrl = 0, TBooleans locks = {}, bool touch = true) {
    TIniDev d;
    d.Name = name;
    d.MAC = mac;
    d.DevPassword = password;
    d.DevType = type;
    d.CtrlByte = ctrl;
    d.DevParam.LockArr = locks;
    d.DevParam.TouchMode = touch;
    d.IP = CloudHost();
    d.Port = DefaultTCPRemotePort;
    return d;
}

TIniDev DefaultDev() {
    return Dev(QString(), QStringLiteral("FF FF FF FF FF FF"), QStringLiteral("qorvu"));
}

TFeedMsg Msg(const QString& text, bool fromService) {
    TFeedMsg m;
    m.Msg = text;
    m._Type = fromService;
    return m;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Lowers this process's file size limit for a while, as a full disk would stop a write.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = FOld;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = nullptr;
};

// In the child process: start a large write under a tiny file size limit with the default
// action of SIGXFSZ, so the kernel kills the writer in the middle of writing the new file.
int KilledWriter(const QString& folder) {
    TIniSettings s(folder, QString::fromLatin1(TestKey));
    s.IniLoad();
    rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 2048;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, SIG_DFL);
    TFeedMsgs msgs;
    for (int i = 0; i < 100; ++i)
        msgs.append(Msg(QString(500, u'm'), i % 2));
    (void)s.IniWriteFeedMsgs(msgs);
    return 3; // not killed: the parent reports it
}

} // namespace

// What one run sees after IniLoad.
struct TLoaded {
    bool Language = true;
    quint16 LAN = 8899;
    quint16 Remote = 8900;
    quint16 UDP = 1901;
    bool RemPss = false;
    bool AutoLog = false;
    QString Lock;
    TIniDevs Devs;
    TFeedMsgs Msgs;
    bool operator==(const TLoaded&) const = default;

    static TLoaded From(const TIniSettings& s) {
        return {s.IniLanguage(), s.IniTCPLANPort(), s.IniTCPRemotePort(), s.IniUDPSCanPort(), s.IniRemPss(),
                s.IniAutoLog(),  s.IniReadLock(),   s.IniDevs(),          s.IniFeedMsgs()};
    }
};
Q_DECLARE_METATYPE(TLoaded)

char* toString(const TLoaded& l) {
    QString t = QStringLiteral("lang=%1 ports=%2/%3/%4 rem=%5 auto=%6 lock=[%7] devs=%8 msgs=%9")
                    .arg(l.Language)
                    .arg(l.LAN)
                    .arg(l.Remote)
                    .arg(l.UDP)
                    .arg(l.RemPss)
                    .arg(l.AutoLog)
                    .arg(l.Lock.left(40))
                    .arg(l.Devs.size())
                    .arg(l.Msgs.size());
    for (const TIniDev& d : l.Devs) {
        QStringList locks;
        for (bool b : d.DevParam.LockArr)
            locks << QString::number(b);
        t += QStringLiteral("\n  dev [%1] [%2] pw=[%3] type=%4 ctrl=%5 act=%6 locks=%7 touch=%8 ip=%9:%10")
                 .arg(d.Name, d.MAC, d.DevPassword)
                 .arg(d.DevType)
                 .arg(d.CtrlByte)
                 .arg(d.Activation)
                 .arg(locks.join(u','))
                 .arg(d.DevParam.TouchMode)
                 .arg(d.IP)
                 .arg(d.Port);
    }
    for (const TFeedMsg& m : l.Msgs)
        t += QStringLiteral("\n  msg type=%1 [%2]").arg(m._Type).arg(m.Msg.left(40));
    return qstrdup(t.toUtf8().constData());
}

enum class TBrokenDisk { FolderIsAFile, FileIsAFolder, FullDisk, FileTooLarge };
Q_DECLARE_METATYPE(TBrokenDisk)

class tst_Ini : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void load_data();
    void load();
    void loadWithoutFileCreatesOnlyThePictureFolder();
    void loadReturnsThePorts();
    void hugeCountsStayBounded();
    void rememberedLogin_data();
    void rememberedLogin();
    void writeUser_data();
    void writeUser();
    void nextRunReadsBackFieldForField();
    void deviceListShrinks();
    void unchangedSaveLeavesTheFileAlone();
    void boardAddressesAreKeptWhole_data();
    void boardAddressesAreKeptWhole();
    void boardAddressDoesNotMoveToAnotherBoard();
    void emptyConversationWritesNothing();
    void lockIsSetAndCancelled();
    void valuesCannotAddEntries();
    void cloudServer_data();
    void cloudServer();
    void failedWrite_data();
    void failedWrite();
    void failedWriteIsSavedByTheNextGoodOne();
    void killedWriterLeavesTheOldFile();
    void leftoverTempFileIsIgnored();
    void writesNeedALoadedOpenFile();
    void folderChoice();
    void devicePictures_data();
    void devicePictures();
    void pictureOutsideTheFolderIsNeverRead();
    void pictureSaveOnAFullDiskKeepsTheOldPicture();

private:
    QString Folder() const { return FDir->path(); }
    QString IniPath() const { return Folder() + QStringLiteral("/program.ini"); }
    std::unique_ptr<TIniSettings> Load(const QString& folder = {}) {
        auto s = std::make_unique<TIniSettings>(folder.isEmpty() ? Folder() : folder,
                                                QString::fromLatin1(TestKey));
        s->IniLoad();
        return s;
    }

    std::unique_ptr<QTemporaryDir> FDir;
};

void tst_Ini::init() {
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    CloudSession.Clear();
}

void tst_Ini::cleanup() {
    FDir.reset();
}

void tst_Ini::load_data() {
    QTest::addColumn<QByteArray>("file"); // null: no file at all
    QTest::addColumn<TLoaded>("expected");

    QTest::newRow("no file") << QByteArray() << TLoaded{};
    QTest::newRow("empty file") << QByteArray("") << TLoaded{};
    QTest::newRow("garbage lines") << QByteArray("garbage\n[[x\n=nokey\n[System\nLanguage=0\n") << TLoaded{};

    TLoaded oneDefault;
    oneDefault.Devs = {DefaultDev()};
    QTest::newRow("device section missing") << QByteArray("[System]\nDevListCount=1\n") << oneDefault;

    TLoaded nameOnly;
    TIniDev lamp = DefaultDev();
    lamp.Name = QStringLiteral("Lamp");
    nameOnly.Devs = {lamp};
    QTest::newRow("device keys missing")
        << QByteArray("[System]\nDevListCount=1\n[Device0]\nName=Lamp\n") << nameOnly;

    TLoaded emptyPassword;
    emptyPassword.Devs = {Dev(QString(), QStringLiteral("FF FF FF FF FF FF"), QString())};
    QTest::newRow("empty password value")
        << QByteArray("[System]\nDevListCount=1\n[Device0]\nDevPassword=\n") << emptyPassword;

    TLoaded full;
    TIniDev living = Dev(QStringLiteral("客厅"), QStringLiteral("5C-CF-7F-01-02-0A"),
                         QStringLiteral("123456"), 3, 255, {true, false, true}, false);
    living.Activation = true;
    full.Devs = {living};
    QTest::newRow("every device key")
        << ("[System]\nDevListCount=1\n[Device0]\nName=客厅\nMAC=5C-CF-7F-01-02-0A\nDevPassword=" +
            Enc("123456").toUtf8() +
            "\nType=3\nCtrlByte=255\nActivation=1\nOutCount=3\nOutLock0=1\nOutLock2=1\nTouchMode=0\n")
        << full;

    QTest::newRow("bad integers") << QByteArray("[System]\nLanguage=yes\nTCPLANPort=88a\nTCPRemotePort=\n"
                                                "UDPSCanPort=1e3\nDevListCount=one\nFeedListCount= \n")
                                  << TLoaded{};

    TLoaded hex;
    hex.Language = false;
    hex.LAN = 8080;
    hex.Remote = 9000;
    hex.Devs = {DefaultDev()};
    hex.Devs[0].Port = 9000;
    hex.Devs[0].DevType = 0xAB;
    QTest::newRow("hexadecimal") << QByteArray(
                                        "[System]\nLanguage=0x0\nTCPLANPort=0x1F90\nTCPRemotePort=0X2328\n"
                                        "UDPSCanPort=0x\nDevListCount=0x1\n[Device0]\nType=0xab\n")
                                 << hex;

    TLoaded low16;
    low16.LAN = 4464;
    low16.Remote = 65535;
    low16.UDP = 4464;
    low16.Devs = {DefaultDev()};
    low16.Devs[0].Port = 65535;
    QTest::newRow("ports keep the low 16 bits")
        << QByteArray("[System]\nTCPLANPort=70000\nTCPRemotePort=-1\nUDPSCanPort=0x11170\nDevListCount=1\n")
        << low16;

    QTest::newRow("beyond 32 bits") << QByteArray(
                                           "[System]\nTCPLANPort=4294967296\nTCPRemotePort=0x100000000\n"
                                           "UDPSCanPort=-2147483649\n")
                                    << TLoaded{};

    TLoaded bytes8;
    bytes8.Devs = {DefaultDev()};
    bytes8.Devs[0].DevType = 44;
    bytes8.Devs[0].CtrlByte = 255;
    QTest::newRow("type and control byte keep the low 8 bits")
        << QByteArray("[System]\nDevListCount=1\n[Device0]\nType=300\nCtrlByte=-1\n") << bytes8;

    TLoaded shrank;
    shrank.Devs = {Dev(QStringLiteral("a"), QStringLiteral("FF FF FF FF FF FF"), QStringLiteral("qorvu")),
                   Dev(QStringLiteral("b"), QStringLiteral("FF FF FF FF FF FF"), QStringLiteral("qorvu"))};
    QTest::newRow("list that shrank") << QByteArray("[System]\nDevListCount=2\n[Device0]\nName=a\n"
                                                    "[Device1]\nName=b\n[Device2]\nName=c\n")
                                      << shrank;

    QTest::newRow("counts below one") << QByteArray("[System]\nDevListCount=-3\nFeedListCount=0\n"
                                                    "[Device0]\nName=a\n[FeedList0]\nText=x\n")
                                      << TLoaded{};

    TLoaded noLocks;
    noLocks.Devs = {DefaultDev()};
    QTest::newRow("OutCount below one")
        << QByteArray("[System]\nDevListCount=1\n[Device0]\nOutCount=-1\nOutLock0=1\n") << noLocks;

    TLoaded bools;
    bools.RemPss = true;
    bools.Devs = {DefaultDev(), DefaultDev()};
    bools.Devs[0].DevParam.TouchMode = false;
    bools.Devs[1].DevParam.LockArr = {true, false};
    QTest::newRow("booleans: any integer but 0 is true, else the default")
        << QByteArray("[System]\nRemPss=5\nAutoLog=0x0\nDevListCount=2\n[Device0]\nTouchMode=0\n"
                      "[Device1]\nTouchMode=abc\nOutCount=2\nOutLock0=-7\nOutLock1=true\n")
        << bools;

    TLoaded anyCase;
    anyCase.Language = false;
    anyCase.Devs = {Dev(QStringLiteral("x"), QStringLiteral("5C-CF-7F-01-02-0A"), QStringLiteral("qorvu"))};
    anyCase.Devs[0].DevParam.TouchMode = false;
    QTest::newRow("names without regard to case")
        << QByteArray("[system]\nLANGUAGE=0\ndevlistcount=1\n[DEVICE0]\nname=x\nMac=5C-CF-7F-01-02-"
                      "0A\ntouchMODE=0\n")
        << anyCase;

    TLoaded feed;
    feed.Msgs = {Msg(QStringLiteral("你好"), false), Msg(QStringLiteral("line\nbreak"), true),
                 Msg(QString(), false)};
    QTest::newRow("feedback") << QByteArray("[System]\nFeedListCount=3\n[FeedList0]\nText=你好\nType=0\n"
                                            "[FeedList1]\nText=\"line\\nbreak\"\nType=1\n")
                              << feed;

    TLoaded lock;
    lock.Lock = QStringLiteral("Secret");
    QTest::newRow("lock") << QByteArray("[System]\nLock=Secret\n") << lock;

    TLoaded cut;
    cut.Lock = QString(2047, u'x');
    QTest::newRow("value cut at 2047 characters")
        << ("[System]\nLock=" + QByteArray(3000, 'x') + "\n") << cut;

    TLoaded first;
    first.Language = false;
    first.Lock = QStringLiteral("one");
    QTest::newRow("first of duplicate keys")
        << QByteArray("[System]\nLanguage=0\nLock=one\nlock=two\nLanguage=1\n") << first;

    TLoaded gbk;
    gbk.Devs = {Dev(QStringLiteral("客厅"), QStringLiteral("FF FF FF FF FF FF"), QStringLiteral("qorvu"))};
    QTest::newRow("file of the older program in GBK")
        << QByteArray("[System]\r\nDevListCount=1\r\n[Device0]\r\nName=\xBF\xCD\xCC\xFC\r\n") << gbk;
}

void tst_Ini::load() {
    QFETCH(QByteArray, file);
    QFETCH(TLoaded, expected);
    if (!file.isNull())
        QVERIFY(WriteAll(IniPath(), file));
    const auto s = Load();
    QCOMPARE(TLoaded::From(*s), expected);
    QVERIFY(s->LoadProblem().isEmpty());
}

void tst_Ini::loadWithoutFileCreatesOnlyThePictureFolder() {
    const auto s = Load();
    QVERIFY(QFileInfo(Folder() + QStringLiteral("/devimg")).isDir());
    QVERIFY(!QFileInfo::exists(IniPath())); // created by the first write only
    QCOMPARE(DevImgDir(), Folder() + QStringLiteral("/devimg"));
}

void tst_Ini::loadReturnsThePorts() {
    QVERIFY(WriteAll(IniPath(), "[System]\nTCPLANPort=1001\nTCPRemotePort=1002\nUDPSCanPort=1003\n"
                                "DevListCount=1\n[Device0]\nMAC=5C-CF-7F-01-02-0A\n"));
    const auto s = Load();
    QCOMPARE(s->IniTCPLANPort(), quint16(1001));
    QCOMPARE(s->IniTCPRemotePort(), quint16(1002));
    QCOMPARE(s->IniUDPSCanPort(), quint16(1003));
    QCOMPARE(s->IniDevs().value(0).Port, quint16(1002)); // the relay port of every stored board
}

void tst_Ini::hugeCountsStayBounded() {
    // A damaged file must not make start-up build billions of records.
    QVERIFY(WriteAll(IniPath(), "[System]\nDevListCount=2147483647\nFeedListCount=0x7FFFFFFF\n"
                                "[Device0]\nOutCount=2147483647\nOutLock254=1\n"));
    const auto s = Load();
    QCOMPARE(s->IniDevs().size(), MaxIniDevs);
    QCOMPARE(s->IniDevs().at(0).DevParam.LockArr.size(), MaxIniOutLocks);
    QCOMPARE(s->IniDevs().at(0).DevParam.LockArr.last(), true);
    QCOMPARE(s->IniFeedMsgs().size(), MaxIniFeedMsgs);
}

void tst_Ini::rememberedLogin_data() {
    QTest::addColumn<QByteArray>("flags");
    QTest::addColumn<QString>("storedUser");
    QTest::addColumn<QString>("storedPassword");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");

    QTest::newRow("nothing remembered")
        << QByteArray("RemPss=0\nAutoLog=0") << S("alice") << S("pw1") << S("") << S("");
    QTest::newRow("remember password")
        << QByteArray("RemPss=1\nAutoLog=0") << S("alice") << S("pw1") << S("alice") << S("pw1");
    QTest::newRow("auto login alone")
        << QByteArray("RemPss=0\nAutoLog=1") << S("alice") << S("pw1") << S("alice") << S("pw1");
    QTest::newRow("chinese account") << QByteArray("RemPss=1") << S("用户") << S("密码") << S("用户")
                                     << S("密码");
    QTest::newRow("password missing") << QByteArray("RemPss=1") << S("alice") << S("") << S("alice") << S("");
}

void tst_Ini::rememberedLogin() {
    QFETCH(QByteArray, flags);
    QFETCH(QString, storedUser);
    QFETCH(QString, storedPassword);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QVERIFY(WriteAll(IniPath(), "[System]\n" + flags + "\nUserName=" + Enc(storedUser).toUtf8() +
                                    "\nPassword=" + Enc(storedPassword).toUtf8() + "\n"));
    const auto s = Load();
    QCOMPARE(s->IniUserName(), user);
    QCOMPARE(s->IniPassword(), password);
    // The remembered login is handed out, the program's own login is left to its owner.
    QCOMPARE(CloudSession.Account(), QString());
    QCOMPARE(CloudSession.Password(), QString());
}

void tst_Ini::writeUser_data() {
    QTest::addColumn<bool>("remPss");
    QTest::addColumn<bool>("autoLog");
    QTest::addColumn<bool>("kept");
    QTest::newRow("both clear") << false << false << false;
    QTest::newRow("remember password") << true << false << true;
    QTest::newRow("auto login") << false << true << true;
    QTest::newRow("both") << true << true << true;
}

void tst_Ini::writeUser() {
    QFETCH(bool, remPss);
    QFETCH(bool, autoLog);
    QFETCH(bool, kept);
    // A login remembered earlier must be blanked when both boxes are clear.
    QVERIFY(WriteAll(IniPath(), "[System]\nRemPss=1\nUserName=" + Enc("old").toUtf8() +
                                    "\nPassword=" + Enc("oldpw").toUtf8() + "\n"));
    auto s = Load();
    TCloudSession session;
    session.SetAccount(QStringLiteral("bob"));
    session.SetPassword(QStringLiteral("新密码"));
    QVERIFY(s->IniWriteUser(session, remPss, autoLog));

    const QByteArray text = ReadAll(IniPath());
    QVERIFY(!text.contains("bob")); // never in clear
    if (!kept) {
        QVERIFY2(text.contains("UserName=\n") && text.contains("Password=\n"), text.constData());
    }
    QVERIFY(text.contains(remPss ? "RemPss=1" : "RemPss=0"));
    QVERIFY(text.contains(autoLog ? "AutoLog=1" : "AutoLog=0"));

    s = Load();
    QCOMPARE(s->IniRemPss(), remPss);
    QCOMPARE(s->IniAutoLog(), autoLog);
    QCOMPARE(s->IniUserName(), kept ? QStringLiteral("bob") : QString());
    QCOMPARE(s->IniPassword(), kept ? QStringLiteral("新密码") : QString());
    // Stored under the key of this computer only.
    TIniSettings other(Folder(), QStringLiteral("FFFFFFFFFFFF0000"));
    other.IniLoad();
    if (kept)
        QVERIFY(other.IniPassword() != QStringLiteral("新密码"));
}

void tst_Ini::nextRunReadsBackFieldForField() {
    TIniDevs devs = {
        Dev(QStringLiteral("客厅灯"), QStringLiteral("5C-CF-7F-01-02-0A"), QStringLiteral("密码1"), 2, 6,
            {true, false, true}, false),
        Dev(QStringLiteral("  Garage \"B\"  "), QStringLiteral("AA-BB-CC-DD-EE-FF"),
            QStringLiteral("abc\\d;e=f"), 255, 255),
        Dev(QString(), QStringLiteral("FF FF FF FF FF FF"), QString()),
    };
    devs[1].Activation = true;
    const TFeedMsgs msgs = {Msg(QStringLiteral("设备无法连接，怎么办？\n第二行"), false),
                            Msg(QStringLiteral("  Reply with \"quotes\"\tand tabs  "), true),
                            Msg(QString(), true)};
    {
        auto s = Load();
        QVERIFY(s->IniWriteLock(QStringLiteral("Lock 锁")));
        TCloudSession session;
        session.SetAccount(QStringLiteral("账号"));
        session.SetPassword(QStringLiteral("p@ss word"));
        const TIniSaveResult r = s->IniShutdown(false, session, false, true, msgs, devs);
        QVERIFY2(r, qPrintable(r.Message));
    }
    const QByteArray text = ReadAll(IniPath());
    QVERIFY(text.contains("Name=客厅灯")); // UTF-8 in the file itself
    QVERIFY(!text.contains("密码1"));

    const auto s = Load();
    TLoaded expected;
    expected.Language = false;
    expected.AutoLog = true;
    expected.Lock = QStringLiteral("Lock 锁");
    expected.Devs = devs;
    expected.Devs[1].Activation = false;                    // written as 0 always
    expected.Devs[2].DevPassword = QStringLiteral("qorvu"); // empty is stored as the default
    expected.Msgs = msgs;
    QCOMPARE(TLoaded::From(*s), expected);
    QCOMPARE(s->IniUserName(), QStringLiteral("账号"));
    QCOMPARE(s->IniPassword(), QStringLiteral("p@ss word"));
}

void tst_Ini::deviceListShrinks() {
    auto s = Load();
    const TIniDevs three = {
        Dev(QStringLiteral("a"), QStringLiteral("AA-AA-AA-AA-AA-01"), QStringLiteral("1"), 0, 0,
            {true, true, true}),
        Dev(QStringLiteral("b"), QStringLiteral("AA-AA-AA-AA-AA-02"), QStringLiteral("2")),
        Dev(QStringLiteral("c"), QStringLiteral("AA-AA-AA-AA-AA-03"), QStringLiteral("3"))};
    QVERIFY(s->IniWriteDevs(three));
    TIniDevs two = three.mid(0, 2);
    two[0].DevParam.LockArr = {false};
    QVERIFY(s->IniWriteDevs(two));

    const QByteArray text = ReadAll(IniPath());
    QVERIFY(text.contains("DevListCount=2\n"));
    QVERIFY(text.contains("[Device2]"));  // left over, ignored by the count
    QVERIFY(text.contains("OutLock2=1")); // left over from the longer lock array
    QCOMPARE(Load()->IniDevs(), two);

    QVERIFY(s->IniWriteDevs({}));
    QVERIFY(ReadAll(IniPath()).contains("DevListCount=0\n"));
    QVERIFY(Load()->IniDevs().isEmpty());
}

// Every real write replaces the file by a new one (a new inode); a save that would write the bytes
// the file holds already does nothing, unless the file has gone meanwhile.
void tst_Ini::unchangedSaveLeavesTheFileAlone() {
    const auto inode = [this] {
        struct stat st {};
        return ::stat(QFile::encodeName(IniPath()).constData(), &st) == 0 ? qint64(st.st_ino) : qint64(-1);
    };
    const TIniDevs devs = {
        Dev(QStringLiteral("a"), QStringLiteral("AA-AA-AA-AA-AA-01"), QStringLiteral("1"))};
    {
        auto s = Load();
        QVERIFY(s->IniWriteLanguage(false));
        QVERIFY(s->IniWriteDevs(devs));
    }
    const qint64 first = inode();
    QVERIFY(first >= 0);

    auto s = Load(); // a new run: what it read counts as what the file holds
    QVERIFY(s->IniWriteDevs(devs));
    QVERIFY(s->IniWriteLanguage(false));
    QCOMPARE(inode(), first);

    TIniDevs renamed = devs;
    renamed[0].Name = QStringLiteral("b");
    QVERIFY(s->IniWriteDevs(renamed));
    const qint64 second = inode();
    QVERIFY(second != first);
    QVERIFY(s->IniWriteDevs(renamed));
    QCOMPARE(inode(), second);

    QVERIFY(QFile::remove(IniPath()));
    QVERIFY(s->IniWriteDevs(renamed));
    QCOMPARE(Load()->IniDevs(), renamed);
}

void tst_Ini::boardAddressesAreKeptWhole_data() {
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("name") << QByteArray("LanHost=board.example\nLanPort=8899\n") << "board.example" << 8899;
    QTest::newRow("IPv4, blanks trimmed")
        << QByteArray("LanHost= 10.1.2.3 \nLanPort=9000\n") << "10.1.2.3" << 9000;
    QTest::newRow("IPv6") << QByteArray("LanHost=fd00::12\nLanPort=1\n") << "fd00::12" << 1;
    QTest::newRow("no port") << QByteArray("LanHost=10.1.2.3\n") << QString() << 0;
    QTest::newRow("port 0") << QByteArray("LanHost=10.1.2.3\nLanPort=0\n") << QString() << 0;
    QTest::newRow("port too large") << QByteArray("LanHost=10.1.2.3\nLanPort=65536\n") << QString() << 0;
    QTest::newRow("blank inside") << QByteArray("LanHost=my board\nLanPort=8899\n") << QString() << 0;
    QTest::newRow("URL") << QByteArray("LanHost=http://x/\nLanPort=8899\n") << QString() << 0;
}

void tst_Ini::boardAddressesAreKeptWhole() {
    QFETCH(QByteArray, keys);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFile f(IniPath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[System]\nDevListCount=1\n[Device0]\nName=far\nMAC=AA-AA-AA-AA-AA-09\n" + keys);
    f.close();
    const TIniDevs devs = Load()->IniDevs();
    QCOMPARE(devs.size(), 1);
    QCOMPARE(devs[0].LanHost, host);
    QCOMPARE(int(devs[0].LanPort), port);
}

void tst_Ini::boardAddressDoesNotMoveToAnotherBoard() {
    auto s = Load();
    TIniDev far = Dev(QStringLiteral("far"), QStringLiteral("AA-AA-AA-AA-AA-01"), QStringLiteral("1"));
    far.LanHost = QStringLiteral("10.9.8.7");
    far.LanPort = 8899;
    const TIniDev near =
        Dev(QStringLiteral("near"), QStringLiteral("AA-AA-AA-AA-AA-02"), QStringLiteral("2"));
    QVERIFY(s->IniWriteDevs({far, near}));
    QCOMPARE(Load()->IniDevs(), (TIniDevs{far, near}));
    // The far board removed: the near one takes section 0 without the far board's address.
    QVERIFY(s->IniWriteDevs({near}));
    QCOMPARE(Load()->IniDevs(), TIniDevs{near});
    QVERIFY(!ReadAll(IniPath()).contains("LanHost"));
}

void tst_Ini::emptyConversationWritesNothing() {
    auto s = Load();
    QVERIFY(s->IniWriteFeedMsgs({Msg(QStringLiteral("a"), false), Msg(QStringLiteral("b"), true)}));
    const QByteArray before = ReadAll(IniPath());
    QVERIFY(s->IniWriteFeedMsgs({}));
    QCOMPARE(ReadAll(IniPath()), before);
    QCOMPARE(Load()->IniFeedMsgs().size(), 2);
}

void tst_Ini::lockIsSetAndCancelled() {
    auto s = Load();
    QVERIFY(s->IniWriteLock(QStringLiteral("AbC")));
    QCOMPARE(s->IniReadLock(), QStringLiteral("AbC"));
    QCOMPARE(Load()->IniReadLock(), QStringLiteral("AbC"));
    QVERIFY(s->IniWriteLock(QString()));
    QVERIFY(ReadAll(IniPath()).contains("Lock=\n"));
    QCOMPARE(Load()->IniReadLock(), QString());
}

void tst_Ini::valuesCannotAddEntries() {
    // Names come from boards and the cloud, texts from the support service: none of them may
    // turn into a lock, a cloud address or a device of their own.
    const QString evil =
        QStringLiteral("x\n[System]\nLock=owned\nCloudServer=http://evil.example\nDevListCount=9\r\n");
    auto s = Load();
    QVERIFY(s->IniWriteDevs({Dev(evil, QStringLiteral("AA-AA-AA-AA-AA-01"), evil)}));
    QVERIFY(s->IniWriteFeedMsgs({Msg(evil, true)}));
    const auto back = Load();
    QCOMPARE(back->IniReadLock(), QString());
    QCOMPARE(back->IniCloudServer(), DefaultCloudServer());
    QCOMPARE(back->IniDevs().size(), 1);
    QCOMPARE(back->IniDevs().at(0).Name, evil);
    QCOMPARE(back->IniDevs().at(0).DevPassword, evil);
    QCOMPARE(back->IniFeedMsgs().at(0).Msg, evil);
}

void tst_Ini::cloudServer_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("host");
    const QString def = DefaultCloudServer();
    QTest::newRow("not given") << QByteArray() << def << CloudHost();
    QTest::newRow("host and port") << QByteArray("CloudServer=http://cloud.example.com:8080")
                                   << S("http://cloud.example.com:8080") << S("cloud.example.com");
    QTest::newRow("https with path") << QByteArray("cloudserver=https://api.example.org/v1/")
                                     << S("https://api.example.org/v1") << S("api.example.org");
    QTest::newRow("loopback") << QByteArray("CloudServer=http://127.0.0.1:18080")
                              << S("http://127.0.0.1:18080") << S("127.0.0.1");
    QTest::newRow("other scheme") << QByteArray("CloudServer=ftp://cloud.example.com") << def << CloudHost();
    QTest::newRow("no scheme") << QByteArray("CloudServer=cloud.example.com") << def << CloudHost();
    QTest::newRow("credentials") << QByteArray("CloudServer=http://u:p@cloud.example.com") << def
                                 << CloudHost();
    QTest::newRow("empty") << QByteArray("CloudServer=") << def << CloudHost();
}

void tst_Ini::cloudServer() {
    QFETCH(QByteArray, line);
    QFETCH(QString, server);
    QFETCH(QString, host);
    QVERIFY(WriteAll(IniPath(), "[System]\n" + line + "\nDevListCount=1\n"));
    auto s = Load();
    QCOMPARE(s->IniCloudServer(), server);
    QCOMPARE(s->IniCloudHost(), host);
    QCOMPARE(s->IniDevs().at(0).IP, host);
    // Read only: writing the rest leaves the line as it was.
    QVERIFY(s->IniWriteLanguage(false));
    if (!line.isEmpty())
        QVERIFY(ReadAll(IniPath()).contains(line + "\n"));
}

void tst_Ini::failedWrite_data() {
    QTest::addColumn<TBrokenDisk>("broken");
    QTest::newRow("settings folder is a file") << TBrokenDisk::FolderIsAFile;
    QTest::newRow("program.ini is a folder") << TBrokenDisk::FileIsAFolder;
    QTest::newRow("disk full") << TBrokenDisk::FullDisk;
    QTest::newRow("program.ini too large to read") << TBrokenDisk::FileTooLarge;
}

void tst_Ini::failedWrite() {
    // Root ignores permission bits, so every case here fails for root too.
    QFETCH(TBrokenDisk, broken);
    QString folder = Folder();
    QString watched = IniPath(); // must be unchanged afterwards
    const QByteArray old = "[System]\nLock=old\nDevListCount=1\n[Device0]\nName=kept\n";
    std::unique_ptr<TFileSizeLimit> limit;
    switch (broken) {
    case TBrokenDisk::FolderIsAFile:
        watched = Folder() + QStringLiteral("/plainfile");
        QVERIFY(WriteAll(watched, old));
        folder = watched;
        break;
    case TBrokenDisk::FileIsAFolder:
        QVERIFY(QDir().mkpath(IniPath()));
        break;
    case TBrokenDisk::FullDisk:
        QVERIFY(WriteAll(IniPath(), old));
        break;
    case TBrokenDisk::FileTooLarge: {
        QFile big(IniPath());
        QVERIFY(big.open(QIODevice::WriteOnly) && big.write(old) == old.size() &&
                big.resize(MaxIniFileSize + 1));
        break;
    }
    }
    const QByteArray before = ReadAll(watched);
    auto s = Load(folder);
    QCOMPARE(s->LoadProblem().isEmpty(),
             broken == TBrokenDisk::FolderIsAFile || broken == TBrokenDisk::FullDisk);
    if (broken == TBrokenDisk::FullDisk)
        limit = std::make_unique<TFileSizeLimit>(16);

    const TIniSaveResult first = s->IniWriteLock(QStringLiteral("new lock ") + QString(200, u'x'));
    QVERIFY(!first);
    QVERIFY(!first.Message.isEmpty());
    QVERIFY(!first.Repeated);
    // The program goes on with what it was told.
    QCOMPARE(s->IniReadLock(), QStringLiteral("new lock ") + QString(200, u'x'));
    const TIniSaveResult second = s->IniWriteLanguage(false);
    QVERIFY(!second);
    QVERIFY(second.Repeated); // already shown once
    QCOMPARE(s->IniLanguage(), false);
    limit.reset();

    if (broken == TBrokenDisk::FileIsAFolder) {
        QVERIFY(QFileInfo(watched).isDir());
    } else {
        QCOMPARE(ReadAll(watched), before);
        QCOMPARE(QFileInfo(watched).size(),
                 broken == TBrokenDisk::FileTooLarge ? MaxIniFileSize + 1 : before.size());
    }
    QCOMPARE(QDir(Folder()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
             broken == TBrokenDisk::FileIsAFolder ? 0 : 1); // no temporary file left behind
}

void tst_Ini::failedWriteIsSavedByTheNextGoodOne() {
    const QString folder = Folder() + QStringLiteral("/settings");
    QVERIFY(WriteAll(folder, "not a folder"));
    auto s = Load(folder);
    const TIniSaveResult failed = s->IniWriteLock(QStringLiteral("pending"));
    QVERIFY(!failed);

    QVERIFY(QFile::remove(folder));
    QVERIFY(QDir().mkpath(folder));
    const TIniSaveResult ok = s->IniWriteLanguage(false);
    QVERIFY2(ok, qPrintable(ok.Message));
    QVERIFY(!ok.Repeated);
    const auto back = Load(folder);
    QCOMPARE(back->IniReadLock(), QStringLiteral("pending"));
    QCOMPARE(back->IniLanguage(), false);
}

void tst_Ini::killedWriterLeavesTheOldFile() {
    auto s = Load();
    QVERIFY(s->IniWriteDevs(
        {Dev(QStringLiteral("a"), QStringLiteral("AA-AA-AA-AA-AA-01"), QStringLiteral("1"))}));
    QVERIFY(s->IniWriteFeedMsgs({Msg(QStringLiteral("old message"), true)}));
    const QByteArray before = ReadAll(IniPath());

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TST_INI_KILLED_WRITER"), Folder());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit); // killed while writing

    QCOMPARE(ReadAll(IniPath()), before);
    // Where the file system has no unnamed temporary files, the killed writer's half-written
    // file may be left beside the old one; it is never read.
    auto back = Load();
    QCOMPARE(back->IniFeedMsgs(), TFeedMsgs{Msg(QStringLiteral("old message"), true)});
    QVERIFY(back->IniWriteLock(QStringLiteral("after the crash")));
    QCOMPARE(Load()->IniReadLock(), QStringLiteral("after the crash"));
}

void tst_Ini::leftoverTempFileIsIgnored() {
    // What a crash of a writer without unnamed temporary files could leave beside the file.
    QVERIFY(WriteAll(IniPath(), "[System]\nLock=good\n"));
    QVERIFY(WriteAll(IniPath() + QStringLiteral(".aB3xYz"), "[System]\nLock=torn"));
    auto s = Load();
    QCOMPARE(s->IniReadLock(), QStringLiteral("good"));
    QVERIFY(s->IniWriteLanguage(false));
    QVERIFY(ReadAll(IniPath()).contains("Lock=good\n"));
}

void tst_Ini::writesNeedALoadedOpenFile() {
    QVERIFY(WriteAll(IniPath(), "[System]\nLock=mine\nDevListCount=1\n"));
    const QByteArray before = ReadAll(IniPath());
    TIniSettings notLoaded(Folder(), QString::fromLatin1(TestKey));
    QVERIFY(!notLoaded.IniWriteDevs({}));
    QCOMPARE(ReadAll(IniPath()), before);

    auto s = Load();
    s->IniFree();
    const TIniSaveResult r = s->IniWriteLock(QString());
    QVERIFY(!r);
    QCOMPARE(ReadAll(IniPath()), before);
}

void tst_Ini::folderChoice() {
    const QString user = Folder() + QStringLiteral("/user/config");
    QCOMPARE(ChooseSettingsFolder(Folder(), user), Folder());
    QVERIFY(!QFileInfo::exists(user));

    const QString notAFolder = Folder() + QStringLiteral("/program-file");
    QVERIFY(WriteAll(notAFolder, "x"));
    QCOMPARE(ChooseSettingsFolder(notAFolder, user), user);
    QVERIFY(QFileInfo(user).isDir());
}

void tst_Ini::devicePictures_data() {
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("fileName"); // empty: refused
    QTest::newRow("upper case") << S("5C-CF-7F-01-02-0A") << S("5C-CF-7F-01-02-0A.jpg");
    QTest::newRow("lower case") << S("5c-cf-7f-01-02-0a") << S("5C-CF-7F-01-02-0A.jpg");
    QTest::newRow("parent folder") << S("../x") << S("");
    QTest::newRow("dot dot") << S("..") << S("");
    QTest::newRow("empty") << S("") << S("");
    QTest::newRow("mac then path") << S("5C-CF-7F-01-02-0A/../../x") << S("");
    QTest::newRow("absolute path") << S("/tmp/5C-CF-7F-01-02-0A") << S("");
    QTest::newRow("default of the file") << S("FF FF FF FF FF FF") << S("");
    QTest::newRow("not hexadecimal") << S("5C-CF-7F-01-02-0G") << S("");
    QTest::newRow("colons") << S("5C:CF:7F:01:02:0A") << S("");
    QTest::newRow("with extension") << S("5C-CF-7F-01-02-0A.jpg") << S("");
    QTest::newRow("compact cloud form") << S("5ccf7f01020a") << S("");
}

void tst_Ini::devicePictures() {
    QFETCH(QString, mac);
    QFETCH(QString, fileName);
    const auto s = Load();
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(Qt::red);

    const TIniSaveResult saved = SaveDevImage(mac, picture);
    if (fileName.isEmpty()) {
        QVERIFY(!saved);
        QVERIFY(!saved.Message.isEmpty());
        QVERIFY(DevImgFile(mac).isEmpty());
        QVERIFY(ExistingDevImgFile(mac).isEmpty());
        QVERIFY(LoadDevImage(mac).isNull());
        // Nothing was written anywhere under the settings folder.
        QDirIterator it(Folder(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        QVERIFY2(!it.hasNext(), qPrintable(it.hasNext() ? it.next() : QString()));
        return;
    }
    QVERIFY2(saved, qPrintable(saved.Message));
    const QString path = Folder() + QStringLiteral("/devimg/") + fileName;
    QCOMPARE(ExistingDevImgFile(mac), path);
    const QImage back = LoadDevImage(mac);
    QCOMPARE(back.size(), picture.size());
    QVERIFY(qRed(back.pixel(5, 5)) > 200);
    QCOMPARE(QImageReader(path).format(), QByteArray("jpeg"));
    QVERIFY(!SaveDevImage(mac, QImage()));
    QCOMPARE(LoadDevImage(mac).size(), picture.size()); // a refused save keeps the old picture
}

void tst_Ini::pictureOutsideTheFolderIsNeverRead() {
    const auto s = Load();
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QVERIFY(picture.save(Folder() + QStringLiteral("/x.jpg"), "jpg"));
    QVERIFY(LoadDevImage(QStringLiteral("../x")).isNull());
    QVERIFY(ExistingDevImgFile(QStringLiteral("../x")).isEmpty());
}

void tst_Ini::pictureSaveOnAFullDiskKeepsTheOldPicture() {
    const auto s = Load();
    const QString mac = QStringLiteral("5C-CF-7F-01-02-0A");
    QImage small(8, 8, QImage::Format_RGB32);
    small.fill(Qt::green);
    QVERIFY(SaveDevImage(mac, small));
    const QByteArray before = ReadAll(ExistingDevImgFile(mac));

    QImage large(400, 400, QImage::Format_RGB32);
    for (int y = 0; y < large.height(); ++y)
        for (int x = 0; x < large.width(); ++x)
            large.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x ^ y) % 256)); // does not compress away
    TIniSaveResult r;
    {
        TFileSizeLimit limit(qMax<rlim_t>(before.size() + 64, 1024));
        r = SaveDevImage(mac, large);
    }
    QVERIFY(!r);
    QCOMPARE(ReadAll(ExistingDevImgFile(mac)), before);
    QCOMPARE(QDir(DevImgDir()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("TST_INI_KILLED_WRITER"))
        return KilledWriter(qEnvironmentVariable("TST_INI_KILLED_WRITER"));
    tst_Ini test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_untIni.moc"
