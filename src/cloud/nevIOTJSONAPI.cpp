#include "nevIOTJSONAPI.h"

#include "QuilletConfig.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimer>

#include <memory>

Q_LOGGING_CATEGORY(lcCloud, "quillet.cloud")

namespace {

const char* const AboutPath = "/index.php/Page/detail/item/about";
constexpr qint64 ReadAheadBytes = 256 * 1024;

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

// The call of an address for the debug log and for messages: its path without the parameters
// that follow the call (they hold a password digest, and a new password in clear).
QString CallOf(const QUrl& url) {
    const QString path = url.path();
    const qsizetype api = path.indexOf(QLatin1String("/api.php/"));
    if (api < 0)
        return path;
    const QStringList parts = path.mid(api + 9).split(QLatin1Char('/'));
    return QStringLiteral("/api.php/") + parts.mid(0, 2).join(QLatin1Char('/'));
}

// host:port of an address, the port written out even when it is the scheme's default.
QString AuthorityOf(const QUrl& url) {
    const int port =
        url.port(url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80);
    return QStringLiteral("%1:%2").arg(url.host()).arg(port);
}

bool SameServer(const QUrl& a, const QUrl& b) {
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           AuthorityOf(a).compare(AuthorityOf(b), Qt::CaseInsensitive) == 0;
}

// A library message with every form of the address replaced by its call, so that no parameter
// of the path reaches a log or a terminal.
QString Scrubbed(QString text, const QUrl& url) {
    const QString call = CallOf(url);
    for (const QString& form : {url.toString(), url.toDisplayString(), QString::fromLatin1(url.toEncoded())})
        if (!form.isEmpty())
            text.replace(form, call);
    return text;
}

// A reply text for the debug log: the values of members whose name holds "pass" (password,
// pass, newpassword, devicepass) are masked, and a long reply is cut.
QString ForLog(const QString& text) {
    static const QRegularExpression secret(
        QStringLiteral(R"(("[^"\\]*pass[^"\\]*"\s*:\s*)("(?:[^"\\]|\\.)*"|[^,}\]\s]+))"),
        QRegularExpression::CaseInsensitiveOption);
    constexpr qsizetype MaxLogged = 4000;
    QString out = text;
    out.replace(secret, QStringLiteral("\\1\"***\""));
    if (out.size() > MaxLogged)
        out = out.left(MaxLogged) + QStringLiteral("... (%1 characters)").arg(text.size());
    return out;
}

// A path segment: everything a segment may carry (RFC 3986 "pchar": letters, digits, "-._~",
// "!$&'()*+,;=", ":" and "@") goes as typed, so that an account such as a@b.com reaches servers
// that match raw paths; "/", "?", "#", "%", blanks, control characters, non-ASCII and the rest
// are percent-encoded. "." and ".." cannot be sent: every HTTP stack on the way may resolve them.
std::optional<QByteArray> PathSegment(const QString& value) {
    if (value == QLatin1String(".") || value == QLatin1String(".."))
        return std::nullopt;
    return QUrl::toPercentEncoding(value, "!$&'()*+,;=:@");
}

} // namespace

// --- text helpers -------------------------------------------------------------------------------

QString Md5Hex(const QString& text) {
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
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
    // Every redirect is checked in Wait before it is followed.
    FNet->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
}

CloudClient::~CloudClient() {
    // Calls never outlive their wait, so the manager's network thread is idle here; dropping the
    // kept connections first lets its destructor stop that thread at once, before the process
    // exits (a thread still running at exit breaks the leak checker).
    FNet->clearConnectionCache();
    delete FNet;
    FNet = nullptr;
}

QUrl CloudClient::DefaultServer() {
    return QUrl(QStringLiteral(QUILLET_CLOUD_SERVER));
}

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
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    return request;
}

