#include "CloudSim.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QSaveFile>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace {

const char HexLower[] = "0123456789abcdef";

void AppendEscaped(QByteArray& out, const QString& s, bool rawNonAscii) {
    out.append('"');
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t u = s.at(i).unicode();
        switch (u) {
        case '"':
            out.append("\\\"");
            continue;
        case '\\':
            out.append("\\\\");
            continue;
        case '\n':
            out.append("\\n");
            continue;
        case '\r':
            out.append("\\r");
            continue;
        case '\t':
            out.append("\\t");
            continue;
        default:
            break;
        }
        if (u < 0x80 && u >= 0x20) {
            out.append(char(u));
        } else if (u >= 0x80 && rawNonAscii) {
            // The character's own UTF-8 bytes; a surrogate pair is one character.
            const qsizetype n =
                (s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) ? 2 : 1;
            out.append(s.mid(i, n).toUtf8());
            i += n - 1;
        } else {
            out.append("\\u");
            out.append(HexLower[(u >> 12) & 0xF]);
            out.append(HexLower[(u >> 8) & 0xF]);
            out.append(HexLower[(u >> 4) & 0xF]);
            out.append(HexLower[u & 0xF]);
        }
    }
    out.append('"');
}

void Write(QByteArray& out, const SimJson& v, bool raw, bool reversed) {
    switch (v.kind) {
    case SimJson::Kind::String:
        AppendEscaped(out, v.text, raw);
        break;
    case SimJson::Kind::Number:
        out.append(v.text.toLatin1());
        break;
    case SimJson::Kind::Null:
        out.append("null");
        break;
    case SimJson::Kind::Object: {
        out.append('{');
        QList<std::pair<QString, SimJson>> members = v.members;
        if (reversed)
            std::reverse(members.begin(), members.end());
        bool first = true;
        for (const auto& [name, value] : members) {
            if (!first)
                out.append(',');
            first = false;
            AppendEscaped(out, name, raw);
            out.append(':');
            Write(out, value, raw, reversed);
        }
        out.append('}');
        break;
    }
    case SimJson::Kind::Array: {
        out.append('[');
        bool first = true;
        for (const SimJson& item : v.items) {
            if (!first)
                out.append(',');
            first = false;
            Write(out, item, raw, reversed);
        }
        out.append(']');
        break;
    }
    }
}

QString Md5(const QString& text) {
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

qint64 Now() {
    return QDateTime::currentSecsSinceEpoch();
}

// A small picture with colour bands derived from `seed`.
QByteArray MakeJpeg(int seed) {
    QImage img(120, 120, QImage::Format_RGB32);
    const QColor base = QColor::fromHsv((seed * 67) % 360, 160, 220);
    img.fill(base);
    QPainter p(&img);
    p.fillRect(0, 80, 120, 40, base.darker(150));
    p.fillRect(20, 20, 40, 40, Qt::white);
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "JPG", 85);
    return bytes;
}

bool IsJpeg(const QByteArray& b) {
    return b.size() > 3 && quint8(b[0]) == 0xFF && quint8(b[1]) == 0xD8 && quint8(b[2]) == 0xFF;
}

bool IsServerMac(const QString& mac) {
    if (mac.size() != 12)
        return false;
    for (const QChar c : mac)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    return true;
}

// One item of the refusal list; quoted when it holds a separator.
QString InfoItem(const QString& s) {
    if (s.contains(QLatin1Char(',')) || s.contains(QLatin1Char(' ')) || s.contains(QLatin1Char('"')) ||
        s.isEmpty())
        return QLatin1Char('"') + QString(s).replace(QLatin1String("\""), QLatin1String("\"\"")) +
               QLatin1Char('"');
    return s;
}

} // namespace

QByteArray SimJson::Serialize(bool rawNonAscii, bool reversed) const {
    QByteArray out;
    Write(out, *this, rawNonAscii, reversed);
    return out;
}

// --- request parsing ----------------------------------------------------------------------------

