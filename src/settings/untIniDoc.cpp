#include "untIniDoc.h"

#include <QStringDecoder>

// Header-only use of SimpleIni: byte strings pass through unchanged (they are UTF-8 here).
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <string>

struct TIniDocument::Impl {
    // Names without regard to (ASCII) case, UTF-8 store, several values per key kept (the first
    // one counts, as for the platform INI routines), no "<<<" multi-line values: a value is
    // always exactly one line. "Key=Value" without blanks, as the older program wrote.
    Impl() { Ini.SetSpaces(false); }
    CSimpleIniA Ini{true, true, false};
};

namespace {

QString CutToMaxLength(QString text) {
    if (text.size() <= IniMaxValueLength)
        return text;
    qsizetype n = IniMaxValueLength;
    // Never keep half of a surrogate pair.
    if (text.at(n - 1).isHighSurrogate())
        --n;
    text.truncate(n);
    return text;
}

// A "[" line without "]" would make SimpleIni file the next key under a section named by
// the rest of the file up to that key (newline included), a name that then grows by one line
// at every save. A section with a blank name is taken for the nameless top of the file, which
// is saved without its header, so the comments above it move at every save. Such lines are
// kept as comments instead.
QByteArray NeutraliseBrokenSectionLines(const QByteArray& data) {
    QByteArray out;
    out.reserve(data.size() + 16);
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = start;
        while (end < data.size() && data[end] != '\n' && data[end] != '\r')
            ++end;
        const QByteArrayView line(data.constData() + start, end - start);
        const QByteArrayView body = line.trimmed();
        if (body.startsWith('[')) {
            const qsizetype close = body.indexOf(']');
            if (close < 0 || body.sliced(1, close - 1).trimmed().isEmpty())
                out += ';';
        }
        out += line;
        if (end < data.size())
            out += '\n';
        // "\r\n" is one line end.
        start = (end + 1 < data.size() && data[end] == '\r' && data[end + 1] == '\n') ? end + 2 : end + 1;
    }
    return out;
}

bool IsControl(char16_t c) {
    return c < 0x20 || c == 0x7F;
}
bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

bool HasOuterQuotes(const QString& s) {
    if (s.size() < 2)
        return false;
    const QChar first = s.front();
    return (first == u'"' || first == u'\'') && s.back() == first;
}

int HexValue(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

} // namespace

TIniDocument::TIniDocument() : d(std::make_unique<Impl>()) {}
TIniDocument::~TIniDocument() = default;
TIniDocument::TIniDocument(TIniDocument&&) noexcept = default;
TIniDocument& TIniDocument::operator=(TIniDocument&&) noexcept = default;

TIniDocument TIniDocument::FromBytes(const QByteArray& bytes) {
    QByteArray data = bytes;
    // Zero bytes (a file torn by an older writer) would end the parse early and the next save
    // would drop everything after them.
    data.replace('\0', QByteArray());

    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString asUtf8 = utf8(data);
    if (utf8.hasError()) {
        QStringDecoder gb("GB18030", QStringDecoder::Flag::Stateless);
        if (!gb.isValid())
            gb = QStringDecoder(QStringDecoder::Latin1, QStringDecoder::Flag::Stateless);
        data = QString(gb(data)).toUtf8();
    }

    // A byte-order mark is only skipped at the very start; anywhere else (after zero bytes or
    // blanks) it would become part of a name that a later load, skipping it, no longer finds.
    data.replace("\xEF\xBB\xBF", QByteArray());
    data = NeutraliseBrokenSectionLines(data);
    TIniDocument doc;
    doc.d->Ini.LoadData(data.constData(), size_t(data.size()));
    return doc;
}

QByteArray TIniDocument::ToBytes() const {
    std::string out;
    d->Ini.Save(out, false);
    QByteArray bytes(out.data(), qsizetype(out.size()));
    // One blank line between sections is enough; no value holds a line break, so only layout
    // lines are touched.
    while (bytes.contains("\n\n\n"))
        bytes.replace("\n\n\n", "\n\n");
    return bytes;
}

std::optional<QString> TIniDocument::Value(const QString& section, const QString& key) const {
    const QByteArray s = section.toUtf8();
    const QByteArray k = key.toUtf8();
    const char* raw = d->Ini.GetValue(s.constData(), k.constData(), nullptr);
    if (!raw)
        return std::nullopt;
    return CutToMaxLength(DecodeValue(QString::fromUtf8(raw)));
}

void TIniDocument::SetValue(const QString& section, const QString& key, const QString& value) {
    const QByteArray s = section.toUtf8();
    const QByteArray k = key.toUtf8();
    const QByteArray v = EncodeValue(value).toUtf8();
    d->Ini.SetValue(s.constData(), k.constData(), v.constData(), nullptr, true);
}

void TIniDocument::RemoveValue(const QString& section, const QString& key) {
    d->Ini.Delete(section.toUtf8().constData(), key.toUtf8().constData(), false);
}

bool TIniDocument::HasSection(const QString& section) const {
    return d->Ini.GetSection(section.toUtf8().constData()) != nullptr;
}

QString TIniDocument::EncodeValue(const QString& value) {
    bool quote =
        HasOuterQuotes(value) || (!value.isEmpty() && (IsBlank(value.front()) || IsBlank(value.back())));
    for (QChar c : value) {
        if (IsControl(c.unicode())) {
            quote = true;
            break;
        }
    }
    if (!quote)
        return value;

    QString out;
    out.reserve(value.size() + 8);
    out += u'"';
    for (QChar c : value) {
        switch (c.unicode()) {
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        case u'\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (IsControl(c.unicode()))
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += u'"';
    return out;
}

QString TIniDocument::DecodeValue(const QString& stored) {
    if (!HasOuterQuotes(stored))
        return stored;
    const QString inner = stored.mid(1, stored.size() - 2);
    // Single quotes are only taken off, as the platform INI routines do.
    if (stored.front() == u'\'')
        return inner;

    QString out;
    out.reserve(inner.size());
    for (qsizetype i = 0; i < inner.size(); ++i) {
        const QChar c = inner.at(i);
        if (c != u'\\' || i + 1 >= inner.size()) {
            out += c;
            continue;
        }
        const QChar e = inner.at(i + 1);
        if (e == u'\\') {
            out += u'\\';
            ++i;
        } else if (e == u'n') {
            out += u'\n';
            ++i;
        } else if (e == u'r') {
            out += u'\r';
            ++i;
        } else if (e == u't') {
            out += u'\t';
            ++i;
        } else if (e == u'x' && i + 3 < inner.size() && HexValue(inner.at(i + 2)) >= 0 &&
                   HexValue(inner.at(i + 3)) >= 0) {
            out += QChar(char16_t(HexValue(inner.at(i + 2)) * 16 + HexValue(inner.at(i + 3))));
            i += 3;
        } else {
            out += c; // an unknown escape stays as written
        }
    }
    return out;
}
