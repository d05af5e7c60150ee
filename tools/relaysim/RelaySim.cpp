#include "RelaySim.h"

#include "../SimArgs.h"
#include "PC1_128.h"
#include "SimFrames.h"

#include <QCommandLineParser>
#include <QFile>

#include <algorithm>

Q_LOGGING_CATEGORY(lcRelaySim, "quillet.relaysim")

namespace relay {

namespace {

constexpr int MacAt = 0, AccountAt = 6, PasswordAt = 38;
constexpr quint8 NameQuery = 0x75, NameReply = 0xF5;

bool ParseHostPort(const QString& text, QString& host, int& port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    bool ok = false;
    const int p = text.mid(colon + 1).toInt(&ok);
    if (!ok || p < 0 || p > 65535)
        return false;
    host = text.left(colon);
    port = p;
    return true;
}

bool ParseMac(const QString& text, TBUF6& mac) {
    const QString formatted = FormatMACStr(text);
    return IsMACText(formatted) && MACStrToBuf(formatted, mac);
}

// First complete reply frame with a good sum in `buf`: its payload and the index after it.
bool FindReplyFrame(const QByteArray& buf, QByteArray& payload, qsizetype& end) {
    for (qsizetype i = 0; i + 4 < buf.size(); ++i) {
        if (quint8(buf.at(i)) != 0xAA || quint8(buf.at(i + 1)) != 0x55)
            continue;
        const int len = quint8(buf.at(i + 2)) * 256 + quint8(buf.at(i + 3));
        if (len == 0 || i + len + 5 > buf.size())
            continue;
        if (sim::Sum8(QByteArrayView(buf).sliced(i + 2, len + 2)) != quint8(buf.at(i + len + 4)))
            continue;
        payload = buf.mid(i + 5, len - 1);
        end = i + len + 5;
        return true;
    }
    return false;
}

} // namespace

QByteArray EncodeLoginBlock(const LoginBlock& b) {
    QByteArray clear(LoginBlockSize, '\0');
    std::copy(b.mac.begin(), b.mac.end(), clear.begin() + MacAt);
    std::copy(b.account.begin(), b.account.end(), clear.begin() + AccountAt);
    std::copy(b.password.begin(), b.password.end(), clear.begin() + PasswordAt);
    std::reverse(clear.begin(), clear.end());
    return PC1EncryptBytes(RelayLoginKey, clear);
}

std::optional<LoginBlock> DecodeLoginBlock(const QByteArray& wire) {
    if (wire.size() != LoginBlockSize)
        return std::nullopt;
    QByteArray clear = PC1DecryptBytes(RelayLoginKey, wire);
    std::reverse(clear.begin(), clear.end());
    LoginBlock b;
    const auto* p = reinterpret_cast<const quint8*>(clear.constData());
    std::copy_n(p + MacAt, 6, b.mac.begin());
    std::copy_n(p + AccountAt, 16, b.account.begin());
    std::copy_n(p + PasswordAt, 16, b.password.begin());
    return b;
}

char Decide(const RelayConfig& cfg, const LoginBlock& login, const DeviceRoute** route) {
    const QString mac = MACBufToStr(login.mac);
    const auto acc = std::find_if(cfg.accounts.cbegin(), cfg.accounts.cend(),
                                  [&](const Account& a) { return a.name == login.Account(); });
    if (acc == cfg.accounts.cend() || acc->password != login.Password() || acc->name.isEmpty())
        return '2';
    if (!acc->allDevices && !acc->macs.contains(mac)) {
        const bool owned = std::any_of(cfg.accounts.cbegin(), cfg.accounts.cend(), [&](const Account& a) {
            return a.allDevices || a.macs.contains(mac);
        });
        return owned ? '4' : '3';
    }
    const auto dev = std::find_if(cfg.devices.cbegin(), cfg.devices.cend(),
                                  [&](const DeviceRoute& d) { return d.mac == login.mac; });
    if (dev == cfg.devices.cend())
        return '0';
    if (route)
        *route = &*dev;
    return '1';
}

QList<Account> ReadAccountsFile(const QString& path) {
    QList<Account> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (text.isEmpty())
            continue;
        if (const auto cfg = ParseRelayArgs({QStringLiteral("--account"), text}, nullptr, nullptr))
            out += cfg->accounts;
    }
    return out;
}

