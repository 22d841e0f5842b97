#pragma once

// Shared by the widget tests: a private settings and data folder, and answering modal
// dialogs that a command opens while the test waits in it.

#include <QApplication>
#include <QDir>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "support/RecordingCrontab.h"

namespace corvane::test {

// Settings ($XDG_CONFIG_HOME) and the data folder ($CORVANE_HOME) in a temporary
// folder, and no real shutdown. Make one global instance so it exists before the
// application object.
struct WidgetTestEnvironment {
    WidgetTestEnvironment() {
        qputenv("XDG_CONFIG_HOME", QDir(home.path()).filePath("config").toUtf8());
        qputenv("CORVANE_HOME", QDir(home.path()).filePath("data").toUtf8());
        qputenv("CORVANE_NO_SHUTDOWN", "1");
    }
    QTemporaryDir home;
    // No window test reaches the user's own timers or crontab.
    RecordingCrontab scheduler{home.path()};
};

// Calls `answer` once a modal widget of type W is the active one; the answer must close
// it. Watchers live until the owner is deleted (each test has its own).
template <class W>
void WhenModal(QObject* owner, std::function<void(W*)> answer) {
    auto* timer = new QTimer(owner);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, answer] {
        auto* modal = qobject_cast<W*>(QApplication::activeModalWidget());
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        timer->stop();
        answer(modal);
    });
    timer->start();
}

}  // namespace corvane::test
