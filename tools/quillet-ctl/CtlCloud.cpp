#include "CtlCloud.h"

#include "CtlJson.h"
#include "nevIOTJSONAPI.h"
#include "untPublic.h"

#include <QRegularExpression>
#include <QTextStream>
#include <QUrl>

namespace ctl {

namespace {

// The system name the window sends with anonymous feedback from its English interface.
const QString FeedbackSystem = QStringLiteral("Quillet for Windows V1.2.6");

template <class D> QString RecordJson(const D& d) {
    TJsonOut o;
    for (const auto& [name, value] : CloudFieldsOf(d))
        o.AddStr(name, value);
    return o.Text();
}

QString InfoJson(const TJSInfoReturn& r) {
    return TJsonOut().AddStr("status", r.status).AddStr("info", r.info).AddStr("data", r.data).Text();
}

// The message of an activation refusal: its info is a list whose first item is the reason.
QString ActivationRefusal(const QString& info) {
    QStringList items;
    static const QRegularExpression item(QStringLiteral("\"([^\"]*)\"|([^,\\s\"]+)"));
    for (auto it = item.globalMatch(info); it.hasNext();) {
        const auto m = it.next();
        items << (m.captured(0).startsWith(QLatin1Char('"')) ? m.captured(1) : m.captured(2));
    }
    bool ok = false;
    const int reason = items.value(0).toInt(&ok);
    if (!ok)
        return {};
    switch (reason) {
    case 0:
        return QStringLiteral("Device is not in the cloud server!");
    case 1:
        return QStringLiteral("Device disable remote control!");
    case 2:
        return QStringLiteral("Device has been activated by: ") + items.value(1);
    case 3:
    case 4:
        return QStringLiteral("Device activation failed!");
    default:
        return {};
    }
}

// A refusal that came without an info text.
QString NoReason(const QString& status) {
    return QStringLiteral("The cloud server refused the call without a reason (status \"%1\")").arg(status);
}

class TCloudCommand {
public:
    TCloudCommand(const QHash<QString, QString>& opts, TOutput& io) : FOpts(opts), FIO(io) {}
    int Run(const QStringList& p);

private:
    int Usage(const QString& why) {
        FIO.err << "quillet-ctl: " << why << "\n"
                << "Try 'quillet-ctl --help'.\n";
        FIO.err.flush();
        return ExitUsage;
    }
    int Fail(const QString& why) {
        FIO.err << why << "\n";
        FIO.err.flush();
        return ExitFailed;
    }
    void Line(const QString& json) {
        FIO.out << json << "\n";
        FIO.out.flush();
    }
    // The account options, checked as the window checks its login panel.
    QString NeedAccount();
    // Exit status of a call: the transport error, or status "0" with the server's info.
    template <class T> std::optional<int> Refused(const TCloudResult<T>& r, bool anythingButZero);

