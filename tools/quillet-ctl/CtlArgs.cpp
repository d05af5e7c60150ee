#include "CtlArgs.h"

#include "CtlCommands.h"
#include "nevIOTJSONAPI.h"
#include "untAddRouter.h"
#include "untIOTUDP.h"
#include "untPublic.h"

#include <QCommandLineParser>
#include <QDateTime>

#include <algorithm>
#include <optional>

namespace ctl {

namespace {

// Options that take a value, and plain switches; every option may appear anywhere, and "--"
// ends the options so that a text argument may start with dashes.
const QStringList ValueOptions{
    "port",    "timeout-ms",       "broadcast", "host", "password", "relay",    "relay-port", "mac",
    "account", "account-password", "server",    "days", "contact",  "nickname", "email",      "name",
    "tel",     "address",          "remark",
};
const QStringList Switches{"trace", "save"};

const QStringList DayCodes{"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

// The parsed options and the positional arguments.
struct TArgs {
    const QCommandLineParser& parser;
    const QStringList pos = parser.positionalArguments();

    bool has(const char* name) const { return parser.isSet(QLatin1String(name)); }
    QString get(const char* name, const QString& def = {}) const {
        return has(name) ? parser.value(QLatin1String(name)) : def;
    }
};

std::optional<qint64> ToInt(const QString& text, qint64 lo, qint64 hi) {
    bool ok = false;
    const qint64 v = text.toLongLong(&ok, 10);
    if (!ok || v < lo || v > hi)
        return std::nullopt;
    return v;
}

// The option that made the parser fail, named as it was typed.
QString OptionError(const QCommandLineParser& parser, const QStringList& args) {
    const QStringList options = args.mid(0, args.indexOf(QStringLiteral("--")));
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().first();
        const bool longForm = std::any_of(options.begin(), options.end(), [&](const QString& s) {
            return s == QLatin1String("--") + name || s.startsWith(QLatin1String("--") + name + '=');
        });
        return QStringLiteral("unknown option %1%2")
            .arg(longForm ? QStringLiteral("--") : QStringLiteral("-"), name);
    }
    // A switch given a value is not a switch that exists.
    for (const QString& s : options)
        for (const QString& sw : Switches)
            if (s.startsWith(QLatin1String("--") + sw + '='))
                return QStringLiteral("unknown option --%1").arg(sw);
    // Otherwise the last option wanted a value and there was none.
    if (!options.isEmpty() && options.last().startsWith(QLatin1String("--")) &&
        ValueOptions.contains(options.last().mid(2)))
        return QStringLiteral("option %1 needs a value").arg(options.last());
    return parser.errorText();
}

// Each parser below returns the checked value, or sets `why` and returns nullopt.

std::optional<board::Op> ParseOut(const QStringList& p, QString& why) {
    const QString usage = QStringLiteral("out on|off|toggle N, out all-on, out all-off");
    if (p.size() == 2 && p.at(1) == QLatin1String("all-on"))
        return board::OutAll{true};
    if (p.size() == 2 && p.at(1) == QLatin1String("all-off"))
        return board::OutAll{false};
    if (p.size() != 3) {
        why = usage;
        return std::nullopt;
    }
    const auto n = ToInt(p.at(2), 1, 255);
    if (!n) {
        why = QStringLiteral("output number must be 1 to 255");
        return std::nullopt;
    }
    static const QStringList verbs{"on", "off", "toggle"};
    const auto verb = verbs.indexOf(p.at(1));
    if (verb < 0) {
        why = usage;
        return std::nullopt;
    }
    return board::OutSet{board::Switch(verb), quint8(*n)};
}

std::optional<board::Op> ParsePwm(const QStringList& p, QString& why) {
    if (p.size() != 4 || (p.at(1) != QLatin1String("duty") && p.at(1) != QLatin1String("freq"))) {
        why = QStringLiteral("pwm duty N VALUE | pwm freq N HZ");
        return std::nullopt;
    }
    const auto n = ToInt(p.at(2), 1, 255);
    if (!n) {
        why = QStringLiteral("PWM channel must be 1 to 255");
        return std::nullopt;
    }
    if (p.at(1) == QLatin1String("duty")) {
        // The window's duty slider runs from 0 to 100; a board refuses anything above.
        const auto duty = ToInt(p.at(3), 0, 100);
        if (!duty) {
            why = QStringLiteral("duty must be 0 to 100");
            return std::nullopt;
        }
        return board::PwmDuty{quint8(*n), quint8(*duty)};
    }
    const auto hz = ToInt(p.at(3), 715, 65535);
    if (!hz) {
        why = QStringLiteral("frequency must be 715 to 65535 Hz");
        return std::nullopt;
    }
    return board::PwmFreq{quint8(*n), quint16(*hz)};
}

std::optional<board::Op> ParseIr(const QStringList& p, QString& why) {
    why = QStringLiteral("ir create | ir learn N [1|2|3] | ir send N | ir remove N");
    if (p.size() < 2)
        return std::nullopt;
    const QString verb = p.at(1);
    if (verb == QLatin1String("create"))
        return p.size() == 2 ? std::optional<board::Op>(board::IrCreate{}) : std::nullopt;
    const auto n = p.size() < 3 ? std::nullopt : ToInt(p.at(2), 1, 255);
    if (!n)
        return std::nullopt;
    if (verb == QLatin1String("learn")) {
        const auto passes = p.size() == 4 ? ToInt(p.at(3), 1, 3) : std::optional<qint64>(1);
        if (p.size() > 4 || !passes)
            return std::nullopt;
        return board::IrLearn{quint8(*n), quint8(*passes)};
    }
    if (p.size() != 3)
        return std::nullopt;
    if (verb == QLatin1String("send"))
        return board::IrSend{quint8(*n)};
    if (verb == QLatin1String("remove"))
        return board::IrRemove{quint8(*n)};
    return std::nullopt;
}

std::optional<board::Op> ParseName(const QStringList& p, QString& why) {
    const auto n = p.size() == 4 ? ToInt(p.at(2), 1, 255) : std::nullopt;
    if (!n || !board::ChannelKinds.contains(p.at(1))) {
        why = QStringLiteral("name out|in|pwm|reg|ir N TEXT");
        return std::nullopt;
    }
    const QString text = p.at(3).trimmed();
    if (text.isEmpty()) {
        why = QStringLiteral("the name must not be empty");
        return std::nullopt;
    }
    return board::Name{int(board::ChannelKinds.indexOf(p.at(1))), quint8(*n), text};
}

std::optional<board::Op> ParseTask(const QStringList& p, const TArgs& a, QString& why) {
    why = QStringLiteral("task list N | task add N on|off|toggle \"YYYY-MM-DD hh:mm\" [--days SU,MO,...] | "
                         "task enable ID | task disable ID | task delete ID");
    if (p.size() < 3)
        return std::nullopt;
    const QString verb = p.at(1);
    // Outputs are counted from 1; task ids from 0.
    const bool output = verb == QLatin1String("list") || verb == QLatin1String("add");
    const auto n = ToInt(p.at(2), output ? 1 : 0, 255);
    if (!n)
        return std::nullopt;
    if (verb == QLatin1String("list"))
        return p.size() == 3 ? std::optional<board::Op>(board::TaskList{quint8(*n)}) : std::nullopt;
    if (verb == QLatin1String("add")) {
        if (p.size() != 5)
            return std::nullopt;
        TTaskRcd task;
        if (p.at(3) == QLatin1String("on"))
            task.CMD = TNEV_GPIOAPI::Out_Set_ON(quint8(*n));
        else if (p.at(3) == QLatin1String("off"))
            task.CMD = TNEV_GPIOAPI::Out_Set_OFF(quint8(*n));
        else if (p.at(3) == QLatin1String("toggle"))
            task.CMD = TNEV_GPIOAPI::Out_Set_NOT(quint8(*n));
        else
            return std::nullopt;
        task.StartTime = QDateTime::fromString(p.at(4), QStringLiteral("yyyy-MM-dd HH:mm"));
        if (!task.StartTime.isValid()) {
            why = QStringLiteral("start time must be \"YYYY-MM-DD hh:mm\"");
            return std::nullopt;
        }
        task.Enable = true;
        for (const QString& d : a.get("days").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const auto i = DayCodes.indexOf(d.trimmed().toUpper());
            if (i < 0) {
                why = QStringLiteral("days are SU,MO,TU,WE,TH,FR,SA");
                return std::nullopt;
            }
            task.Week[size_t(i)] = true;
        }
        const bool anyDay = std::any_of(task.Week.begin(), task.Week.end(), [](bool b) { return b; });
        task.LoopStyle = anyDay ? TTASKLOOPSTYLE::TASK_LOOP_DAY : TTASKLOOPSTYLE::TASK_LOOP_ONE;
        return board::TaskAdd{task};
    }
    static const QStringList states{"enable", "disable", "delete"};
    const auto state = states.indexOf(verb);
    if (state < 0 || p.size() != 3)
        return std::nullopt;
    return board::TaskState{quint8(*n), TTASKSTATE(state)};
}

std::optional<board::Op> ParseDevice(const QStringList& p, const TArgs& a, QString& why) {
    why = QStringLiteral(
        "device name TEXT | device password OLD NEW | device io OUT IN PWM REG [--save] | device save");
    const QString verb = p.value(1);
    if (verb == QLatin1String("name") && p.size() == 3) {
        const qsizetype bytes = StrToUtf8Buf(p.at(2)).size();
        if (bytes < 1 || bytes > 16) {
            why = QStringLiteral("the device name must be 1 to 16 bytes");
            return std::nullopt;
        }
        return board::DeviceName{p.at(2)};
    }
    if (verb == QLatin1String("password") && p.size() == 4) {
        for (int i = 2; i < 4; ++i) {
            const qsizetype bytes = TNEV_GPIOAPI::PasswordBytes(p.at(i)).size();
            if (bytes < 1 || bytes > 6) {
                why = QStringLiteral("passwords must be 1 to 6 bytes");
                return std::nullopt;
            }
        }
        return board::DevicePassword{p.at(2), p.at(3)};
    }
    if (verb == QLatin1String("io") && p.size() == 6) {
        qint64 v[4];
        for (int i = 0; i < 4; ++i) {
            const auto x = ToInt(p.at(2 + i), 0, 255);
            if (!x)
                return std::nullopt;
            v[i] = *x;
        }
        if (v[0] + v[1] > 24 || v[2] > 2) {
            why = QStringLiteral("OUT + IN must be at most 24 and PWM at most 2");
            return std::nullopt;
        }
        return board::DeviceIo{quint8(v[0]), quint8(v[1]), quint8(v[2]), quint8(v[3]), a.has("save")};
    }
    if (verb == QLatin1String("save") && p.size() == 2)
        return board::DeviceSave{};
    return std::nullopt;
}

std::optional<board::Op> ParseBoardOp(const QStringList& p, const TArgs& a, QString& why) {
    const QString cmd = p.value(0);
    if (cmd == QLatin1String("status") && p.size() == 1)
        return board::Status{};
    if (cmd == QLatin1String("out"))
        return ParseOut(p, why);
    if (cmd == QLatin1String("pwm"))
        return ParsePwm(p, why);
    if (cmd == QLatin1String("ir"))
        return ParseIr(p, why);
    if (cmd == QLatin1String("name"))
        return ParseName(p, why);
    if (cmd == QLatin1String("task"))
        return ParseTask(p, a, why);
    if (cmd == QLatin1String("clock") && p.size() == 2 && p.at(1) == QLatin1String("sync"))
        return board::ClockSync{};
    if (cmd == QLatin1String("device"))
        return ParseDevice(p, a, why);
    why = QStringLiteral("unknown command: %1").arg(p.join(QLatin1Char(' ')));
    return std::nullopt;
}

std::optional<TCtlTarget> ParseTarget(const TArgs& a, QString& why) {
    TCtlTarget t;
    if (a.has("relay")) {
        if (a.has("host")) {
            why = QStringLiteral("--host and --relay exclude each other");
            return std::nullopt;
        }
        t.Relay = true;
        t.Host = a.get("relay");
        const auto port = a.has("relay-port") ? ToInt(a.get("relay-port"), 1, 65535)
                                              : std::optional<qint64>(DefaultTCPRemotePort);
        if (!port) {
            why = QStringLiteral("--relay-port must be 1 to 65535");
            return std::nullopt;
        }
        t.Port = quint16(*port);
        for (const char* need : {"mac", "account", "account-password"})
            if (!a.has(need)) {
                why = QStringLiteral("--relay needs --%1").arg(QLatin1String(need));
                return std::nullopt;
            }
        t.MAC = a.get("mac");
        TBUF6 mac;
        const QString formatted = FormatMACStr(t.MAC);
        if (!IsMACText(formatted) || !MACStrToBuf(formatted, mac)) {
            why = QStringLiteral("--mac must be six hexadecimal pairs, e.g. 5C-CF-7F-01-02-0A");
            return std::nullopt;
        }
        t.Account = a.get("account");
        t.AccountPassword = a.get("account-password");
        for (const QString& v : {t.Account, t.AccountPassword}) {
            const qsizetype bytes = StrToUtf8Buf(v).size();
            if (bytes < 1 || bytes > 16) {
                why = QStringLiteral("account and password must be 1 to 16 bytes");
                return std::nullopt;
            }
        }
    } else {
        t.Host = a.get("host");
        const auto port =
            a.has("port") ? ToInt(a.get("port"), 1, 65535) : std::optional<qint64>(DefaultTCPLANPort);
        if (!port) {
            why = QStringLiteral("--port must be 1 to 65535");
            return std::nullopt;
        }
        t.Port = quint16(*port);
        t.Password = a.get("password", QString::fromLatin1(DefaultDevPassword));
    }
    if (t.Host.isEmpty()) {
        why = QStringLiteral("the host must not be empty");
        return std::nullopt;
    }
    return t;
}

std::optional<TCommand> ParseBoard(const TArgs& a, QString& why) {
    auto target = ParseTarget(a, why);
    if (!target)
        return std::nullopt;
    if (a.pos.isEmpty()) {
        why = QStringLiteral("missing COMMAND");
        return std::nullopt;
    }
    auto op = ParseBoardOp(a.pos, a, why);
    if (!op)
        return std::nullopt;
    return TBoardCmd{*target, a.has("trace"), *op};
}

std::optional<QHostAddress> ParseBroadcast(const TArgs& a, QString& why) {
    QHostAddress out(QHostAddress::Broadcast);
    if (a.has("broadcast") &&
        (!out.setAddress(a.get("broadcast")) || out.protocol() != QAbstractSocket::IPv4Protocol)) {
        why = QStringLiteral("--broadcast needs an IPv4 address");
        return std::nullopt;
    }
    return out;
}

std::optional<qint64> ParseTimeout(const TArgs& a, qint64 def, QString& why) {
    const auto ms = a.has("timeout-ms") ? ToInt(a.get("timeout-ms"), 1, 600000) : std::optional<qint64>(def);
    if (!ms)
        why = QStringLiteral("--timeout-ms must be 1 to 600000");
    return ms;
}

std::optional<TCommand> ParseDiscover(const TArgs& a, QString& why) {
    const auto port =
        a.has("port") ? ToInt(a.get("port"), 1, 65535) : std::optional<qint64>(DefaultUDPSCanPort);
    if (!port) {
        why = QStringLiteral("--port must be 1 to 65535");
        return std::nullopt;
    }
    const auto timeout = ParseTimeout(a, SearchWindowMs, why);
    if (!timeout)
        return std::nullopt;
    const auto bc = ParseBroadcast(a, why);
    if (!bc)
        return std::nullopt;
    if (a.pos.size() != 1) {
        why = QStringLiteral("discover takes no arguments");
        return std::nullopt;
    }
    return TDiscoverCmd{quint16(*port), int(*timeout), *bc};
}

std::optional<TCommand> ParseWifi(const TArgs& a, QString& why) {
    const auto bc = ParseBroadcast(a, why);
    if (!bc)
        return std::nullopt;
    const QStringList& p = a.pos;
    const QString usage = QStringLiteral("wifi scan [--timeout-ms MS] | wifi join SSID PASSWORD");
    if (p.size() < 2) {
        why = usage;
        return std::nullopt;
    }
    const auto timeout = ParseTimeout(a, TAddRouter::DefaultSearchTimeoutMs, why);
    if (!timeout)
        return std::nullopt;
    if (p.at(1) == QLatin1String("scan") && p.size() == 2)
        return TWifiScanCmd{int(*timeout), *bc};
    if (p.at(1) == QLatin1String("join") && p.size() == 4 && !p.at(2).isEmpty())
        return TWifiJoinCmd{p.at(2), p.at(3), int(*timeout), *bc};
    why = usage;
    return std::nullopt;
}

// The account options, checked as the window checks its login panel; used whole, as typed.
std::optional<std::pair<QString, QString>> ParseAccount(const TArgs& a, QString& why) {
    if (!a.has("account") || !a.has("account-password")) {
        why = QStringLiteral("this command needs --account and --account-password");
        return std::nullopt;
    }
    const QString account = a.get("account"), password = a.get("account-password");
    for (const QString& v : {account, password})
        if (v.isEmpty() || v.size() > 32) {
            why = QStringLiteral("account and password must be 1 to 32 characters");
            return std::nullopt;
        }
    return std::pair{account, password};
}

std::optional<cloud::Op> ParseCloudOp(const QStringList& p, const TArgs& a, QString& why) {
    const QString cmd = p.value(0);
    const QString verb = p.value(1);
    if (cmd == "login")
        return cloud::Login{};
    if (cmd == "devices")
        return cloud::Devices{};
    if (cmd == "news")
        return cloud::News{};
    if (cmd == "products")
        return cloud::Products{};
    if (cmd == "register") {
        for (const QString& v : {p.at(1), p.at(2)})
            if (v.isEmpty() || v.size() > 32) {
                why = QStringLiteral("account and password must be 1 to 32 characters");
                return std::nullopt;
            }
        return cloud::Register{p.at(1),       p.at(2),      a.get("nickname"), a.get("email"),
                               a.get("name"), a.get("tel"), a.get("address"),  a.get("remark")};
    }
    if (cmd == "feedback") {
        if (verb == QLatin1String("list"))
            return cloud::FeedbackList{};
        if (p.at(2).trimmed().isEmpty()) {
            why = QStringLiteral("Input no content!");
            return std::nullopt;
        }
        if (verb == QLatin1String("send"))
            return cloud::FeedbackSend{p.at(2)};
        return cloud::FeedbackAnonymous{p.at(2), a.get("contact")};
    }
    // The device calls.
    const QString mac = CompactMACStr(p.at(1));
    if (mac.size() != 12) {
        why = QStringLiteral("Please enter a valid MAC address!");
        return std::nullopt;
    }
    if (cmd == "activate") {
        if (p.at(2).isEmpty()) {
            why = QStringLiteral("Please enter an activation code");
            return std::nullopt;
        }
        return cloud::Activate{mac, p.at(2).toLower()};
    }
    if (cmd == "update")
        return cloud::Update{mac, p.at(2), p.at(3)};
    if (cmd == "remove")
        return cloud::Remove{mac};
    return cloud::UploadImage{mac, p.at(2)};
}

std::optional<TCommand> ParseCloud(const TArgs& a, QString& why) {
    const QStringList p = a.pos.mid(1);
    const QString cmd = p.value(0);
    // The shape of the call first, then the account it needs, then its own fields.
    int want = -1;
    if (cmd == "login" || cmd == "devices" || cmd == "news" || cmd == "products")
        want = 1;
    else if (cmd == "register" || cmd == "activate" || cmd == "upload-image")
        want = 3;
    else if (cmd == "update")
        want = 4;
    else if (cmd == "remove")
        want = 2;
    else if (cmd == "feedback")
        want = p.value(1) == QLatin1String("list") ? 2 : 3;
    if (want < 0 || p.size() != want ||
        (cmd == "feedback" && !QStringList{"list", "send", "anonymous"}.contains(p.at(1)))) {
        why = QStringLiteral("cloud login | register | devices | activate | update | remove | "
                             "upload-image | feedback list|send|anonymous | news | products");
        return std::nullopt;
    }
    TCloudCmd c;
    static const QStringList accountCommands{"login",  "devices", "activate",
                                             "update", "remove",  "upload-image"};
    if (accountCommands.contains(cmd) || (cmd == "feedback" && p.at(1) != QLatin1String("anonymous"))) {
        const auto account = ParseAccount(a, why);
        if (!account)
            return std::nullopt;
        std::tie(c.account, c.password) = *account;
    }
    auto op = ParseCloudOp(p, a, why);
    if (!op)
        return std::nullopt;
    c.op = *op;
    c.server = CloudClient::DefaultServer();
    if (a.has("server")) {
        c.server = QUrl(a.get("server"), QUrl::StrictMode);
        if (!c.server.isValid() || (c.server.scheme() != "http" && c.server.scheme() != "https") ||
            c.server.host().isEmpty()) {
            why = QStringLiteral("--server must be an http or https address");
            return std::nullopt;
        }
    }
    return c;
}

QString CloudUsageText() {
    return QStringLiteral(
               "  quillet-ctl cloud [--server URL] [--account A --account-password P] COMMAND ...\n"
               "      login                 the user record as one JSON object, all 22 fields by name\n"
               "      register ACCOUNT PASSWORD [--nickname X --email X --name X --tel X --address X\n"
               "                            --remark X]\n"
               "      devices               the account's boards, one JSON object per line\n"
               "      activate MAC CODE     prints the activated record or the refusal text\n"
               "      update MAC NAME PASS  | remove MAC | upload-image MAC FILE.jpg\n"
               "      feedback list | feedback send TEXT | feedback anonymous TEXT [--contact C]\n"
               "      news | products       one JSON object per line\n"
               "      --server defaults to %1\n")
        .arg(CloudClient::DefaultServer().toString());
}

} // namespace

QString UsageText() {
    return QStringLiteral(
               "Usage:\n"
               "  quillet-ctl discover [--port 1901] [--timeout-ms 3000] [--broadcast ADDR]\n"
               "      one JSON object per board found, one per line:\n"
               "      "
               "{\"mac\":\"5C-CF-7F-01-02-0A\",\"ip\":\"10.0.0.5\",\"name\":\"Lab\",\"type\":1,\"ctrl\":6}\n"
               "  quillet-ctl --host HOST [--port 8899] [--password PW] [--trace] COMMAND ...\n"
               "  quillet-ctl --relay HOST [--relay-port 8900] --mac MAC --account A --account-password P\n"
               "              [--trace] COMMAND ...\n"
               "      --password defaults to the default device password; --trace prints every block\n"
               "      sent and received as hex bytes on stderr (\"> 55 AA ...\" and \"< AA 55 ...\").\n"
               "    COMMAND:\n"
               "      status                      IO counts, states and names as one JSON object\n"
               "      out on|off|toggle N         N counted from 1; prints {\"out\":N,\"on\":true|false}\n"
               "      out all-on | out all-off\n"
               "      pwm duty N VALUE | pwm freq N HZ        (VALUE 0..100, HZ 715..65535)\n"
               "      ir create | ir learn N [1|2|3] | ir send N | ir remove N\n"
               "      name out|in|pwm|reg|ir N TEXT\n"
               "      task list N                 one JSON object per task\n"
               "      task add N on|off|toggle \"YYYY-MM-DD hh:mm\" [--days SU,MO,TU,WE,TH,FR,SA]\n"
               "                                  sets the board clock to local time first, then adds\n"
               "      task enable ID | task disable ID | task delete ID\n"
               "      clock sync\n"
               "      device name TEXT | device password OLD NEW | device io OUT IN PWM REG [--save]\n"
               "      device save\n"
               "  quillet-ctl wifi scan [--timeout-ms 3000] [--broadcast ADDR]\n"
               "      networks as JSON lines {\"ssid\":\"lab\",\"signal\":76}\n"
               "  quillet-ctl wifi join SSID PASSWORD [--broadcast ADDR]\n") +
           CloudUsageText() +
           QStringLiteral("\nExit status: 0 success; 1 failure (message on stderr: login refused, board\n"
                          "refusal, negative result, no reply within 3 s); 2 usage error.\n");
}

TParsed ParseArgs(const QStringList& args) {
    QCommandLineParser parser;
    parser.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QString()));
    for (const QString& name : Switches)
        parser.addOption(QCommandLineOption(name, QString()));
    for (const QString& name : ValueOptions)
        parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("value")));
    if (!parser.parse(QStringList{QStringLiteral("quillet-ctl")} + args))
        return TUsageError{OptionError(parser, args)};
    if (parser.isSet(QStringLiteral("help")))
        return THelpCmd{};

    const TArgs a{parser};
    QString why;
    std::optional<TCommand> command;
    if (a.has("host") || a.has("relay")) {
        command = ParseBoard(a, why);
    } else {
        const QString first = a.pos.value(0);
        if (first == QLatin1String("discover"))
            command = ParseDiscover(a, why);
        else if (first == QLatin1String("wifi"))
            command = ParseWifi(a, why);
        else if (first == QLatin1String("cloud"))
            command = ParseCloud(a, why);
        else if (first.isEmpty())
            why = QStringLiteral("missing command");
        else
            why = QStringLiteral("a board command needs --host or --relay");
    }
    if (!command)
        return TUsageError{why};
    return *command;
}

} // namespace ctl
