// quillet-boardsim: simulated boards on TCP and UDP for tests, benchmarks and demos.
#include "SimWorld.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <sys/resource.h>

#include <cstdio>

namespace {

// Hundreds of boards with their connections need more descriptors than the usual soft limit.
void RaiseFileLimit() {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
        lim.rlim_cur = lim.rlim_max;
        setrlimit(RLIMIT_NOFILE, &lim);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillet-boardsim"));

    QString error;
    bool help = false;
    const auto cfg = sim::ParseWorldArgs(app.arguments().mid(1), &error, &help);
    if (help) {
        std::fputs(qPrintable(sim::WorldHelpText()), stdout);
        return 0;
    }
    if (!cfg) {
        std::fprintf(stderr, "quillet-boardsim: %s\nTry 'quillet-boardsim --help'.\n", qPrintable(error));
        return 2;
    }
    QLoggingCategory::setFilterRules(cfg->verbose ? QStringLiteral("quillet.boardsim.debug=true")
                                                  : QStringLiteral("quillet.boardsim.debug=false"));
    RaiseFileLimit();

    sim::World world(*cfg);
    if (!world.Start(&error)) {
        std::fprintf(stderr, "quillet-boardsim: %s\n", qPrintable(error));
        return 1;
    }
    for (const QString& line : world.ReadyLines())
        std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
    return app.exec();
}
