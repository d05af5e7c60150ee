// quillet-relaysim: a relay server for testing remote connections to simulated boards.
#include "RelaySim.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillet-relaysim"));

    QString error;
    bool help = false;
    const auto cfg = relay::ParseRelayArgs(app.arguments().mid(1), &error, &help);
    if (help) {
        std::fputs(qPrintable(relay::RelayHelpText()), stdout);
        return 0;
    }
    if (!cfg) {
        std::fprintf(stderr, "quillet-relaysim: %s\nTry 'quillet-relaysim --help'.\n", qPrintable(error));
        return 2;
    }
    QLoggingCategory::setFilterRules(cfg->verbose ? QStringLiteral("quillet.relaysim.debug=true")
                                                  : QStringLiteral("quillet.relaysim.debug=false"));
    relay::RelayServer server(*cfg);
    if (!server.Start(&error)) {
        std::fprintf(stderr, "quillet-relaysim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("relay tcp=%s:%u\nready\n", qPrintable(server.Address().toString()), unsigned(server.Port()));
    std::fflush(stdout);
    return app.exec();
}
