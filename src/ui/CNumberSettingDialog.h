#pragma once

// A dialog for one whole-number user setting: a spin box, a line saying when the value
// takes effect, "Save" and "Cancel". Save stores the value through the setter it was
// given and closes; Cancel closes without storing. The Options menu's number settings
// (archive threads, idle notice days) are instances of it.
//
// Main thread only. The caller raises the modal-dialog flag around exec().

#include <QDialog>
#include <QString>

class QPushButton;
class QSpinBox;

namespace corvane {

struct NumberSetting {
    QString title;       // the window title
    QString label;       // the spin box's label, with its "&" shortcut
    QString note;        // when the value is used
    QString zeroText;    // what 0 reads as; empty: "0"
    QString objectName;  // the spin box's, for tests and accessibility
    int maximum = 0;     // the range is 0..maximum
    int value = 0;       // shown first
    void (*store)(int) = nullptr;
};

class CNumberSettingDialog : public QDialog {
    Q_OBJECT

  public:
    CNumberSettingDialog(const NumberSetting& setting, QWidget* parent = nullptr);

    QSpinBox* ValueField() const { return m_value; }
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* CancelButton() const { return m_cancel; }

  private:
    QSpinBox* m_value = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace corvane
