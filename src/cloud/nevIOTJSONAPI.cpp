#include "nevIOTJSONAPI.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTimer>

#include <memory>

Q_LOGGING_CATEGORY(lcCloud, "quillet.cloud")

#ifndef QUILLET_CLOUD_SERVER_DEFAULT
#define QUILLET_CLOUD_SERVER_DEFAULT "http://cloud.quillet.net"
#endif
#ifndef QUILLET_VERSION
#define QUILLET_VERSION "1.2.6"
#endif

namespace {

const char* const AboutPath = "/index.php/Page/detail/item/about";

bool IsFormUnreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
           c == '-' || c == '.' || c == '_';
}

const char HexUpper[] = "0123456789ABCDEF";

// The charset parameter of a Content-Type header, or empty.
QByteArray CharsetOf(const QByteArray& contentType) {
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray p = parts.at(i).trimmed();
        if (p.toLower().startsWith("charset=")) {
            QByteArray v = p.mid(8).trimmed();
            if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
                v = v.mid(1, v.size() - 2);
            return v;
        }
    }
    return {};
}

QString DecodeByCharset(const QByteArray& body, const QByteArray& contentType) {
    const QByteArray charset = CharsetOf(contentType);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    return QString::fromUtf8(body);
}

QByteArray MimeTypeOfFile(const QString& path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
        return "image/jpeg";
    if (ext == QLatin1String("png"))
        return "image/png";
    if (ext == QLatin1String("gif"))
        return "image/gif";
    if (ext == QLatin1String("bmp"))
        return "image/bmp";
    return "application/octet-stream";
}

// A file name inside a quoted Content-Disposition parameter.
QByteArray DispositionFileName(const QString& name) {
    QByteArray out = name.toUtf8();
    out.replace('"', "%22");
    out.replace('\r', "%0D");
    out.replace('\n', "%0A");
    return out;
}

QByteArray NewBoundary() {
    QByteArray b("QuilletBoundary");
    for (int i = 0; i < 4; ++i)
        b += QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0');
    return b;
}

// Percent-encoded path segment; "." and ".." cannot be sent as segments because every HTTP stack
// on the way may resolve them.
// The call of an address for the debug log: its path without the parameters that follow the call
// (one of them is a password in clear).
QString CallOf(const QUrl& url) {
    const QString path = url.path();
    const qsizetype api = path.indexOf(QLatin1String("/api.php/"));
    if (api < 0)
        return path;
    const QStringList parts = path.mid(api + 9).split(QLatin1Char('/'));
    return QStringLiteral("/api.php/") + parts.mid(0, 2).join(QLatin1Char('/'));
}

std::optional<QByteArray> PathSegment(const QString& value) {
    if (value == QLatin1String(".") || value == QLatin1String(".."))
        return std::nullopt;
    return QUrl::toPercentEncoding(value);
}

} // namespace

// --- text helpers -------------------------------------------------------------------------------

QString Md5Hex(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

QString StripQuotes(const QString& text) {
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        return text.mid(1, text.size() - 2);
    return text;
}

QByteArray FormEncode(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() * 3);
    for (const char c : utf8) {
        if (IsFormUnreserved(c)) {
            out.append(c);
        } else if (c == ' ') {
            out.append('+');
        } else {
            const auto u = static_cast<unsigned char>(c);
            out.append('%');
            out.append(HexUpper[u >> 4]);
            out.append(HexUpper[u & 0x0F]);
        }
    }
    return out;
}

QByteArray FormBody(const TFormFields& fields) {
    QByteArray body;
    for (const auto& [name, value] : fields) {
        if (value.isEmpty())
            continue;
        if (!body.isEmpty())
            body.append('&');
        body.append(FormEncode(name));
        body.append('=');
        body.append(FormEncode(value));
    }
    return body;
}

QByteArray QuotedPrintable(const QByteArray& bytes) {
    QByteArray out;
    int lineLen = 0;
    auto put = [&](const QByteArray& piece) {
        if (lineLen + piece.size() > 75) { // 76 with the "=" of the soft break
            out.append("=\r\n");
            lineLen = 0;
        }
        out.append(piece);
        lineLen += int(piece.size());
    };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto u = static_cast<unsigned char>(bytes.at(i));
        const bool last = i + 1 == bytes.size();
        const bool literal = (u >= 33 && u <= 126 && u != '=') || ((u == ' ' || u == '\t') && !last);
        if (literal) {
            put(QByteArray(1, char(u)));
        } else {
            const char enc[3] = {'=', HexUpper[u >> 4], HexUpper[u & 0x0F]};
            put(QByteArray(enc, 3));
        }
    }
    return out;
}