std::optional<RelayConfig> ParseRelayArgs(const QStringList& args, QString* error, bool* help) {
    RelayConfig cfg;
    const auto fail = [&](const QString& msg) {
        if (error)
            *error = msg;
        return std::nullopt;
    };
    if (help)
        *help = false;
    QCommandLineParser parser;
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption verbose({QStringLiteral("v"), QStringLiteral("verbose")}, QString());
    const QCommandLineOption listen(QStringLiteral("listen"), QString(), QStringLiteral("ADDR:PORT"));
    const QCommandLineOption device(QStringLiteral("device"), QString(), QStringLiteral("ROUTE"));
    const QCommandLineOption deviceName(QStringLiteral("device-name"), QString(), QStringLiteral("MAC=NAME"));
    const QCommandLineOption account(QStringLiteral("account"), QString(), QStringLiteral("ACCOUNT"));
    const QCommandLineOption timeout(QStringLiteral("board-timeout-ms"), QString(), QStringLiteral("MS"));
    const QCommandLineOption accountsFile(QStringLiteral("accounts-file"), QString(), QStringLiteral("FILE"));
    parser.addOptions({helpOption, verbose, listen, device, deviceName, account, timeout, accountsFile});
    if (!parser.parse(QStringList{QStringLiteral("quillet-relaysim")} + args)) {
        QStringList valueOptions;
        for (const QCommandLineOption& o : {listen, device, deviceName, account, timeout, accountsFile})
            valueOptions << o.names().first();
        return fail(SimOptionError(parser, args, valueOptions));
    }
    if (parser.isSet(helpOption)) {
        if (help)
            *help = true;
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    cfg.verbose = parser.isSet(verbose);
    if (parser.isSet(listen)) {
        const QString value = parser.value(listen);
        QString host;
        if (!ParseHostPort(value, host, cfg.port) || !cfg.listenAddress.setAddress(host))
            return fail(QStringLiteral("--listen: expected ADDR:PORT, got \"%1\"").arg(value));
    }
    for (const QString& value : parser.values(device)) {
        // MAC=HOST:PORT[:PASSWORD]
        const qsizetype eq = value.indexOf(QLatin1Char('='));
        DeviceRoute d;
        const QStringList parts = eq < 0 ? QStringList() : value.mid(eq + 1).split(QLatin1Char(':'));
        bool portOk = false;
        const int port = parts.size() >= 2 ? parts[1].toInt(&portOk) : 0;
        if (eq < 0 || !ParseMac(value.left(eq), d.mac) || parts.size() < 2 || parts[0].isEmpty() || !portOk ||
            port < 1 || port > 65535)
            return fail(QStringLiteral("--device: expected MAC=HOST:PORT[:PASSWORD], got \"%1\"").arg(value));
        d.host = parts[0];
        d.port = quint16(port);
        if (parts.size() > 2)
            d.password = value.mid(eq + 1).section(QLatin1Char(':'), 2).toLatin1();
        cfg.devices.append(d);
    }
    QList<QPair<TBUF6, QString>> names;
    if (parser.isSet(accountsFile))
        cfg.accountsFile = parser.value(accountsFile);
    for (const QString& value : parser.values(deviceName)) {
        const qsizetype eq = value.indexOf(QLatin1Char('='));
        TBUF6 mac{};
        if (eq < 0 || !ParseMac(value.left(eq), mac))
            return fail(QStringLiteral("--device-name: expected MAC=NAME, got \"%1\"").arg(value));
        names.append({mac, value.mid(eq + 1)});
    }
    for (const QString& value : parser.values(account)) {
        // NAME:PASSWORD:MACS, MACS = "*" or MAC[,MAC...]; the password may hold ':'.
        const qsizetype first = value.indexOf(QLatin1Char(':')), last = value.lastIndexOf(QLatin1Char(':'));
        if (first <= 0 || last == first)
            return fail(QStringLiteral("--account: expected NAME:PASSWORD:MAC[,MAC...] or NAME:PASSWORD:*"));
        Account a;
        a.name = value.left(first);
        a.password = value.mid(first + 1, last - first - 1);
        const QString macs = value.mid(last + 1);
        if (macs == QLatin1String("*")) {
            a.allDevices = true;
        } else {
            for (const QString& m : macs.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                TBUF6 mac{};
                if (!ParseMac(m, mac))
                    return fail(QStringLiteral("--account: \"%1\" is not a MAC address").arg(m));
                a.macs.insert(MACBufToStr(mac));
            }
        }
        cfg.accounts.append(a);
    }
    if (parser.isSet(timeout)) {
        bool ok = false;
        cfg.boardTimeoutMs = parser.value(timeout).toInt(&ok);
        if (!ok || cfg.boardTimeoutMs < 1)
            return fail(QStringLiteral("--board-timeout-ms: expected milliseconds"));
    }
    for (const auto& [mac, name] : names) {
        auto it = std::find_if(cfg.devices.begin(), cfg.devices.end(),
                               [&](const DeviceRoute& d) { return d.mac == mac; });
        if (it == cfg.devices.end())
            return fail(QStringLiteral("--device-name: no --device %1").arg(MACBufToStr(mac)));
        it->name = name;
    }
    return cfg;
}

QString RelayHelpText() {
    return QStringLiteral(R"(Usage: quillet-relaysim [options]

Simulated relay server for testing the Quillet client's remote connections. A client sends
70 enciphered bytes (the board's MAC, the account and the account password, reversed and
enciphered with PC1-128 under the fixed relay key); the relay answers:
  $2       unknown account or wrong account password (then closes the connection)
  $3       no configured account may use this board (then closes)
  $4       the board belongs to other accounts only (then closes)
  $0       the board is off-line: no --device route for it, it cannot be reached, or it
           refuses the relay's password (the connection stays open)
  $1NAME   the relay has logged in to the board (password line, "OK"); NAME is the board's
           name (from --device-name, else asked from the board with request 75). From then on
           every byte is carried unchanged between the client and the board.

When it listens it prints "relay tcp=ADDR:PORT" and then "ready" on stdout.

Options:
  --listen ADDR:PORT            listening address (default 127.0.0.1:8900; port 0: any)
  --device MAC=HOST:PORT[:PASSWORD]
                                a board the relay can reach and its device password
                                (default qorvu); repeatable
  --device-name MAC=NAME        the name to send after "$1" for that board
  --account NAME:PASSWORD:MAC[,MAC...]
  --account NAME:PASSWORD:*     a cloud account and the boards it may control (* = all);
                                the password may contain ':'; repeatable
  --accounts-file FILE          more accounts, one NAME:PASSWORD:MACS line each, read again at
                                every login (quillet-cloudsim --relay-accounts keeps it)
  --board-timeout-ms MS         time allowed to reach and log in to a board (default 3000)
  -v, --verbose                 log logins and traffic on stderr
  -h, --help                    this text
)");
}

RelayServer::RelayServer(RelayConfig config, QObject* parent) : QObject(parent), FCfg(std::move(config)) {
    connect(&FServer, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = FServer.nextPendingConnection())
            new RelaySession(s, &FCfg, this);
    });
}

