// quillet-ctl: the boards and the cloud account from a terminal, over the program's own classes.
#include "CtlCommands.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillet-ctl"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return ctl::RunMain(app.arguments().mid(1), ctl::TOutput{out, err});
}
