// Simulated relay server: takes the enciphered 70-byte login block of a client, checks the
// board's MAC and the cloud account against its configuration, answers "$0" to "$4" and, once a
// board is reached and logged in to, carries bytes between the client and that board.
//
// The login block layout, the "$" answers and the framing (SimFrames.h) are written here apart
// from the program's device connection on purpose, so that a mistake shared by both sides cannot
// hide from the end-to-end tests; only the cipher and its key are common.
#pragma once

#include "untPublic.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

Q_DECLARE_LOGGING_CATEGORY(lcRelaySim)

namespace relay {

inline constexpr int LoginBlockSize = 70;

// A board the relay can reach, and how it logs in to it.
struct DeviceRoute {
    TBUF6 mac{};
    QString host;
    quint16 port = DefaultTCPLANPort;
    QByteArray password = DefaultDevPassword;
    QString name; // sent after "$1"; empty: ask the board
};

struct Account {
    QString name;
    QString password;
    QSet<QString> macs; // "AA-BB-CC-DD-EE-FF"
    bool allDevices = false;
};

struct RelayConfig {
    QHostAddress listenAddress = QHostAddress(QHostAddress::LocalHost);
    int port = DefaultTCPRemotePort;
    QList<DeviceRoute> devices;
    QList<Account> accounts;
    // Accounts kept by the cloud simulator (quillet-cloudsim --relay-accounts), read again at
    // every login, after those of --account.
    QString accountsFile;
    int boardTimeoutMs = 3000;
    int blockTimeoutMs = 10000;
    bool verbose = false;
};

std::optional<RelayConfig> ParseRelayArgs(const QStringList& args, QString* error, bool* help);
QString RelayHelpText();

// The login block in clear: MAC, account (16 bytes), 16 zero bytes, password (16), 16 zero bytes.
struct LoginBlock {
    TBUF6 mac{};
    TBUF16 account{};
    TBUF16 password{};
    QString Account() const { return Utf8BufToStr(account); }
    QString Password() const { return Utf8BufToStr(password); }
};

// The 70 bytes as a client sends them: laid out, reversed, enciphered under the relay key.
QByteArray EncodeLoginBlock(const LoginBlock& block);
// The inverse: deciphers, then restores the order. nullopt unless exactly 70 bytes.
std::optional<LoginBlock> DecodeLoginBlock(const QByteArray& wire);

// The answer digit for a login before the board is contacted: '2' account unknown or password
// wrong, '3' no account may use the board, '4' the board belongs to other accounts only,
// '0' allowed but the relay has no route to the board, '1' allowed with `route` set.
char Decide(const RelayConfig& cfg, const LoginBlock& login, const DeviceRoute** route);
// The lines of an accounts file ("NAME:PASSWORD:MACS" as --account); unreadable lines are skipped.
QList<Account> ReadAccountsFile(const QString& path);

class RelaySession;

class RelayServer : public QObject {
    Q_OBJECT
public:
    explicit RelayServer(RelayConfig config, QObject* parent = nullptr);
    bool Start(QString* error);
    quint16 Port() const { return FServer.serverPort(); }
    QHostAddress Address() const { return FServer.serverAddress(); }
    const RelayConfig& Config() const { return FCfg; }

private:
    RelayConfig FCfg;
    QTcpServer FServer;
};

class RelaySession : public QObject {
    Q_OBJECT
public:
    RelaySession(QTcpSocket* client, const RelayConfig* cfg, QObject* parent);

private:
    enum class Phase : quint8 { Block, Refused, Offline, BoardConnect, BoardLogin, BoardName, Carry };

    void OnClientData();
    void OnBoardData();
    void Answer(const QByteArray& text);
    void Refuse(char digit);
    void GoOffline(const char* why);
    void ConnectBoard();
    void Online(const QString& name);
    void Close();

    const RelayConfig* FCfg;
    Phase FPhase = Phase::Block;
    QPointer<QTcpSocket> FClient;
    QPointer<QTcpSocket> FBoard;
    const DeviceRoute* FRoute = nullptr;
    QByteArray FClientBuf; // client bytes not yet used or forwarded
    QByteArray FBoardBuf;  // board bytes during its login
    QTimer FTimer;
    QString FTag; // for the log
};

} // namespace relay