// --- client -------------------------------------------------------------------------------------

CloudClient::CloudClient(const QUrl& server, QObject* parent)
    : QObject(parent), FNet(new QNetworkAccessManager(this)) {
    SetServer(server);
    FNet->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

CloudClient::~CloudClient() = default;

QUrl CloudClient::DefaultServer() { return QUrl(QStringLiteral(QUILLET_CLOUD_SERVER_DEFAULT)); }

void CloudClient::SetServer(const QUrl& server) {
    FServer = server;
    QString path = FServer.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    FServer.setPath(path);
}

QUrl CloudClient::AboutPageUrl() const {
    return QUrl::fromEncoded(FServer.toEncoded() + AboutPath);
}

QNetworkRequest CloudClient::MakeRequest(const QUrl& url) const {
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "*/*");
    // Replies are small; asking for them uncompressed keeps every request the same on every Qt build.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray("Quillet/" QUILLET_VERSION));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    return request;
}

CloudClient::Exchange CloudClient::Wait(QNetworkReply* rawReply) {
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(
        rawReply, [](QNetworkReply* r) { r->deleteLater(); });
    Exchange ex;
    bool timedOut = false;
    bool tooLarge = false;

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    // One timer serves both limits: it runs for the connect time-out while a connection is being
    // opened and is restarted with the read time-out whenever the exchange makes progress.
    connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    connect(reply.get(), &QNetworkReply::socketStartedConnecting, &loop,
            [&] { timer.start(ConnectTimeoutMs); });
    connect(reply.get(), &QNetworkReply::requestSent, &loop, [&] { timer.start(ReadTimeoutMs); });
    connect(reply.get(), &QNetworkReply::uploadProgress, &loop, [&](qint64 sent, qint64) {
        if (sent > 0)
            timer.start(ReadTimeoutMs);
    });
    connect(reply.get(), &QNetworkReply::downloadProgress, &loop, [&](qint64 received, qint64) {
        if (received > MaxReplyBytes) {
            tooLarge = true;
            reply->abort();
            return;
        }
        timer.start(ReadTimeoutMs);
    });
    connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(ConnectTimeoutMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    timer.stop();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (timedOut) {
        ex.Error = TCloudError{TCloudError::Kind::Timeout, 0,
                               QStringLiteral("The cloud server did not answer in time")};
    } else if (tooLarge) {
        ex.Error = TCloudError{TCloudError::Kind::TooLarge, 0,
                               QStringLiteral("The cloud server's reply is too large")};
    } else if (reply->error() != QNetworkReply::NoError) {
        if (status >= 400)
            ex.Error = TCloudError{TCloudError::Kind::HttpStatus, status,
                                   QStringLiteral("HTTP %1 %2").arg(status).arg(
                                       reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute)
                                           .toString())};
        else
            ex.Error = TCloudError{TCloudError::Kind::Network, status, reply->errorString()};
    } else {
        ex.Body = reply->readAll();
        ex.ContentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    }
    return ex;
}

TCloudResult<QString> CloudClient::Http_Get(const QUrl& url) {
    TCloudResult<QString> result;
    Exchange ex = Wait(FNet->get(MakeRequest(url)));
    if (ex.Error) {
        qCDebug(lcCloud) << "GET" << CallOf(url) << "failed:" << ex.Error->Message;
        result.Error = ex.Error;
        return result;
    }
    // The platform's 8-bit text, which is UTF-8 here.
    result.Reply = QString::fromLocal8Bit(ex.Body);
    qCDebug(lcCloud).noquote() << "GET" << CallOf(url) << "->" << result.Reply;
    return result;
}

QString CloudClient::Http_PostForm(const QUrl& url, const TFormFields& fields) {
    QNetworkRequest request = MakeRequest(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArray("application/x-www-form-urlencoded"));
    Exchange ex = Wait(FNet->post(request, FormBody(fields)));
    if (ex.Error) {
        qCDebug(lcCloud) << "POST" << CallOf(url) << "failed:" << ex.Error->Message;
        return {};
    }
    const QString text = DecodeByCharset(ex.Body, ex.ContentType);
    qCDebug(lcCloud).noquote() << "POST" << CallOf(url) << "->" << text;
    return text;
}