CloudClient::Exchange CloudClient::Wait(QNetworkReply* rawReply) {
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(
        rawReply, [](QNetworkReply* r) { r->deleteLater(); });
    enum class Stop { None, ConnectTimeout, ReadTimeout, Deadline, TooLarge, Redirect };
    Stop stop = Stop::None;
    QString redirectWhy;
    const QUrl origin = reply->url();
    const bool post = reply->operation() == QNetworkAccessManager::PostOperation;

    QEventLoop loop;
    bool connecting = true;
    // The idle timer runs for the connect time-out while a connection is being opened and is
    // restarted with the read time-out whenever the exchange makes progress; the deadline timer
    // bounds the whole call, however the server paces its bytes.
    QTimer idle;
    idle.setSingleShot(true);
    QTimer deadline;
    deadline.setSingleShot(true);
    auto end = [&](Stop why) {
        if (stop == Stop::None)
            stop = why;
        reply->abort();
    };
    connect(&idle, &QTimer::timeout, &loop,
            [&] { end(connecting ? Stop::ConnectTimeout : Stop::ReadTimeout); });
    connect(&deadline, &QTimer::timeout, &loop, [&] { end(Stop::Deadline); });
    connect(reply.get(), &QNetworkReply::socketStartedConnecting, &loop, [&] {
        connecting = true;
        idle.start(ConnectTimeoutMs);
    });
    connect(reply.get(), &QNetworkReply::requestSent, &loop, [&] {
        connecting = false;
        idle.start(ReadTimeoutMs);
    });
    connect(reply.get(), &QNetworkReply::uploadProgress, &loop, [&](qint64 sent, qint64) {
        if (sent > 0) {
            connecting = false;
            idle.start(ReadTimeoutMs);
        }
    });
    // The reply is taken as it arrives, with a small read-ahead, so the size limit holds for
    // what the network thread buffers too and an abort leaves nothing to drain.
    QByteArray body;
    reply->setReadBufferSize(ReadAheadBytes);
    connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        body += reply->readAll();
        if (body.size() > MaxReplyBytes) {
            end(Stop::TooLarge);
            return;
        }
        idle.start(ReadTimeoutMs);
    });
    // The cloud server is one address: a redirect elsewhere would carry the account and the
    // password digest to whoever it names. A form is never re-sent: 301/302/303 would turn it
    // into a GET that loses its fields and reads an unrelated page as the answer, and Qt's re-send
    // of a body on 307/308 fails at random; the calls' paths are fixed, so a form that is
    // redirected at all is a server fault worth reporting.
    connect(reply.get(), &QNetworkReply::redirected, &loop, [&](const QUrl& target) {
        const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!SameServer(origin, target))
            redirectWhy = QStringLiteral("HTTP %1 redirect to %2 refused: it leaves the server %3")
                              .arg(code)
                              .arg(AuthorityOf(target), AuthorityOf(origin));
        else if (post)
            redirectWhy = QStringLiteral("HTTP %1 redirect of a form refused").arg(code);
        if (!redirectWhy.isEmpty()) {
            end(Stop::Redirect);
            return;
        }
        emit reply->redirectAllowed();
    });
    connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    idle.start(ConnectTimeoutMs);
    deadline.start(FDeadlineMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    idle.stop();
    deadline.stop();

    Exchange ex;
    auto fail = [&](TCloudError::Kind kind, const QString& message, int httpStatus = 0) {
        ex.Error = TCloudError{kind, httpStatus, message};
    };
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    switch (stop) {
    case Stop::ConnectTimeout:
        fail(TCloudError::Kind::Timeout, QStringLiteral("no connection to %1 within %2 ms")
                                             .arg(AuthorityOf(origin))
                                             .arg(ConnectTimeoutMs));
        return ex;
    case Stop::ReadTimeout:
        fail(TCloudError::Kind::Timeout, QStringLiteral("no answer for %1 ms").arg(ReadTimeoutMs));
        return ex;
    case Stop::Deadline:
        fail(TCloudError::Kind::Timeout,
             QStringLiteral("the call did not finish within %1 ms").arg(FDeadlineMs));
        return ex;
    case Stop::TooLarge:
        fail(TCloudError::Kind::TooLarge, QStringLiteral("reply larger than %1 bytes").arg(MaxReplyBytes));
        return ex;
    case Stop::Redirect:
        fail(TCloudError::Kind::Redirect, redirectWhy, status);
        return ex;
    case Stop::None:
        break;
    }
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::NoError) {
        ex.Body = body + reply->readAll();
        ex.ContentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    } else if (status >= 400) {
        fail(TCloudError::Kind::HttpStatus,
             QStringLiteral("HTTP %1 %2")
                 .arg(status)
                 .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString())
                 .trimmed(),
             status);
    } else if (error == QNetworkReply::ConnectionRefusedError) {
        fail(TCloudError::Kind::Network, QStringLiteral("connection to %1 refused").arg(AuthorityOf(origin)));
    } else if (error == QNetworkReply::RemoteHostClosedError) {
        fail(TCloudError::Kind::Network,
             QStringLiteral("%1 closed the connection without a complete answer").arg(AuthorityOf(origin)));
    } else if (error == QNetworkReply::HostNotFoundError) {
        fail(TCloudError::Kind::Network, QStringLiteral("host %1 not found").arg(origin.host()));
    } else if (error == QNetworkReply::TooManyRedirectsError) {
        fail(TCloudError::Kind::Redirect, QStringLiteral("more than %1 redirects").arg(MaxRedirects), status);
    } else {
        fail(TCloudError::Kind::Network, Scrubbed(reply->errorString(), reply->url()));
    }
    return ex;
}

