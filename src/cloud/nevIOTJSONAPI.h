// The cloud server's HTTP/JSON API: the reply records, the positional reply reader and the
// client that makes the fourteen calls.
#pragma once

#include <QImage>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QUrl>

#include <array>
#include <optional>
#include <utility>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

Q_DECLARE_LOGGING_CATEGORY(lcCloud)

// --- reply records ------------------------------------------------------------------------------
// Every field is text. A reply member reaches a field only by its position, so the field order
// below is the order in which the server sends the members. `status` starts as "0" (failure).

struct TJSInfoReturn {
    QString status = QStringLiteral("0");
    QString info;
    QString data;
    bool operator==(const TJSInfoReturn&) const = default;
};

struct TUserReadData {
    QString id, account, nickname, password, bind_account, last_login_time, last_login_ip, login_count,
        verify, email, name, tel, address, remark, create_time, update_time, status, type_id, admininfo,
        newscount, newstime, feedbackcount;
    bool operator==(const TUserReadData&) const = default;
};

struct TUserRead {
    QString status = QStringLiteral("0");
    QString info;
    TUserReadData data;
    bool operator==(const TUserRead&) const = default;
};

struct TDevActiveData {
    QString id, mac, name, pass, func, _type, hardver, softver, status, uid, create_time;
    bool operator==(const TDevActiveData&) const = default;
};

struct TDevActive {
    QString status = QStringLiteral("0");
    QString info;
    TDevActiveData data;
    bool operator==(const TDevActive&) const = default;
};

struct TDevInfoData {
    QString id, mac, name, pass, func, _type, hardver, softver, img, status, uid, create_time;
    bool operator==(const TDevInfoData&) const = default;
};

struct TCloudDevs {
    QString status = QStringLiteral("0");
    QString info;
    QList<TDevInfoData> data;
    bool operator==(const TCloudDevs&) const = default;
};

struct TFeedBackData {
    QString id, uid, msg, contact, System, _type, create_time, read_time, status;
    bool operator==(const TFeedBackData&) const = default;
};

struct TFeedBackList {
    QString status = QStringLiteral("0");
    QString info;
    QList<TFeedBackData> data;
    bool operator==(const TFeedBackList&) const = default;
};

struct TNewsListData {
    QString id, img, status, title, create_time, weburl;
    bool operator==(const TNewsListData&) const = default;
};

struct TNewsList {
    QString status = QStringLiteral("0");
    QString info;
    QList<TNewsListData> data;
    bool operator==(const TNewsList&) const = default;
};

struct TProduct {
    QString id, sn, name, img, create_time, imgtime, weburl;
    bool operator==(const TProduct&) const = default;
};

struct TProductsList {
    QString status = QStringLiteral("0");
    QString info;
    QList<TProduct> data;
    bool operator==(const TProductsList&) const = default;
};

// The fields of a data record in reply order, by name and by member, for code that has to walk
// them (the reply reader, listings by name).
template <class D> struct TCloudFields;

template <> struct TCloudFields<TUserReadData> {
    using D = TUserReadData;
    static constexpr std::array<const char*, 22> Names{
        "id",           "account",         "nickname",      "password",
        "bind_account", "last_login_time", "last_login_ip", "login_count",
        "verify",       "email",           "name",          "tel",
        "address",      "remark",          "create_time",   "update_time",
        "status",       "type_id",         "admininfo",     "newscount",
        "newstime",     "feedbackcount"};
    static constexpr std::array<QString D::*, 22> Members{
        &D::id,           &D::account,         &D::nickname,      &D::password,
        &D::bind_account, &D::last_login_time, &D::last_login_ip, &D::login_count,
        &D::verify,       &D::email,           &D::name,          &D::tel,
        &D::address,      &D::remark,          &D::create_time,   &D::update_time,
        &D::status,       &D::type_id,         &D::admininfo,     &D::newscount,
        &D::newstime,     &D::feedbackcount};
};

template <> struct TCloudFields<TDevActiveData> {
    using D = TDevActiveData;
    static constexpr std::array<const char*, 11> Names{
        "id", "mac", "name", "pass", "func", "_type", "hardver", "softver", "status", "uid", "create_time"};
    static constexpr std::array<QString D::*, 11> Members{&D::id,     &D::mac,   &D::name,       &D::pass,
                                                          &D::func,   &D::_type, &D::hardver,    &D::softver,
                                                          &D::status, &D::uid,   &D::create_time};
};

template <> struct TCloudFields<TDevInfoData> {
    using D = TDevInfoData;
    static constexpr std::array<const char*, 12> Names{"id",   "mac",    "name",    "pass",
                                                       "func", "_type",  "hardver", "softver",
                                                       "img",  "status", "uid",     "create_time"};
    static constexpr std::array<QString D::*, 12> Members{&D::id,   &D::mac,    &D::name,    &D::pass,
                                                          &D::func, &D::_type,  &D::hardver, &D::softver,
                                                          &D::img,  &D::status, &D::uid,     &D::create_time};
};

