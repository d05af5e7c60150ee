// The program: one copy per settings folder, the application object and the main window.
#include "QuilletConfig.h"
#include "frmMain.h"
#include "untFonts.h"
#include "untIni.h"
#include "untLang.h"
#include "untSingleInstance.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    // Qt's own event dispatcher rather than GLib's, as for quillet-ctl (bench/README.md): fewer
    // instructions per board round trip, and timers are not held back behind socket events. GLib
    // stays when the environment chooses (QT_NO_GLIB set, even empty) or asks for the GTK theme,
    // whose native file dialogs need a GLib main context.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB") &&
        !qEnvironmentVariable("QT_QPA_PLATFORMTHEME").startsWith(QLatin1String("gtk")))
        qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillet"));
    QApplication::setOrganizationName(QStringLiteral("quillet"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/Main_Boy.svg")));
    SetupAppFonts();

    TMainEnv env = ProgramEnv();
    env.SettingsFolder = DefaultSettingsFolder();

    TSingleInstance instance(env.SettingsFolder);
    if (!instance.Claim()) {
        instance.NotifyRunning();
        // The message in the language the running copy uses.
        BuildLangTable();
        TIniSettings settings(env.SettingsFolder);
        settings.IniLoad();
        SetLanguage(settings.IniLanguage() ? LangCn : LangEn);
        const QString text = LangText(QStringLiteral("The program is already running!"));
        // Also on stderr, for scripts and for a desktop without a place to show the box.
        std::fprintf(stderr, "quillet: %s\n", qUtf8Printable(text));
        std::fflush(stderr);
        env.Messages->ShowMessage(nullptr, text);
        return 0;
    }

    auto window = std::make_unique<Tfrm_Main>(env);
    QObject::connect(&instance, &TSingleInstance::showRequested, window.get(), &Tfrm_Main::ShowFromOtherCopy);
    window->show();
    const int code = QApplication::exec();
    window.reset();
    return code;
}
