#include "ui/CShutdownDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "app/RunObserver.h"
#include "platform/desktop/SoundPlayer.h"

namespace corvane {

CShutdownDialog::CShutdownDialog(QWidget* parent, int tickMs, SoundHook playSound)
    : QDialog(parent), m_playSound(std::move(playSound)) {
    if (!m_playSound) {
        m_playSound = [](int event) { PlayEventSound(event); };
    }
    setWindowTitle(QStringLiteral("Prepare to shutdown..."));
    auto* text = new QLabel(QStringLiteral("Your computer will be shutdown now"), this);
    m_shutdown = new QPushButton(this);
    m_shutdown->setAutoDefault(false);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    // Enter typed into another window just as the countdown appears must not switch the
    // computer off.
    m_cancel->setDefault(true);
    connect(m_shutdown, &QPushButton::clicked, this, &CShutdownDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CShutdownDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_shutdown);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(buttons);

    m_timer = new QTimer(this);
    m_timer->setInterval(tickMs);
    connect(m_timer, &QTimer::timeout, this, &CShutdownDialog::OnTick);
    ShowRemaining();
}

bool CShutdownDialog::Ask(QWidget* parent) {
    CShutdownDialog dialog(parent);
    return dialog.exec() == QDialog::Accepted;
}

void CShutdownDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        m_timer->start();
    }
}

void CShutdownDialog::done(int result) {
    m_timer->stop();
    QDialog::done(result);
}

void CShutdownDialog::OnTick() {
    ++m_ticks;
    if (m_ticks == 3 || m_ticks == 10) {
        m_playSound(kSoundShutdownNow);
    }
    ShowRemaining();
    emit Ticked(m_ticks);
    // The tick handler may have ended the dialog meanwhile.
    if (m_ticks >= kCountdownTicks && isVisible()) {
        m_timer->stop();
        m_shutdown->click();
    }
}

void CShutdownDialog::ShowRemaining() {
    m_shutdown->setText(
        QStringLiteral("Shutdown (after %1 seconds)").arg(kCountdownTicks - m_ticks));
}

}  // namespace corvane
