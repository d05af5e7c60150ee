// quillet-cloudsim: runs the simulated cloud server until it is stopped.
#include "CloudSim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QHostAddress>
#include <QTextStream>

#include <cstdio>

namespace {

const char Description[] = R"(Simulated Quillet cloud server: the fourteen calls under /api.php/ over HTTP,
with accounts, devices, feedback, news and products kept in memory.

The first line on standard output is the port the server listens on; requests
are logged on standard error.

Calls (members of every reply in the order the client reads them: status, info, data):
  GET  /api.php/Index/productlist                          products (pictures are JPEG)
  GET  /api.php/Index/newslist                             news (pictures are JPEG)
  GET  /api.php/User/login/account/A/password/MD5          the 22-field user record
  POST /api.php/User/register      account password(clear) nickname email name tel address remark
  POST /api.php/User/edit          account password(MD5) id nickname ... (absent field = emptied)
  GET  /api.php/User/edit/account/A/password/MD5/id/ID/newpassword/NEW   password change
  POST /api.php/Index/feedback/    msg contact system  (anonymous; trailing "/" required)
  POST /api.php/Device/active      account password(MD5) mac devicepass
  POST /api.php/Device/download    account password(MD5)      the account's devices, 12 fields
  GET  /api.php/Device/delete/account/A/password/MD5/mac/MAC
  POST /api.php/Device/update      account password(MD5) mac name pass (absent field = kept)
  POST /api.php/Device/update      multipart: account password mac + JPEG file part "img"
  GET  /api.php/Feedback/feedlist/account/A/password/MD5   unread support replies (marks them read)
  POST /api.php/Feedback/add       account password(MD5) msg
  GET  /index.php/Page/detail/item/about                   the about page
  GET  /index.php/News/detail/id/ID, /index.php/Product/detail/id/ID   item pages (weburl)
  GET  /uploads/news/ID.jpg, /uploads/product/ID.jpg, /uploads/device/MAC.jpg   JPEG pictures
Addresses in replies (img, weburl) use the Host header of the request.
Passwords are checked as the MD5 of their UTF-8 bytes, in lowercase hexadecimal.
MACs are 12 lowercase hexadecimal digits.

Activation refusals (status 0, info):
  "0"          the MAC is not in the cloud's catalogue
  "1"          the device does not allow remote control (remote=0)
  "2,ACCOUNT"  another account activated it (quoted when it holds a comma or space)
  "3"          wrong activation code (compared with the seeded code in lowercase)
  "4"          wrong account or password
A device activated by the same account activates again successfully.

Seeding:
  --account NAME:PASSWORD          an account (repeatable)
  --device PROPS                   a device of the catalogue (repeatable); PROPS is a
                                   comma-separated list of key=value (",," is a literal comma):
                                   mac=5ccf7f01020a (required) code=1234 name=... pass=qorvu
                                   type=1 func=1 hardver=1.0 softver=1.0 owner=ACCOUNT
                                   (already activated) remote=0 (refuses remote control)
                                   refuse=N (always refuses with reason N) img=1 (has a picture)
  --support-reply ACCOUNT:TEXT     an unread support reply (repeatable)
  --auto-reply TEXT                support answers every message of Feedback/add with TEXT
  --news TITLE                     a news item (repeatable)
  --news-link TITLE=URL            a news item whose link is URL as given, any scheme (repeatable)
  --product NAME:SN                a product (repeatable)
  --no-default-content             start without the two built-in products and news items

Agreement with quillet-relaysim:
  --relay-accounts FILE            keep FILE as the relay's list of accounts: rewritten after
                                   every call, one line "NAME:PASSWORD:MAC,MAC" per account with
                                   the boards activated to it; quillet-relaysim --accounts-file
                                   FILE reads it at each login, so a board activated here is
                                   reachable through the relay, and a removed one no longer is

Faults (the slow mode and the garbage modes):
  --delay MS                       answer every request MS milliseconds late
  --picture-delay MS               answer only the pictures MS milliseconds late
  --http-500                       answer the API calls with HTTP 500
  --not-json                       answer the API calls with an HTML body
  --raw-non-ascii                  write non-ASCII characters as raw UTF-8, not "\u" escapes
  --reorder                        write every object's members in reverse order
  --refuse PATH:INFO               refuse every request of this call (e.g. Device/update)
                                   with status 0 and INFO, whatever it asks (repeatable)
  --fault-only PATH                apply --http-500, --not-json to this call only, e.g.
                                   Device/update (repeatable))";

