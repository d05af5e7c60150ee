// Shared pieces of the window tests: a message service that records what the window says and
// answers its questions from a queue, and an environment that keeps every search on loopback and
// every file in a temporary folder.
#pragma once

#include "frmMain.h"
#include "untIni.h"
#include "untLang.h"
#include "untMainEnv.h"

#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <memory>
#include <optional>

class TRecordingMessages : public TMessageService {
public:
    struct TInput {
        QString Caption;
        QString Prompt;
        QString Initial;
        bool Masked = false;
    };

    void ShowMessage(QWidget*, const QString& text) override { Messages << text; }
    bool Confirm(QWidget*, const QString& text) override {
        Messages << text;
        if (ConfirmAnswers.empty())
            return false;
        const bool yes = ConfirmAnswers.front();
        ConfirmAnswers.pop_front();
        return yes;
    }
    std::optional<QString> InputQuery(QWidget*, const QString& caption, const QString& prompt,
                                      const QString& initial, bool masked) override {
        Inputs.push_back({caption, prompt, initial, masked});
        if (InputAnswers.empty())
            return std::nullopt;
        const QString answer = InputAnswers.front();
        InputAnswers.pop_front();
        if (answer.isNull())
            return std::nullopt;
        return answer;
    }

    bool OpenUrl(QWidget*, const QUrl& url) override {
        Opened << url;
        return true;
    }

    QStringList Messages;
    QList<QUrl> Opened; // web addresses the window asked the browser to open
    std::vector<TInput> Inputs;
    // Answers to input boxes in order; a null text is Cancel, an empty one an empty answer.
    std::deque<QString> InputAnswers;
    std::deque<bool> ConfirmAnswers;
};

// A loopback environment in `folder`: the search goes to this computer only, slides and search
// windows are short, and a fixed machine key stands in for the network adapter's.
inline TMainEnv LoopbackEnv(const QString& folder, const std::shared_ptr<TRecordingMessages>& messages) {
    TMainEnv env;
    env.SettingsFolder = folder;
    env.MachineKey = QStringLiteral("0123456789AB");
    env.SearchBroadcast = QHostAddress(QHostAddress::LocalHost);
    env.SearchPort = quint16(0);
    env.RouterBroadcast = QHostAddress(QHostAddress::LocalHost);
    env.RouterPort = 0;
    env.CloudServer = QStringLiteral("http://127.0.0.1:9");
    env.SlideMs = 20;
    env.SearchWindowMs = 150;
    env.RedMs = 300;
    env.RedCloseMs = 100;
    env.Messages = messages;
    return env;
}

template <typename T = QWidget> T* Find(const QWidget* root, const QString& name) {
    return root->findChild<T*>(name);
}
