// One running copy per settings folder: what must not be shared is program.ini and devimg/. The
// first copy holds a lock file in that folder and listens on a local socket named from it; a later
// copy finds the lock taken, tells the first one "SHOW" and ends.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

class TSingleInstance : public QObject {
    Q_OBJECT

public:
    static inline const QByteArray ShowMessage = QByteArrayLiteral("SHOW");

    explicit TSingleInstance(const QString& settingsFolder, QObject* parent = nullptr);
    ~TSingleInstance() override;

    // Takes the lock and starts listening. False when another copy holds it.
    bool Claim();
    bool Claimed() const { return FClaimed; }
    // From a copy that could not claim: asks the running copy to show its window. False when it
    // could not be reached.
    bool NotifyRunning(int timeoutMs = 1000) const;

    // The local socket name for a settings folder: the same folder, however spelt, gives the same
    // name; different folders give different names.
    static QString ServerName(const QString& settingsFolder);
    static QString LockFileName(const QString& settingsFolder);

signals:
    // The running copy was asked to show its window.
    void showRequested();

private:
    void Accept();

    QString FFolder;
    std::unique_ptr<QLockFile> FLock;
    QLocalServer* FServer = nullptr;
    bool FClaimed = false;
};
