#pragma once

// The method page: "New backup wizard, step 3/4" and the "Compressing and filters" tab
// of the task settings sheet. Copy as they are or "Create ZIP archive"; the archive
// controls (name, date pattern, compression level, password typed twice, the cipher the
// password encrypts with, enabled once a password is typed) are shown for ZIP only; the include and
// exclude filters offer their presets and take any text.
//
// Main thread only.

#include "ui/CTaskPage.h"

class QComboBox;
class QLineEdit;
class QRadioButton;
class QSlider;

namespace corvane {

class CMethodPage : public CTaskPage {
    Q_OBJECT

  public:
    CMethodPage(TaskRecord& draft, bool inSheet, QWidget* parent = nullptr);

    // The second password field, which the draft does not keep (the sheet's check).
    QString PasswordAgain() const;

    QString StepTitle() const override;
    QString TabLabel() const override;
    void Load() override;
    void Store() override;
    bool Leave() override;
    void FocusField(DraftField field) override;

  private:
    MethodInput Input() const;
    void ChooseZip();
    void SetDatePattern();

    // A method the page has no radio for is kept until the user picks another.
    qint32 m_method = kMethodCopy;
    QRadioButton* m_copyRadio;
    QRadioButton* m_zipRadio;
    QWidget* m_archiveControls;
    QLineEdit* m_archiveName;
    QSlider* m_level;
    QLineEdit* m_password;
    QLineEdit* m_passwordAgain;
    QComboBox* m_cipher;  // item data: the ArchiveCipher
    QComboBox* m_include;
    QComboBox* m_exclude;
};

}  // namespace corvane