TCloudResult<QString> CloudClient::Http_PostMultipart(const QUrl& url, const TFormFields& textParts,
                                                      const QString& fileField,
                                                      const QString& filePath) {
    TCloudResult<QString> result;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        result.Error = TCloudError{TCloudError::Kind::File, 0,
                                   QStringLiteral("Cannot read %1: %2").arg(filePath, file.errorString())};
        return result;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.Error = TCloudError{TCloudError::Kind::File, 0,
                                   QStringLiteral("Cannot read %1: %2").arg(filePath, file.errorString())};
        return result;
    }

    QByteArray boundary = NewBoundary();
    while (content.contains(boundary))
        boundary = NewBoundary();

    QByteArray body;
    for (const auto& [name, value] : textParts) {
        body += "--" + boundary + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + DispositionFileName(name) + "\"\r\n";
        body += "Content-Type: text/plain; charset=utf-8\r\n";
        body += "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
        body += QuotedPrintable(value.toUtf8()) + "\r\n";
    }
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"" + DispositionFileName(fileField) +
            "\"; filename=\"" + DispositionFileName(QFileInfo(filePath).fileName()) + "\"\r\n";
    body += "Content-Type: " + MimeTypeOfFile(filePath) + "\r\n";
    body += "Content-Transfer-Encoding: binary\r\n\r\n";
    body += content + "\r\n";
    body += "--" + boundary + "--\r\n";

    QNetworkRequest request = MakeRequest(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArray("multipart/form-data; boundary=" + boundary));
    Exchange ex = Wait(FNet->post(request, body));
    if (ex.Error) {
        qCDebug(lcCloud) << "POST" << CallOf(url) << "failed:" << ex.Error->Message;
        result.Error = ex.Error;
        return result;
    }
    result.Reply = QString::fromLocal8Bit(ex.Body);
    qCDebug(lcCloud).noquote() << "POST" << CallOf(url) << "->" << result.Reply;
    return result;
}

std::optional<QUrl> CloudClient::ApiUrl(const QString& path,
                                        const QList<std::pair<QString, QString>>& params,
                                        TCloudError* error) const {
    QByteArray encoded = FServer.toEncoded() + "/api.php/" + path.toLatin1();
    for (const auto& [name, value] : params) {
        const auto segment = PathSegment(value);
        if (!segment) {
            if (error)
                *error = TCloudError{TCloudError::Kind::BadRequest, 0,
                                     QStringLiteral("\"%1\" cannot be sent as %2").arg(value, name)};
            return std::nullopt;
        }
        encoded += '/' + name.toLatin1() + '/' + *segment;
    }
    return QUrl::fromEncoded(encoded, QUrl::StrictMode);
}

template <class T>
TCloudResult<T> CloudClient::GetCall(const QString& path,
                                     const QList<std::pair<QString, QString>>& params) {
    TCloudResult<T> result;
    TCloudError urlError;
    const auto url = ApiUrl(path, params, &urlError);
    if (!url) {
        result.Error = urlError;
        return result;
    }
    const TCloudResult<QString> text = Http_Get(*url);
    if (text.Error) {
        result.Error = text.Error;
        return result;
    }
    if (text.Reply.isEmpty())
        return result;
    QString why;
    if (!ReadReply(text.Reply, result.Reply, &why))
        result.Error = TCloudError{TCloudError::Kind::BadReply, 0, why};
    return result;
}

template <class T>
TCloudResult<T> CloudClient::FormCall(const QString& path, const TFormFields& fields) {
    TCloudResult<T> result;
    const QString text = Http_PostForm(*ApiUrl(path), fields);
    if (text.isEmpty())
        return result;
    QString why;
    if (!ReadReply(text, result.Reply, &why))
        result.Error = TCloudError{TCloudError::Kind::BadReply, 0, why};
    return result;
}

TCloudResult<TProductsList> CloudClient::Index_ProductList() {
    return GetCall<TProductsList>(QStringLiteral("Index/productlist"), {});
}

TCloudResult<TNewsList> CloudClient::Index_NewsList() {
    return GetCall<TNewsList>(QStringLiteral("Index/newslist"), {});
}

TCloudResult<TUserRead> CloudClient::User_Login(const QString& account, const QString& password) {
    return GetCall<TUserRead>(QStringLiteral("User/login"),
                              {{QStringLiteral("account"), account},
                               {QStringLiteral("password"), Md5Hex(password)}});
}