namespace SimHttp {

QStringList Segments(const QByteArray& encodedPath) {
    QStringList out;
    const QList<QByteArray> parts = encodedPath.split('/');
    for (qsizetype i = 1; i < parts.size(); ++i)
        out.append(QUrl::fromPercentEncoding(parts.at(i)));
    return out;
}

QHash<QString, QString> ParseForm(const QByteArray& body) {
    QHash<QString, QString> out;
    if (body.isEmpty())
        return out;
    for (QByteArray pair : body.split('&')) {
        pair.replace('+', ' ');
        const qsizetype eq = pair.indexOf('=');
        const QByteArray name = eq < 0 ? pair : pair.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        out.insert(QUrl::fromPercentEncoding(name), QUrl::fromPercentEncoding(value));
    }
    return out;
}

QByteArray DecodeQuotedPrintable(const QByteArray& in) {
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c != '=') {
            out.append(c);
            continue;
        }
        if (i + 2 < in.size() + 0 && in.at(i + 1) == '\r' && in.at(i + 2) == '\n') {
            i += 2; // soft line break
            continue;
        }
        if (i + 1 < in.size() && in.at(i + 1) == '\n') {
            i += 1;
            continue;
        }
        bool ok = false;
        const int v = i + 2 < in.size() ? in.mid(i + 1, 2).toInt(&ok, 16) : 0;
        if (ok) {
            out.append(char(v));
            i += 2;
        } else {
            out.append(c);
        }
    }
    return out;
}

std::optional<QList<Part>> ParseMultipart(const QByteArray& body, const QByteArray& boundary) {
    if (boundary.isEmpty())
        return std::nullopt;
    const QByteArray delim = "--" + boundary;
    QList<Part> parts;
    qsizetype pos = body.indexOf(delim);
    if (pos < 0)
        return std::nullopt;
    while (true) {
        pos += delim.size();
        if (body.mid(pos, 2) == "--")
            return parts; // closing delimiter
        if (body.mid(pos, 2) != "\r\n")
            return std::nullopt;
        pos += 2;
        const qsizetype headEnd = body.indexOf("\r\n\r\n", pos);
        if (headEnd < 0)
            return std::nullopt;
        const qsizetype next = body.indexOf("\r\n" + delim, headEnd + 4);
        if (next < 0)
            return std::nullopt;
        Part part;
        for (const QByteArray& line : body.mid(pos, headEnd - pos).split('\n')) {
            const QByteArray l = line.trimmed();
            const qsizetype colon = l.indexOf(':');
            if (colon > 0)
                part.headers.insert(l.left(colon).trimmed().toLower(), l.mid(colon + 1).trimmed());
        }
        part.data = body.mid(headEnd + 4, next - (headEnd + 4));
        if (part.headers.value("content-transfer-encoding").toLower() == "quoted-printable")
            part.data = DecodeQuotedPrintable(part.data);
        for (QByteArray p : part.headers.value("content-disposition").split(';')) {
            p = p.trimmed();
            auto value = [&](qsizetype from) {
                QByteArray v = p.mid(from);
                if (v.startsWith('"') && v.endsWith('"') && v.size() >= 2)
                    v = v.mid(1, v.size() - 2);
                return QString::fromUtf8(v);
            };
            if (p.startsWith("name="))
                part.name = value(5);
            else if (p.startsWith("filename="))
                part.fileName = value(9);
        }
        parts.append(part);
        pos = next + 2;
    }
}

} // namespace SimHttp

// --- server -------------------------------------------------------------------------------------

CloudSim::CloudSim(QObject* parent) : QAbstractHttpServer(parent) {}

QString CloudSim::AddAccount(const QString& account, const QString& password) {
    if (account.isEmpty() || password.isEmpty())
        return QStringLiteral("an account needs a name and a password");
    if (FindAccount(account))
        return QStringLiteral("account %1 exists").arg(account);
    Account a;
    a.id = NextId();
    a.account = account;
    a.password = password;
    a.nickname = account;
    a.createTime = a.updateTime = Now();
    FAccounts.append(a);
    return {};
}

