// The program: one copy per settings folder, the application object and the main window.
#include "frmMain.h"
#include "untFonts.h"
#include "untIni.h"
#include "untLang.h"
#include "untSingleInstance.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillet"));
    QApplication::setOrganizationName(QStringLiteral("quillet"));
    QApplication::setApplicationVersion(QStringLiteral("1.2.6"));
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
        env.Messages->ShowMessage(nullptr, LangText(QStringLiteral("The program is already running!")));
        return 0;
    }

    auto window = std::make_unique<Tfrm_Main>(env);
    QObject::connect(&instance, &TSingleInstance::showRequested, window.get(), &Tfrm_Main::ShowFromOtherCopy);
    window->show();
    const int code = QApplication::exec();
    window.reset();
    return code;
}