TCloudResult<TJSInfoReturn> CloudClient::User_Register(const QString& account,
                                                       const QString& password,
                                                       const QString& nickname,
                                                       const QString& email, const QString& name,
                                                       const QString& tel, const QString& address,
                                                       const QString& remark) {
    return FormCall<TJSInfoReturn>(QStringLiteral("User/register"),
                                   {{QStringLiteral("account"), account},
                                    {QStringLiteral("password"), password},
                                    {QStringLiteral("nickname"), nickname},
                                    {QStringLiteral("email"), email},
                                    {QStringLiteral("name"), name},
                                    {QStringLiteral("tel"), tel},
                                    {QStringLiteral("address"), address},
                                    {QStringLiteral("remark"), remark}});
}

TCloudResult<TJSInfoReturn> CloudClient::User_Edit(const QString& account, const QString& password,
                                                   const QString& id, const QString& nickname,
                                                   const QString& email, const QString& name,
                                                   const QString& tel, const QString& address,
                                                   const QString& remark) {
    return FormCall<TJSInfoReturn>(QStringLiteral("User/edit"),
                                   {{QStringLiteral("account"), account},
                                    {QStringLiteral("password"), Md5Hex(password)},
                                    {QStringLiteral("id"), id},
                                    {QStringLiteral("nickname"), nickname},
                                    {QStringLiteral("email"), email},
                                    {QStringLiteral("name"), name},
                                    {QStringLiteral("tel"), tel},
                                    {QStringLiteral("address"), address},
                                    {QStringLiteral("remark"), remark}});
}

TCloudResult<TJSInfoReturn> CloudClient::User_Password(const QString& account,
                                                       const QString& oldPassword,
                                                       const QString& id,
                                                       const QString& newPassword) {
    return GetCall<TJSInfoReturn>(QStringLiteral("User/edit"),
                                  {{QStringLiteral("account"), account},
                                   {QStringLiteral("password"), Md5Hex(oldPassword)},
                                   {QStringLiteral("id"), id},
                                   {QStringLiteral("newpassword"), newPassword}});
}

TCloudResult<TJSInfoReturn> CloudClient::Index_Feedback(const QString& msg, const QString& contact,
                                                        const QString& system) {
    // The server expects this one path with a trailing "/".
    return FormCall<TJSInfoReturn>(QStringLiteral("Index/feedback/"),
                                   {{QStringLiteral("msg"), msg},
                                    {QStringLiteral("contact"), contact},
                                    {QStringLiteral("system"), system}});
}

TCloudResult<TDevActive> CloudClient::Device_Active(const QString& account, const QString& password,
                                                    const QString& mac,
                                                    const QString& activationCode) {
    return FormCall<TDevActive>(QStringLiteral("Device/active"),
                                {{QStringLiteral("account"), account},
                                 {QStringLiteral("password"), Md5Hex(password)},
                                 {QStringLiteral("mac"), mac},
                                 {QStringLiteral("devicepass"), activationCode}});
}

TCloudResult<TCloudDevs> CloudClient::Device_Download(const QString& account,
                                                      const QString& password) {
    return FormCall<TCloudDevs>(QStringLiteral("Device/download"),
                                {{QStringLiteral("account"), account},
                                 {QStringLiteral("password"), Md5Hex(password)}});
}

TCloudResult<TJSInfoReturn> CloudClient::Device_Delete(const QString& account,
                                                       const QString& password,
                                                       const QString& mac) {
    return GetCall<TJSInfoReturn>(QStringLiteral("Device/delete"),
                                  {{QStringLiteral("account"), account},
                                   {QStringLiteral("password"), Md5Hex(password)},
                                   {QStringLiteral("mac"), mac}});
}

TCloudResult<TJSInfoReturn> CloudClient::Device_Update(const QString& account,
                                                       const QString& password,
                                                       const QString& mac, const QString& name,
                                                       const QString& devicePassword) {
    return FormCall<TJSInfoReturn>(QStringLiteral("Device/update"),
                                   {{QStringLiteral("account"), account},
                                    {QStringLiteral("password"), Md5Hex(password)},
                                    {QStringLiteral("mac"), mac},
                                    {QStringLiteral("name"), name},
                                    {QStringLiteral("pass"), devicePassword}});
}

