// program.ini loader on arbitrary file contents: no crash, no hang, bounded records, and what
// one run loads and writes back is what the next run loads.
#include "untIni.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

const QString Key = QStringLiteral("5CCF7F01020A0000");

QString Folder() {
    // Shared memory when there is some: four synced writes per input stay cheap.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/fuzz_ini-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/fuzz_ini-XXXXXX"));
    if (!dir.isValid())
        std::abort();
    return dir.path();
}

// The text without its blank lines: layout may settle on the first save, content may not move.
QByteArray Lines(QByteArray text) {
    while (text.contains("\n\n"))
        text.replace("\n\n", "\n");
    return text.trimmed();
}

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString folder = Folder();
    {
        QFile f(folder + QStringLiteral("/program.ini"));
        Check(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Check(f.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }

    // The text model alone: what is saved reads back as the same entries and comments.
    const TIniDocument doc =
        TIniDocument::FromBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    const QByteArray once = doc.ToBytes();
    Check(Lines(TIniDocument::FromBytes(once).ToBytes()) == Lines(once));

    CloudSession.Clear();
    TIniSettings first(folder, Key);
    first.IniLoad();
    Check(first.LoadProblem().isEmpty());
    const TIniDevs devs = first.IniDevs();
    const TFeedMsgs msgs = first.IniFeedMsgs();
    Check(devs.size() <= MaxIniDevs && msgs.size() <= MaxIniFeedMsgs);
    for (const TIniDev& d : devs) {
        Check(d.DevParam.LockArr.size() <= MaxIniOutLocks);
        Check(d.Name.size() <= IniMaxValueLength && d.MAC.size() <= IniMaxValueLength);
        Check(d.IP == first.IniCloudHost() && d.Port == first.IniTCPRemotePort());
    }

    Check(first.IniWriteDevs(devs).Ok);
    Check(first.IniWriteFeedMsgs(msgs).Ok);
    Check(first.IniWriteLock(first.IniReadLock()).Ok);
    Check(first.IniWriteLanguage(first.IniLanguage()).Ok);

    TIniSettings next(folder, Key);
    next.IniLoad();
    TIniDevs expected = devs;
    for (TIniDev& d : expected) {
        d.Activation = false; // always written as 0
        if (d.DevPassword.isEmpty())
            d.DevPassword = QStringLiteral("qorvu"); // an empty password is stored as the default
    }
    Check(next.IniDevs() == expected);
    Check(next.IniFeedMsgs() == msgs);
    Check(next.IniReadLock() == first.IniReadLock());
    Check(next.IniLanguage() == first.IniLanguage());
    Check(next.IniTCPLANPort() == first.IniTCPLANPort());
    Check(next.IniTCPRemotePort() == first.IniTCPRemotePort());
    Check(next.IniUDPSCanPort() == first.IniUDPSCanPort());
    Check(next.IniCloudServer() == first.IniCloudServer());
    Check(next.IniRemPss() == first.IniRemPss() && next.IniAutoLog() == first.IniAutoLog());
    Check(next.IniUserName() == first.IniUserName() && next.IniPassword() == first.IniPassword());
    return 0;
}
