#pragma once

// The picture shown over the main window when the program starts. It goes away after
// kDisplayMs or at the first key press or mouse button press anywhere in the program,
// whichever comes first, and deletes itself then.
//
// Main thread only. Make it with new; it owns itself once shown.

#include <QPixmap>
#include <QWidget>

namespace corvane {

class CSplashScreen : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kDisplayMs = 5000;

    explicit CSplashScreen(QWidget* parent = nullptr);
    ~CSplashScreen() override;

    // Shows the picture centred over `window` (over the screen without one).
    void ShowCentredOver(const QWidget* window);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap m_picture;
};

}  // namespace corvane