QString CloudSim::AddDevice(const QMap<QString, QString>& props) {
    static const QStringList known{
        QStringLiteral("mac"),     QStringLiteral("code"),    QStringLiteral("name"),
        QStringLiteral("pass"),    QStringLiteral("type"),    QStringLiteral("func"),
        QStringLiteral("hardver"), QStringLiteral("softver"), QStringLiteral("owner"),
        QStringLiteral("remote"),  QStringLiteral("refuse"),  QStringLiteral("img")};
    for (auto it = props.cbegin(); it != props.cend(); ++it)
        if (!known.contains(it.key()))
            return QStringLiteral("unknown device property %1").arg(it.key());
    Device d;
    d.mac = props.value(QStringLiteral("mac")).remove(QLatin1Char('-')).remove(QLatin1Char(':')).toLower();
    if (!IsServerMac(d.mac))
        return QStringLiteral("a device needs mac=<12 hexadecimal digits>");
    if (FindDevice(d.mac))
        return QStringLiteral("device %1 exists").arg(d.mac);
    d.id = NextId();
    d.code = props.value(QStringLiteral("code"), QStringLiteral("1234"));
    d.name = props.value(QStringLiteral("name"), QStringLiteral("Device %1").arg(d.mac.right(4)));
    d.pass = props.value(QStringLiteral("pass"), QStringLiteral("qorvu"));
    d.type = props.value(QStringLiteral("type"), d.type);
    d.func = props.value(QStringLiteral("func"), d.func);
    d.hardver = props.value(QStringLiteral("hardver"), d.hardver);
    d.softver = props.value(QStringLiteral("softver"), d.softver);
    d.remote = props.value(QStringLiteral("remote"), QStringLiteral("1")) != QLatin1String("0");
    if (props.contains(QStringLiteral("refuse"))) {
        bool ok = false;
        d.refuse = props.value(QStringLiteral("refuse")).toInt(&ok);
        if (!ok || d.refuse < 0 || d.refuse > 4)
            return QStringLiteral("refuse=<0..4>");
    }
    if (props.value(QStringLiteral("img")) == QLatin1String("1")) {
        d.jpeg = MakeJpeg(int(d.id.toLongLong()));
        d.imgVersion = 1;
    }
    if (props.contains(QStringLiteral("owner"))) {
        const Account* a = FindAccount(props.value(QStringLiteral("owner")));
        if (!a)
            return QStringLiteral("owner %1 is not an account (give --account first)")
                .arg(props.value(QStringLiteral("owner")));
        d.ownerId = a->id;
        d.createTime = Now();
    }
    FDevices.append(d);
    return {};
}

QString CloudSim::AddSupportReply(const QString& account, const QString& text) {
    const Account* a = FindAccount(account);
    if (!a)
        return QStringLiteral("%1 is not an account (give --account first)").arg(account);
    Message m;
    m.id = NextId();
    m.uid = a->id;
    m.msg = text;
    m.fromSupport = true;
    m.createTime = Now();
    FMessages.append(m);
    return {};
}

void CloudSim::AddNews(const QString& title) {
    News n;
    n.id = NextId();
    n.title = title;
    n.createTime = Now();
    n.jpeg = MakeJpeg(int(n.id.toLongLong()));
    FNews.append(n);
}

void CloudSim::AddProduct(const QString& name, const QString& sn) {
    Product p;
    p.id = NextId();
    p.name = name;
    p.sn = sn;
    p.createTime = Now();
    p.jpeg = MakeJpeg(int(p.id.toLongLong()));
    FProducts.append(p);
}

QString CloudSim::AddNewsLinking(const QString& title, const QString& weburl, qint64 createTime) {
    AddNews(title);
    FNews.last().weburl = weburl;
    FNews.last().createTime = createTime;
    return FNews.last().id;
}

void CloudSim::AddDefaultContent() {
    AddProduct(QStringLiteral("Relay board 4 channels"), QStringLiteral("QRB-4"));
    AddProduct(QStringLiteral("WiFi IO mini 继电器"), QStringLiteral("QIO-MINI"));
    AddNews(QStringLiteral("Firmware 2.1 released"));
    AddNews(QStringLiteral("新品发布：八路继电器"));
}

CloudSim::Account* CloudSim::FindAccount(const QString& account) {
    for (Account& a : FAccounts)
        if (a.account == account)
            return &a;
    return nullptr;
}

CloudSim::Device* CloudSim::FindDevice(const QString& mac) {
    for (Device& d : FDevices)
        if (d.mac == mac)
            return &d;
    return nullptr;
}

CloudSim::Account* CloudSim::Auth(const QString& account, const QString& md5) {
    Account* a = FindAccount(account);
    if (!a || Md5(a->password) != md5)
        return nullptr;
    return a;
}

int CloudSim::UnreadReplies(const QString& uid) const {
    int n = 0;
    for (const Message& m : FMessages)
        if (m.uid == uid && m.fromSupport && m.readTime == 0)
            ++n;
    return n;
}

CloudSim::Reply CloudSim::Json(const SimJson& value) const {
    return {200, "application/json; charset=utf-8", value.Serialize(FFaults.rawNonAscii, FFaults.reorder)};
}

CloudSim::Reply CloudSim::Envelope(int status, const QString& info, const SimJson& data) const {
    return Json(SimJson::Object({{QStringLiteral("status"), SimJson::Num(status)},
                                 {QStringLiteral("info"), SimJson::Str(info)},
                                 {QStringLiteral("data"), data}}));
}

CloudSim::Reply CloudSim::Page(const QString& title, const QString& text) const {
    const QString html =
        QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
                       "<body><h1>%1</h1><p>%2</p></body></html>\n")
            .arg(title.toHtmlEscaped(), text.toHtmlEscaped());
    return {200, "text/html; charset=utf-8", html.toUtf8()};
}

