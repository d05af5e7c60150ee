// program.ini and the device picture folder: everything the program remembers between runs.
#pragma once

#include "untIniDoc.h"
#include "untPublic.h"

#include <QImage>
#include <QString>

#include <optional>

// Outcome of a write to disk. A failed write changes nothing on disk; the values stay in memory
// and reach the file with the next write that succeeds.
struct [[nodiscard]] TIniSaveResult {
    bool Ok = true;
    QString Message;       // why it failed, for the user
    bool Repeated = false; // the write before failed the same way: the message was already shown
    explicit operator bool() const { return Ok; }
};

// Limits that keep a damaged or hostile file from stalling start-up. Boards report their output
// count in one byte.
inline constexpr int MaxIniDevs = 4096;
inline constexpr int MaxIniFeedMsgs = 10000;
inline constexpr int MaxIniOutLocks = 255;
inline constexpr qint64 MaxIniFileSize = 64 * 1024 * 1024;

inline constexpr char IniFileName[] = "program.ini";
inline constexpr char DevImgFolderName[] = "devimg";

// The settings folder of this run: the program's folder when it can be written, else the
// per-user configuration folder. When the program's folder holds a program.ini but cannot be
// written, that file is copied once into the user folder so its settings are kept.
QString DefaultSettingsFolder();
// The rule above for given folders (tests).
QString ChooseSettingsFolder(const QString& programDir, const QString& userDir);

// The folder of program.ini and devimg/ in use; set by TIniSettings::IniLoad, else the default.
// Process-wide because a run has one settings file and the picture helpers below serve every
// layer that shows a board; only IniLoad (and tests) set it.
QString SettingsFolder();
void SetSettingsFolder(const QString& folder);

// The cloud server's base address built into the program.
QString DefaultCloudServer();

// Device pictures: "<MAC>.jpg" in the picture folder. Only a MAC text of six two-digit
// hexadecimal pairs ("AA-BB-CC-DD-EE-FF", either case) names a picture; any other text is
// refused, so no path outside the folder is ever made from it.
QString DevImgDir();                            // created when missing
QString DevImgFile(const QString& mac);         // empty for a refused text
QString ExistingDevImgFile(const QString& mac); // empty when refused or absent
QImage LoadDevImage(const QString& mac);        // null when refused, absent or unreadable
TIniSaveResult SaveDevImage(const QString& mac, const QImage& picture);

class TIniSettings {
public:
    // `folder` holds program.ini and devimg/. `machineKey` replaces the computer's key (tests,
    // tools); empty means the key is built from the network adapter by IniLoad.
    explicit TIniSettings(const QString& folder = DefaultSettingsFolder(), const QString& machineKey = {});

    // Reads everything into memory: the ports, the remembered login and the rest are then given
    // by the Ini... getters, nothing process-wide is set. Never fails: whatever cannot be read
    // gives the defaults. When an existing file could not be read at all, LoadProblem() says
    // so and every write is refused, so the file is never replaced by defaults.
    void IniLoad();
    QString LoadProblem() const { return FLoadProblem; }

    bool IniLanguage() const { return FLanguage; } // true: Chinese
    quint16 IniTCPLANPort() const { return FTCPLANPort; }
    quint16 IniTCPRemotePort() const { return FTCPRemotePort; }
    quint16 IniUDPSCanPort() const { return FUDPSCanPort; }
    bool IniRemPss() const { return FRemPss; }
    bool IniAutoLog() const { return FAutoLog; }
    // The remembered login, deciphered; empty unless RemPss or AutoLog is set.
    QString IniUserName() const { return FUserName; }
    QString IniPassword() const { return FPassword; }
    TIniDevs IniDevs() const { return FDevs; }
    TFeedMsgs IniFeedMsgs() const { return FFeedMsgs; }
    QString IniReadLock() const { return FLock; }
    // Base address of the cloud server ("http://host:port", no trailing "/").
    QString IniCloudServer() const { return FCloudServer; }
    // Its host name: the relay server address of every loaded device.
    QString IniCloudHost() const;
    // Whether the message page's tab is shown.
    bool IniMessagePage() const { return FMessagePage; }

    // Each write saves the whole file at once and atomically.
    TIniSaveResult IniWriteLock(const QString& password); // empty cancels the lock
    TIniSaveResult IniWriteLanguage(bool chinese);
    // The login of `session`, kept only when remPss or autoLog is set.
    TIniSaveResult IniWriteUser(const TCloudSession& session, bool remPss, bool autoLog);
    // Saved after a LAN search reply was merged, after a device was activated and added, after a
    // device was removed, and at shutdown.
    TIniSaveResult IniWriteDevs(const TIniDevs& devs);
    TIniSaveResult IniWriteFeedMsgs(const TFeedMsgs& msgs); // nothing written when empty
    void IniFree();                                         // later writes are refused

    // Shutdown in its fixed order: language, login, feedback, devices, then IniFree. Gives the
    // first failure (each write is still tried).
    TIniSaveResult IniShutdown(bool chinese, const TCloudSession& session, bool remPss, bool autoLog,
                               const TFeedMsgs& msgs, const TIniDevs& devs);

    QString Folder() const { return FFolder; }
    QString FilePath() const;

private:
    TIniSaveResult Save();
    TIniSaveResult Refused(const QString& message);

    QString FFolder;
    QString FKeyOverride;
    QByteArray FKey;
    TIniDocument FDoc;
    bool FLoaded = false;
    bool FClosed = false;
    QString FLoadProblem;
    QString FLastFailure;
    // What program.ini holds as far as this object knows (read at load, written since).
    std::optional<QByteArray> FOnDisk;

    bool FLanguage = true;
    quint16 FTCPLANPort = DefaultTCPLANPort;
    quint16 FTCPRemotePort = DefaultTCPRemotePort;
    quint16 FUDPSCanPort = DefaultUDPSCanPort;
    bool FRemPss = false;
    bool FAutoLog = false;
    QString FUserName;
    QString FPassword;
    TIniDevs FDevs;
    TFeedMsgs FFeedMsgs;
    QString FLock;
    QString FCloudServer;
    bool FMessagePage = false;
};
