#include "ui/CDestinationPage.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "controls/CHistoryCombo.h"
#include "platform/UserSettings.h"
#include "transport/FtpAddress.h"
#include "ui/CFtpFolderDialog.h"
#include "ui/ModalDialogScope.h"
#include "ui/TaskPageCheck.h"

namespace corvane {

CDestinationPage::CDestinationPage(TaskRecord& draft, bool inSheet, QWidget* parent)
    : CTaskPage(draft, inSheet, parent) {
    auto* layout = new QVBoxLayout(this);
    m_folderRadio =
        new QRadioButton(QStringLiteral("Copy data to local/external/LAN/CD/DVD folder"));
    m_folderRadio->setObjectName(QStringLiteral("folderRadio"));
    m_ftpRadio = new QRadioButton(QStringLiteral("Copy data to FTP"));
    m_ftpRadio->setObjectName(QStringLiteral("ftpRadio"));
    layout->addWidget(m_folderRadio);
    layout->addWidget(m_ftpRadio);

    auto* pathRow = new QHBoxLayout;
    m_destination = new CHistoryCombo;
    m_destination->setObjectName(QStringLiteral("destinationCombo"));
    auto* browse = new QPushButton(QStringLiteral("..."));
    browse->setObjectName(QStringLiteral("browseButton"));
    pathRow->addWidget(m_destination, 1);
    pathRow->addWidget(browse);
    layout->addLayout(pathRow);
    layout->addWidget(new QLabel(QStringLiteral(
        "Date pattern: #DD - day, #MM - month, #YY - year, #HH - hour, #MIN - minute")));

    m_accessFrame = new QGroupBox;
    auto* access = new QFormLayout(m_accessFrame);
    m_user = new QLineEdit;
    m_user->setObjectName(QStringLiteral("destUserEdit"));
    m_user->setMaxLength(kMaxDestinationLoginLength);
    m_password = new QLineEdit;
    m_password->setObjectName(QStringLiteral("destPasswordEdit"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(kMaxDestinationLoginLength);
    m_portLabel = new QLabel(QStringLiteral("Port:"));
    m_port = new QLineEdit;
    m_port->setObjectName(QStringLiteral("portEdit"));
    m_port->setValidator(new QIntValidator(0, 65535, m_port));
    access->addRow(QStringLiteral("User name:"), m_user);
    access->addRow(QStringLiteral("Password:"), m_password);
    access->addRow(m_portLabel, m_port);
    m_pinLabel = new QLabel(QStringLiteral("Certificate SHA-256:"));
    m_pin = new QLineEdit;
    m_pin->setObjectName(QStringLiteral("certPinEdit"));
    m_pin->setPlaceholderText(QStringLiteral("only for a certificate no authority vouches for"));
    access->addRow(m_pinLabel, m_pin);
    m_serviceLabel = new QLabel(QStringLiteral("Service address:"));
    m_serviceUrl = new QLineEdit;
    m_serviceUrl->setObjectName(QStringLiteral("serviceUrlEdit"));
    m_serviceUrl->setPlaceholderText(QStringLiteral("https://s3.example.net"));
    m_regionLabel = new QLabel(QStringLiteral("Region:"));
    m_region = new QLineEdit;
    m_region->setObjectName(QStringLiteral("regionEdit"));
    m_region->setPlaceholderText(QStringLiteral("us-east-1"));
    access->addRow(m_serviceLabel, m_serviceUrl);
    access->addRow(m_regionLabel, m_region);
    layout->addWidget(m_accessFrame);

    m_burner =
        new QCheckBox(QStringLiteral("Use the installed disc burning program for CD recording"));
    m_burner->setObjectName(QStringLiteral("burnerCheck"));
    layout->addWidget(m_burner);

    auto* keepRow = new QHBoxLayout;
    m_keepLast = new QSpinBox;
    m_keepLast->setObjectName(QStringLiteral("keepLastSpin"));
    m_keepLast->setRange(0, kMaxKeepLast);
    keepRow->addWidget(new QLabel(QStringLiteral("Keep the last")));
    keepRow->addWidget(m_keepLast);
    keepRow->addWidget(new QLabel(QStringLiteral("dated backups (0 = all)")));
    keepRow->addStretch(1);
    layout->addLayout(keepRow);
    layout->addStretch(1);

    connect(m_folderRadio, &QRadioButton::toggled, this, [this] { ShowMediaView(); });
    connect(browse, &QPushButton::clicked, this, [this] { Browse(); });
    connect(m_destination, &QComboBox::editTextChanged, this, [this] {
        EnableKeepLast();
        ShowMediaView();
    });
}

QString CDestinationPage::StepTitle() const {
    return QStringLiteral("New backup wizard, step 2/4");
}

QString CDestinationPage::TabLabel() const {
    return QStringLiteral("Destination");
}

void CDestinationPage::Load() {
    const DestinationInput input = DestinationInputOf(Draft());
    (Draft().destination.type == kDestFtp ? m_ftpRadio : m_folderRadio)->setChecked(true);
    m_destination->setEditText(input.path);
    m_destination->ShowHistory(UserSettings::PathHistory());
    m_user->setText(input.user);
    m_password->setText(input.password);
    m_port->setText(input.port);
    m_pin->setText(input.certificatePin);
    m_serviceUrl->setText(input.serviceUrl);
    m_region->setText(input.region);
    m_burner->setChecked(input.useBurner);
    m_keepLast->setValue(input.keepLast);
    ShowMediaView();
    EnableKeepLast();
}

DestinationInput CDestinationPage::Input() const {
    return {m_destination->currentText(),
            m_user->text(),
            m_password->text(),
            m_port->text(),
            m_burner->isChecked(),
            m_keepLast->value(),
            m_pin->text(),
            m_serviceUrl->text(),
            m_region->text()};
}

void CDestinationPage::Store() {
    StoreDestinationPage(Draft(), Input());
}

bool CDestinationPage::Leave() {
    Store();
    DraftProblem problem;
    if (!ShowCheckResult(*this, CheckDestinationPage(Input(), &problem), problem)) {
        return false;
    }
    UserSettings::RememberPath(Draft().destination.path);
    m_destination->ShowHistory(UserSettings::PathHistory());
    m_destination->setCurrentIndex(0);
    return true;
}

void CDestinationPage::FocusField(DraftField field) {
    (field == DraftField::kCertificatePin ? static_cast<QWidget*>(m_pin) : m_destination)
        ->setFocus();
}

void CDestinationPage::ShowMediaView() {
    const bool ftp = m_ftpRadio->isChecked();
    m_accessFrame->setTitle(ftp ? QStringLiteral("FTP access:")
                                : QStringLiteral("Settings for network access:"));
    const RemoteProtocol protocol = ProtocolOfAddress(m_destination->currentText());
    const bool s3 = ftp && protocol == RemoteProtocol::kS3;
    m_portLabel->setVisible(ftp && !s3);
    m_port->setVisible(ftp && !s3);
    // A pinned certificate means something to FTPS only, a service and region to S3.
    const bool ftps = ftp && protocol == RemoteProtocol::kFtps;
    m_pinLabel->setVisible(ftps);
    m_pin->setVisible(ftps);
    for (QWidget* field :
         {static_cast<QWidget*>(m_serviceLabel), static_cast<QWidget*>(m_serviceUrl),
          static_cast<QWidget*>(m_regionLabel), static_cast<QWidget*>(m_region)}) {
        field->setVisible(s3);
    }
    m_burner->setVisible(!ftp);
}

void CDestinationPage::EnableKeepLast() {
    m_keepLast->setEnabled(OffersKeepLast(Draft(), m_destination->currentText()));
}

void CDestinationPage::Browse() {
    if (m_ftpRadio->isChecked()) {
        BrowseFtp();
        return;
    }
    ModalDialogScope modal;
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Select folder where data will be placed"),
        NormalizedDestination(m_destination->currentText()));
    if (!folder.isEmpty()) {
        m_destination->setEditText(folder);
    }
}

void CDestinationPage::BrowseFtp() {
    ModalDialogScope modal;
    CFtpFolderDialog dialog(CFtpFolderDialog::Mode::kDestination, this);
    dialog.SetAddress(m_destination->currentText(), m_user->text(), m_password->text(),
                      m_port->text().toInt());
    dialog.SetAccess({m_pin->text(), m_serviceUrl->text(), m_region->text()});
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    // The fields hold the login; the destination keeps the server and folder only. The
    // shared parser reads a password with an unescaped "@" too.
    FtpAddress address;
    if (!ParseFtpAddress(dialog.ResultUrl(), address)) {
        return;
    }
    m_user->setText(address.user);
    m_password->setText(address.password);
    m_port->setText(address.port > 0 ? QString::number(address.port) : QString());
    const RemoteAccess access = dialog.Access();
    m_pin->setText(access.certificatePin);
    m_serviceUrl->setText(access.serviceUrl);
    m_region->setText(access.region);
    address.user.clear();
    address.password.clear();
    address.port = 0;
    m_destination->setEditText(FtpAddressText(address));
}

}  // namespace corvane