// key=value pairs separated by ","; ",," stands for a literal comma.
QMap<QString, QString> ParseProps(const QString& text) {
    QMap<QString, QString> out;
    QStringList items;
    QString cur;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char(',')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char(',')) {
                cur += QLatin1Char(',');
                ++i;
                continue;
            }
            items.append(cur);
            cur.clear();
        } else {
            cur += text.at(i);
        }
    }
    items.append(cur);
    for (const QString& item : items) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq > 0)
            out.insert(item.left(eq).trimmed(), item.mid(eq + 1));
        else if (!item.trimmed().isEmpty())
            out.insert(item.trimmed(), QString());
    }
    return out;
}

bool SplitPair(const QString& text, QString& a, QString& b) {
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    a = text.left(colon);
    b = text.mid(colon + 1);
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillet-cloudsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    parser.addHelpOption();
    const QCommandLineOption host({QStringLiteral("host")},
                                  QStringLiteral("Address to listen on (default 127.0.0.1)."),
                                  QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port({QStringLiteral("port")},
                                  QStringLiteral("TCP port; 0 (default) picks a free one."),
                                  QStringLiteral("PORT"), QStringLiteral("0"));
    const QCommandLineOption quiet({QStringLiteral("quiet")}, QStringLiteral("Do not log requests."));
    const QCommandLineOption account({QStringLiteral("account")}, QStringLiteral("Seed an account."),
                                     QStringLiteral("NAME:PASSWORD"));
    const QCommandLineOption device({QStringLiteral("device")}, QStringLiteral("Seed a device."),
                                    QStringLiteral("PROPS"));
    const QCommandLineOption support({QStringLiteral("support-reply")},
                                     QStringLiteral("Seed a support reply."), QStringLiteral("ACCOUNT:TEXT"));
    const QCommandLineOption autoReply({QStringLiteral("auto-reply")},
                                       QStringLiteral("Answer every message."), QStringLiteral("TEXT"));
    const QCommandLineOption news({QStringLiteral("news")}, QStringLiteral("Seed a news item."),
                                  QStringLiteral("TITLE"));
    const QCommandLineOption product({QStringLiteral("product")}, QStringLiteral("Seed a product."),
                                     QStringLiteral("NAME:SN"));
    const QCommandLineOption noDefault({QStringLiteral("no-default-content")},
                                       QStringLiteral("No built-in news and products."));
    const QCommandLineOption delay({QStringLiteral("delay")}, QStringLiteral("Delay every answer."),
                                   QStringLiteral("MS"));
    const QCommandLineOption pictureDelay({QStringLiteral("picture-delay")},
                                          QStringLiteral("Delay the pictures only."), QStringLiteral("MS"));
    const QCommandLineOption http500({QStringLiteral("http-500")},
                                     QStringLiteral("Answer API calls with HTTP 500."));
    const QCommandLineOption notJson({QStringLiteral("not-json")},
                                     QStringLiteral("Answer API calls with HTML."));
    const QCommandLineOption raw({QStringLiteral("raw-non-ascii")},
                                 QStringLiteral("Raw UTF-8 instead of \\u escapes."));
    const QCommandLineOption reorder({QStringLiteral("reorder")},
                                     QStringLiteral("Reverse the members of every object."));
    const QCommandLineOption relayAccounts({QStringLiteral("relay-accounts")},
                                           QStringLiteral("Keep the relay's account file."),
                                           QStringLiteral("FILE"));
    const QCommandLineOption refuse({QStringLiteral("refuse")}, QStringLiteral("Refuse a call."),
                                    QStringLiteral("PATH:INFO"));
    const QCommandLineOption ready({QStringLiteral("print-ready")},
                                   QStringLiteral("Print \"ready\" after the port line (for scripts)."));
    const QCommandLineOption only({QStringLiteral("fault-only")},
                                  QStringLiteral("Limit --http-500/--not-json to a call."),
                                  QStringLiteral("PATH"));
    parser.addOptions({host, port,    quiet,     account,       device,       support, autoReply,
                       news, product, noDefault, delay,         pictureDelay, http500, notJson,
                       raw,  reorder, only,      relayAccounts, ready,        refuse});
    const QCommandLineOption newsLink({QStringLiteral("news-link")},
                                      QStringLiteral("Seed a news item with its own link."),
                                      QStringLiteral("TITLE=URL"));
    parser.addOption(newsLink);

    QTextStream err(stderr);
    auto usage = [&](const QString& why) {
        err << "quillet-cloudsim: " << why << "\nTry 'quillet-cloudsim --help'.\n";
        err.flush();
        return 2;
    };
    // Usage errors end with status 2, as in the other tools (process() would exit with 1).
    if (!parser.parse(app.arguments()))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    CloudSim sim;
    sim.SetVerbose(!parser.isSet(quiet));
    for (const QString& a : parser.values(account)) {
        QString name, password;
        if (!SplitPair(a, name, password))
            return usage(QStringLiteral("--account needs NAME:PASSWORD"));
        if (const QString e = sim.AddAccount(name, password); !e.isEmpty())
            return usage(e);
    }
    for (const QString& d : parser.values(device))
        if (const QString e = sim.AddDevice(ParseProps(d)); !e.isEmpty())
            return usage(e);
    for (const QString& s : parser.values(support)) {
        QString name, text;
        if (!SplitPair(s, name, text))
            return usage(QStringLiteral("--support-reply needs ACCOUNT:TEXT"));
        if (const QString e = sim.AddSupportReply(name, text); !e.isEmpty())
            return usage(e);
    }
    if (!parser.isSet(noDefault))
        sim.AddDefaultContent();
    for (const QString& p : parser.values(product)) {
        QString name, sn;
        if (!SplitPair(p, name, sn))
            return usage(QStringLiteral("--product needs NAME:SN"));
        sim.AddProduct(name, sn);
    }
    for (const QString& n : parser.values(news))
        sim.AddNews(n);
    for (const QString& n : parser.values(newsLink)) {
        const qsizetype eq = n.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return usage(QStringLiteral("--news-link needs TITLE=URL"));
        sim.AddNewsLinking(n.left(eq), n.mid(eq + 1), QDateTime::currentSecsSinceEpoch());
    }
    sim.SetAutoReply(parser.value(autoReply));
    sim.SetRelayAccountsFile(parser.value(relayAccounts));
    if (!sim.WriteRelayAccounts())
        return usage(QStringLiteral("--relay-accounts: cannot write %1").arg(parser.value(relayAccounts)));

    SimFaults faults;
    if (parser.isSet(delay)) {
        bool ok = false;
        faults.delayMs = parser.value(delay).toInt(&ok);
        if (!ok || faults.delayMs < 0)
            return usage(QStringLiteral("--delay needs a number of milliseconds"));
    }
    if (parser.isSet(pictureDelay)) {
        bool ok = false;
        const int ms = parser.value(pictureDelay).toInt(&ok);
        if (!ok || ms < 0)
            return usage(QStringLiteral("--picture-delay needs a number of milliseconds"));
        sim.SetPictureDelay(ms);
    }
    faults.http500 = parser.isSet(http500);
    faults.notJson = parser.isSet(notJson);
    faults.rawNonAscii = parser.isSet(raw);
    faults.reorder = parser.isSet(reorder);
    faults.onlyPaths = parser.values(only);
    for (const QString& r : parser.values(refuse)) {
        QString path, info;
        if (!SplitPair(r, path, info))
            return usage(QStringLiteral("--refuse needs PATH:INFO"));
        faults.refusals.insert(path, info);
    }
    sim.SetFaults(faults);

    bool portOk = false;
    const uint wanted = parser.value(port).toUInt(&portOk);
    const QHostAddress address(parser.value(host));
    if (!portOk || wanted > 65535)
        return usage(QStringLiteral("--port needs 0 to 65535"));
    if (address.isNull())
        return usage(QStringLiteral("--host needs an IP address"));
    const quint16 bound = sim.listen(address, quint16(wanted));
    if (bound == 0) {
        err << "quillet-cloudsim: cannot listen on " << address.toString() << ':' << wanted << '\n';
        return 1;
    }
    std::printf("%u\n", unsigned(bound));
    if (parser.isSet(ready))
        std::printf("ready\n");
    std::fflush(stdout);
    err << "quillet-cloudsim: listening on http://" << address.toString() << ':' << bound << '\n';
    err.flush();
    return app.exec();
}
