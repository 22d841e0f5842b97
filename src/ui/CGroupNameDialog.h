#pragma once

// The group-name dialog ("Enter group name:"): one field that starts with "Group". OK
// trims the blanks around the name and refuses an empty one with "Group name cannot be
// empty" (box titled "Warning"), keeping the dialog open with the focus in the field.
//
// Main thread only.

#include <QDialog>
#include <QString>

class QLineEdit;

namespace corvane {

class CGroupNameDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CGroupNameDialog(QWidget* parent = nullptr);

    // The trimmed name once the dialog was accepted.
    QString Name() const { return m_name; }

    // Shows the dialog modally (under the modal-dialog flag); true with the name when
    // the user pressed OK.
    static bool Ask(QWidget* parent, QString& name);

    void accept() override;

  private:
    QLineEdit* m_field = nullptr;
    QString m_name;
};

}  // namespace corvane