bool RelayServer::Start(QString* error) {
    if (FServer.listen(FCfg.listenAddress, quint16(FCfg.port)))
        return true;
    if (error)
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(FCfg.listenAddress.toString())
                     .arg(FCfg.port)
                     .arg(FServer.errorString());
    return false;
}

RelaySession::RelaySession(QTcpSocket* client, const RelayConfig* cfg, QObject* parent)
    : QObject(parent), FCfg(cfg), FClient(client) {
    client->setParent(this);
    client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    FTag = QStringLiteral("%1:%2").arg(client->peerAddress().toString()).arg(client->peerPort());
    qCDebug(lcRelaySim).noquote() << FTag << "connected";
    connect(client, &QTcpSocket::readyRead, this, &RelaySession::OnClientData);
    connect(client, &QTcpSocket::disconnected, this, &RelaySession::Close);
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        if (FPhase == Phase::Block) {
            qCDebug(lcRelaySim).noquote() << FTag << "no login block in time";
            Close();
        } else if (FPhase == Phase::BoardName) {
            Online(QString());
        } else {
            GoOffline("the board did not answer in time");
        }
    });
    FTimer.start(FCfg->blockTimeoutMs);
}

void RelaySession::Close() {
    FTimer.stop();
    // The sockets outlive the session until their last bytes are out.
    for (QTcpSocket* s : {FBoard.data(), FClient.data()}) {
        if (!s)
            continue;
        s->disconnect(this);
        s->setParent(parent());
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        s->disconnectFromHost();
        if (s->state() == QAbstractSocket::UnconnectedState)
            s->deleteLater();
    }
    FBoard.clear();
    FClient.clear();
    deleteLater();
}

void RelaySession::Answer(const QByteArray& text) {
    qCDebug(lcRelaySim).noquote() << FTag << "answers" << text;
    if (!FClient)
        return;
    FClient->write(text);
    FClient->flush();
}

void RelaySession::Refuse(char digit) {
    FPhase = Phase::Refused;
    Answer(QByteArray("$") + digit);
    Close();
}

