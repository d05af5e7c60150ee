#include "CtlCloud.h"

#include <QTextStream>

namespace ctl {
QString CloudUsageText() { return {}; }
int RunCloud(const QStringList&, const QHash<QString, QString>&, TOutput io) {
    io.err << "cloud: TODO\n";
    return ExitUsage;
}
} // namespace ctl
