#include "untIni.h"

#include "QuilletConfig.h"

#include "MachineKey.h"
#include "PC1_128_Text.h"
#include "untIniKeys.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcIni, "quillet.settings")

namespace {

QString Latin(const char* s) {
    return QString::fromLatin1(s);
}

QString SectionOf(const TIniKey& key) {
    return Latin(key.Section);
}
QString SectionOf(const TIniKey& key, int n) {
    return Latin(key.Section) + QString::number(n);
}

// Decimal with an optional sign within 32 bits, or "0x" and hexadecimal digits up to 32 bits
// (taken as a signed 32-bit pattern, as the platform's integer reader does). Nothing else:
// no blanks, no second prefix.
std::optional<qint32> ParseIniInt(QStringView text) {
    const bool hex = text.size() > 2 && text.at(0) == u'0' && (text.at(1) == u'x' || text.at(1) == u'X');
    QStringView digits = hex ? text.mid(2) : text;
    bool negative = false;
    if (!hex && !digits.isEmpty() && (digits.front() == u'+' || digits.front() == u'-')) {
        negative = digits.front() == u'-';
        digits = digits.mid(1);
    }
    if (digits.isEmpty())
        return std::nullopt;
    const quint64 base = hex ? 16 : 10;
    const quint64 limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 v = 0;
    for (QChar c : digits) {
        int d = -1;
        if (c >= u'0' && c <= u'9')
            d = c.unicode() - u'0';
        else if (hex && c >= u'a' && c <= u'f')
            d = c.unicode() - u'a' + 10;
        else if (hex && c >= u'A' && c <= u'F')
            d = c.unicode() - u'A' + 10;
        if (d < 0)
            return std::nullopt;
        v = v * base + quint64(d);
        if (v > limit)
            return std::nullopt;
    }
    if (hex)
        return qint32(quint32(v));
    return negative ? qint32(-qint64(v)) : qint32(v);
}

qint32 DefaultInt(const TIniKey& key) {
    return ParseIniInt(Latin(key.Default)).value_or(0);
}

class TReader {
public:
    explicit TReader(const TIniDocument& doc) : FDoc(doc) {}

    std::optional<QString> Raw(const QString& section, const QString& name) const {
        return FDoc.Value(section, name);
    }
    QString Text(const TIniKey& key, const QString& section) const {
        return Raw(section, Latin(key.Name)).value_or(Latin(key.Default));
    }
    qint32 Int(const TIniKey& key, const QString& section, const QString& name) const {
        const auto raw = Raw(section, name);
        const auto v = raw ? ParseIniInt(*raw) : std::nullopt;
        return v.value_or(DefaultInt(key));
    }
    qint32 Int(const TIniKey& key, const QString& section) const {
        return Int(key, section, Latin(key.Name));
    }
    bool Bool(const TIniKey& key, const QString& section, const QString& name) const {
        return Int(key, section, name) != 0;
    }
    bool Bool(const TIniKey& key, const QString& section) const { return Int(key, section) != 0; }

private:
    const TIniDocument& FDoc;
};

class TWriter {
public:
    explicit TWriter(TIniDocument& doc) : FDoc(doc) {}
    void Text(const TIniKey& key, const QString& section, const QString& value) {
        FDoc.SetValue(section, Latin(key.Name), value);
    }
    void Int(const TIniKey& key, const QString& section, qint64 value) {
        Text(key, section, QString::number(value));
    }
    void Bool(const TIniKey& key, const QString& section, bool value) {
        Bool(section, Latin(key.Name), value);
    }
    void Bool(const QString& section, const QString& name, bool value) {
        FDoc.SetValue(section, name, value ? QStringLiteral("1") : QStringLiteral("0"));
    }

private:
    TIniDocument& FDoc;
};

QString ValidCloudServer(const std::optional<QString>& value) {
    const QString text = value ? value->trimmed() : QString();
    if (text.isEmpty())
        return DefaultCloudServer();
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty() &&
        !url.hasQuery() && !url.hasFragment() && url.userInfo().isEmpty()) {
        QString base = text;
        while (base.endsWith(u'/'))
            base.chop(1);
        return base;
    }
    qCWarning(lcIni) << "CloudServer is not an http(s) address, using the default:" << text;
    return DefaultCloudServer();
}

