// Small JSON writer that keeps members in the order they are added: the tool's output is read by
// scripts, and its key order is part of its interface.
#pragma once

#include <QString>
#include <QStringList>

class TJsonOut {
public:
    static QString Str(const QString& s);
    static QString Bool(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }
    static QString Num(qint64 n) { return QString::number(n); }
    // Register readings keep one decimal, as the board reports tenths.
    static QString Tenths(double v) { return QString::number(v, 'f', 1); }
    static QString Array(const QStringList& items) { return '[' + items.join(',') + ']'; }

    TJsonOut& Add(const QString& key, const QString& rawValue);
    TJsonOut& AddStr(const QString& key, const QString& value) { return Add(key, Str(value)); }
    TJsonOut& AddNum(const QString& key, qint64 value) { return Add(key, Num(value)); }
    TJsonOut& AddBool(const QString& key, bool value) { return Add(key, Bool(value)); }
    QString Text() const { return '{' + FMembers.join(',') + '}'; }

private:
    QStringList FMembers;
};
