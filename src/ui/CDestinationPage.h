#pragma once

// The destination page: "New backup wizard, step 2/4" and the "Destination" tab of the
// task settings sheet. The media radios only change the view (the text decides the
// media when the page is stored); the destination field offers the path history, and
// Browse opens a folder dialog or the FTP folder browser. Leaving the wizard step adds
// the destination to the path history.
//
// Main thread only.

#include "ui/CTaskPage.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace corvane {

class CHistoryCombo;

class CDestinationPage : public CTaskPage {
    Q_OBJECT

  public:
    CDestinationPage(TaskRecord& draft, bool inSheet, QWidget* parent = nullptr);

    QString StepTitle() const override;
    QString TabLabel() const override;
    void Load() override;
    void Store() override;
    bool Leave() override;
    void FocusField(DraftField field) override;

  private:
    DestinationInput Input() const;
    // Shows the frame, port and burner box of the ticked media; for an "s3://" address
    // the service address and region instead of the port.
    void ShowMediaView();
    void Browse();
    void BrowseFtp();
    // "Keep the last N" means something only for a destination or archive name with a
    // date pattern.
    void EnableKeepLast();

    QRadioButton* m_folderRadio;
    QRadioButton* m_ftpRadio;
    CHistoryCombo* m_destination;
    QGroupBox* m_accessFrame;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QLabel* m_portLabel;
    QLineEdit* m_port;
    QLabel* m_pinLabel;  // the certificate fingerprint: shown for "ftps://" only
    QLineEdit* m_pin;
    QLabel* m_serviceLabel;  // the service address and region of an "s3://" destination
    QLineEdit* m_serviceUrl;
    QLabel* m_regionLabel;
    QLineEdit* m_region;
    QCheckBox* m_burner;
    QSpinBox* m_keepLast;
};

}  // namespace corvane