    const QHash<QString, QString>& FOpts;
    TOutput& FIO;
    QString FAccount;
    QString FPassword;
};

QString TCloudCommand::NeedAccount() {
    if (!FOpts.contains("--account") || !FOpts.contains("--account-password"))
        return QStringLiteral("this command needs --account and --account-password");
    for (const QString& v : {FOpts.value("--account"), FOpts.value("--account-password")})
        if (v.isEmpty() || v.size() > 32)
            return QStringLiteral("account and password must be 1 to 32 characters");
    // Used whole, as typed: the calls take the texts themselves, not a 16-byte login state.
    FAccount = FOpts.value("--account");
    FPassword = FOpts.value("--account-password");
    return {};
}

template <class T> std::optional<int> TCloudCommand::Refused(const TCloudResult<T>& r, bool anythingButZero) {
    if (r.Error)
        return Fail(QStringLiteral("Cloud server: %1").arg(r.Error->Message));
    const bool ok =
        anythingButZero ? r.Reply.status != QLatin1String("0") : r.Reply.status == QLatin1String("1");
    if (ok)
        return std::nullopt;
    if (!r.Reply.info.isEmpty())
        return Fail(r.Reply.info);
    return Fail(NoReason(r.Reply.status));
}

int TCloudCommand::Run(const QStringList& p) {
    const QString cmd = p.value(0);
    const QString usage = QStringLiteral("cloud login | register | devices | activate | update | remove | "
                                         "upload-image | feedback list|send|anonymous | news | products");
    static const QStringList accountCommands{"login",  "devices", "activate",
                                             "update", "remove",  "upload-image"};
    const bool needsAccount = accountCommands.contains(cmd) ||
                              (cmd == QLatin1String("feedback") && p.value(1) != QLatin1String("anonymous"));

    // Argument shapes first: a usage error never waits for the network.
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
    if (want < 0 || p.size() != want)
        return Usage(usage);
    if (cmd == "feedback" && !QStringList{"list", "send", "anonymous"}.contains(p.at(1)))
        return Usage(usage);
    if (needsAccount) {
        const QString why = NeedAccount();
        if (!why.isEmpty())
            return Usage(why);
    }
    QString mac;
    if (cmd == "activate" || cmd == "update" || cmd == "remove" || cmd == "upload-image") {
        mac = CompactMACStr(p.at(1));
        if (mac.size() != 12)
            return Usage(QStringLiteral("Please enter a valid MAC address!"));
    }
    if (cmd == "activate" && p.at(2).isEmpty())
        return Usage(QStringLiteral("Please enter an activation code"));
    if (cmd == "register") {
        for (const QString& v : {p.at(1), p.at(2)})
            if (v.isEmpty() || v.size() > 32)
                return Usage(QStringLiteral("account and password must be 1 to 32 characters"));
    }
    if (cmd == "feedback" && p.at(1) != QLatin1String("list") && p.at(2).trimmed().isEmpty())
        return Usage(QStringLiteral("Input no content!"));

    QUrl server = CloudClient::DefaultServer();
    if (FOpts.contains("--server")) {
        server = QUrl(FOpts.value("--server"), QUrl::StrictMode);
        if (!server.isValid() || (server.scheme() != "http" && server.scheme() != "https") ||
            server.host().isEmpty())
            return Usage(QStringLiteral("--server must be an http or https address"));
    }
    CloudClient client(server);

    if (cmd == "login") {
        const auto r = client.User_Login(FAccount, FPassword);
        if (auto rc = Refused(r, true))
            return *rc;
        Line(RecordJson(r.Reply.data));
    } else if (cmd == "register") {
        const auto r = client.User_Register(
            p.at(1), p.at(2), FOpts.value("--nickname"), FOpts.value("--email"), FOpts.value("--name"),
            FOpts.value("--tel"), FOpts.value("--address"), FOpts.value("--remark"));
        if (auto rc = Refused(r, false))
            return *rc;
        Line(InfoJson(r.Reply));
    } else if (cmd == "devices") {
        const auto r = client.Device_Download(FAccount, FPassword);
        if (auto rc = Refused(r, false))
            return *rc;
        for (const TDevInfoData& d : r.Reply.data)
            Line(RecordJson(d));
    } else if (cmd == "activate") {
        const auto r = client.Device_Active(FAccount, FPassword, mac, p.at(2).toLower());
        if (r.Error)
            return Fail(QStringLiteral("Cloud server: %1").arg(r.Error->Message));
        if (r.Reply.status == QLatin1String("1")) {
            Line(RecordJson(r.Reply.data));
            return ExitOk;
        }
        if (r.Reply.info.isEmpty())
            return Fail(NoReason(r.Reply.status));
        const QString why = ActivationRefusal(r.Reply.info);
        return Fail(why.isEmpty() ? QStringLiteral("Device activation failed! (%1)").arg(r.Reply.info) : why);
    } else if (cmd == "update" || cmd == "remove" || cmd == "upload-image") {
        TCloudResult<TJSInfoReturn> r;
        if (cmd == "update")
            r = client.Device_Update(FAccount, FPassword, mac, p.at(2), p.at(3));
        else if (cmd == "remove")
            r = client.Device_Delete(FAccount, FPassword, mac);
        else
            r = client.Device_UploadImg(FAccount, FPassword, mac, p.at(2));
        if (auto rc = Refused(r, false))
            return *rc;
        Line(InfoJson(r.Reply));
    } else if (cmd == "feedback") {
        if (p.at(1) == QLatin1String("list")) {
            const auto r = client.Feedback_FeedList(FAccount, FPassword);
            if (auto rc = Refused(r, false))
                return *rc;
            for (const TFeedBackData& d : r.Reply.data)
                Line(RecordJson(d));
        } else {
            const auto r = p.at(1) == QLatin1String("send")
                               ? client.Feedback_Add(FAccount, FPassword, p.at(2))
                               : client.Index_Feedback(p.at(2), FOpts.value("--contact"), FeedbackSystem);
            if (auto rc = Refused(r, false))
                return *rc;
            Line(InfoJson(r.Reply));
        }
    } else if (cmd == "news") {
        const auto r = client.Index_NewsList();
        if (auto rc = Refused(r, true))
            return *rc;
        for (const TNewsListData& d : r.Reply.data)
            Line(RecordJson(d));
    } else {
        const auto r = client.Index_ProductList();
        if (auto rc = Refused(r, true))
            return *rc;
        for (const TProduct& d : r.Reply.data)
            Line(RecordJson(d));
    }
    return ExitOk;
}

} // namespace

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

int RunCloud(const QStringList& args, const QHash<QString, QString>& opts, TOutput io) {
    return TCloudCommand(opts, io).Run(args);
}

} // namespace ctl
