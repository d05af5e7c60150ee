// The positional reply reader and the text helpers of the cloud client.
#include "nevIOTJSONAPI.h"

#include <QCryptographicHash>
#include <QtTest>

namespace {

// "name=value" of every non-empty field, in order.
template <class D> QString DumpFields(const D& d) {
    QStringList out;
    for (const auto& [name, value] : CloudFieldsOf(d))
        if (!value.isEmpty())
            out << name + QLatin1Char('=') + value;
    return QLatin1Char('{') + out.join(QLatin1Char(',')) + QLatin1Char('}');
}

QString Head(const QString& status, const QString& info) {
    return QStringLiteral("status=%1|info=%2").arg(status, info);
}

QString Dump(const TJSInfoReturn& r) {
    return Head(r.status, r.info) + QStringLiteral("|data=") + r.data;
}
template <class R> QString DumpOne(const R& r) {
    return Head(r.status, r.info) + QStringLiteral("|data") + DumpFields(r.data);
}
template <class R> QString DumpList(const R& r) {
    QString s = Head(r.status, r.info) + QStringLiteral("|data[%1]").arg(r.data.size());
    for (const auto& d : r.data)
        s += DumpFields(d);
    return s;
}

// Reads `text` as the record named `kind` and dumps the outcome; an error gives "error".
QString ReadAs(const QString& kind, const QString& text) {
    QString why;
    auto run = [&](auto rec, auto dump) {
        const auto before = rec;
        if (!ReadReply(text, rec, &why)) {
            // A reply that cannot be read leaves the record as it was.
            return rec == before && !why.isEmpty() ? QStringLiteral("error")
                                                   : QStringLiteral("error, record changed");
        }
        return dump(rec);
    };
    if (kind == QLatin1String("info"))
        return run(TJSInfoReturn{}, [](const auto& r) { return Dump(r); });
    if (kind == QLatin1String("user"))
        return run(TUserRead{}, [](const auto& r) { return DumpOne(r); });
    if (kind == QLatin1String("active"))
        return run(TDevActive{}, [](const auto& r) { return DumpOne(r); });
    if (kind == QLatin1String("devs"))
        return run(TCloudDevs{}, [](const auto& r) { return DumpList(r); });
    if (kind == QLatin1String("feed"))
        return run(TFeedBackList{}, [](const auto& r) { return DumpList(r); });
    if (kind == QLatin1String("news"))
        return run(TNewsList{}, [](const auto& r) { return DumpList(r); });
    if (kind == QLatin1String("products"))
        return run(TProductsList{}, [](const auto& r) { return DumpList(r); });
    return QStringLiteral("bad kind");
}

// Fills a data record from an object whose values are "v0", "v1", ... in member order, then
// checks that each field, named here in the server's order, got the value of its position.
template <class Rec, class D>
void CheckOrder(const QList<std::pair<const char*, QString D::*>>& order, bool list) {
    QStringList members;
    for (int i = 0; i < order.size(); ++i)
        members << QStringLiteral("\"m%1\":\"v%1\"").arg(i);
    QString inner = QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
    if (list)
        inner = QLatin1Char('[') + inner + QLatin1Char(']');
    Rec rec;
    QVERIFY(ReadReply(QStringLiteral("{\"status\":1,\"info\":\"\",\"data\":%1}").arg(inner), rec));
    const D* d = nullptr;
    if constexpr (requires { rec.data.size(); }) {
        QCOMPARE(rec.data.size(), 1);
        d = &rec.data.first();
    } else {
        d = &rec.data;
    }
    for (int i = 0; i < order.size(); ++i)
        QVERIFY2(d->*order[i].second == QStringLiteral("v%1").arg(i), order[i].first);
}

} // namespace

class tst_nevIOTJSONReply : public QObject {
    Q_OBJECT
private slots:
    void readReply_data();
    void readReply();
    void fieldOrder();
    void deepNestingIsHarmless();
    void md5Hex_data();
    void md5Hex();
    void md5HexKeepsNonAsciiPasswordsApart();
    void stripQuotes_data();
    void stripQuotes();
    void formEncode_data();
    void formEncode();
    void formBody();
    void quotedPrintable_data();
    void quotedPrintable();
};