namespace {

void LogText(const char* method, const QUrl& url, const TCloudResult<QString>& r) {
    if (r.Error)
        qCDebug(lcCloud).noquote() << method << CallOf(url) << "failed:" << r.Error->Message;
    else
        qCDebug(lcCloud).noquote() << method << CallOf(url) << "->" << ForLog(r.Reply);
}

} // namespace

TCloudResult<QString> CloudClient::Http_Get(const QUrl& url) {
    TCloudResult<QString> result;
    Exchange ex = Wait(FNet->get(MakeRequest(url)));
    if (ex.Error)
        result.Error = ex.Error;
    else
        result.Reply = QString::fromLocal8Bit(ex.Body); // the platform's 8-bit text, UTF-8 here
    LogText("GET", url, result);
    return result;
}

TCloudResult<QString> CloudClient::Http_PostForm(const QUrl& url, const TFormFields& fields) {
    TCloudResult<QString> result;
    QNetworkRequest request = MakeRequest(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    Exchange ex = Wait(FNet->post(request, FormBody(fields)));
    if (ex.Error)
        result.Error = ex.Error;
    else
        result.Reply = DecodeByCharset(ex.Body, ex.ContentType);
    LogText("POST", url, result);
    return result;
}

TCloudResult<QString> CloudClient::Http_PostMultipart(const QUrl& url, const TFormFields& textParts,
                                                      const QString& fileField, const QString& filePath) {
    TCloudResult<QString> result;
    QFile file(filePath);
    QByteArray content;
    if (file.open(QIODevice::ReadOnly))
        content = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        result.Error = TCloudError{TCloudError::Kind::File, 0,
                                   QStringLiteral("cannot read %1: %2").arg(filePath, file.errorString())};
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
    body += "Content-Disposition: form-data; name=\"" + DispositionFileName(fileField) + "\"; filename=\"" +
            DispositionFileName(QFileInfo(filePath).fileName()) + "\"\r\n";
    body += "Content-Type: " + MimeTypeOfFile(filePath) + "\r\n";
    body += "Content-Transfer-Encoding: binary\r\n\r\n";
    body += content + "\r\n";
    body += "--" + boundary + "--\r\n";

    QNetworkRequest request = MakeRequest(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArray("multipart/form-data; boundary=" + boundary));
    Exchange ex = Wait(FNet->post(request, body));
    if (ex.Error)
        result.Error = ex.Error;
    else
        result.Reply = QString::fromLocal8Bit(ex.Body);
    LogText("POST", url, result);
    return result;
}

TCloudResult<QUrl> CloudClient::ApiUrl(const QString& path,
                                       const QList<std::pair<QString, QString>>& params) const {
    TCloudResult<QUrl> result;
    QByteArray encoded = FServer.toEncoded() + "/api.php/" + path.toLatin1();
    for (const auto& [name, value] : params) {
        const auto segment = PathSegment(value);
        if (!segment) {
            result.Error = TCloudError{TCloudError::Kind::BadRequest, 0,
                                       QStringLiteral("\"%1\" cannot be sent as %2").arg(value, name)};
            return result;
        }
        encoded += '/' + name.toLatin1() + '/' + *segment;
    }
    result.Reply = QUrl::fromEncoded(encoded, QUrl::StrictMode);
    const QString scheme = result.Reply.scheme().toLower();
    if (!result.Reply.isValid() || result.Reply.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        result.Error =
            TCloudError{TCloudError::Kind::BadRequest, 0,
                        QStringLiteral("the cloud server address \"%1\" is not an http or https address")
                            .arg(FServer.toDisplayString())};
    return result;
}

template <class T> TCloudResult<T> CloudClient::ReadCall(const TCloudResult<QString>& text) {
    TCloudResult<T> result;
    if (text.Error) {
        result.Error = text.Error;
    } else if (text.Reply.isEmpty()) {
        result.Error = TCloudError{TCloudError::Kind::BadReply, 0, QStringLiteral("empty reply")};
    } else {
        QString why;
        if (!ReadReply(text.Reply, result.Reply, &why))
            result.Error =
                TCloudError{TCloudError::Kind::BadReply, 0, QStringLiteral("unreadable reply: %1").arg(why)};
    }
    return result;
}

template <class T>
TCloudResult<T> CloudClient::GetCall(const QString& path, const QList<std::pair<QString, QString>>& params) {
    const TCloudResult<QUrl> url = ApiUrl(path, params);
    if (url.Error)
        return TCloudResult<T>{{}, url.Error};
    return ReadCall<T>(Http_Get(url.Reply));
}

template <class T> TCloudResult<T> CloudClient::FormCall(const QString& path, const TFormFields& fields) {
    const TCloudResult<QUrl> url = ApiUrl(path);
    if (url.Error)
        return TCloudResult<T>{{}, url.Error};
    return ReadCall<T>(Http_PostForm(url.Reply, fields));
}

TCloudResult<TProductsList> CloudClient::Index_ProductList() {
    return GetCall<TProductsList>(QStringLiteral("Index/productlist"), {});
}

TCloudResult<TNewsList> CloudClient::Index_NewsList() {
    return GetCall<TNewsList>(QStringLiteral("Index/newslist"), {});
}

TCloudResult<TUserRead> CloudClient::User_Login(const QString& account, const QString& password) {
    return GetCall<TUserRead>(QStringLiteral("User/login"), {{QStringLiteral("account"), account},
                                                             {QStringLiteral("password"), Md5Hex(password)}});
}

TCloudResult<TJSInfoReturn> CloudClient::User_Register(const QString& account, const QString& password,
                                                       const QString& nickname, const QString& email,
                                                       const QString& name, const QString& tel,
                                                       const QString& address, const QString& remark) {
    return FormCall<TJSInfoReturn>(QStringLiteral("User/register"), {{QStringLiteral("account"), account},
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

TCloudResult<TJSInfoReturn> CloudClient::User_Password(const QString& account, const QString& oldPassword,
                                                       const QString& id, const QString& newPassword) {
    return GetCall<TJSInfoReturn>(QStringLiteral("User/edit"),
                                  {{QStringLiteral("account"), account},
                                   {QStringLiteral("password"), Md5Hex(oldPassword)},
                                   {QStringLiteral("id"), id},
                                   {QStringLiteral("newpassword"), newPassword}});
}

TCloudResult<TJSInfoReturn> CloudClient::Index_Feedback(const QString& msg, const QString& contact,
                                                        const QString& system) {
    // The server expects this one path with a trailing "/".
    return FormCall<TJSInfoReturn>(QStringLiteral("Index/feedback/"), {{QStringLiteral("msg"), msg},
                                                                       {QStringLiteral("contact"), contact},
                                                                       {QStringLiteral("system"), system}});
}

TCloudResult<TDevActive> CloudClient::Device_Active(const QString& account, const QString& password,
                                                    const QString& mac, const QString& activationCode) {
    return FormCall<TDevActive>(QStringLiteral("Device/active"),
                                {{QStringLiteral("account"), account},
                                 {QStringLiteral("password"), Md5Hex(password)},
                                 {QStringLiteral("mac"), mac},
                                 {QStringLiteral("devicepass"), activationCode}});
}

TCloudResult<TCloudDevs> CloudClient::Device_Download(const QString& account, const QString& password) {
    return FormCall<TCloudDevs>(
        QStringLiteral("Device/download"),
        {{QStringLiteral("account"), account}, {QStringLiteral("password"), Md5Hex(password)}});
}

TCloudResult<TJSInfoReturn> CloudClient::Device_Delete(const QString& account, const QString& password,
                                                       const QString& mac) {
    return GetCall<TJSInfoReturn>(QStringLiteral("Device/delete"),
                                  {{QStringLiteral("account"), account},
                                   {QStringLiteral("password"), Md5Hex(password)},
                                   {QStringLiteral("mac"), mac}});
}

TCloudResult<TJSInfoReturn> CloudClient::Device_Update(const QString& account, const QString& password,
                                                       const QString& mac, const QString& name,
                                                       const QString& devicePassword) {
    return FormCall<TJSInfoReturn>(QStringLiteral("Device/update"),
                                   {{QStringLiteral("account"), account},
                                    {QStringLiteral("password"), Md5Hex(password)},
                                    {QStringLiteral("mac"), mac},
                                    {QStringLiteral("name"), name},
                                    {QStringLiteral("pass"), devicePassword}});
}

TCloudResult<TJSInfoReturn> CloudClient::Device_UploadImg(const QString& account, const QString& password,
                                                          const QString& mac, const QString& filePath) {
    const TCloudResult<QUrl> url = ApiUrl(QStringLiteral("Device/update"));
    if (url.Error)
        return TCloudResult<TJSInfoReturn>{{}, url.Error};
    return ReadCall<TJSInfoReturn>(Http_PostMultipart(url.Reply,
                                                      {{QStringLiteral("account"), account},
                                                       {QStringLiteral("password"), Md5Hex(password)},
                                                       {QStringLiteral("mac"), mac}},
                                                      QStringLiteral("img"), filePath));
}

TCloudResult<TFeedBackList> CloudClient::Feedback_FeedList(const QString& account, const QString& password) {
    return GetCall<TFeedBackList>(
        QStringLiteral("Feedback/feedlist"),
        {{QStringLiteral("account"), account}, {QStringLiteral("password"), Md5Hex(password)}});
}

TCloudResult<TJSInfoReturn> CloudClient::Feedback_Add(const QString& account, const QString& password,
                                                      const QString& msg) {
    return FormCall<TJSInfoReturn>(QStringLiteral("Feedback/add"),
                                   {{QStringLiteral("account"), account},
                                    {QStringLiteral("password"), Md5Hex(password)},
                                    {QStringLiteral("msg"), msg}});
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
