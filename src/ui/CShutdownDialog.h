#pragma once

// The countdown before the computer is switched off ("Prepare to shutdown..."): the
// text "Your computer will be shutdown now", a button "Shutdown (after %d seconds)" that
// counts down from 15 once a tick, and "Cancel". The shutdown sound (event 5) plays at
// ticks 3 and 10 when the user enabled it. At 0 the dialog presses the shutdown button
// itself. Ending with the shutdown button gives QDialog::Accepted; "Cancel", Escape or
// closing the window gives QDialog::Rejected. Either way the countdown stops.
//
// The dialog only asks: switching off is the caller's business (platform/desktop/Shutdown.h).
// Main thread only.

#include <QDialog>
#include <functional>

class QPushButton;
class QTimer;

namespace corvane {

class CShutdownDialog : public QDialog {
    Q_OBJECT

  public:
    // Called with the sound event to play; the default plays it through PlayEventSound,
    // which looks at the user's flag.
    using SoundHook = std::function<void(int event)>;

    static constexpr int kTickMs = 1000;
    static constexpr int kCountdownTicks = 15;

    // The countdown starts when the dialog is first shown. `tickMs` and `playSound` let
    // a test run the same countdown in milliseconds.
    explicit CShutdownDialog(QWidget* parent = nullptr, int tickMs = kTickMs,
                             SoundHook playSound = {});

    // Shows the countdown modally; true when it ended with the shutdown button.
    static bool Ask(QWidget* parent);

    QPushButton* ShutdownButton() const { return m_shutdown; }
    QPushButton* CancelButton() const { return m_cancel; }
    // Ticks counted so far.
    int Ticks() const { return m_ticks; }

    void done(int result) override;

  signals:
    // After tick `tick` has updated the button (before the dialog presses it at the
    // last tick).
    void Ticked(int tick);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void OnTick();
    void ShowRemaining();

    QTimer* m_timer = nullptr;
    QPushButton* m_shutdown = nullptr;
    QPushButton* m_cancel = nullptr;
    SoundHook m_playSound;
    int m_ticks = 0;
    bool m_started = false;
};

}  // namespace corvane