SimJson CloudSim::UserJson(const Account& a, qint64 shownLoginTime, const QString& shownLoginIp) const {
    auto s = [](const QString& v) { return SimJson::Str(v); };
    return SimJson::Object({
        {QStringLiteral("id"), s(a.id)},
        {QStringLiteral("account"), s(a.account)},
        {QStringLiteral("nickname"), s(a.nickname)},
        {QStringLiteral("password"), s(Md5(a.password))},
        {QStringLiteral("bind_account"), s(QString())},
        {QStringLiteral("last_login_time"), s(QString::number(shownLoginTime))},
        {QStringLiteral("last_login_ip"), s(shownLoginIp)},
        {QStringLiteral("login_count"), SimJson::Num(a.loginCount)},
        {QStringLiteral("verify"), s(QString())},
        {QStringLiteral("email"), s(a.email)},
        {QStringLiteral("name"), s(a.name)},
        {QStringLiteral("tel"), s(a.tel)},
        {QStringLiteral("address"), s(a.address)},
        {QStringLiteral("remark"), s(a.remark)},
        {QStringLiteral("create_time"), s(QString::number(a.createTime))},
        {QStringLiteral("update_time"), s(QString::number(a.updateTime))},
        {QStringLiteral("status"), s(QStringLiteral("1"))},
        {QStringLiteral("type_id"), s(QStringLiteral("1"))},
        {QStringLiteral("admininfo"), SimJson::Null()},
        {QStringLiteral("newscount"), SimJson::Num(0)},
        {QStringLiteral("newstime"), s(QString())},
        {QStringLiteral("feedbackcount"), SimJson::Num(UnreadReplies(a.id))},
    });
}

SimJson CloudSim::DeviceJson(const Device& d, bool withImg, const QString& base) const {
    auto s = [](const QString& v) { return SimJson::Str(v); };
    QList<std::pair<QString, SimJson>> m{
        {QStringLiteral("id"), s(d.id)},           {QStringLiteral("mac"), s(d.mac)},
        {QStringLiteral("name"), s(d.name)},       {QStringLiteral("pass"), s(d.pass)},
        {QStringLiteral("func"), s(d.func)},       {QStringLiteral("_type"), s(d.type)},
        {QStringLiteral("hardver"), s(d.hardver)}, {QStringLiteral("softver"), s(d.softver)},
    };
    if (withImg)
        m.append(
            {QStringLiteral("img"),
             s(d.jpeg.isEmpty()
                   ? QString()
                   : QStringLiteral("%1/uploads/device/%2.jpg?v=%3").arg(base, d.mac).arg(d.imgVersion))});
    m.append({QStringLiteral("status"), s(QStringLiteral("1"))});
    m.append({QStringLiteral("uid"), s(d.ownerId)});
    m.append({QStringLiteral("create_time"), s(QString::number(d.createTime))});
    return SimJson::Object(m);
}

// --- the calls ----------------------------------------------------------------------------------

CloudSim::Reply CloudSim::Login(const QStringList& seg, const QString& ip) {
    Account* a = Auth(seg.value(1), seg.value(3));
    if (!a)
        return Envelope(0, QStringLiteral("Account or password error"));
    // The reply shows the previous login, then this one is recorded.
    const qint64 shownTime = a->lastLoginTime ? a->lastLoginTime : Now();
    const QString shownIp = a->lastLoginIp.isEmpty() ? ip : a->lastLoginIp;
    ++a->loginCount;
    a->lastLoginTime = Now();
    a->lastLoginIp = ip;
    return Envelope(1, QStringLiteral("Login successful"), UserJson(*a, shownTime, shownIp));
}

CloudSim::Reply CloudSim::Register(const Params& f) {
    const QString account = f.value(QStringLiteral("account"));
    const QString password = f.value(QStringLiteral("password"));
    if (account.isEmpty() || password.isEmpty())
        return Envelope(0, QStringLiteral("Account and password are required"));
    if (FindAccount(account))
        return Envelope(0, QStringLiteral("Account already exists"));
    AddAccount(account, password);
    Account* a = FindAccount(account);
    a->nickname = f.value(QStringLiteral("nickname"));
    a->email = f.value(QStringLiteral("email"));
    a->name = f.value(QStringLiteral("name"));
    a->tel = f.value(QStringLiteral("tel"));
    a->address = f.value(QStringLiteral("address"));
    a->remark = f.value(QStringLiteral("remark"));
    return Envelope(1, QStringLiteral("Register successful"));
}

