// The commands of quillet-ctl. Each returns the process exit status: 0 success, 1 a failure
// reported on stderr (login, refusal, no reply, negative result), 2 a usage error.
#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

namespace ctl {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

struct TOutput {
    QTextStream& out;
    QTextStream& err;
};

int RunMain(const QStringList& args, TOutput io);
QString UsageText();

} // namespace ctl
