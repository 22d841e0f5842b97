#include "platform/desktop/SoundPlayer.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <atomic>

#include "platform/SoundSettings.h"

namespace corvane {
namespace {

std::atomic<int> g_activeSounds{0};

bool OnApplicationThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

// Asking the player for a missing file or without any output device only makes Qt
// print warnings; we leave those cases out beforehand.
bool CanPlay(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return false;
    }
    return !QMediaDevices::audioOutputs().isEmpty();
}

// The effect belongs to the application until it has ended, so the caller need not
// wait for it; it is released on its own error or end.
bool StartSound(const QString& path) {
    if (!CanPlay(path)) {
        return false;
    }
    auto* effect = new QSoundEffect(QCoreApplication::instance());
    ++g_activeSounds;
    auto release = [effect] {
        QObject::disconnect(effect, nullptr, nullptr, nullptr);
        effect->stop();
        effect->deleteLater();
        --g_activeSounds;
    };
    QObject::connect(effect, &QSoundEffect::statusChanged, effect, [effect, release] {
        if (effect->status() == QSoundEffect::Error) {
            release();
        }
    });
    QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect, release] {
        if (!effect->isPlaying()) {
            release();
        }
    });
    effect->setSource(QUrl::fromLocalFile(path));
    effect->play();
    return true;
}

}  // namespace

bool PlayEventSound(int event) {
    const QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return false;
    }
    if (!OnApplicationThread()) {
        // The player needs the event loop of the application's thread.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [event] { PlayEventSound(event); }, Qt::QueuedConnection);
        return false;
    }
    if (!IsSoundEnabled(event)) {
        return false;
    }
    return StartSound(GetSoundFile(event));
}

bool PlaySoundFileSync(const QString& path) {
    if (!OnApplicationThread() || !CanPlay(path)) {
        return false;
    }
    QSoundEffect effect;
    QEventLoop loop;
    bool failed = false;
    QObject::connect(&effect, &QSoundEffect::statusChanged, &loop, [&] {
        if (effect.status() == QSoundEffect::Error) {
            failed = true;
            loop.quit();
        }
    });
    QObject::connect(&effect, &QSoundEffect::playingChanged, &loop, [&] {
        if (!effect.isPlaying()) {
            loop.quit();
        }
    });
    QTimer::singleShot(kMaxSyncPlayMs, &loop, &QEventLoop::quit);
    effect.setSource(QUrl::fromLocalFile(path));
    effect.play();
    // A quit before exec() would be lost: an effect that already failed or ended is
    // not waited for.
    if (!failed && effect.isPlaying()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    const bool played = !failed && effect.status() == QSoundEffect::Ready;
    QObject::disconnect(&effect, nullptr, &loop, nullptr);
    effect.stop();
    return played;
}

int ActiveSoundCount() {
    return g_activeSounds.load();
}

}  // namespace corvane
