// quillet-ctl: the boards and the cloud account from a terminal, over the program's own classes.
#include "CtlCommands.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    // Qt's own event dispatcher rather than GLib's: measured in bench/README.md. Read when the
    // application object is made; an explicit QT_NO_GLIB (even empty) in the environment wins.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillet-ctl"));
    // The program's own debug lines would mix with the tool's output; --trace shows the traffic.
    QLoggingCategory::setFilterRules(QStringLiteral("quillet.*.debug=false"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return ctl::RunMain(app.arguments().mid(1), ctl::TOutput{out, err});
}