void tst_nevIOTJSONReply::readReply_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    // Envelope and text members.
    QTest::newRow("number status") << "info"
                                   << R"({"status":1,"info":"ok"})"
                                   << "status=1|info=ok|data=";
    QTest::newRow("numbers as written") << "info"
                                        << R"({"status":1.50,"info":-0e+3})"
                                        << "status=1.50|info=-0e+3|data=";
    QTest::newRow("quotes inside a string get a backslash") << "info"
                                                            << R"({"status":"0","info":"say \"hi\" now"})"
                                                            << R"(status=0|info=say \"hi\" now|data=)";
    QTest::newRow("a wholly quoted string keeps its escaped quotes") << "info"
                                                                     << R"({"status":"1","info":"\"x\""})"
                                                                     << R"(status=1|info=\"x\"|data=)";
    QTest::newRow("escapes decoded") << "info"
                                     << R"({"status":"1","info":"a\/b\n\u0041"})"
                                     << "status=1|info=a/b\nA|data=";
    QTest::newRow("info reply ignores later members") << "info"
                                                      << R"({"status":1,"info":"a","data":"zzz","x":"y"})"
                                                      << "status=1|info=a|data=";
    QTest::newRow("single member") << "info"
                                   << R"({"status":"1"})"
                                   << "status=1|info=|data=";
    QTest::newRow("empty object keeps the preset") << "info"
                                                   << "{}"
                                                   << "status=0|info=|data=";
    QTest::newRow("non-text status keeps the preset") << "info"
                                                      << R"({"status":true,"info":"x"})"
                                                      << "status=0|info=x|data=";
    QTest::newRow("whitespace around the object") << "info"
                                                  << " \r\n{\"status\":1,\"info\":\"ok\"}\n "
                                                  << "status=1|info=ok|data=";

    // ASCII reduction.
    QTest::newRow("raw non-ASCII becomes ?")
        << "info" << QString::fromUtf8(R"({"status":1,"info":"café 中文"})") << "status=1|info=caf? ??|data=";
    QTest::newRow("escaped non-ASCII arrives intact") << "info"
                                                      << R"({"status":1,"info":"caf\u00e9 \u4e2d\u6587"})"
                                                      << QString::fromUtf8("status=1|info=café 中文|data=");
    QTest::newRow("raw character outside the BMP is one ?")
        << "info" << QString::fromUtf8("{\"status\":1,\"info\":\"a\xF0\x9F\x98\x80z\"}")
        << "status=1|info=a?z|data=";
    QTest::newRow("escaped surrogate pair arrives intact")
        << "info"
        << R"({"status":1,"info":"\ud83d\ude00"})"
        << QString::fromUtf8("status=1|info=\xF0\x9F\x98\x80|data=");
    QTest::newRow("raw non-ASCII in a member name is harmless")
        << "info" << QString::fromUtf8(R"({"状态":1,"info":"x"})") << "status=1|info=x|data=";

    // One data record.
    QTest::newRow("user record by position")
        << "user"
        << R"({"status":1,"info":"ok","data":{"id":"7","account":"alice","nickname":"Al"}})"
        << "status=1|info=ok|data{id=7,account=alice,nickname=Al}";
    QTest::newRow("null in the middle leaves its field empty")
        << "user"
        << R"({"status":1,"info":"","data":{"id":"7","account":null,"nickname":"Al"}})"
        << "status=1|info=|data{id=7,nickname=Al}";
    QTest::newRow("objects, arrays and booleans take positions")
        << "active"
        << R"({"status":1,"info":"","data":{"id":{},"mac":[1],"name":false,"pass":"p"}})"
        << "status=1|info=|data{pass=p}";
    QTest::newRow("numbers in data as written")
        << "user"
        << R"({"status":1,"info":"","data":{"id":12,"account":3.0e2}})"
        << "status=1|info=|data{id=12,account=3.0e2}";
    QTest::newRow("members beyond the last field are ignored")
        << "active"
        << R"({"status":1,"info":"","data":{"a":"0","b":"1","c":"2","d":"3","e":"4","f":"5","g":"6","h":"7","i":"8","j":"9","k":"10","l":"11","m":"12"}})"
        << "status=1|info=|data{id=0,mac=1,name=2,pass=3,func=4,_type=5,hardver=6,softver=7,status=8,uid=9,"
           "create_time=10}";
    QTest::newRow("status 0 stops before data")
        << "user"
        << R"({"status":0,"info":"Account or password error","data":{"id":"7"}})"
        << "status=0|info=Account or password error|data{}";
    QTest::newRow("status \"0\" as a string stops too")
        << "active"
        << R"({"status":"0","info":"2,bob","data":{"id":"7"}})"
        << "status=0|info=2,bob|data{}";
    QTest::newRow("a missing status stops the walk at position 1")
        << "user"
        << R"({"status":null,"info":"x","data":{"id":"7"}})"
        << "status=0|info=x|data{}";
    QTest::newRow("status other than 0 goes on") << "user"
                                                 << R"({"status":"2","info":"","data":{"id":"7"}})"
                                                 << "status=2|info=|data{id=7}";
    QTest::newRow("members out of order land by position")
        << "user"
        << R"({"info":"ok","status":1,"data":{"account":"alice","id":"7"}})"
        << "status=ok|info=1|data{id=alice,account=7}";
    QTest::newRow("data first fills data, then the preset status stops the walk")
        << "user"
        << R"({"data":{"id":"7"},"info":"ok","status":1})"
        << "status=0|info=ok|data{id=7}";
    QTest::newRow("an array is not a data object") << "user"
                                                   << R"({"status":1,"info":"","data":[{"id":"7"}]})"
                                                   << "status=1|info=|data{}";

    // Data lists.
    QTest::newRow("device list")
        << "devs"
        << R"({"status":1,"info":"","data":[{"id":"1","mac":"5ccf7f01020a","name":"Kitchen"},{"id":"2","mac":"5ccf7f01020b"}]})"
        << "status=1|info=|data[2]{id=1,mac=5ccf7f01020a,name=Kitchen}{id=2,mac=5ccf7f01020b}";
    QTest::newRow("empty array gives an empty list") << "devs"
                                                     << R"({"status":1,"info":"","data":[]})"
                                                     << "status=1|info=|data[0]";
    QTest::newRow("non-objects give empty records")
        << "news"
        << R"({"status":1,"info":"","data":[1,"x",null,[],{"id":"3"}]})"
        << "status=1|info=|data[5]{}{}{}{}{id=3}";
    QTest::newRow("status 0 stops before the list") << "feed"
                                                    << R"({"status":0,"info":"no","data":[{"id":"1"}]})"
                                                    << "status=0|info=no|data[0]";
    QTest::newRow("an object is not a list") << "products"
                                             << R"({"status":1,"info":"","data":{"id":"1"}})"
                                             << "status=1|info=|data[0]";
    QTest::newRow("product fields by position")
        << "products"
        << R"({"status":1,"info":"","data":[{"id":"1","sn":"QRB-4","name":"Relay","img":"http://h/p.jpg"}]})"
        << "status=1|info=|data[1]{id=1,sn=QRB-4,name=Relay,img=http://h/p.jpg}";

    // Not an object, not JSON.
    QTest::newRow("array at top level") << "devs"
                                        << R"([{"status":1}])"
                                        << "error";
    QTest::newRow("string at top level") << "info"
                                         << R"("status")"
                                         << "error";
    QTest::newRow("number at top level") << "info"
                                         << "1"
                                         << "error";
    QTest::newRow("HTML") << "user"
                          << "<html><body>busy</body></html>"
                          << "error";
    QTest::newRow("truncated") << "user"
                               << R"({"status":1,"info":"ok","data":{"id":"7")"
                               << "error";
    QTest::newRow("trailing garbage") << "info"
                                      << R"({"status":1,"info":"ok"} x)"
                                      << "error";
    QTest::newRow("two objects") << "info"
                                 << R"({"status":1}{"status":2})"
                                 << "error";
    QTest::newRow("zero byte after the object")
        << "info" << QString::fromLatin1("{\"status\":1}\0x", 14) << "error";
    QTest::newRow("garbage after status 0 still fails") << "devs"
                                                        << R"({"status":0,"info":"no","data":[{"id":)"
                                                        << "error";
    QTest::newRow("single quotes") << "info"
                                   << "{'status':1}"
                                   << "error";
    QTest::newRow("whitespace only") << "info"
                                     << "  \n"
                                     << "error";
}

