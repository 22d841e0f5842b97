#pragma once

// The "Sounds" dialog: one row per sound event (1 "Program started" .. 5 "Shutdown
// now") with a check box, the path of its WAV file, "..." to choose the file and "Play"
// to hear it. "Save" writes the five paths and then the five flags to the user's
// settings and closes; "Cancel" closes without writing anything.
//
// Main thread only. The caller raises the modal-dialog flag around exec().

#include <QDialog>
#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace corvane {

class CSoundsDialog : public QDialog {
    Q_OBJECT

  public:
    // Loads the five flags and paths from the settings.
    explicit CSoundsDialog(QWidget* parent = nullptr);

    // The widgets of event 1..5 (nullptr for any other number).
    QCheckBox* EnabledBox(int event) const;
    QLineEdit* PathField(int event) const;
    QPushButton* BrowseButton(int event) const;
    QPushButton* PlayButton(int event) const;
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* CancelButton() const { return m_cancel; }

  private:
    struct Row {
        QCheckBox* enabled = nullptr;
        QLineEdit* path = nullptr;
        QPushButton* browse = nullptr;
        QPushButton* play = nullptr;
    };

    const Row* RowOf(int event) const;
    void Browse(int event);
    void Play(int event);
    void Save();

    std::array<Row, 5> m_rows;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace corvane