CloudSim::Reply CloudSim::Edit(const Params& f) {
    Account* a = Auth(f.value(QStringLiteral("account")), f.value(QStringLiteral("password")));
    if (!a)
        return Envelope(0, QStringLiteral("Account or password error"));
    if (f.value(QStringLiteral("id")) != a->id)
        return Envelope(0, QStringLiteral("User id error"));
    // The client leaves empty fields out: an absent field is an emptied one.
    a->nickname = f.value(QStringLiteral("nickname"));
    a->email = f.value(QStringLiteral("email"));
    a->name = f.value(QStringLiteral("name"));
    a->tel = f.value(QStringLiteral("tel"));
    a->address = f.value(QStringLiteral("address"));
    a->remark = f.value(QStringLiteral("remark"));
    a->updateTime = Now();
    return Envelope(1, QStringLiteral("Update successful"));
}

CloudSim::Reply CloudSim::ChangePassword(const QStringList& seg) {
    Account* a = Auth(seg.value(1), seg.value(3));
    if (!a)
        return Envelope(0, QStringLiteral("Old password error"));
    if (seg.value(5) != a->id)
        return Envelope(0, QStringLiteral("User id error"));
    if (seg.value(7).isEmpty())
        return Envelope(0, QStringLiteral("New password is required"));
    a->password = seg.value(7);
    a->updateTime = Now();
    return Envelope(1, QStringLiteral("Password changed"));
}

CloudSim::Reply CloudSim::IndexFeedback(const Params& f) {
    if (f.value(QStringLiteral("msg")).isEmpty())
        return Envelope(0, QStringLiteral("Message is required"));
    Message m;
    m.id = NextId();
    m.msg = f.value(QStringLiteral("msg"));
    m.contact = f.value(QStringLiteral("contact"));
    m.system = f.value(QStringLiteral("system"));
    m.createTime = Now();
    FMessages.append(m);
    return Envelope(1, QStringLiteral("Thank you"));
}

CloudSim::Reply CloudSim::Activate(const Params& f) {
    Account* a = Auth(f.value(QStringLiteral("account")), f.value(QStringLiteral("password")));
    if (!a)
        return Envelope(0, QStringLiteral("4"));
    Device* d = FindDevice(f.value(QStringLiteral("mac")));
    if (!d)
        return Envelope(0, QStringLiteral("0"));
    if (d->refuse >= 0)
        return Envelope(0, d->refuse == 2 ? QStringLiteral("2,%1").arg(InfoItem(QStringLiteral("somebody")))
                                          : QString::number(d->refuse));
    if (!d->remote)
        return Envelope(0, QStringLiteral("1"));
    if (!d->ownerId.isEmpty() && d->ownerId != a->id) {
        QString owner;
        for (const Account& o : FAccounts)
            if (o.id == d->ownerId)
                owner = o.account;
        return Envelope(0, QStringLiteral("2,%1").arg(InfoItem(owner)));
    }
    if (f.value(QStringLiteral("devicepass")) != d->code.toLower())
        return Envelope(0, QStringLiteral("3"));
    if (d->ownerId.isEmpty()) {
        d->ownerId = a->id;
        d->createTime = Now();
    }
    return Envelope(1, QStringLiteral("Activation successful"), DeviceJson(*d, false, {}));
}

CloudSim::Reply CloudSim::Download(const Params& f, const QString& base) {
    Account* a = Auth(f.value(QStringLiteral("account")), f.value(QStringLiteral("password")));
    if (!a)
        return Envelope(0, QStringLiteral("Account or password error"));
    QList<SimJson> list;
    for (const Device& d : FDevices)
        if (d.ownerId == a->id)
            list.append(DeviceJson(d, true, base));
    return Envelope(1, QString(), SimJson::Array(list));
}

CloudSim::Reply CloudSim::DeleteDevice(const QStringList& seg) {
    Account* a = Auth(seg.value(1), seg.value(3));
    if (!a)
        return Envelope(0, QStringLiteral("Account or password error"));
    Device* d = FindDevice(seg.value(5));
    if (!d || d->ownerId != a->id)
        return Envelope(0, QStringLiteral("Device not found"));
    d->ownerId.clear();
    d->createTime = 0;
    return Envelope(1, QStringLiteral("Device removed"));
}

CloudSim::Reply CloudSim::UpdateDevice(const Params& f) {
    Account* a = Auth(f.value(QStringLiteral("account")), f.value(QStringLiteral("password")));
    if (!a)
        return Envelope(0, QStringLiteral("Account or password error"));
    Device* d = FindDevice(f.value(QStringLiteral("mac")));
    if (!d || d->ownerId != a->id)
        return Envelope(0, QStringLiteral("Device not found"));
    // The client leaves empty fields out; an absent field keeps its value.
    if (f.contains(QStringLiteral("name")))
        d->name = f.value(QStringLiteral("name"));
    if (f.contains(QStringLiteral("pass")))
        d->pass = f.value(QStringLiteral("pass"));
    return Envelope(1, QStringLiteral("Device updated"));
}

