// Positional reader of the cloud server's JSON replies.
#include "nevIOTJSONAPI.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <type_traits>

namespace {

// Iterative parsing keeps the stack flat for deeply nested input; numbers arrive as the text
// they were written with.
constexpr unsigned ParseFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag;

// Every character outside 7-bit ASCII becomes "?" (a surrogate pair is one character).
QByteArray AsciiReduce(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            out.append(char(c.unicode()));
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        out.append('?');
    }
    return out;
}

// The text of a string or number member; nullopt for every other kind. With numbers parsed as
// strings both are JSON strings here, and a number never holds a quote.
std::optional<QString> TextOf(const rapidjson::Value& v) {
    if (!v.IsString())
        return std::nullopt;
    QString s = QString::fromUtf8(v.GetString(), qsizetype(v.GetStringLength()));
    s.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return StripQuotes(s);
}

template <class D> D RecordFrom(const rapidjson::Value& obj) {
    D d;
    const auto& members = TCloudFields<D>::Members;
    std::size_t k = 0;
    for (auto m = obj.MemberBegin(); m != obj.MemberEnd() && k < members.size(); ++m, ++k) {
        if (auto t = TextOf(m->value))
            d.*members[k] = *t;
    }
    return d;
}

template <class T> struct ListOf {
    using type = void;
};
template <class T> struct ListOf<QList<T>> {
    using type = T;
};

enum class Shape { InfoOnly, DataObject, DataList };

template <class Rec> constexpr Shape ShapeOf() {
    if constexpr (std::is_same_v<Rec, TJSInfoReturn>)
        return Shape::InfoOnly;
    else if constexpr (std::is_void_v<typename ListOf<decltype(Rec::data)>::type>)
        return Shape::DataObject;
    else
        return Shape::DataList;
}

template <class Rec> bool Read(const QString& text, Rec& rec, QString* error) {
    const QByteArray ascii = AsciiReduce(text);
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    // The parser takes a zero byte for the end of the input; no valid reply holds one.
    if (const auto nul = ascii.indexOf('\0'); nul >= 0)
        return fail(QStringLiteral("Reply is not JSON: zero byte at offset %1").arg(nul));

    rapidjson::Document doc;
    doc.Parse<ParseFlags>(ascii.constData(), std::size_t(ascii.size()));
    if (doc.HasParseError())
        return fail(QStringLiteral("Reply is not JSON: %1 at offset %2")
                        .arg(QString::fromLatin1(rapidjson::GetParseError_En(doc.GetParseError())))
                        .arg(doc.GetErrorOffset()));
    if (!doc.IsObject())
        return fail(QStringLiteral("Reply is not a JSON object"));

    constexpr Shape shape = ShapeOf<Rec>();
    int pos = 0;
    for (auto m = doc.MemberBegin(); m != doc.MemberEnd(); ++m, ++pos) {
        const rapidjson::Value& v = m->value;
        if (auto t = TextOf(v)) {
            if (pos == 0)
                rec.status = *t;
            else if (pos == 1)
                rec.info = *t;
        } else if constexpr (shape == Shape::DataObject) {
            if (v.IsObject())
                rec.data = RecordFrom<std::remove_cvref_t<decltype(rec.data)>>(v);
        } else if constexpr (shape == Shape::DataList) {
            if (v.IsArray()) {
                using D = typename ListOf<std::remove_cvref_t<decltype(rec.data)>>::type;
                QList<D> list;
                list.reserve(qsizetype(v.Size()));
                for (const auto& e : v.GetArray())
                    list.append(e.IsObject() ? RecordFrom<D>(e) : D{});
                rec.data = std::move(list);
            }
        }
        if (pos == 1) {
            if constexpr (shape == Shape::InfoOnly)
                break;
            else if (rec.status == QLatin1String("0"))
                break;
        }
    }
    return true;
}

} // namespace

bool ReadReply(const QString& text, TJSInfoReturn& rec, QString* error) { return Read(text, rec, error); }
bool ReadReply(const QString& text, TUserRead& rec, QString* error) { return Read(text, rec, error); }
bool ReadReply(const QString& text, TDevActive& rec, QString* error) { return Read(text, rec, error); }
bool ReadReply(const QString& text, TCloudDevs& rec, QString* error) { return Read(text, rec, error); }
bool ReadReply(const QString& text, TFeedBackList& rec, QString* error) { return Read(text, rec, error); }
bool ReadReply(const QString& text, TNewsList& rec, QString* error) { return Read(text, rec, error); }
bool ReadReply(const QString& text, TProductsList& rec, QString* error) { return Read(text, rec, error); }
