// A stand-in for the vendor's cloud server: the fourteen API calls over real HTTP, with accounts,
// devices, feedback, news and products kept in memory, and switches that make it misbehave.
#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

class QHttpServerRequest;
class QTcpSocket;

// A JSON value that keeps its members in the order they were added.
struct SimJson {
    enum class Kind { String, Number, Null, Object, Array };
    Kind kind = Kind::Null;
    QString text;
    QList<std::pair<QString, SimJson>> members;
    QList<SimJson> items;

    static SimJson Str(const QString& s) { return {Kind::String, s, {}, {}}; }
    static SimJson Num(qint64 n) { return {Kind::Number, QString::number(n), {}, {}}; }
    static SimJson Null() { return {}; }
    static SimJson Object(QList<std::pair<QString, SimJson>> m) {
        return {Kind::Object, {}, std::move(m), {}};
    }
    static SimJson Array(QList<SimJson> a) { return {Kind::Array, {}, {}, std::move(a)}; }

    // Non-ASCII as "\u" escapes unless `rawNonAscii`; `reversed` writes every object's members
    // last to first.
    QByteArray Serialize(bool rawNonAscii, bool reversed) const;
};

struct SimFaults {
    int delayMs = 0;
    bool http500 = false;
    bool notJson = false;
    bool rawNonAscii = false;
    bool reorder = false;
    QStringList onlyPaths; // API paths (e.g. "Device/update") the faults apply to; empty: all
    // Calls refused whatever they ask: API path -> the info text of the refusal (status 0).
    QHash<QString, QString> refusals;
};

class CloudSim : public QAbstractHttpServer {
    Q_OBJECT
public:
    struct Account {
        QString id, account, password, nickname, email, name, tel, address, remark;
        qint64 createTime = 0, updateTime = 0, lastLoginTime = 0;
        QString lastLoginIp;
        int loginCount = 0;
    };
    struct Device {
        QString id, mac, code, name, pass, func = QStringLiteral("1"), type = QStringLiteral("1"),
                                           hardver = QStringLiteral("1.0"), softver = QStringLiteral("1.0");
        QString ownerId;
        qint64 createTime = 0;
        bool remote = true;
        int refuse = -1; // a refusal reason forced for every activation
        QByteArray jpeg;
        int imgVersion = 0;
    };
    struct Message {
        QString id, uid, msg, contact, system;
        bool fromSupport = false;
        qint64 createTime = 0, readTime = 0;
    };
    struct News {
        QString id, title;
        qint64 createTime = 0;
        QByteArray jpeg;
        QString weburl; // empty: the item's page on this server
    };
    struct Product {
        QString id, sn, name;
        qint64 createTime = 0;
        QByteArray jpeg;
    };

    explicit CloudSim(QObject* parent = nullptr);

    void SetFaults(const SimFaults& faults) { FFaults = faults; }
    void SetAutoReply(const QString& text) { FAutoReply = text; }
    void SetVerbose(bool on) { FVerbose = on; }
    // The relay simulator's view of the accounts: after every request this file is rewritten
    // with one line per account, "NAME:PASSWORD:MAC,MAC" (the boards activated to it), which
    // quillet-relaysim --accounts-file reads at each login. Empty: no file.
    void SetRelayAccountsFile(const QString& path) { FRelayAccountsFile = path; }
    // Writes that file now; false when it cannot be written.
    bool WriteRelayAccounts() const;

    // Seeding; each returns an error text or an empty one.
    QString AddAccount(const QString& account, const QString& password);
    QString AddDevice(const QMap<QString, QString>& props);
    QString AddSupportReply(const QString& account, const QString& text);
    void AddNews(const QString& title);
    void AddProduct(const QString& name, const QString& sn);
    void AddDefaultContent();
    // A news item written at `createTime` whose link is `weburl` as given (any scheme); gives its id.
    QString AddNewsLinking(const QString& title, const QString& weburl, qint64 createTime);
    // Replies already fetched are sent again with every fetch, as a server that never marks them
    // read would.
    void SetRepeatReplies(bool on) { FRepeatReplies = on; }
    // Pictures (not the API calls) answer `ms` milliseconds late, as from a slow picture host.
    void SetPictureDelay(int ms) { FPictureDelayMs = ms; }
    // Every feedback message and support reply held, oldest first.
    const QList<Message>& Messages() const { return FMessages; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Reply {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
    };
    using Params = QHash<QString, QString>;

    Reply Route(const QHttpServerRequest& request, bool& apiCall, QString& apiPath);
    Reply Api(const QString& path, const QHttpServerRequest& request, const QString& base);
    Reply Json(const SimJson& value) const;
    Reply Envelope(int status, const QString& info, const SimJson& data = SimJson::Null()) const;
    Reply Page(const QString& title, const QString& text) const;

    Account* Auth(const QString& account, const QString& md5);
    Account* FindAccount(const QString& account);
    Device* FindDevice(const QString& mac);
    SimJson UserJson(const Account& a, qint64 shownLoginTime, const QString& shownLoginIp) const;
    SimJson DeviceJson(const Device& d, bool withImg, const QString& base) const;
    int UnreadReplies(const QString& uid) const;
    QString NextId() { return QString::number(++FLastId); }

    Reply Login(const QStringList& seg, const QString& ip);
    Reply Register(const Params& f);
    Reply Edit(const Params& f);
    Reply ChangePassword(const QStringList& seg);
    Reply IndexFeedback(const Params& f);
    Reply Activate(const Params& f);
    Reply Download(const Params& f, const QString& base);
    Reply DeleteDevice(const QStringList& seg);
    Reply UpdateDevice(const Params& f);
    Reply UploadImage(const Params& f, const QByteArray& img);
    Reply FeedList(const QStringList& seg);
    Reply FeedbackAdd(const Params& f);
    Reply NewsList(const QString& base) const;
    Reply ProductList(const QString& base) const;

    SimFaults FFaults;
    QString FAutoReply;
    QString FRelayAccountsFile;
    bool FRepeatReplies = false;
    int FPictureDelayMs = 0;
    bool FVerbose = true;
    qint64 FLastId = 0;
    QList<Account> FAccounts;
    QList<Device> FDevices;
    QList<Message> FMessages;
    QList<News> FNews;
    QList<Product> FProducts;
};

// Pieces of request parsing, shared with the tests of the simulator.
namespace SimHttp {
// Path segments of an encoded path, each percent-decoded (UTF-8).
QStringList Segments(const QByteArray& encodedPath);
// name=value pairs of an application/x-www-form-urlencoded body ("+" is a space).
QHash<QString, QString> ParseForm(const QByteArray& body);
QByteArray DecodeQuotedPrintable(const QByteArray& bytes);
struct Part {
    QHash<QByteArray, QByteArray> headers; // lower-case names
    QString name, fileName;
    QByteArray data;
};
// The parts of a multipart/form-data body, or nullopt when it is malformed.
std::optional<QList<Part>> ParseMultipart(const QByteArray& body, const QByteArray& boundary);
} // namespace SimHttp
