// Stored boards for the benchmarks that start from a filled program.ini or device list.
#pragma once

#include "untIni.h"

namespace bench {

// `n` boards as program.ini keeps them, never connected: they wait for a search or a login.
inline TIniDevs StoredBoards(int n) {
    TIniDevs devs;
    devs.reserve(n);
    for (int i = 0; i < n; ++i) {
        TIniDev d;
        d.Name = QStringLiteral("Board %1").arg(i + 1);
        d.MAC = QStringLiteral("3C-71-BF-%1-%2-%3")
                    .arg((i >> 16) & 0xFF, 2, 16, QChar('0'))
                    .arg((i >> 8) & 0xFF, 2, 16, QChar('0'))
                    .arg(i & 0xFF, 2, 16, QChar('0'))
                    .toUpper();
        d.IP = QStringLiteral("0.0.0.0");
        d.DevPassword = QStringLiteral("qorvu");
        d.DevType = quint8(i % 17);
        d.DevParam.LockArr = TBooleans(8, false);
        devs << d;
    }
    return devs;
}

} // namespace bench