CloudSim::Reply CloudSim::UploadImage(const Params& f, const QByteArray& img) {
    Account* a = Auth(f.value(QStringLiteral("account")), f.value(QStringLiteral("password")));
    if (!a)
        return Envelope(0, QStringLiteral("Account or password error"));
    Device* d = FindDevice(f.value(QStringLiteral("mac")));
    if (!d || d->ownerId != a->id)
        return Envelope(0, QStringLiteral("Device not found"));
    if (!IsJpeg(img))
        return Envelope(0, QStringLiteral("Only JPEG pictures are accepted"));
    if (img.size() > 2 * 1024 * 1024)
        return Envelope(0, QStringLiteral("Picture too large"));
    d->jpeg = img;
    ++d->imgVersion;
    return Envelope(1, QStringLiteral("Upload successful"));
}

CloudSim::Reply CloudSim::FeedList(const QStringList& seg) {
    Account* a = Auth(seg.value(1), seg.value(3));
    if (!a)
        return Envelope(0, QStringLiteral("Account or password error"));
    // Support replies not yet fetched; fetching marks them read.
    QList<SimJson> list;
    for (Message& m : FMessages) {
        if (m.uid != a->id || !m.fromSupport || (m.readTime != 0 && !FRepeatReplies))
            continue;
        if (m.readTime == 0)
            m.readTime = Now();
        auto s = [](const QString& v) { return SimJson::Str(v); };
        list.append(SimJson::Object({{QStringLiteral("id"), s(m.id)},
                                     {QStringLiteral("uid"), s(m.uid)},
                                     {QStringLiteral("msg"), s(m.msg)},
                                     {QStringLiteral("contact"), s(m.contact)},
                                     {QStringLiteral("System"), s(m.system)},
                                     {QStringLiteral("_type"), s(QStringLiteral("1"))},
                                     {QStringLiteral("create_time"), s(QString::number(m.createTime))},
                                     {QStringLiteral("read_time"), s(QString::number(m.readTime))},
                                     {QStringLiteral("status"), s(QStringLiteral("1"))}}));
    }
    return Envelope(1, QString(), SimJson::Array(list));
}

CloudSim::Reply CloudSim::FeedbackAdd(const Params& f) {
    Account* a = Auth(f.value(QStringLiteral("account")), f.value(QStringLiteral("password")));
    if (!a)
        return Envelope(0, QStringLiteral("Account or password error"));
    if (f.value(QStringLiteral("msg")).isEmpty())
        return Envelope(0, QStringLiteral("Message is required"));
    Message m;
    m.id = NextId();
    m.uid = a->id;
    m.msg = f.value(QStringLiteral("msg"));
    m.createTime = Now();
    FMessages.append(m);
    if (!FAutoReply.isEmpty())
        AddSupportReply(a->account, FAutoReply);
    return Envelope(1, QStringLiteral("Message sent"));
}

CloudSim::Reply CloudSim::NewsList(const QString& base) const {
    QList<SimJson> list;
    for (const News& n : FNews)
        list.append(SimJson::Object(
            {{QStringLiteral("id"), SimJson::Str(n.id)},
             {QStringLiteral("img"), SimJson::Str(QStringLiteral("%1/uploads/news/%2.jpg").arg(base, n.id))},
             {QStringLiteral("status"), SimJson::Str(QStringLiteral("1"))},
             {QStringLiteral("title"), SimJson::Str(n.title)},
             {QStringLiteral("create_time"), SimJson::Num(n.createTime)},
             {QStringLiteral("weburl"),
              SimJson::Str(n.weburl.isEmpty()
                               ? QStringLiteral("%1/index.php/News/detail/id/%2").arg(base, n.id)
                               : n.weburl)}}));
    return Envelope(1, QString(), SimJson::Array(list));
}

CloudSim::Reply CloudSim::ProductList(const QString& base) const {
    QList<SimJson> list;
    for (const Product& p : FProducts)
        list.append(SimJson::Object(
            {{QStringLiteral("id"), SimJson::Str(p.id)},
             {QStringLiteral("sn"), SimJson::Str(p.sn)},
             {QStringLiteral("name"), SimJson::Str(p.name)},
             {QStringLiteral("img"),
              SimJson::Str(QStringLiteral("%1/uploads/product/%2.jpg").arg(base, p.id))},
             {QStringLiteral("create_time"), SimJson::Str(QString::number(p.createTime))},
             {QStringLiteral("imgtime"), SimJson::Str(QString::number(p.createTime))},
             {QStringLiteral("weburl"),
              SimJson::Str(QStringLiteral("%1/index.php/Product/detail/id/%2").arg(base, p.id))}}));
    return Envelope(1, QString(), SimJson::Array(list));
}