bool IsWritableFolder(const QString& dir) {
    if (!QFileInfo(dir).isDir())
        return false;
    QTemporaryFile probe(dir + QStringLiteral("/.quillet-write-test-XXXXXX"));
    return probe.open();
}

void SyncFolder(const QString& dir) {
#ifdef Q_OS_UNIX
    // The rename is durable only once the folder entry itself is on disk.
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(dir);
#endif
}

// Writes a new file beside the old one and renames it over the old one only when every byte is
// on disk: a crash, a full disk or a killed process leaves the old file or the new one. The
// buffered QSaveFile path is not enough: its commit renames a short file when the final flush
// fails, so the bytes are written unbuffered, counted, and synced before the rename.
// Gives the reason when it failed (nothing changed on disk then).
std::optional<QString> WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += n;
    }
    if (done != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
        return why;
    }
#endif
    if (!file.commit())
        return file.errorString();
    SyncFolder(QFileInfo(path).absolutePath());
    return std::nullopt;
}

QString& CurrentSettingsFolder() {
    static QString folder;
    return folder;
}

} // namespace

// --- folders ------------------------------------------------------------------------------------

QString ChooseSettingsFolder(const QString& programDir, const QString& userDir) {
    if (IsWritableFolder(programDir))
        return programDir;
    EnsureDir(userDir);
    const QString userFile = userDir + u'/' + Latin(IniFileName);
    const QString programFile = programDir + u'/' + Latin(IniFileName);
    if (!QFileInfo::exists(userFile) && QFileInfo(programFile).isFile())
        QFile::copy(programFile, userFile);
    return userDir;
}

