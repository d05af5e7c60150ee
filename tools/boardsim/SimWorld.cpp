#include "SimWorld.h"

#include "../SimArgs.h"

#include <QCommandLineParser>
#include <QNetworkInterface>

namespace sim {

namespace {

bool ParseInt(const QString& text, int lo, int hi, int& out) {
    bool ok = false;
    const int v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toInt(&ok, 16)
                                                                            : text.toInt(&ok, 10);
    if (!ok || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool ParseHostPort(const QString& text, QHostAddress& address, int& port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QHostAddress a;
    if (!a.setAddress(text.left(colon)))
        return false;
    int p = 0;
    if (!ParseInt(text.mid(colon + 1), 0, 65535, p))
        return false;
    address = a;
    port = p;
    return true;
}

bool ParseLogin(const QString& text, Faults::Login& out, bool allowAnswer) {
    if (text == QLatin1String("no"))
        out = Faults::Login::No;
    else if (text == QLatin1String("drop"))
        out = Faults::Login::Drop;
    else if (allowAnswer && text == QLatin1String("off"))
        out = Faults::Login::Answer;
    else
        return false;
    return true;
}

bool ParseVersion(const QString& text, TBUF2& out) {
    const QStringList parts = text.split(QLatin1Char('.'));
    int a = 0, b = 0;
    if (parts.size() != 2 || !ParseInt(parts[0], 0, 255, a) || !ParseInt(parts[1], 0, 255, b))
        return false;
    out = {quint8(a), quint8(b)};
    return true;
}

bool ParseBool(const QString& text, bool& out) {
    if (text.isEmpty() || text == QLatin1String("1") || text == QLatin1String("on") ||
        text == QLatin1String("yes"))
        out = true;
    else if (text == QLatin1String("0") || text == QLatin1String("off") || text == QLatin1String("no"))
        out = false;
    else
        return false;
    return true;
}

// Keys valid both in a board description and as global options (--key value).
bool ApplyBoardKey(BoardConfig& b, const QString& key, const QString& value, QString* error) {
    const auto bad = [&](const char* what) {
        if (error)
            *error = QStringLiteral("%1: %2 (got \"%3\")").arg(key, QLatin1String(what), value);
        return false;
    };
    int v = 0;
    if (key == QLatin1String("mac")) {
        TBUF6 mac{};
        if (!IsMACText(FormatMACStr(value)) || !MACStrToBuf(FormatMACStr(value), mac))
            return bad("expected a MAC address like 5C-CF-7F-01-02-0A");
        b.mac = mac;
    } else if (key == QLatin1String("name")) {
        if (value.toUtf8().size() > 16)
            return bad("a board name has at most 16 bytes of UTF-8");
        b.name = value;
    } else if (key == QLatin1String("password")) {
        if (value.isEmpty() || value.toLatin1().size() > 6)
            return bad("a board password has 1 to 6 bytes");
        b.password = value.toLatin1();
    } else if (key == QLatin1String("type")) {
        if (!ParseInt(value, 1, 255, v))
            return bad("expected a model number 1..255");
        b.type = quint8(v);
    } else if (key == QLatin1String("ctrl")) {
        if (!ParseInt(value, 0, 255, v))
            return bad("expected a capability byte 0..255");
        b.ctrl = quint8(v);
    } else if (key == QLatin1String("out") || key == QLatin1String("in") || key == QLatin1String("pwm") ||
               key == QLatin1String("reg") || key == QLatin1String("ir")) {
        if (!ParseInt(value, 0, 64, v))
            return bad("expected a channel count 0..64");
        (key == QLatin1String("out")   ? b.out
         : key == QLatin1String("in")  ? b.in
         : key == QLatin1String("pwm") ? b.pwm
         : key == QLatin1String("reg") ? b.reg
                                       : b.ir) = v;
    } else if (key == QLatin1String("inputs")) {
        for (QChar c : value)
            if (c != QLatin1Char('0') && c != QLatin1Char('1'))
                return bad("expected input states as 0 and 1, input 1 first");
        b.inputs = value;
    } else if (key == QLatin1String("regs")) {
        b.regValues.clear();
        for (const QString& part : value.split(QLatin1Char('/'))) {
            bool ok = false;
            const double d = part.toDouble(&ok);
            if (!ok || d < -3276.7 || d > 3276.8)
                return bad("expected register readings separated by /, -3276.7..3276.8");
            b.regValues.append(d);
        }
    } else if (key == QLatin1String("tasks")) {
        if (!ParseInt(value, 0, 254, v))
            return bad("expected a task table size 0..254");
        b.taskSlots = v;
    } else if (key == QLatin1String("irslots")) {
        if (!ParseInt(value, 0, 254, v))
            return bad("expected an infrared slot limit 0..254");
        b.irSlots = v;
    } else if (key == QLatin1String("maxreg")) {
        if (!ParseInt(value, 0, 255, v))
            return bad("expected a register limit 0..255");
        b.maxReg = v;
    } else if (key == QLatin1String("soft") || key == QLatin1String("hard")) {
        if (!ParseVersion(value, key == QLatin1String("soft") ? b.softVer : b.hardVer))
            return bad("expected a version like 1.2");
    } else if (key == QLatin1String("listen")) {
        if (!ParseHostPort(value, b.listenAddress, b.listenPort))
            return bad("expected ADDR:PORT");
    } else if (key == QLatin1String("ip")) {
        if (!b.advertise.setAddress(value) || b.advertise.protocol() != QAbstractSocket::IPv4Protocol)
            return bad("expected an IPv4 address");
    } else if (key == QLatin1String("refuse-password")) {
        if (!ParseLogin(value, b.faults.refuse, true))
            return bad("expected no, drop or off");
    } else if (key == QLatin1String("bad-password")) {
        if (!ParseLogin(value, b.faults.badPassword, false))
            return bad("expected no or drop");
    } else if (key == QLatin1String("login-drop-ms")) {
        if (!ParseInt(value, 0, 600'000, b.faults.loginDropMs))
            return bad("expected milliseconds");
    } else if (key == QLatin1String("drop-after")) {
        if (!ParseInt(value, 0, 86'400'000, b.faults.dropAfterMs))
            return bad("expected milliseconds");
    } else if (key == QLatin1String("delay")) {
        if (!ParseInt(value, 0, 600'000, b.faults.delayMs))
            return bad("expected milliseconds");
    } else if (key == QLatin1String("split")) {
        if (!ParseInt(value, 0, 65535, b.faults.splitBytes))
            return bad("expected a piece size in bytes (0: off)");
    } else if (key == QLatin1String("split-gap-ms")) {
        if (!ParseInt(value, 0, 60'000, b.faults.splitGapMs))
            return bad("expected milliseconds");
    } else if (key == QLatin1String("garbage")) {
        if (!ParseBool(value, b.faults.garbage))
            return bad("expected 1 or 0");
    } else if (key == QLatin1String("ignore")) {
        for (const QString& part : value.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            if (!ParseInt(part, 0, 255, v))
                return bad("expected command codes like 0x0A or 10, separated by /");
            b.faults.ignore.insert(quint8(v));
        }
    } else if (key == QLatin1String("refuse")) {
        for (const QString& part : value.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            if (!ParseInt(part, 0, 255, v))
                return bad("expected command codes like 0x74 or 116, separated by /");
            b.faults.refuseCodes.insert(quint8(v));
        }
    } else if (key == QLatin1String("ir-delay-ms")) {
        if (!ParseInt(value, 0, 600'000, b.irDelayMs))
            return bad("expected milliseconds");
    } else if (key == QLatin1String("ir-result")) {
        if (value == QLatin1String("success"))
            b.irResult = 1;
        else if (value == QLatin1String("failure"))
            b.irResult = 2;
        else if (value == QLatin1String("timeout"))
            b.irResult = 3;
        else
            return bad("expected success, failure or timeout");
    } else if (key == QLatin1String("inputs-change-ms")) {
        if (!ParseInt(value, 0, 86'400'000, b.inputsChangeMs))
            return bad("expected milliseconds");
    } else if (key == QLatin1String("reg-drift")) {
        if (!ParseBool(value, b.regDrift))
            return bad("expected 1 or 0");
    } else {
        if (error)
            *error = QStringLiteral("unknown board key \"%1\"").arg(key);
        return false;
    }
    return true;
}

const QStringList FlagKeys{QStringLiteral("garbage"), QStringLiteral("reg-drift")};
const QStringList GlobalBoardKeys{
    QStringLiteral("refuse-password"),  QStringLiteral("bad-password"), QStringLiteral("login-drop-ms"),
    QStringLiteral("drop-after"),       QStringLiteral("delay"),        QStringLiteral("split"),
    QStringLiteral("split-gap-ms"),     QStringLiteral("garbage"),      QStringLiteral("ignore"),
    QStringLiteral("refuse"),           QStringLiteral("ir-delay-ms"),  QStringLiteral("ir-result"),
    QStringLiteral("inputs-change-ms"), QStringLiteral("reg-drift"),    QStringLiteral("tasks"),
    QStringLiteral("irslots"),          QStringLiteral("password")};

const QStringList ValueOptions{
    QStringLiteral("board"),       QStringLiteral("board-defaults"),   QStringLiteral("count"),
    QStringLiteral("listen"),      QStringLiteral("udp-address"),      QStringLiteral("search-port"),
    QStringLiteral("router-port"), QStringLiteral("search-spread-ms"), QStringLiteral("wifi")};

TBUF6 GeneratedMac(int index) {
    return {0x02, 0x51, 0x4C, 0x00, quint8((index >> 8) & 0xFF), quint8(index & 0xFF)};
}

QList<WifiNetwork> DefaultNetworks() {
    return {{"lab", 76, "12345678"}, {"office", 52, "office88"}, {"guest", 31, ""}};
}

} // namespace

bool ApplyBoardSpec(const QString& spec, BoardConfig& board, QString* error) {
    // Comma-separated key=value pairs; "\," is a comma inside a value.
    QStringList parts;
    QString cur;
    for (qsizetype i = 0; i < spec.size(); ++i) {
        if (spec.at(i) == QLatin1Char('\\') && i + 1 < spec.size() && spec.at(i + 1) == QLatin1Char(',')) {
            cur += QLatin1Char(',');
            ++i;
        } else if (spec.at(i) == QLatin1Char(',')) {
            parts.append(cur);
            cur.clear();
        } else {
            cur += spec.at(i);
        }
    }
    parts.append(cur);
    for (const QString& part : parts) {
        if (part.isEmpty())
            continue;
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        const QString key = eq < 0 ? part : part.left(eq);
        if (eq < 0 && !FlagKeys.contains(key)) {
            if (error)
                *error = QStringLiteral("board key \"%1\" needs a value (key=value)").arg(key);
            return false;
        }
        if (!ApplyBoardKey(board, key, eq < 0 ? QString() : part.mid(eq + 1), error))
            return false;
    }
    return true;
}

std::optional<WorldConfig> ParseWorldArgs(const QStringList& args, QString* error, bool* help) {
    WorldConfig w;
    BoardConfig base;
    QStringList boardSpecs, defaultSpecs;
    int count = 0;
    bool wifiGiven = false;
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
    const QCommandLineOption stepAddress(QStringLiteral("step-address"), QString());
    const QCommandLineOption noSearch(QStringLiteral("no-search"), QString());
    const QCommandLineOption noRouter(QStringLiteral("no-router"), QString());
    parser.addOptions({helpOption, verbose, stepAddress, noSearch, noRouter});
    for (const QString& name : ValueOptions + GlobalBoardKeys)
        parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("VALUE")));
    // A flag key alone switches its fault on: "--garbage" reads as "--garbage=".
    QStringList normalised{QStringLiteral("quillet-boardsim")};
    for (const QString& arg : args)
        normalised << (arg.startsWith(QLatin1String("--")) && FlagKeys.contains(arg.mid(2)) ? arg + '='
                                                                                            : arg);
    if (!parser.parse(normalised))
        return fail(SimOptionError(parser, args, ValueOptions + GlobalBoardKeys));
    if (parser.isSet(helpOption)) {
        if (help)
            *help = true;
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    w.verbose = parser.isSet(verbose);
    w.stepAddress = parser.isSet(stepAddress);

    for (const QString& key : GlobalBoardKeys)
        for (const QString& value : parser.values(key)) {
            QString err;
            if (!ApplyBoardKey(base, key, value, &err))
                return fail(QStringLiteral("--") + err);
        }
    boardSpecs = parser.values(QStringLiteral("board"));
    defaultSpecs = parser.values(QStringLiteral("board-defaults"));
    for (const QString& value : parser.values(QStringLiteral("count")))
        if (!ParseInt(value, 0, 65000, count))
            return fail(QStringLiteral("--count: expected a number of boards"));
    for (const QString& value : parser.values(QStringLiteral("listen")))
        if (!ParseHostPort(value, w.listenAddress, w.listenPort))
            return fail(QStringLiteral("--listen: expected ADDR:PORT, got \"%1\"").arg(value));
    for (const QString& value : parser.values(QStringLiteral("udp-address")))
        if (!w.udpAddress.setAddress(value))
            return fail(QStringLiteral("--udp-address: expected an address, got \"%1\"").arg(value));
    for (const auto& [name, port] : {std::pair{QStringLiteral("search-port"), &w.searchPort},
                                     std::pair{QStringLiteral("router-port"), &w.routerPort}})
        for (const QString& value : parser.values(name))
            if (!ParseInt(value, 0, 65535, *port))
                return fail(QStringLiteral("--%1: expected a port 0..65535").arg(name));
    // Switching a service off wins over a port given for it.
    if (parser.isSet(noSearch))
        w.searchPort = -1;
    if (parser.isSet(noRouter))
        w.routerPort = -1;
    for (const QString& value : parser.values(QStringLiteral("search-spread-ms")))
        if (!ParseInt(value, 0, 60'000, w.searchSpreadMs))
            return fail(QStringLiteral("--search-spread-ms: expected milliseconds"));
    for (const QString& value : parser.values(QStringLiteral("wifi"))) {
        const QStringList parts = value.split(QLatin1Char(':'));
        int signal = 0;
        if (parts.size() < 2 || parts[0].isEmpty() || !ParseInt(parts[1], 0, 100, signal))
            return fail(QStringLiteral("--wifi: expected SSID:SIGNAL[:PASSWORD], got \"%1\"").arg(value));
        if (!wifiGiven)
            w.networks.clear();
        wifiGiven = true;
        w.networks.append({parts[0].toUtf8(), quint8(signal),
                           parts.size() > 2 ? value.section(QLatin1Char(':'), 2).toUtf8() : QByteArray()});
    }
    if (!wifiGiven)
        w.networks = DefaultNetworks();

    for (const QString& spec : defaultSpecs) {
        QString err;
        if (!ApplyBoardSpec(spec, base, &err))
            return fail(QStringLiteral("--board-defaults: ") + err);
    }
    if (boardSpecs.isEmpty() && count == 0)
        count = 1;
    for (const QString& spec : boardSpecs) {
        BoardConfig b = base;
        QString err;
        if (!ApplyBoardSpec(spec, b, &err))
            return fail(QStringLiteral("--board %1: %2").arg(spec, err));
        w.boards.append(b);
    }
    for (int i = 0; i < count; ++i)
        w.boards.append(base);

    // Fill in what was not given: distinct MACs and names.
    QSet<QString> macs;
    int generated = 0;
    for (qsizetype i = 0; i < w.boards.size(); ++i) {
        BoardConfig& b = w.boards[i];
        if (b.mac == TBUF6{}) {
            do
                b.mac = GeneratedMac(++generated);
            while (macs.contains(MACBufToStr(b.mac)));
        }
        if (macs.contains(MACBufToStr(b.mac)))
            return fail(QStringLiteral("two boards have the MAC %1").arg(MACBufToStr(b.mac)));
        macs.insert(MACBufToStr(b.mac));
        if (b.name.isEmpty())
            b.name = QStringLiteral("Board %1").arg(i + 1);
        if (b.out + b.in > 24 || b.pwm > 2)
            return fail(QStringLiteral("board %1: outputs + inputs must be at most 24 and PWM at most 2")
                            .arg(MACBufToStr(b.mac)));
    }
    return w;
}

QString WorldHelpText() {
    return QStringLiteral(R"(Usage: quillet-boardsim [options]

Simulated relay and I/O boards for testing the Quillet client without hardware. Each board
serves the board protocol on its own TCP address (the password line, answered "OK" or "NO",
then request frames 55 AA ... answered by reply frames AA 55 ...). One UDP socket answers the
LAN search (FF 01 01 02, one 36-byte answer per board) and one the router join (network list,
join results) for every board of the process. Answers go back to the sender only.

When everything listens, one line per board and service is printed on stdout, then "ready":
  board mac=02-51-4C-00-00-01 tcp=127.0.0.1:8899 ip=127.0.0.1 password=qorvu name=Board 1
  search udp=127.0.0.1:1901
  router udp=127.0.0.1:1902
  ready

Boards:
  --board SPEC            add a board described by comma-separated key=value pairs (below);
                          repeatable. Without --board and --count there is one default board.
  --board-defaults SPEC   keys that every board starts from (explicit and generated ones).
  --count N               add N generated boards (MACs 02-51-4C-00-xx-xx, names "Board k").
  --listen ADDR:PORT      TCP address of the boards that have no listen= key
                          (default 127.0.0.1:8899). Such boards take consecutive ports from
                          PORT (port 0: each any free port) ...
  --step-address          ... or, with this switch, consecutive addresses from ADDR, all on PORT
                          (on a virtual LAN, each board its own address with port 8899).
  --udp-address ADDR      address of the two UDP sockets (default 127.0.0.1; 0.0.0.0 to hear
                          broadcasts inside a network namespace).
  --search-port PORT      LAN search port (default 1901; 0: any free port).   --no-search
  --router-port PORT      router join port (default 1902; 0: any free port).  --no-router
  --search-spread-ms MS   spread the search answers of all boards over MS milliseconds
                          (default 0 for up to 16 boards, else 1 ms per board).
  --wifi SSID:SIGNAL[:PASSWORD]
                          a wireless network the boards see (repeatable; signal in percent;
                          no password: an open network). Default: lab:76:12345678,
                          office:52:office88, guest:31.
  -v, --verbose           log connections, requests and replies on stderr.
  -h, --help              this text.

Board keys (in SPEC):
  mac=5C-CF-7F-01-02-0A   identity (default: generated)
  name=TEXT               up to 16 bytes of UTF-8 (default "Board k"); write "\," for a comma
  password=TEXT           1 to 6 bytes (default qorvu)
  type=1                  model number in the search answer
  ctrl=6                  capability byte: bit value 2 = accepts an IO configuration,
                          4 = answers the router join
  out=8 in=4 pwm=2 reg=2 ir=1
                          channel counts (outputs + inputs <= 24, PWM <= 2)
  inputs=0101             initial input states, input 1 first
  regs=25.0/-3.5          initial register readings, separated by /
  tasks=16                size of the timed task table (a full table answers ID 255)
  irslots=16              most infrared slots (creating more answers 255)
  maxreg=8                most registers an IO configuration may ask for
  soft=1.2 hard=1.0       version bytes in the search answer
  listen=ADDR:PORT        this board's TCP address
  ip=ADDR                 address reported in the search answer (default: the listen address)
  ir-delay-ms=1500        time from learning phase 0 to the result
  ir-result=success       learning result: success (1), failure (2) or timeout (3)
  inputs-change-ms=0      step the inputs (as a binary counter) this often; 0: fixed
  reg-drift               registers move by a tenth on every read

Fault switches (as options for every board, or as keys of one board):
  --refuse-password no|drop|off
                          refuse every password line with "NO", or by closing the
                          connection at once (well within 1200 ms)
  --bad-password no|drop  how a wrong password is refused (default no)
  --login-drop-ms MS      a refusal by dropping closes the connection MS ms after the password
                          line instead of at once (a client takes a loss within 1200 ms of its
                          login for a refused password, a later one for a lost connection)
  --drop-after MS         close each connection MS ms after it opened
  --delay MS              hold every answer MS ms before writing it
  --split BYTES           write every reply frame in pieces of BYTES bytes ...
  --split-gap-ms MS       ... with MS ms between the pieces (default 10)
  --garbage               put junk bytes and a decoy frame with a wrong sum before every reply
  --ignore CODE           neither run nor answer this request code (0x0A or 10; repeatable;
                          as a key: ignore=0x0A/0x14)
  --refuse CODE           answer this request code with FF CODE without running it, as a
                          board that does not take it (repeatable; as a key: refuse=0x74/0x72)
  --ir-delay-ms, --ir-result, --inputs-change-ms, --reg-drift, --tasks, --irslots, --password
                          as the keys above, for every board

Requests served: 01-05 outputs, 0A outputs read, 14 inputs read, 22 PWM duty, 24 PWM read,
28-2B infrared create/learn/send/remove, 32 PWM frequency, 40 registers read, 50-54 timed tasks
and clock (53 reads the clock), 60 channel name, 63 all names, 72 IO configuration,
73 password, 74 name, 75 name read, 7A save, 7E IO read. Anything else, a wrong length and a
channel that does not exist are answered FF <code>; infrared requests for a slot that does not
exist answer with result 0 (learning: 2, failure). Learning answers phase 0 at once and the
result (1, 2 or 3) after ir-delay-ms.
)");
}

World::World(WorldConfig config, QObject* parent) : QObject(parent), FCfg(std::move(config)) {}

World::~World() {
    // Sessions go before the boards they serve.
    qDeleteAll(FServers);
}

bool World::Start(QString* error) {
    const auto fail = [&](const QString& msg) {
        if (error)
            *error = msg;
        return false;
    };
    int unassigned = 0;
    for (const BoardConfig& cfg : FCfg.boards) {
        auto* board = new Board(cfg, this);
        QHostAddress address = cfg.listenAddress;
        int port = cfg.listenPort;
        if (address.isNull()) {
            address = FCfg.listenAddress;
            port = FCfg.listenPort;
            if (FCfg.stepAddress)
                address = QHostAddress(address.toIPv4Address() + quint32(unassigned));
            else if (port != 0)
                port += unassigned;
            ++unassigned;
        } else if (port < 0) {
            port = FCfg.listenPort;
        }
        if (port > 65535)
            return fail(QStringLiteral("no port left for board %1").arg(board->MacText()));
        auto* server = new BoardServer(board, this);
        QString err;
        if (!server->Listen(address, quint16(port), &err))
            return fail(QStringLiteral("board %1 cannot listen on %2:%3: %4")
                            .arg(board->MacText(), address.toString())
                            .arg(port)
                            .arg(err));
        QHostAddress advertised = cfg.advertise;
        if (advertised.isNull()) {
            advertised = address;
            if (address == QHostAddress::AnyIPv4 || address == QHostAddress::Any) {
                advertised = QHostAddress(QHostAddress::LocalHost);
                for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
                    if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback()) {
                        advertised = a;
                        break;
                    }
                }
            }
        }
        FBoards.append(board);
        FServers.append(server);
        FAdvertised.append(advertised);
    }
    if (FCfg.searchPort >= 0) {
        QList<AdvertisedBoard> list;
        for (qsizetype i = 0; i < FBoards.size(); ++i)
            list.append({FBoards[i], FAdvertised[i]});
        const int spread = FCfg.searchSpreadMs >= 0 ? FCfg.searchSpreadMs
                           : FBoards.size() <= 16   ? 0
                                                    : int(FBoards.size());
        FSearch = new SearchResponder(list, spread, this);
        QString err;
        if (!FSearch->Bind(FCfg.udpAddress, quint16(FCfg.searchPort), &err))
            return fail(QStringLiteral("cannot bind the search port %1:%2: %3")
                            .arg(FCfg.udpAddress.toString())
                            .arg(FCfg.searchPort)
                            .arg(err));
    }
    if (FCfg.routerPort >= 0) {
        FRouter = new RouterResponder(FBoards, FCfg.networks, this);
        QString err;
        if (!FRouter->Bind(FCfg.udpAddress, quint16(FCfg.routerPort), &err))
            return fail(QStringLiteral("cannot bind the router join port %1:%2: %3")
                            .arg(FCfg.udpAddress.toString())
                            .arg(FCfg.routerPort)
                            .arg(err));
    }
    return true;
}

QStringList World::ReadyLines() const {
    QStringList lines;
    for (qsizetype i = 0; i < FBoards.size(); ++i) {
        const Board* b = FBoards[i];
        lines << QStringLiteral("board mac=%1 tcp=%2:%3 ip=%4 password=%5 name=%6")
                     .arg(b->MacText(), FServers[i]->Address().toString())
                     .arg(FServers[i]->Port())
                     .arg(FAdvertised[i].toString(), QString::fromLatin1(b->Password()),
                          Utf8BufToStr(b->Name16(), 16));
    }
    if (FSearch)
        lines << QStringLiteral("search udp=%1:%2").arg(FCfg.udpAddress.toString()).arg(FSearch->Port());
    if (FRouter)
        lines << QStringLiteral("router udp=%1:%2").arg(FCfg.udpAddress.toString()).arg(FRouter->Port());
    lines << QStringLiteral("ready");
    return lines;
}

} // namespace sim