TCloudResult<TJSInfoReturn> CloudClient::Device_UploadImg(const QString& account,
                                                          const QString& password,
                                                          const QString& mac,
                                                          const QString& filePath) {
    TCloudResult<TJSInfoReturn> result;
    const TCloudResult<QString> text =
        Http_PostMultipart(*ApiUrl(QStringLiteral("Device/update")),
                           {{QStringLiteral("account"), account},
                            {QStringLiteral("password"), Md5Hex(password)},
                            {QStringLiteral("mac"), mac}},
                           QStringLiteral("img"), filePath);
    if (text.Error) {
        result.Error = text.Error;
        return result;
    }
    if (text.Reply.isEmpty())
        return result;
    QString why;
    if (!ReadReply(text.Reply, result.Reply, &why))
        result.Error = TCloudError{TCloudError::Kind::BadReply, 0, why};
    return result;
}

TCloudResult<TFeedBackList> CloudClient::Feedback_FeedList(const QString& account,
                                                           const QString& password) {
    return GetCall<TFeedBackList>(QStringLiteral("Feedback/feedlist"),
                                  {{QStringLiteral("account"), account},
                                   {QStringLiteral("password"), Md5Hex(password)}});
}

TCloudResult<TJSInfoReturn> CloudClient::Feedback_Add(const QString& account,
                                                      const QString& password, const QString& msg) {
    return FormCall<TJSInfoReturn>(QStringLiteral("Feedback/add"),
                                   {{QStringLiteral("account"), account},
                                    {QStringLiteral("password"), Md5Hex(password)},
                                    {QStringLiteral("msg"), msg}});
}

// --- with a login state -------------------------------------------------------------------------

TCloudResult<TJSInfoReturn> CloudClient::User_Edit(const TCloudSession& session,
                                                   const QString& nickname, const QString& email,
                                                   const QString& name, const QString& tel,
                                                   const QString& address, const QString& remark) {
    return User_Edit(session.Account(), session.Password(), session.UserID, nickname, email, name,
                     tel, address, remark);
}

TCloudResult<TJSInfoReturn> CloudClient::User_Password(const TCloudSession& session,
                                                       const QString& oldPassword,
                                                       const QString& newPassword) {
    return User_Password(session.Account(), oldPassword, session.UserID, newPassword);
}

TCloudResult<TDevActive> CloudClient::Device_Active(const TCloudSession& session,
                                                    const QString& mac,
                                                    const QString& activationCode) {
    return Device_Active(session.Account(), session.Password(), mac, activationCode);
}

TCloudResult<TCloudDevs> CloudClient::Device_Download(const TCloudSession& session) {
    return Device_Download(session.Account(), session.Password());
}

TCloudResult<TJSInfoReturn> CloudClient::Device_Delete(const TCloudSession& session,
                                                       const QString& mac) {
    return Device_Delete(session.Account(), session.Password(), mac);
}

TCloudResult<TJSInfoReturn> CloudClient::Device_Update(const TCloudSession& session,
                                                       const QString& mac, const QString& name,
                                                       const QString& devicePassword) {
    return Device_Update(session.Account(), session.Password(), mac, name, devicePassword);
}

TCloudResult<TJSInfoReturn> CloudClient::Device_UploadImg(const TCloudSession& session,
                                                          const QString& mac,
                                                          const QString& filePath) {
    return Device_UploadImg(session.Account(), session.Password(), mac, filePath);
}

TCloudResult<TFeedBackList> CloudClient::Feedback_FeedList(const TCloudSession& session) {
    return Feedback_FeedList(session.Account(), session.Password());
}

TCloudResult<TJSInfoReturn> CloudClient::Feedback_Add(const TCloudSession& session,
                                                      const QString& msg) {
    return Feedback_Add(session.Account(), session.Password(), msg);
}

// --- pictures -----------------------------------------------------------------------------------

QImage CloudClient::LoadUrlImage(const QString& url) {
    if (url.isEmpty())
        return {};
    // Addresses come from cloud replies: only web addresses, relative ones on the server itself.
    QUrl target = QUrl(url, QUrl::TolerantMode);
    if (target.isRelative())
        target = QUrl::fromEncoded(FServer.toEncoded() + '/').resolved(target);
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    const QString ext = QFileInfo(target.path()).suffix().toLower();
    if (ext != QLatin1String("jpg") && ext != QLatin1String("jpeg"))
        return {};

    const Exchange ex = Wait(FNet->get(MakeRequest(target)));
    if (ex.Error) {
        qCDebug(lcCloud) << "picture" << target.path() << "failed:" << ex.Error->Message;
        return {};
    }
    QImage image;
    image.loadFromData(ex.Body);
    return image;
}

void CloudClient::LoadUrlImageInto(QImage& target, const QString& url) {
    target = LoadUrlImage(url);
}