void tst_nevIOTJSONReply::readReply() {
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(ReadAs(kind, text), expected);
}

void tst_nevIOTJSONReply::fieldOrder() {
    using U = TUserReadData;
    CheckOrder<TUserRead, U>({{"id", &U::id},
                              {"account", &U::account},
                              {"nickname", &U::nickname},
                              {"password", &U::password},
                              {"bind_account", &U::bind_account},
                              {"last_login_time", &U::last_login_time},
                              {"last_login_ip", &U::last_login_ip},
                              {"login_count", &U::login_count},
                              {"verify", &U::verify},
                              {"email", &U::email},
                              {"name", &U::name},
                              {"tel", &U::tel},
                              {"address", &U::address},
                              {"remark", &U::remark},
                              {"create_time", &U::create_time},
                              {"update_time", &U::update_time},
                              {"status", &U::status},
                              {"type_id", &U::type_id},
                              {"admininfo", &U::admininfo},
                              {"newscount", &U::newscount},
                              {"newstime", &U::newstime},
                              {"feedbackcount", &U::feedbackcount}},
                             false);
    using A = TDevActiveData;
    CheckOrder<TDevActive, A>({{"id", &A::id},
                               {"mac", &A::mac},
                               {"name", &A::name},
                               {"pass", &A::pass},
                               {"func", &A::func},
                               {"_type", &A::_type},
                               {"hardver", &A::hardver},
                               {"softver", &A::softver},
                               {"status", &A::status},
                               {"uid", &A::uid},
                               {"create_time", &A::create_time}},
                              false);
    using I = TDevInfoData;
    CheckOrder<TCloudDevs, I>({{"id", &I::id},
                               {"mac", &I::mac},
                               {"name", &I::name},
                               {"pass", &I::pass},
                               {"func", &I::func},
                               {"_type", &I::_type},
                               {"hardver", &I::hardver},
                               {"softver", &I::softver},
                               {"img", &I::img},
                               {"status", &I::status},
                               {"uid", &I::uid},
                               {"create_time", &I::create_time}},
                              true);
    using F = TFeedBackData;
    CheckOrder<TFeedBackList, F>({{"id", &F::id},
                                  {"uid", &F::uid},
                                  {"msg", &F::msg},
                                  {"contact", &F::contact},
                                  {"System", &F::System},
                                  {"_type", &F::_type},
                                  {"create_time", &F::create_time},
                                  {"read_time", &F::read_time},
                                  {"status", &F::status}},
                                 true);
    using N = TNewsListData;
    CheckOrder<TNewsList, N>({{"id", &N::id},
                              {"img", &N::img},
                              {"status", &N::status},
                              {"title", &N::title},
                              {"create_time", &N::create_time},
                              {"weburl", &N::weburl}},
                             true);
    using P = TProduct;
    CheckOrder<TProductsList, P>({{"id", &P::id},
                                  {"sn", &P::sn},
                                  {"name", &P::name},
                                  {"img", &P::img},
                                  {"create_time", &P::create_time},
                                  {"imgtime", &P::imgtime},
                                  {"weburl", &P::weburl}},
                                 true);
}