void RelaySession::GoOffline(const char* why) {
    qCDebug(lcRelaySim).noquote() << FTag << "board off-line:" << why;
    FTimer.stop();
    if (FBoard) {
        FBoard->disconnect(this);
        FBoard->abort();
        FBoard->deleteLater();
    }
    FPhase = Phase::Offline;
    Answer("$0");
}

void RelaySession::OnClientData() {
    FClientBuf.append(FClient->readAll());
    switch (FPhase) {
    case Phase::Block: {
        if (FClientBuf.size() < LoginBlockSize)
            return;
        const auto login = DecodeLoginBlock(FClientBuf.left(LoginBlockSize));
        FClientBuf.remove(0, LoginBlockSize);
        FTimer.stop();
        char digit = '2';
        if (FCfg->accountsFile.isEmpty()) {
            digit = Decide(*FCfg, *login, &FRoute);
        } else {
            RelayConfig now = *FCfg;
            now.accounts += ReadAccountsFile(FCfg->accountsFile);
            const DeviceRoute* route = nullptr;
            digit = Decide(now, *login, &route);
            // The route must outlive this copy: the same board in the lasting configuration.
            FRoute = nullptr;
            for (const DeviceRoute& d : FCfg->devices)
                if (route && d.mac == route->mac)
                    FRoute = &d;
        }
        qCDebug(lcRelaySim).noquote() << FTag << "login for" << MACBufToStr(login->mac) << "account"
                                      << login->Account() << "->" << digit;
        if (digit == '1')
            ConnectBoard();
        else if (digit == '0')
            GoOffline("no route to it");
        else
            Refuse(digit);
        return;
    }
    case Phase::Carry:
        if (FBoard)
            FBoard->write(std::exchange(FClientBuf, {}));
        return;
    case Phase::Offline:
    case Phase::Refused:
        FClientBuf.clear(); // nobody to give them to
        return;
    default:
        return; // kept until the board is reached
    }
}

void RelaySession::ConnectBoard() {
    FPhase = Phase::BoardConnect;
    FBoard = new QTcpSocket(this);
    FBoard->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(FBoard, &QTcpSocket::connected, this, [this] {
        FPhase = Phase::BoardLogin;
        FBoard->write(FRoute->password + "\r\n");
    });
    connect(FBoard, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (FPhase == Phase::Carry) {
            Close();
            return;
        }
        GoOffline(qPrintable(FBoard->errorString()));
    });
    connect(FBoard, &QTcpSocket::disconnected, this, [this] {
        if (FPhase == Phase::Carry)
            Close();
        else if (FPhase != Phase::Offline)
            GoOffline("the board closed the connection");
    });
    connect(FBoard, &QTcpSocket::readyRead, this, &RelaySession::OnBoardData);
    FTimer.start(FCfg->boardTimeoutMs);
    FBoard->connectToHost(FRoute->host, FRoute->port);
}

void RelaySession::OnBoardData() {
    FBoardBuf.append(FBoard->readAll());
    if (FPhase == Phase::BoardLogin) {
        if (FBoardBuf.size() < 2)
            return;
        const QByteArray answer = FBoardBuf.left(2);
        FBoardBuf.remove(0, 2);
        if (answer != "OK") {
            GoOffline("the board refused the relay's password");
            return;
        }
        if (!FRoute->name.isEmpty()) {
            Online(FRoute->name);
            return;
        }
        FPhase = Phase::BoardName;
        FBoard->write(sim::RequestFrame(QByteArray(1, char(NameQuery))));
    }
    if (FPhase == Phase::BoardName) {
        QByteArray payload;
        qsizetype end = 0;
        if (!FindReplyFrame(FBoardBuf, payload, end))
            return;
        FBoardBuf.remove(0, end);
        const bool named = payload.size() == 17 && quint8(payload.at(0)) == NameReply;
        Online(named ? Utf8BufToStr(payload.mid(1), 16) : QString());
        return;
    }
    if (FPhase == Phase::Carry && FClient)
        FClient->write(std::exchange(FBoardBuf, {}));
}

void RelaySession::Online(const QString& name) {
    FTimer.stop();
    FPhase = Phase::Carry;
    Answer("$1" + name.toUtf8());
    // Anything else the board said so far is not for the client, and sent now it could merge
    // with the answer into one block.
    if (!FBoardBuf.isEmpty())
        qCDebug(lcRelaySim).noquote() << FTag << "drops" << FBoardBuf.size() << "bytes of the board's login";
    FBoardBuf.clear();
    if (!FClientBuf.isEmpty() && FBoard)
        FBoard->write(std::exchange(FClientBuf, {}));
}

} // namespace relay
