// The cloud half of quillet-ctl: the account, its boards, feedback, news and products, over the
// same cloud client as the window.
#pragma once

#include "CtlCommands.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace ctl {

QString CloudUsageText();
int RunCloud(const QStringList& args, const QHash<QString, QString>& opts, TOutput io);

} // namespace ctl