void tst_nevIOTJSONReply::deepNestingIsHarmless() {
    auto nested = [](int depth) {
        return QStringLiteral("{\"status\":1,\"info\":\"deep\",\"data\":[{\"id\":") +
               QString(depth, QLatin1Char('[')) + QString(depth, QLatin1Char(']')) +
               QStringLiteral(",\"mac\":\"m\"}]}");
    };
    // Nesting a reply might plausibly carry is read past.
    TCloudDevs devs;
    QVERIFY(ReadReply(nested(1000), devs));
    QCOMPARE(devs.info, QStringLiteral("deep"));
    QCOMPARE(devs.data.size(), 1);
    QCOMPARE(devs.data.first().id, QString());
    QCOMPARE(devs.data.first().mac, QStringLiteral("m"));
    // A hostile reply nested far deeper than any stack could recurse is refused, not followed.
    TCloudDevs hostile;
    QString why;
    QVERIFY(!ReadReply(nested(200000), hostile, &why));
    QVERIFY(!why.isEmpty());
    QCOMPARE(hostile, TCloudDevs{});
}

void tst_nevIOTJSONReply::md5Hex_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("digest");
    QTest::newRow("empty") << ""
                           << "d41d8cd98f00b204e9800998ecf8427e";
    QTest::newRow("secret") << "secret"
                            << "5ebe2294ecd0e0f08eab7690d2a6ee69";
    QTest::newRow("RFC 1321 abc") << "abc"
                                  << "900150983cd24fb0d6963f7d28e17f72";
    QTest::newRow("UTF-8 bytes") << QString::fromUtf8("密码")
                                 << QString::fromLatin1(
                                        QCryptographicHash::hash(QByteArray("\xE5\xAF\x86\xE7\xA0\x81"),
                                                                 QCryptographicHash::Md5)
                                            .toHex());
}

