// Positional reader of the cloud server's JSON replies.
#include "nevIOTJSONAPI.h"

#include <simdjson.h>

#include <string_view>
#include <type_traits>

namespace {

namespace od = simdjson::ondemand;

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

// The whole text must be one valid JSON object. The document parser checks every byte (the
// member walk below skips what it does not need and would not notice errors there) and nests
// without recursion.
bool Validate(const simdjson::padded_string& json, QString& why) {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (const auto err = parser.parse(json).get(root); err != simdjson::SUCCESS) {
        why = QStringLiteral("Reply is not JSON: %1").arg(QString::fromLatin1(simdjson::error_message(err)));
        return false;
    }
    if (root.type() != simdjson::dom::element_type::OBJECT) {
        why = QStringLiteral("Reply is not a JSON object");
        return false;
    }
    return true;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The text of a string member (decoded, each double quote written with a backslash in front) or
// of a number member (as written); nullopt for every other kind.
std::optional<QString> TextOf(od::value& v) {
    od::json_type type;
    if (v.type().get(type) != simdjson::SUCCESS)
        return std::nullopt;
    if (type == od::json_type::string) {
        std::string_view s;
        if (v.get_string().get(s) != simdjson::SUCCESS)
            return std::nullopt;
        QString text = QString::fromUtf8(s.data(), qsizetype(s.size()));
        text.replace(QLatin1Char('"'), QLatin1String("\\\""));
        return StripQuotes(text);
    }
    if (type == od::json_type::number) {
        const std::string_view raw = TrimRight(v.raw_json_token());
        return StripQuotes(QString::fromLatin1(raw.data(), qsizetype(raw.size())));
    }
    return std::nullopt;
}

template <class D> D RecordFrom(od::object obj) {
    D d;
    const auto& members = TCloudFields<D>::Members;
    std::size_t k = 0;
    for (auto field : obj) {
        if (k >= members.size())
            break;
        od::value v;
        if (field.value().get(v) == simdjson::SUCCESS) {
            if (auto t = TextOf(v))
                d.*members[k] = *t;
        }
        ++k;
    }
    return d;
}

template <class T> struct ListOf { using type = void; };
template <class T> struct ListOf<QList<T>> { using type = T; };

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
    const simdjson::padded_string json(ascii.constData(), std::size_t(ascii.size()));
    QString why;
    if (!Validate(json, why)) {
        if (error)
            *error = why;
        return false;
    }

    Rec out = rec;
    od::parser parser;
    od::document doc;
    od::object top;
    if (parser.iterate(json).get(doc) != simdjson::SUCCESS ||
        doc.get_object().get(top) != simdjson::SUCCESS) {
        if (error)
            *error = QStringLiteral("Reply is not a JSON object");
        return false;
    }

    constexpr Shape shape = ShapeOf<Rec>();
    int pos = 0;
    for (auto field : top) {
        od::value v;
        if (field.value().get(v) != simdjson::SUCCESS)
            break;
        od::json_type type;
        if (v.type().get(type) != simdjson::SUCCESS)
            break;
        if (auto t = TextOf(v)) {
            if (pos == 0)
                out.status = *t;
            else if (pos == 1)
                out.info = *t;
        } else if constexpr (shape == Shape::DataObject) {
            od::object obj;
            if (type == od::json_type::object && v.get_object().get(obj) == simdjson::SUCCESS)
                out.data = RecordFrom<std::remove_cvref_t<decltype(out.data)>>(obj);
        } else if constexpr (shape == Shape::DataList) {
            od::array arr;
            if (type == od::json_type::array && v.get_array().get(arr) == simdjson::SUCCESS) {
                using D = typename ListOf<std::remove_cvref_t<decltype(out.data)>>::type;
                QList<D> list;
                for (auto element : arr) {
                    od::value e;
                    od::json_type et;
                    od::object eo;
                    if (element.get(e) == simdjson::SUCCESS && e.type().get(et) == simdjson::SUCCESS &&
                        et == od::json_type::object && e.get_object().get(eo) == simdjson::SUCCESS)
                        list.append(RecordFrom<D>(eo));
                    else
                        list.append(D{});
                }
                out.data = std::move(list);
            }
        }
        if (pos == 1) {
            if constexpr (shape == Shape::InfoOnly)
                break;
            else if (out.status == QLatin1String("0"))
                break;
        }
        ++pos;
    }
    rec = std::move(out);
    return true;
}

} // namespace

bool ReadReply(const QString& text, TJSInfoReturn& rec, QString* error) {
    return Read(text, rec, error);
}
bool ReadReply(const QString& text, TUserRead& rec, QString* error) {
    return Read(text, rec, error);
}
bool ReadReply(const QString& text, TDevActive& rec, QString* error) {
    return Read(text, rec, error);
}
bool ReadReply(const QString& text, TCloudDevs& rec, QString* error) {
    return Read(text, rec, error);
}
bool ReadReply(const QString& text, TFeedBackList& rec, QString* error) {
    return Read(text, rec, error);
}
bool ReadReply(const QString& text, TNewsList& rec, QString* error) {
    return Read(text, rec, error);
}
bool ReadReply(const QString& text, TProductsList& rec, QString* error) {
    return Read(text, rec, error);
}
