// Option errors of the simulators, in one wording: "unknown option "--x"", "--x needs a value",
// or Qt's own text (a value given to a switch).
#pragma once

#include <QCommandLineParser>
#include <QStringList>

inline QString SimOptionError(const QCommandLineParser& parser, const QStringList& args,
                              const QStringList& valueOptions) {
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().first();
        return QStringLiteral("unknown option \"%1%2\"").arg(name.size() > 1 ? "--" : "-", name);
    }
    const QString last = args.value(args.size() - 1);
    if (last.startsWith(QLatin1String("--")) && valueOptions.contains(last.mid(2)))
        return QStringLiteral("%1 needs a value").arg(last);
    return parser.errorText();
}
