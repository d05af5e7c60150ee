// The cloud commands of quillet-ctl: the account, its boards, feedback, news and products, over the
// same cloud client as the window.
#include "CtlJson.h"
#include "CtlOutput.h"
#include "CtlRunners.h"
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
    TCloudCommand(const TCloudCmd& cmd, TOutput& io) : FCmd(cmd), FIO(io), FClient(cmd.server) {}

    int operator()(const cloud::Login&);
    int operator()(const cloud::Register& op);
    int operator()(const cloud::Devices&);
    int operator()(const cloud::Activate& op);
    int operator()(const cloud::Update& op) {
        return Info(FClient.Device_Update(FCmd.account, FCmd.password, op.mac, op.name, op.pass));
    }
    int operator()(const cloud::Remove& op) {
        return Info(FClient.Device_Delete(FCmd.account, FCmd.password, op.mac));
    }
    int operator()(const cloud::UploadImage& op) {
        return Info(FClient.Device_UploadImg(FCmd.account, FCmd.password, op.mac, op.file));
    }
    int operator()(const cloud::FeedbackList&);
    int operator()(const cloud::FeedbackSend& op) {
        return Info(FClient.Feedback_Add(FCmd.account, FCmd.password, op.text));
    }
    int operator()(const cloud::FeedbackAnonymous& op) {
        return Info(FClient.Index_Feedback(op.text, op.contact, FeedbackSystem));
    }
    int operator()(const cloud::News&);
    int operator()(const cloud::Products&);

private:
    int Fail(const QString& why) { return ctl::Fail(FIO, why); }
    // Exit status of a call: the transport error, or status "0" with the server's info.
    template <class T> std::optional<int> Refused(const TCloudResult<T>& r, bool anythingButZero);
    // Prints the status and info of a call that answers with nothing more.
    int Info(const TCloudResult<TJSInfoReturn>& r);
    // Prints one line per record of a list reply.
    template <class T> int Records(const TCloudResult<T>& r, bool anythingButZero);

    const TCloudCmd& FCmd;
    TOutput& FIO;
    CloudClient FClient;
};

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

int TCloudCommand::Info(const TCloudResult<TJSInfoReturn>& r) {
    if (auto rc = Refused(r, false))
        return *rc;
    Line(FIO, InfoJson(r.Reply));
    return ExitOk;
}

template <class T> int TCloudCommand::Records(const TCloudResult<T>& r, bool anythingButZero) {
    if (auto rc = Refused(r, anythingButZero))
        return *rc;
    for (const auto& d : r.Reply.data)
        Line(FIO, RecordJson(d));
    return ExitOk;
}

int TCloudCommand::operator()(const cloud::Login&) {
    const auto r = FClient.User_Login(FCmd.account, FCmd.password);
    if (auto rc = Refused(r, true))
        return *rc;
    Line(FIO, RecordJson(r.Reply.data));
    return ExitOk;
}

int TCloudCommand::operator()(const cloud::Register& op) {
    return Info(FClient.User_Register(op.account, op.password, op.nickname, op.email, op.name, op.tel,
                                      op.address, op.remark));
}

int TCloudCommand::operator()(const cloud::Devices&) {
    return Records(FClient.Device_Download(FCmd.account, FCmd.password), false);
}

int TCloudCommand::operator()(const cloud::Activate& op) {
    const auto r = FClient.Device_Active(FCmd.account, FCmd.password, op.mac, op.code);
    if (r.Error)
        return Fail(QStringLiteral("Cloud server: %1").arg(r.Error->Message));
    if (r.Reply.status == QLatin1String("1")) {
        Line(FIO, RecordJson(r.Reply.data));
        return ExitOk;
    }
    if (r.Reply.info.isEmpty())
        return Fail(NoReason(r.Reply.status));
    const QString why = ActivationRefusal(r.Reply.info);
    return Fail(why.isEmpty() ? QStringLiteral("Device activation failed! (%1)").arg(r.Reply.info) : why);
}

int TCloudCommand::operator()(const cloud::FeedbackList&) {
    return Records(FClient.Feedback_FeedList(FCmd.account, FCmd.password), false);
}

int TCloudCommand::operator()(const cloud::News&) {
    return Records(FClient.Index_NewsList(), true);
}

int TCloudCommand::operator()(const cloud::Products&) {
    return Records(FClient.Index_ProductList(), true);
}

} // namespace

int RunCloud(const TCloudCmd& cmd, TOutput& io) {
    TCloudCommand run(cmd, io);
    return std::visit(run, cmd.op);
}

} // namespace ctl
