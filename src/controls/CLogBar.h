#pragma once

// The docking "Log window": a dock widget holding the log list. It docks on every side
// of the main window and floats; it remembers one size for each way it can stand
// (docked at the top or bottom, docked left or right, floating) and goes back to that
// size when it is moved there again. The sizes are saved in the settings section
// "<profile>-SCBar-114" as "sizeHorzCX", "sizeHorzCY", "sizeVertCX", "sizeVertCY",
// "sizeFloatCX", "sizeFloatCY".
//
// Main thread only. The bar owns its list; put it into a QMainWindow.

#include <QDockWidget>
#include <QSize>

class QMainWindow;
class QSettings;

namespace corvane {

class CLogListBox;

class CLogBar : public QDockWidget {
    Q_OBJECT

  public:
    // The bar's number in the name of its settings section.
    static constexpr int kBarId = 114;

    explicit CLogBar(QWidget* parent = nullptr);

    CLogListBox* List() const { return m_list; }

    // "<profileName>-SCBar-114".
    static QString SizeSection(const QString& profileName);

    // Writes the three sizes into the section of `profileName`.
    void SaveSizes(QSettings& settings, const QString& profileName) const;
    // Reads them (a size that is missing or not positive stays as it was) and gives the
    // bar the size that belongs to where it stands now.
    void LoadSizes(QSettings& settings, const QString& profileName);

    // The remembered sizes; invalid until known.
    QSize HorizontalSize() const { return m_sizeHorz; }
    QSize VerticalSize() const { return m_sizeVert; }
    QSize FloatingSize() const { return m_sizeFloat; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    enum class Placement { kHorizontal, kVertical, kFloating };

    QMainWindow* MainWindow() const;
    Placement CurrentPlacement() const;
    // Gives the bar the remembered size of its current placement.
    void ApplySize();
    void OnPlacementChanged();

    CLogListBox* m_list;
    QSize m_sizeHorz;
    QSize m_sizeVert;
    QSize m_sizeFloat;
    // The placement whose size the bar has been given; resizes are remembered for it
    // only.
    Placement m_placement = Placement::kHorizontal;
    // True from a move until the remembered size has been given back.
    bool m_moving = false;
};

}  // namespace corvane
