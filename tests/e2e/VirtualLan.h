// The end-to-end programs run themselves inside a virtual LAN (tools/virtual-lan): started by
// ctest, a program starts the virtual LAN with its simulators and runs itself again inside the
// "pc" namespace, marked by an environment variable. Without root there are no namespaces: it says
// so and exits with VirtualLanSkipStatus, which ctest reports as skipped.
#pragma once

#include <QNetworkInterface>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

constexpr int VirtualLanSkipStatus = 77;

// Replaces this process by tools/virtual-lan with `lanArgs`, running this program with its own
// arguments inside; `insideVar` is set so that the second run knows where it is. Returns only on
// failure (or VirtualLanSkipStatus without root).
inline int RunInVirtualLan(const char* testName, const char* insideVar, const QStringList& lanArgs, int argc,
                           char** argv) {
    if (geteuid() != 0) {
        std::fprintf(stderr, "%s: skipped: needs root to create the virtual LAN's network namespaces\n",
                     testName);
        return VirtualLanSkipStatus;
    }
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        std::fprintf(stderr, "%s: cannot read /proc/self/exe\n", testName);
        return 1;
    }
    self[n] = '\0';
    std::vector<std::string> args{"bash", QUILLET_SOURCE_DIR "/tools/virtual-lan"};
    for (const QString& s : lanArgs)
        args.push_back(s.toStdString());
    args.push_back("--");
    args.push_back(self);
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    std::vector<char*> cargs;
    for (std::string& s : args)
        cargs.push_back(s.data());
    cargs.push_back(nullptr);
    setenv(insideVar, "1", 1);
    std::fflush(nullptr);
    execvp("bash", cargs.data());
    std::fprintf(stderr, "%s: cannot start bash\n", testName);
    return 1;
}

// Broadcasts are allowed only where the only interfaces are the loopback and the virtual LAN's
// veth.
inline bool OnlyVirtualLanInterfaces(QString* why) {
    bool veth = false;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        if (i.name() == QLatin1String("veth-pc"))
            veth = true;
        else if (i.type() != QNetworkInterface::Loopback) {
            *why = QStringLiteral("interface %1 is not part of the virtual LAN").arg(i.name());
            return false;
        }
    }
    if (!veth)
        *why = QStringLiteral("no veth-pc interface: not inside the virtual LAN");
    return veth;
}