QString DefaultSettingsFolder() {
    return ChooseSettingsFolder(QCoreApplication::applicationDirPath(),
                                QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

QString SettingsFolder() {
    QString& folder = CurrentSettingsFolder();
    if (folder.isEmpty())
        folder = DefaultSettingsFolder();
    return folder;
}

void SetSettingsFolder(const QString& folder) {
    CurrentSettingsFolder() = folder;
}

QString DefaultCloudServer() {
    QString base = QStringLiteral(QUILLET_CLOUD_SERVER);
    while (base.endsWith(u'/'))
        base.chop(1);
    return base;
}

// --- device pictures ----------------------------------------------------------------------------

QString DevImgDir() {
    return EnsureDir(SettingsFolder() + u'/' + Latin(DevImgFolderName));
}

QString DevImgFile(const QString& mac) {
    if (!IsMACText(mac))
        return {};
    return DevImgDir() + u'/' + mac.toUpper() + QStringLiteral(".jpg");
}

QString ExistingDevImgFile(const QString& mac) {
    const QString path = DevImgFile(mac);
    return !path.isEmpty() && QFileInfo(path).isFile() ? path : QString();
}

QImage LoadDevImage(const QString& mac) {
    const QString path = ExistingDevImgFile(mac);
    if (path.isEmpty())
        return {};
    QImageReader reader(path); // by content: a picture saved under .jpg may be another format
    QImage image = reader.read();
    if (image.isNull())
        qCDebug(lcIni) << "unreadable device picture" << path << reader.errorString();
    return image;
}

TIniSaveResult SaveDevImage(const QString& mac, const QImage& picture) {
    const QString path = DevImgFile(mac);
    if (path.isEmpty())
        return {false, QStringLiteral("A device picture needs a MAC address, not \"%1\".").arg(mac)};
    if (picture.isNull())
        return {false, QStringLiteral("The picture for %1 is empty.").arg(mac)};
    QBuffer jpeg;
    jpeg.open(QIODevice::WriteOnly);
    QImageWriter writer(&jpeg, "jpg");
    if (!writer.write(picture))
        return {false, QStringLiteral("Could not save the picture %1: %2").arg(path, writer.errorString())};
    if (const auto problem = WriteFileAtomically(path, jpeg.data()))
        return {false, QStringLiteral("Could not save the picture %1: %2").arg(path, *problem)};
    return {};
}

// --- settings file ------------------------------------------------------------------------------

TIniSettings::TIniSettings(const QString& folder, const QString& machineKey)
    : FFolder(folder), FKeyOverride(machineKey) {}

QString TIniSettings::FilePath() const {
    return FFolder + u'/' + Latin(IniFileName);
}

QString TIniSettings::IniCloudHost() const {
    return QUrl(FCloudServer).host();
}

void TIniSettings::IniLoad() {
    namespace K = IniKeys;

    if (FKeyOverride.isEmpty()) {
        InitMachineKey();
        FKey = MachineKey().toLatin1();
    } else {
        FKey = FKeyOverride.leftJustified(MachineKeyLength, MachineKeyFiller, true).toLatin1();
    }

    SetSettingsFolder(FFolder);
    DevImgDir();

    FLoadProblem.clear();
    FLastFailure.clear();
    FClosed = false;
    QByteArray bytes;
    const QFileInfo info(FilePath());
    if (info.exists()) {
        QFile file(FilePath());
        if (!info.isFile())
            FLoadProblem = QStringLiteral("%1 is not a file.").arg(FilePath());
        else if (info.size() > MaxIniFileSize)
            FLoadProblem = QStringLiteral("%1 is too large to be a settings file.").arg(FilePath());
        else if (!file.open(QIODevice::ReadOnly))
            FLoadProblem = QStringLiteral("%1 could not be read: %2").arg(FilePath(), file.errorString());
        else
            bytes = file.readAll();
        if (!FLoadProblem.isEmpty()) {
            FLoadProblem += QStringLiteral(" Settings changed in this run will not be saved.");
            qCWarning(lcIni).noquote() << FLoadProblem;
        }
    }
    FDoc = TIniDocument::FromBytes(bytes);
    FOnDisk = info.exists() ? std::optional<QByteArray>(bytes) : std::nullopt;
    FLoaded = true;

    const TReader r(FDoc);
    const QString sys = SectionOf(K::Language);
    FLanguage = r.Bool(K::Language, sys);
    // Ports keep the low 16 bits of what is written.
    FTCPLANPort = quint16(r.Int(K::TCPLANPort, sys));
    FTCPRemotePort = quint16(r.Int(K::TCPRemotePort, sys));
    FUDPSCanPort = quint16(r.Int(K::UDPSCanPort, sys));
    FCloudServer = ValidCloudServer(r.Raw(sys, Latin(K::CloudServer.Name)));
    const QString cloudHost = IniCloudHost();
    FMessagePage = r.Bool(K::MessagePage, sys);

    FRemPss = r.Bool(K::RemPss, sys);
    FAutoLog = r.Bool(K::AutoLog, sys);
    FUserName.clear();
    FPassword.clear();
    if (FRemPss || FAutoLog) {
        FUserName = IniDecrypt(r.Text(K::UserName, sys), FKey);
        FPassword = IniDecrypt(r.Text(K::Password, sys), FKey);
    }

    FDevs.clear();
    const int devCount = std::min(r.Int(K::DevListCount, sys), MaxIniDevs);
    for (int n = 0; n < devCount; ++n) {
        const QString sec = SectionOf(K::DevName, n);
        TIniDev dev;
        dev.Name = r.Text(K::DevName, sec);
        dev.MAC = r.Text(K::DevMAC, sec);
        const auto letters = r.Raw(sec, Latin(K::DevPassword.Name));
        dev.DevPassword = letters ? IniDecrypt(*letters, FKey) : Latin(K::DevPassword.Default);
        dev.DevType = quint8(r.Int(K::DevType, sec));
        dev.CtrlByte = quint8(r.Int(K::DevCtrlByte, sec));
        dev.Activation = r.Bool(K::DevActivation, sec);
        const int outCount = std::min(r.Int(K::DevOutCount, sec), MaxIniOutLocks);
        for (int j = 0; j < outCount; ++j)
            dev.DevParam.LockArr.append(
                r.Bool(K::DevOutLock, sec, Latin(K::DevOutLock.Name) + QString::number(j)));
        dev.DevParam.TouchMode = r.Bool(K::DevTouchMode, sec);
        // An address is kept only whole: a host the board can be reached at and a port.
        const QString lanHost = r.Text(K::DevLanHost, sec).trimmed();
        const int lanPort = r.Int(K::DevLanPort, sec);
        if (IsValidLanHost(lanHost) && lanPort >= 1 && lanPort <= 65535) {
            dev.LanHost = lanHost;
            dev.LanPort = quint16(lanPort);
        }
        dev.IP = cloudHost;
        dev.Port = FTCPRemotePort;
        FDevs.append(dev);
    }

    FFeedMsgs.clear();
    const int feedCount = std::min(r.Int(K::FeedListCount, sys), MaxIniFeedMsgs);
    for (int n = 0; n < feedCount; ++n) {
        const QString sec = SectionOf(K::FeedText, n);
        TFeedMsg msg;
        msg.Msg = r.Text(K::FeedText, sec);
        msg._Type = r.Bool(K::FeedType, sec);
        msg.Id = r.Text(K::FeedId, sec);
        FFeedMsgs.append(msg);
    }

    FLock = r.Text(K::Lock, sys);
}

TIniSaveResult TIniSettings::Refused(const QString& message) {
    TIniSaveResult result{false, message, message == FLastFailure};
    FLastFailure = message;
    return result;
}

TIniSaveResult TIniSettings::Save() {
    if (!FLoaded)
        return Refused(QStringLiteral("The settings were not loaded; nothing is saved."));
    if (FClosed)
        return Refused(QStringLiteral("The settings file is closed; nothing is saved."));
    if (!FLoadProblem.isEmpty())
        return Refused(FLoadProblem);

    QByteArray bytes = FDoc.ToBytes();
    // Nothing to write when the file already holds these bytes: a save costs a disk flush, and
    // a search or a click that changed nothing must not wait for one.
    if (FOnDisk && *FOnDisk == bytes && QFileInfo::exists(FilePath())) {
        FLastFailure.clear();
        return {};
    }
    if (const auto problem = WriteFileAtomically(FilePath(), bytes)) {
        qCWarning(lcIni).noquote() << "saving" << FilePath() << "failed:" << *problem;
        FOnDisk.reset();
        return Refused(QStringLiteral("The settings could not be saved to %1: %2").arg(FilePath(), *problem));
    }
    FOnDisk = std::move(bytes);
    FLastFailure.clear();
    return {};
}

TIniSaveResult TIniSettings::IniWriteLock(const QString& password) {
    FLock = password;
    TWriter(FDoc).Text(IniKeys::Lock, SectionOf(IniKeys::Lock), password);
    return Save();
}

TIniSaveResult TIniSettings::IniWriteLanguage(bool chinese) {
    FLanguage = chinese;
    TWriter(FDoc).Bool(IniKeys::Language, SectionOf(IniKeys::Language), chinese);
    return Save();
}

TIniSaveResult TIniSettings::IniWriteUser(const TCloudSession& session, bool remPss, bool autoLog) {
    using namespace IniKeys;
    const QString sys = SectionOf(UserName);
    const bool keep = remPss || autoLog;
    FRemPss = remPss;
    FAutoLog = autoLog;
    FUserName = keep ? session.CloudAccount() : QString();
    FPassword = keep ? session.CloudPassword() : QString();
    TWriter w(FDoc);
    w.Text(UserName, sys, keep ? IniEncrypt(FUserName, FKey) : QString());
    w.Text(Password, sys, keep ? IniEncrypt(FPassword, FKey) : QString());
    w.Bool(RemPss, sys, remPss);
    w.Bool(AutoLog, sys, autoLog);
    return Save();
}

TIniSaveResult TIniSettings::IniWriteDevs(const TIniDevs& devs) {
    using namespace IniKeys;
    FDevs = devs.mid(0, MaxIniDevs);
    TWriter w(FDoc);
    w.Int(DevListCount, SectionOf(DevListCount), FDevs.size());
    for (int n = 0; n < FDevs.size(); ++n) {
        const TIniDev& dev = FDevs.at(n);
        const QString sec = SectionOf(DevName, n);
        w.Text(DevName, sec, dev.Name);
        w.Text(DevMAC, sec, dev.MAC);
        const QString password = dev.DevPassword.isEmpty() ? Latin(DevPassword.Default) : dev.DevPassword;
        w.Text(DevPassword, sec, IniEncrypt(password, FKey));
        w.Int(DevType, sec, dev.DevType);
        w.Int(DevCtrlByte, sec, dev.CtrlByte);
        w.Bool(DevActivation, sec, false); // activation is known from the cloud, not from here
        const int outCount = int(std::min<qsizetype>(dev.DevParam.LockArr.size(), MaxIniOutLocks));
        w.Int(DevOutCount, sec, outCount);
        for (int j = 0; j < outCount; ++j)
            w.Bool(sec, Latin(DevOutLock.Name) + QString::number(j), dev.DevParam.LockArr.at(j));
        w.Bool(DevTouchMode, sec, dev.DevParam.TouchMode);
        // The sections are renumbered on every write: a record without an address must not keep
        // the one its section held before.
        if (!dev.LanHost.isEmpty() && dev.LanPort != 0) {
            w.Text(DevLanHost, sec, dev.LanHost);
            w.Int(DevLanPort, sec, dev.LanPort);
        } else {
            FDoc.RemoveValue(sec, Latin(DevLanHost.Name));
            FDoc.RemoveValue(sec, Latin(DevLanPort.Name));
        }
    }
    return Save();
}

TIniSaveResult TIniSettings::IniWriteFeedMsgs(const TFeedMsgs& msgs) {
    using namespace IniKeys;
    if (msgs.isEmpty())
        return {};
    // The newest messages are the ones kept when there are too many.
    FFeedMsgs = msgs.mid(std::max<qsizetype>(0, msgs.size() - MaxIniFeedMsgs));
    TWriter w(FDoc);
    w.Int(FeedListCount, SectionOf(FeedListCount), FFeedMsgs.size());
    for (int n = 0; n < FFeedMsgs.size(); ++n) {
        const QString sec = SectionOf(FeedText, n);
        w.Text(FeedText, sec, FFeedMsgs.at(n).Msg);
        w.Bool(FeedType, sec, FFeedMsgs.at(n)._Type);
        // Written only where there is one to keep or an older one to clear.
        if (!FFeedMsgs.at(n).Id.isEmpty() || FDoc.Value(sec, QLatin1String(FeedId.Name)))
            w.Text(FeedId, sec, FFeedMsgs.at(n).Id);
    }
    return Save();
}

void TIniSettings::IniFree() {
    FClosed = true;
}

TIniSaveResult TIniSettings::IniShutdown(bool chinese, const TCloudSession& session, bool remPss,
                                         bool autoLog, const TFeedMsgs& msgs, const TIniDevs& devs) {
    TIniSaveResult first;
    for (TIniSaveResult r : {IniWriteLanguage(chinese), IniWriteUser(session, remPss, autoLog),
                             IniWriteFeedMsgs(msgs), IniWriteDevs(devs)}) {
        if (first && !r)
            first = r;
    }
    IniFree();
    return first;
}
