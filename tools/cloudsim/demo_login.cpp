// quillet-demo-login: prepares the demo's program.ini for a logged-in start: the account is
// remembered with "Auto Login" (ciphered with this computer's key, so it runs where the program
// will run) and, when given, a board of the account is listed so that it connects through the
// relay once the login succeeds.
#include "untIni.h"
#include "untPublic.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <algorithm>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 3 && args.size() != 5) {
        err << "usage: quillet-demo-login SETTINGS_FOLDER ACCOUNT PASSWORD [BOARD_MAC BOARD_NAME]\n";
        return 2;
    }
    TIniSettings ini(args.at(0));
    ini.IniLoad();
    TCloudSession session;
    session.SetAccount(args.at(1));
    session.SetPassword(args.at(2));
    if (const TIniSaveResult saved = ini.IniWriteUser(session, true, true); !saved.Ok) {
        err << "quillet-demo-login: " << saved.Message << '\n';
        return 1;
    }
    if (args.size() == 5) {
        if (!IsMACText(args.at(3))) {
            err << "quillet-demo-login: " << args.at(3) << " is not a MAC (AA-BB-CC-DD-EE-FF)\n";
            return 2;
        }
        TIniDevs devs = ini.IniDevs();
        const bool listed = std::any_of(devs.cbegin(), devs.cend(), [&](const TIniDev& d) {
            return d.MAC.compare(args.at(3), Qt::CaseInsensitive) == 0;
        });
        if (!listed) {
            TIniDev board;
            board.Name = args.at(4);
            board.MAC = args.at(3).toUpper();
            board.DevPassword = QString::fromLatin1(DefaultDevPassword);
            board.DevType = 1;
            board.CtrlByte = 255;
            board.DevParam.TouchMode = true;
            devs.append(board);
            if (const TIniSaveResult saved = ini.IniWriteDevs(devs); !saved.Ok) {
                err << "quillet-demo-login: " << saved.Message << '\n';
                return 1;
            }
        }
    }
    return 0;
}