// --- routing ------------------------------------------------------------------------------------

CloudSim::Reply CloudSim::Api(const QString& path, const QHttpServerRequest& request, const QString& base) {
    const QStringList seg = SimHttp::Segments(request.url().path(QUrl::FullyEncoded).toLatin1()).mid(3);
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    const QByteArray contentType = request.value("Content-Type").toLower();
    const bool form = post && contentType.startsWith("application/x-www-form-urlencoded");
    const Params fields = form ? SimHttp::ParseForm(request.body()) : Params{};
    const Reply notFound{404, "text/plain", "No such call\n"};
    auto shape = [&](std::initializer_list<const char*> names) {
        if (seg.size() != qsizetype(names.size()) * 2)
            return false;
        int i = 0;
        for (const char* n : names) {
            if (seg.at(i) != QLatin1String(n))
                return false;
            i += 2;
        }
        return true;
    };

    if (path == QLatin1String("Index/productlist") && get && seg.isEmpty())
        return ProductList(base);
    if (path == QLatin1String("Index/newslist") && get && seg.isEmpty())
        return NewsList(base);
    if (path == QLatin1String("User/login") && get && shape({"account", "password"}))
        return Login(seg, request.remoteAddress().toString());
    if (path == QLatin1String("User/register") && form && seg.isEmpty())
        return Register(fields);
    if (path == QLatin1String("User/edit") && form && seg.isEmpty())
        return Edit(fields);
    if (path == QLatin1String("User/edit") && get && shape({"account", "password", "id", "newpassword"}))
        return ChangePassword(seg);
    if (path == QLatin1String("Index/feedback") && form && seg == QStringList{QString()})
        return IndexFeedback(fields);
    if (path == QLatin1String("Device/active") && form && seg.isEmpty())
        return Activate(fields);
    if (path == QLatin1String("Device/download") && form && seg.isEmpty())
        return Download(fields, base);
    if (path == QLatin1String("Device/delete") && get && shape({"account", "password", "mac"}))
        return DeleteDevice(seg);
    if (path == QLatin1String("Device/update") && form && seg.isEmpty())
        return UpdateDevice(fields);
    if (path == QLatin1String("Device/update") && post && seg.isEmpty() &&
        contentType.startsWith("multipart/form-data")) {
        QByteArray boundary;
        for (QByteArray p : request.value("Content-Type").split(';')) {
            p = p.trimmed();
            if (p.toLower().startsWith("boundary="))
                boundary = p.mid(9);
        }
        if (boundary.startsWith('"') && boundary.endsWith('"') && boundary.size() >= 2)
            boundary = boundary.mid(1, boundary.size() - 2);
        const auto parts = SimHttp::ParseMultipart(request.body(), boundary);
        if (!parts)
            return {400, "text/plain", "Malformed multipart body\n"};
        Params textFields;
        QByteArray img;
        for (const SimHttp::Part& p : *parts) {
            if (p.name == QLatin1String("img"))
                img = p.data;
            else
                textFields.insert(p.name, QString::fromUtf8(p.data));
        }
        return UploadImage(textFields, img);
    }
    if (path == QLatin1String("Feedback/feedlist") && get && shape({"account", "password"}))
        return FeedList(seg);
    if (path == QLatin1String("Feedback/add") && form && seg.isEmpty())
        return FeedbackAdd(fields);
    return notFound;
}