template <> struct TCloudFields<TFeedBackData> {
    using D = TFeedBackData;
    static constexpr std::array<const char*, 9> Names{
        "id", "uid", "msg", "contact", "System", "_type", "create_time", "read_time", "status"};
    static constexpr std::array<QString D::*, 9> Members{&D::id,          &D::uid,       &D::msg,
                                                         &D::contact,     &D::System,    &D::_type,
                                                         &D::create_time, &D::read_time, &D::status};
};

template <> struct TCloudFields<TNewsListData> {
    using D = TNewsListData;
    static constexpr std::array<const char*, 6> Names{"id",    "img",         "status",
                                                      "title", "create_time", "weburl"};
    static constexpr std::array<QString D::*, 6> Members{&D::id,    &D::img,         &D::status,
                                                         &D::title, &D::create_time, &D::weburl};
};

template <> struct TCloudFields<TProduct> {
    using D = TProduct;
    static constexpr std::array<const char*, 7> Names{"id",          "sn",      "name",  "img",
                                                      "create_time", "imgtime", "weburl"};
    static constexpr std::array<QString D::*, 7> Members{&D::id,          &D::sn,      &D::name,  &D::img,
                                                         &D::create_time, &D::imgtime, &D::weburl};
};

// (name, value) pairs of a data record in reply order.
template <class D> QList<std::pair<QString, QString>> CloudFieldsOf(const D& d) {
    QList<std::pair<QString, QString>> out;
    const auto& names = TCloudFields<D>::Names;
    const auto& members = TCloudFields<D>::Members;
    for (std::size_t i = 0; i < names.size(); ++i)
        out.append({QString::fromLatin1(names[i]), d.*members[i]});
    return out;
}

// --- positional reply reader --------------------------------------------------------------------
// Fills `rec` from a reply text by member position. A text that is not JSON, or whose top level
// is not an object, is an error: false, `rec` untouched, `error` (when given) says why. Replies
// nested deeper than 1024 levels and numbers beyond 64-bit/double range count as not JSON.
bool ReadReply(const QString& text, TJSInfoReturn& rec, QString* error = nullptr);
bool ReadReply(const QString& text, TUserRead& rec, QString* error = nullptr);
bool ReadReply(const QString& text, TDevActive& rec, QString* error = nullptr);
bool ReadReply(const QString& text, TCloudDevs& rec, QString* error = nullptr);
bool ReadReply(const QString& text, TFeedBackList& rec, QString* error = nullptr);
bool ReadReply(const QString& text, TNewsList& rec, QString* error = nullptr);
bool ReadReply(const QString& text, TProductsList& rec, QString* error = nullptr);

// --- text helpers -------------------------------------------------------------------------------

// MD5 of the text's UTF-8 bytes as 32 lowercase hexadecimal digits.
QString Md5Hex(const QString& text);
// Removes one double quote at each end when the text both begins and ends with one.
QString StripQuotes(const QString& text);
// application/x-www-form-urlencoded form of one name or value: UTF-8, space as "+", letters,
// digits and "*-._" as they are, every other byte as "%" and two upper-case hexadecimal digits.
QByteArray FormEncode(const QString& text);
using TFormFields = QList<std::pair<QString, QString>>;
// Fields in the given order joined by "&"; a field with an empty value is left out.
QByteArray FormBody(const TFormFields& fields);
// RFC 2045 quoted-printable (soft line breaks after 76 characters).
QByteArray QuotedPrintable(const QByteArray& bytes);

// --- client -------------------------------------------------------------------------------------

// Why a call has no usable reply.
struct TCloudError {
    enum class Kind {
        Network,    // no connection, refused, reset, bad address
        Timeout,    // connect or read time-out, or the call's total deadline
        HttpStatus, // the server answered with an HTTP error status
        TooLarge,   // the reply exceeded the size limit
        Redirect,   // the server redirected the call somewhere it may not go
        BadRequest, // a parameter cannot be sent (a path parameter "." or "..")
        File,       // the file to upload could not be read
        BadReply,   // the reply is empty or not a JSON object
    };
    Kind kind = Kind::Network;
    int HttpStatus = 0;
    QString Message; // for people; never holds a password or a password digest
};

// Every call gives this: the record (status "0" and nothing else unless a reply was read) or the
// error that kept the call from reading one. Callers that have nothing to say ignore the error.
template <class T> struct TCloudResult {
    T Reply{};
    std::optional<TCloudError> Error;
    bool Failed() const { return Error.has_value(); }
};

