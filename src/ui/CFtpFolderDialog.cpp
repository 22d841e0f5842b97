#include "ui/CFtpFolderDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>

#include "engine/FtpTaskSession.h"
#include "restore/FtpTaskFinder.h"
#include "transport/FtpAddress.h"
#include "transport/RemoteSession.h"
#include "ui/WaitCursor.h"

namespace corvane {
namespace {

constexpr char kPlaceholder[] = "#SUB_FLD";
constexpr int kFolderRole = Qt::UserRole;           // the folder below the session folder
constexpr int kPlaceholderRole = Qt::UserRole + 1;  // set only on a placeholder child

// The address as typed, made an "ftp://" address: empty means this computer, and a
// prefix typed with "\" or capitals is read as "ftp://" (the parser wants it exact).
QString TypedAddress(const QString& typed) {
    const QString text = typed.trimmed();
    if (text.isEmpty()) {
        return QStringLiteral("ftp://127.0.0.1");
    }
    if (IsFtpAddress(text)) {
        return text;  // "ftps://", "sftp://" as typed
    }
    QString head = text.left(6);
    head.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (head.compare(QLatin1String("ftp://"), Qt::CaseInsensitive) == 0) {
        return QStringLiteral("ftp://") + text.mid(6);
    }
    return QStringLiteral("ftp://") + text;
}

QString TrimSlashes(QString path) {
    while (path.startsWith(QLatin1Char('/'))) {
        path.remove(0, 1);
    }
    while (path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return path;
}

// The folder names of a listing (ListTree gives folders with a final "/"), each
// relative to the session folder without leading or trailing "/".
QStringList FolderNames(const QStringList& listing) {
    QStringList folders;
    for (const QString& name : listing) {
        if (name.endsWith(QLatin1Char('/'))) {
            folders << TrimSlashes(name);
        }
    }
    return folders;
}

}  // namespace

class CFtpFolderDialog::Impl {
  public:
    Impl(CFtpFolderDialog* dialog, Mode mode) : m_dialog(dialog), m_mode(mode) {}

    void Build();
    void ShowAccessFields();
    RemoteAccess TypedAccess() const;
    void Connect();
    void FillChildren(QTreeWidgetItem* parent, const QString& folder);
    void Expand(QTreeWidgetItem* item);
    void ShowSelection(QTreeWidgetItem* item);
    bool Select();

    // The address of a folder below the session folder, with the credentials.
    QString FolderUrl(const QString& folder) const;
    QStringList SubFolders(const QString& folder);

