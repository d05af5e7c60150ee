// What the main window takes from its creator: where its settings live, where its searches go,
// which cloud server it talks to, its clock, its timer intervals and animation durations, and the
// one service through which every message, confirmation and input box passes. The program passes
// the real values (ProgramEnv); tests pass loopback targets, temporary folders and a recorder.
#pragma once

#include <QDateTime>
#include <QHostAddress>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

// Modal boxes of the window. Texts arrive already in the active language.
class TMessageService {
public:
    virtual ~TMessageService() = default;
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // True for Yes.
    virtual bool Confirm(QWidget* parent, const QString& text) = 0;
    // nullopt for Cancel.
    virtual std::optional<QString> InputQuery(QWidget* parent, const QString& caption, const QString& prompt,
                                              const QString& initial, bool masked) = 0;
    // Hands a web address to the desktop's browser; false when it could not.
    virtual bool OpenUrl(QWidget* parent, const QUrl& url) = 0;
};

// The desktop's own message, confirmation and input dialogs.
class TDialogMessageService : public TMessageService {
public:
    void ShowMessage(QWidget* parent, const QString& text) override;
    bool Confirm(QWidget* parent, const QString& text) override;
    std::optional<QString> InputQuery(QWidget* parent, const QString& caption, const QString& prompt,
                                      const QString& initial, bool masked) override;
    bool OpenUrl(QWidget* parent, const QUrl& url) override;
};

struct TMainEnv {
    // Folder of program.ini and devimg/. Empty: the program's rule (beside the program when
    // writable, else the per-user folder).
    QString SettingsFolder;
    // Replaces the computer's key for the stored passwords (tests); empty: the real key.
    QString MachineKey;

    // LAN search. The defaults never leave the computer: only ProgramEnv broadcasts.
    QHostAddress SearchBroadcast{QHostAddress::LocalHost};
    // Port bound for the search; nullopt takes the settings file's port, 0 any free port.
    std::optional<quint16> SearchPort = quint16(0);
    // Port the request goes to; 0: the bound port.
    quint16 SearchTargetPort = 0;

    // Router join.
    QHostAddress RouterBroadcast{QHostAddress::LocalHost};
    quint16 RouterPort = 0;
    quint16 RouterTargetPort = 0;

    // Cloud server base address; empty: the settings file's, else the built-in one.
    QString CloudServer;

    std::function<QDateTime()> Clock = [] { return QDateTime::currentDateTime(); };

    int RedMs = 20000;      // tmr_Red: infrared learning gives up
    int RedCloseMs = 2000;  // tmr_RedClose: learning message closes
    int ChainStepMs = 5000; // the selected board's reading waits this long for each answer
    int SearchWindowMs = 3000;
    int SlideMs = 300; // page slides

    std::shared_ptr<TMessageService> Messages = std::make_shared<TDialogMessageService>();
};

// The values of the installed program: the real broadcast, the ports of the settings file and the
// desktop's dialogs.
TMainEnv ProgramEnv();