CloudSim::Reply CloudSim::Route(const QHttpServerRequest& request, bool& apiCall, QString& apiPath) {
    const QByteArray encodedPath = request.url().path(QUrl::FullyEncoded).toLatin1();
    const QStringList seg = SimHttp::Segments(encodedPath);
    const QString base = QStringLiteral("http://") + QString::fromLatin1(request.value("Host"));
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    apiCall = false;

    if (seg.value(0) == QLatin1String("api.php") && seg.size() >= 3) {
        apiCall = true;
        apiPath = seg.at(1) + QLatin1Char('/') + seg.at(2);
        return Api(apiPath, request, base);
    }
    if (get && encodedPath == "/index.php/Page/detail/item/about")
        return Page(
            QStringLiteral("About Quillet"),
            QStringLiteral("Quillet cloud service (simulated). Relay and I/O controller boards, anywhere."));
    if (get && seg.size() == 5 && seg.at(0) == QLatin1String("index.php") &&
        seg.at(2) == QLatin1String("detail")) {
        const QString id = seg.at(4);
        for (const News& n : FNews)
            if (n.id == id && seg.at(1) == QLatin1String("News"))
                return Page(n.title, QStringLiteral("News item %1.").arg(id));
        for (const Product& p : FProducts)
            if (p.id == id && seg.at(1) == QLatin1String("Product"))
                return Page(p.name, QStringLiteral("Product %1.").arg(p.sn));
    }
    if (get && seg.size() == 3 && seg.at(0) == QLatin1String("uploads") &&
        seg.at(2).endsWith(QLatin1String(".jpg"))) {
        const QString key = seg.at(2).chopped(4);
        const Reply missing{404, "text/plain", "No such picture\n"};
        if (seg.at(1) == QLatin1String("news")) {
            for (const News& n : FNews)
                if (n.id == key)
                    return {200, "image/jpeg", n.jpeg};
        } else if (seg.at(1) == QLatin1String("product")) {
            for (const Product& p : FProducts)
                if (p.id == key)
                    return {200, "image/jpeg", p.jpeg};
        } else if (seg.at(1) == QLatin1String("device")) {
            if (const Device* d = FindDevice(key); d && !d->jpeg.isEmpty())
                return {200, "image/jpeg", d->jpeg};
        }
        return missing;
    }
    return {404, "text/plain", "Not found\n"};
}

bool CloudSim::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    bool apiCall = false;
    QString apiPath;
    Reply reply;
    // A refused call is answered without being carried out.
    const QString path = request.url().path();
    const qsizetype api = path.indexOf(QLatin1String("/api.php/"));
    const QStringList segments = api < 0 ? QStringList() : path.mid(api + 9).split(u'/', Qt::SkipEmptyParts);
    const QString call = segments.mid(0, 2).join(u'/');
    if (segments.size() >= 2 && FFaults.refusals.contains(call)) {
        apiCall = true;
        apiPath = call;
        reply = Envelope(0, FFaults.refusals.value(call));
    } else {
        reply = Route(request, apiCall, apiPath);
    }
    if (apiCall)
        WriteRelayAccounts();

    const bool faulty = apiCall && (FFaults.onlyPaths.isEmpty() || FFaults.onlyPaths.contains(apiPath));
    if (faulty && FFaults.http500)
        reply = {500, "text/plain", "Internal Server Error\n"};
    else if (faulty && FFaults.notJson && reply.status == 200)
        reply = {200, "text/html; charset=utf-8",
                 "<html><body>Service temporarily unavailable</body></html>\n"};

    if (FVerbose) {
        QTextStream err(stderr);
        err << (request.method() == QHttpServerRequest::Method::Get ? "GET " : "POST ")
            << request.url().path(QUrl::FullyEncoded) << " -> " << reply.status << '\n';
    }

    auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
    const auto status = static_cast<QHttpServerResponder::StatusCode>(reply.status);
    const QPointer<QTcpSocket> alive(socket);
    auto send = [responder, alive, status, reply] {
        if (alive && alive->isOpen())
            responder->write(reply.body, reply.contentType, status);
    };
    // The delay applies to every answer, pictures and pages included.
    const bool picture = reply.contentType == "image/jpeg";
    const int delay = picture ? std::max(FFaults.delayMs, FPictureDelayMs) : FFaults.delayMs;
    if (delay > 0)
        QTimer::singleShot(delay, this, send);
    else
        send();
    return true;
}

namespace {
// "5ccf7f01020a" as the relay writes it: "5C-CF-7F-01-02-0A".
QString DisplayMac(const QString& mac) {
    QStringList pairs;
    for (qsizetype i = 0; i + 1 < mac.size(); i += 2)
        pairs << mac.mid(i, 2).toUpper();
    return pairs.join(QLatin1Char('-'));
}
} // namespace

bool CloudSim::WriteRelayAccounts() const {
    if (FRelayAccountsFile.isEmpty())
        return true;
    QByteArray text;
    for (const Account& a : FAccounts) {
        // A line cannot carry a line break; such an account cannot reach the relay.
        if (a.account.contains(QLatin1Char('\n')) || a.password.contains(QLatin1Char('\n')) ||
            a.account.contains(QLatin1Char(':')))
            continue;
        QStringList macs;
        for (const Device& d : FDevices)
            if (d.ownerId == a.id && d.remote)
                macs << DisplayMac(d.mac);
        text += (a.account + QLatin1Char(':') + a.password + QLatin1Char(':') + macs.join(QLatin1Char(',')))
                    .toUtf8() +
                '\n';
    }
    // Whole or not at all: the relay may read it at any moment.
    QSaveFile f(FRelayAccountsFile);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.commit();
}

void CloudSim::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}