// The program's one HTTP client of the cloud server. Every call is synchronous for its caller:
// it waits in a local event loop that keeps the window painting but takes no user input. A wait
// ends at the connect time-out, at the read time-out after the last progress, or at the call's
// total deadline, whichever comes first.
class CloudClient : public QObject {
    Q_OBJECT
public:
    static constexpr int ConnectTimeoutMs = 1000;
    static constexpr int ReadTimeoutMs = 1000;
    // A server that trickles its reply keeps restarting the read time-out; this bounds the call.
    static constexpr int DefaultDeadlineMs = 5000;
    static constexpr qint64 MaxReplyBytes = 16 * 1024 * 1024;
    static constexpr int MaxRedirects = 5;

    // `server` is the base address, e.g. "http://cloud.example.com:8080"; the calls append
    // "/api.php/...".
    explicit CloudClient(const QUrl& server = DefaultServer(), QObject* parent = nullptr);
    ~CloudClient() override;

    // The build-time default base address.
    static QUrl DefaultServer();
    QUrl Server() const { return FServer; }
    void SetServer(const QUrl& server);
    // The web page "about" on the server's host.
    QUrl AboutPageUrl() const;
    int DeadlineMs() const { return FDeadlineMs; }
    void SetDeadlineMs(int ms) { FDeadlineMs = ms > 0 ? ms : DefaultDeadlineMs; }

    // Primitives: the reply text, or why there is none. A redirect is followed only while it
    // stays on the same server and keeps the request as it is.
    TCloudResult<QString> Http_Get(const QUrl& url);
    TCloudResult<QString> Http_PostForm(const QUrl& url, const TFormFields& fields);
    TCloudResult<QString> Http_PostMultipart(const QUrl& url, const TFormFields& textParts,
                                             const QString& fileField, const QString& filePath);

    // The fourteen calls. Accounts and passwords are the texts as typed, whole; the digests are
    // computed here.
    TCloudResult<TProductsList> Index_ProductList();
    TCloudResult<TNewsList> Index_NewsList();
    TCloudResult<TUserRead> User_Login(const QString& account, const QString& password);
    TCloudResult<TJSInfoReturn> User_Register(const QString& account, const QString& password,
                                              const QString& nickname, const QString& email,
                                              const QString& name, const QString& tel, const QString& address,
                                              const QString& remark);
    TCloudResult<TJSInfoReturn> User_Edit(const QString& account, const QString& password, const QString& id,
                                          const QString& nickname, const QString& email, const QString& name,
                                          const QString& tel, const QString& address, const QString& remark);
    TCloudResult<TJSInfoReturn> User_Password(const QString& account, const QString& oldPassword,
                                              const QString& id, const QString& newPassword);
    TCloudResult<TJSInfoReturn> Index_Feedback(const QString& msg, const QString& contact,
                                               const QString& system);
    TCloudResult<TDevActive> Device_Active(const QString& account, const QString& password,
                                           const QString& mac, const QString& activationCode);
    TCloudResult<TCloudDevs> Device_Download(const QString& account, const QString& password);
    TCloudResult<TJSInfoReturn> Device_Delete(const QString& account, const QString& password,
                                              const QString& mac);
    TCloudResult<TJSInfoReturn> Device_Update(const QString& account, const QString& password,
                                              const QString& mac, const QString& name,
                                              const QString& devicePassword);
    TCloudResult<TJSInfoReturn> Device_UploadImg(const QString& account, const QString& password,
                                                 const QString& mac, const QString& filePath);
    TCloudResult<TFeedBackList> Feedback_FeedList(const QString& account, const QString& password);
    TCloudResult<TJSInfoReturn> Feedback_Add(const QString& account, const QString& password,
                                             const QString& msg);

    // A JPEG picture from an address ending ".jpg" or ".jpeg" (http or https, or a path on the
    // server); any other address, and every failure, gives an empty picture. Never raises.
    QImage LoadUrlImage(const QString& url);
    void LoadUrlImageInto(QImage& target, const QString& url);

private:
    struct Exchange {
        QByteArray Body;
        QByteArray ContentType;
        std::optional<TCloudError> Error;
    };

    QNetworkRequest MakeRequest(const QUrl& url) const;
    Exchange Wait(QNetworkReply* reply);
    // Base address followed by "/api.php/" and the path; `params` become path segments
    // "/name/value" in order. An error when a value cannot be a path segment.
    TCloudResult<QUrl> ApiUrl(const QString& path,
                              const QList<std::pair<QString, QString>>& params = {}) const;
    template <class T>
    TCloudResult<T> GetCall(const QString& path, const QList<std::pair<QString, QString>>& params);
    template <class T> TCloudResult<T> FormCall(const QString& path, const TFormFields& fields);
    template <class T> static TCloudResult<T> ReadCall(const TCloudResult<QString>& text);

    QNetworkAccessManager* FNet = nullptr;
    QUrl FServer;
    int FDeadlineMs = DefaultDeadlineMs;
};
