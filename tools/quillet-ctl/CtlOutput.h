// How quillet-ctl writes: results as JSON lines on stdout, failures and usage errors on stderr.
#pragma once

#include "CtlCommands.h"

#include <QString>
#include <QTextStream>

namespace ctl {

inline int Usage(TOutput& io, const QString& why) {
    io.err << "quillet-ctl: " << why << "\n"
           << "Try 'quillet-ctl --help'.\n";
    io.err.flush();
    return ExitUsage;
}

inline int Fail(TOutput& io, const QString& why) {
    io.err << why << "\n";
    io.err.flush();
    return ExitFailed;
}

inline void Line(TOutput& io, const QString& json) {
    io.out << json << "\n";
    io.out.flush();
}

} // namespace ctl
