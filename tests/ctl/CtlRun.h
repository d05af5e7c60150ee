// Runs quillet-ctl's command line in this process and keeps what it printed.
#pragma once

#include "CtlCommands.h"

#include <QStringList>
#include <QTextStream>

struct TCtlRun {
    int rc = -1;
    QString out;
    QString err;
    QStringList Lines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

inline TCtlRun RunCtl(const QStringList& args) {
    TCtlRun r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.rc = ctl::RunMain(args, ctl::TOutput{out, err});
    out.flush();
    err.flush();
    return r;
}