void tst_nevIOTJSONReply::md5Hex() {
    QFETCH(QString, text);
    QFETCH(QString, digest);
    QCOMPARE(Md5Hex(text), digest);
}

void tst_nevIOTJSONReply::md5HexKeepsNonAsciiPasswordsApart() {
    // Two different non-ASCII passwords of the same length, and the text "??", must not share a
    // digest: otherwise any of them would open the account of the others.
    const QString a = QString::fromUtf8("密码");
    const QString b = QString::fromUtf8("口令");
    QVERIFY(Md5Hex(a) != Md5Hex(b));
    QVERIFY(Md5Hex(a) != Md5Hex(QStringLiteral("??")));
}

void tst_nevIOTJSONReply::stripQuotes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("quoted") << "\"abc\""
                            << "abc";
    QTest::newRow("empty quotes") << "\"\""
                                  << "";
    QTest::newRow("only leading") << "\"abc"
                                  << "\"abc";
    QTest::newRow("only trailing") << "abc\""
                                   << "abc\"";
    QTest::newRow("inner quotes stay") << "\"a\"b\""
                                       << "a\"b";
    QTest::newRow("plain") << "abc"
                           << "abc";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_nevIOTJSONReply::stripQuotes() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(StripQuotes(text), expected);
}

void tst_nevIOTJSONReply::formEncode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("space is +") << "a b" << QByteArray("a+b");
    QTest::newRow("unreserved set") << "AZaz09*-._" << QByteArray("AZaz09*-._");
    QTest::newRow("tilde is escaped") << "~" << QByteArray("%7E");
    QTest::newRow("plus and separators") << "+&=%" << QByteArray("%2B%26%3D%25");
    QTest::newRow("upper-case escapes") << "/?#@:" << QByteArray("%2F%3F%23%40%3A");
    QTest::newRow("UTF-8 bytes") << QString::fromUtf8("中é") << QByteArray("%E4%B8%AD%C3%A9");
    QTest::newRow("line breaks") << "a\r\nb" << QByteArray("a%0D%0Ab");
    QTest::newRow("empty") << "" << QByteArray();
}

void tst_nevIOTJSONReply::formEncode() {
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(FormEncode(text), expected);
}

void tst_nevIOTJSONReply::formBody() {
    QCOMPARE(FormBody({{"account", "alice"}, {"password", "p w"}, {"nickname", ""}, {"remark", "x"}}),
             QByteArray("account=alice&password=p+w&remark=x"));
    QCOMPARE(FormBody({{"a", ""}, {"b", ""}}), QByteArray());
    QCOMPARE(FormBody({{"a", ""}, {"b", "1"}}), QByteArray("b=1"));
    QCOMPARE(FormBody({{"z", "1"}, {"a", "2"}}), QByteArray("z=1&a=2"));
}

void tst_nevIOTJSONReply::quotedPrintable_data() {
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("plain") << QByteArray("alice") << QByteArray("alice");
    QTest::newRow("equals sign") << QByteArray("a=b") << QByteArray("a=3Db");
    QTest::newRow("UTF-8") << QByteArray("\xE4\xB8\xAD") << QByteArray("=E4=B8=AD");
    QTest::newRow("inner space stays, trailing space escaped") << QByteArray("a b ") << QByteArray("a b=20");
    QTest::newRow("line break bytes") << QByteArray("a\r\n") << QByteArray("a=0D=0A");
    QTest::newRow("soft break after 75")
        << QByteArray(80, 'x') << QByteArray(75, 'x') + "=\r\n" + QByteArray(5, 'x');
    QTest::newRow("escape not split by a soft break")
        << QByteArray(74, 'x') + "=" << QByteArray(74, 'x') + "=\r\n=3D";
}

void tst_nevIOTJSONReply::quotedPrintable() {
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, out);
    QCOMPARE(QuotedPrintable(in), out);
}

QTEST_GUILESS_MAIN(tst_nevIOTJSONReply)
#include "tst_nevIOTJSONReply.moc"
