#include "untMainEnv.h"

#include "untLang.h"
#include "untPublic.h"

#include <QDesktopServices>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

void TDialogMessageService::ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Information, LangChoose(TLangChoice::WindowTitle), text, QMessageBox::Ok,
                    parent);
    box.button(QMessageBox::Ok)->setText(LangText(QStringLiteral("OK")));
    box.exec();
}

bool TDialogMessageService::Confirm(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, LangChoose(TLangChoice::WindowTitle), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.button(QMessageBox::Yes)->setText(LangText(QStringLiteral("Yes")));
    box.button(QMessageBox::No)->setText(LangText(QStringLiteral("No")));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> TDialogMessageService::InputQuery(QWidget* parent, const QString& caption,
                                                         const QString& prompt, const QString& initial,
                                                         bool masked) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    dialog.setTextEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
    dialog.setOkButtonText(LangText(QStringLiteral("OK")));
    dialog.setCancelButtonText(LangText(QStringLiteral("Cancel")));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

bool TDialogMessageService::OpenUrl(QWidget*, const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

TMainEnv ProgramEnv() {
    TMainEnv env;
    env.SearchBroadcast = QHostAddress(QHostAddress::Broadcast);
    env.SearchPort = std::nullopt;
    env.RouterBroadcast = QHostAddress(QHostAddress::Broadcast);
    env.RouterPort = RouterJoinPort;
    return env;
}
