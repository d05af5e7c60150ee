// ReadReply on arbitrary bytes, as every kind of reply record: it must never crash, hang or read
// out of bounds, and a reply it refuses must leave the record untouched.
#include "nevIOTJSONAPI.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

template <class Rec> void ReadAs(const QString& text) {
    Rec rec;
    const Rec before = rec;
    QString error;
    if (!ReadReply(text, rec, &error) && (!(rec == before) || error.isEmpty()))
        std::abort();
}

void ReadAll(const QString& text) {
    ReadAs<TJSInfoReturn>(text);
    ReadAs<TUserRead>(text);
    ReadAs<TDevActive>(text);
    ReadAs<TCloudDevs>(text);
    ReadAs<TFeedBackList>(text);
    ReadAs<TNewsList>(text);
    ReadAs<TProductsList>(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    // The client reads GET replies as UTF-8 and others by their charset, Latin-1 among them.
    const QString utf8 = QString::fromUtf8(bytes, qsizetype(size));
    ReadAll(utf8);
    ReadAll(QString::fromLatin1(bytes, qsizetype(size)));
    // The same bytes as the data member of a successful reply reach the record walk at once.
    ReadAll(QStringLiteral("{\"status\":1,\"info\":\"\",\"data\":") + utf8 + QLatin1Char('}'));
    return 0;
}