    CFtpFolderDialog* m_dialog;
    Mode m_mode;
    int m_port = 0;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_pin = nullptr;
    QLineEdit* m_serviceUrl = nullptr;
    QLineEdit* m_region = nullptr;
    QList<QWidget*> m_pinRow;
    QList<QWidget*> m_s3Rows;
    RemoteAccess m_access;  // of the connected session
    QTreeWidget* m_tree = nullptr;
    QLabel* m_status = nullptr;
    std::unique_ptr<RemoteSession> m_session;
    FtpAddress m_server;   // the connected address; its path is the session folder
    QString m_rootFolder;  // the session folder without leading or trailing "/"
    QString m_result;
    std::vector<FoundTask> m_found;
};

void CFtpFolderDialog::Impl::Build() {
    m_dialog->setWindowTitle(
        m_mode == Mode::kDestination
            ? QStringLiteral("Select FTP folder, where the data will be placed")
            : QStringLiteral("Select FTP folder, where the data was stored"));
    m_address = new QLineEdit(m_dialog);
    m_address->setObjectName(QStringLiteral("addressEdit"));
    m_user = new QLineEdit(m_dialog);
    m_user->setObjectName(QStringLiteral("userEdit"));
    m_password = new QLineEdit(m_dialog);
    m_password->setObjectName(QStringLiteral("passwordEdit"));
    m_password->setEchoMode(QLineEdit::Password);
    m_pin = new QLineEdit(m_dialog);
    m_pin->setObjectName(QStringLiteral("certPinEdit"));
    m_pin->setPlaceholderText(QStringLiteral("only for a certificate no authority vouches for"));
    m_serviceUrl = new QLineEdit(m_dialog);
    m_serviceUrl->setObjectName(QStringLiteral("serviceUrlEdit"));
    m_serviceUrl->setPlaceholderText(QStringLiteral("https://s3.example.net"));
    m_region = new QLineEdit(m_dialog);
    m_region->setObjectName(QStringLiteral("regionEdit"));
    m_region->setPlaceholderText(QStringLiteral("us-east-1"));
    auto* connectButton = new QPushButton(QStringLiteral("Connect"), m_dialog);
    connectButton->setObjectName(QStringLiteral("connectButton"));
    m_tree = new QTreeWidget(m_dialog);
    m_tree->setObjectName(QStringLiteral("folderTree"));
    m_tree->setHeaderHidden(true);
    m_status = new QLabel(QStringLiteral("FTP not connected"), m_dialog);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setTextFormat(Qt::PlainText);  // names from the server are no markup
    auto* selectButton = new QPushButton(QStringLiteral("Select"), m_dialog);
    selectButton->setObjectName(QStringLiteral("selectButton"));
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), m_dialog);
    // Enter in a field connects; no button may take it as the dialog's default.
    for (QPushButton* button : {connectButton, selectButton, cancelButton}) {
        button->setAutoDefault(false);
    }

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Address:"), m_dialog), 0, 0);
    fields->addWidget(m_address, 0, 1, 1, 3);
    fields->addWidget(new QLabel(QStringLiteral("User name:"), m_dialog), 1, 0);
    fields->addWidget(m_user, 1, 1);
    fields->addWidget(new QLabel(QStringLiteral("Password:"), m_dialog), 1, 2);
    fields->addWidget(m_password, 1, 3);
    auto* pinLabel = new QLabel(QStringLiteral("Certificate SHA-256:"), m_dialog);
    fields->addWidget(pinLabel, 2, 0);
    fields->addWidget(m_pin, 2, 1, 1, 3);
    m_pinRow = {pinLabel, m_pin};
    auto* serviceLabel = new QLabel(QStringLiteral("Service address:"), m_dialog);
    auto* regionLabel = new QLabel(QStringLiteral("Region:"), m_dialog);
    fields->addWidget(serviceLabel, 3, 0);
    fields->addWidget(m_serviceUrl, 3, 1);
    fields->addWidget(regionLabel, 3, 2);
    fields->addWidget(m_region, 3, 3);
    m_s3Rows = {serviceLabel, m_serviceUrl, regionLabel, m_region};
    fields->addWidget(connectButton, 0, 4);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(selectButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(m_dialog);
    layout->addLayout(fields);
    layout->addWidget(m_tree, 1);
    layout->addLayout(buttons);

    QObject::connect(connectButton, &QPushButton::clicked, m_dialog, [this] { Connect(); });
    for (QLineEdit* field : {m_address, m_user, m_password, m_pin, m_serviceUrl, m_region}) {
        QObject::connect(field, &QLineEdit::returnPressed, m_dialog, [this] { Connect(); });
    }
    QObject::connect(m_address, &QLineEdit::textChanged, m_dialog, [this] { ShowAccessFields(); });
    ShowAccessFields();
    QObject::connect(m_tree, &QTreeWidget::itemExpanded, m_dialog,
                     [this](QTreeWidgetItem* item) { Expand(item); });
    QObject::connect(m_tree, &QTreeWidget::currentItemChanged, m_dialog,
                     [this](QTreeWidgetItem* item) { ShowSelection(item); });
    QObject::connect(selectButton, &QPushButton::clicked, m_dialog, [this] {
        if (Select()) {
            m_dialog->accept();
        }
    });
    QObject::connect(cancelButton, &QPushButton::clicked, m_dialog, &QDialog::reject);
}

// A pinned certificate means something to FTPS only, a service and region to S3.
void CFtpFolderDialog::Impl::ShowAccessFields() {
    const RemoteProtocol protocol = ProtocolOfAddress(m_address->text());
    for (QWidget* field : m_pinRow) {
        field->setVisible(protocol == RemoteProtocol::kFtps);
    }
    for (QWidget* field : m_s3Rows) {
        field->setVisible(protocol == RemoteProtocol::kS3);
    }
}

RemoteAccess CFtpFolderDialog::Impl::TypedAccess() const {
    const RemoteProtocol protocol = ProtocolOfAddress(m_address->text());
    RemoteAccess access;
    if (protocol == RemoteProtocol::kFtps) {
        access.certificatePin = m_pin->text().trimmed();
    }
    if (protocol == RemoteProtocol::kS3) {
        access.serviceUrl = m_serviceUrl->text().trimmed();
        access.region = m_region->text().trimmed();
    }
    return access;
}

void CFtpFolderDialog::Impl::Connect() {
    m_tree->clear();
    m_session.reset();
    FtpAddress address;
    QString whyNot;
    if (!ParseFtpAddress(TypedAddress(m_address->text()), address, &whyNot)) {
        m_status->setText(whyNot);
        return;
    }
    // What the address itself names wins over the fields.
    if (address.user.isEmpty()) {
        address.user = m_user->text();
    }
    if (address.password.isEmpty()) {
        address.password = m_password->text();
    }
    if (address.port == 0 && m_port > 0 && m_port <= 65535) {
        address.port = m_port;
    }
    FtpEndpoint endpoint = FtpEndpointOfAddress(address);
    endpoint.folder = TrimSlashes(endpoint.folder);
    endpoint.access = TypedAccess();
    // Passive like the search for stored tasks: a browser must work behind NAT.
    endpoint.mode = FtpMode::kPassive;

    const WaitCursor wait;
    auto session = NewRemoteSession(endpoint.protocol);
    if (!session->Connect(endpoint)) {
        m_status->setText(QStringLiteral("FTP connection error: %1").arg(session->ConnectError()));
        return;
    }
    m_session = std::move(session);
    m_server = address;
    m_access = endpoint.access;
    m_rootFolder = endpoint.folder;
    FillChildren(nullptr, QString());
    m_status->setText(QStringLiteral("Ready"));
}

QStringList CFtpFolderDialog::Impl::SubFolders(const QString& folder) {
    QStringList listing;
    m_session->ListTree(folder, listing, false);
    return FolderNames(listing);
}

void CFtpFolderDialog::Impl::FillChildren(QTreeWidgetItem* parent, const QString& folder) {
    for (const QString& child : SubFolders(folder)) {
        const QString name = child.mid(child.lastIndexOf(QLatin1Char('/')) + 1);
        auto* item = parent != nullptr ? new QTreeWidgetItem(parent, {name})
                                       : new QTreeWidgetItem(m_tree, {name});
        item->setData(0, kFolderRole, child);
        // Read one level ahead only to know whether the folder can be opened.
        if (!SubFolders(child).isEmpty()) {
            auto* placeholder = new QTreeWidgetItem(item, {QString::fromLatin1(kPlaceholder)});
            placeholder->setData(0, kPlaceholderRole, true);
        }
    }
}

void CFtpFolderDialog::Impl::Expand(QTreeWidgetItem* item) {
    if (m_session == nullptr || item->childCount() != 1 ||
        !item->child(0)->data(0, kPlaceholderRole).toBool()) {
        return;
    }
    const WaitCursor wait;
    delete item->takeChild(0);
    FillChildren(item, item->data(0, kFolderRole).toString());
}

void CFtpFolderDialog::Impl::ShowSelection(QTreeWidgetItem* item) {
    if (item == nullptr || m_session == nullptr || m_mode == Mode::kDestination ||
        item->data(0, kPlaceholderRole).toBool()) {
        m_status->setText(QStringLiteral("Ready"));
        return;
    }
    const QString folder = item->data(0, kFolderRole).toString();
    const WaitCursor wait;
    const qsizetype count = FtpTaskFileNames(*m_session, folder).size();
    const QString shown = FtpAddressForDisplay(FolderUrl(folder));
    m_status->setText(count > 0 ? QStringLiteral("%1 tasks found at %2").arg(count).arg(shown)
                                : QStringLiteral("No tasks found at %1").arg(shown));
}

QString CFtpFolderDialog::Impl::FolderUrl(const QString& folder) const {
    FtpAddress address = m_server;
    QStringList parts;
    for (const QString& part : {m_rootFolder, folder}) {
        if (!part.isEmpty()) {
            parts << part;
        }
    }
    address.path = QLatin1Char('/') + parts.join(QLatin1Char('/'));
    return FtpAddressText(address);
}

bool CFtpFolderDialog::Impl::Select() {
    QTreeWidgetItem* item = m_tree->currentItem();
    if (m_session == nullptr || item == nullptr || item->data(0, kPlaceholderRole).toBool()) {
        QMessageBox::warning(m_dialog, QStringLiteral("Warning"),
                             QStringLiteral("You must select item from the list"));
        return false;
    }
    const QString url = FolderUrl(item->data(0, kFolderRole).toString());
    if (m_mode == Mode::kRestore) {
        const WaitCursor wait;
        if (!FindFtpStoredTasks(url, m_found, m_access)) {
            m_status->setText(
                QStringLiteral("Cannot read the tasks at %1").arg(FtpAddressForDisplay(url)));
            return false;
        }
    }
    m_result = url;
    return true;
}

CFtpFolderDialog::CFtpFolderDialog(Mode mode, QWidget* parent)
    : QDialog(parent), m_impl(new Impl(this, mode)) {
    m_impl->Build();
    resize(520, 420);
}

CFtpFolderDialog::~CFtpFolderDialog() {
    delete m_impl;
}

void CFtpFolderDialog::SetAddress(const QString& address, const QString& user,
                                  const QString& password, int port) {
    m_impl->m_address->setText(address);
    m_impl->m_user->setText(user);
    m_impl->m_password->setText(password);
    m_impl->m_port = port;
}

void CFtpFolderDialog::SetAccess(const RemoteAccess& access) {
    m_impl->m_pin->setText(access.certificatePin);
    m_impl->m_serviceUrl->setText(access.serviceUrl);
    m_impl->m_region->setText(access.region);
}

RemoteAccess CFtpFolderDialog::Access() const {
    return m_impl->m_session != nullptr ? m_impl->m_access : m_impl->TypedAccess();
}

QString CFtpFolderDialog::ResultUrl() const {
    return m_impl->m_result;
}

const std::vector<FoundTask>& CFtpFolderDialog::FoundTasks() const {
    return m_impl->m_found;
}

}  // namespace corvane
