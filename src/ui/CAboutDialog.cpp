#include "ui/CAboutDialog.h"

#include "ui/HelpFile.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace corvane {

namespace {

// The version of the sources, for a start-up that sets none of its own.
#ifdef CORVANE_VERSION
const char* const kBuildVersion = CORVANE_VERSION;
#else
const char* const kBuildVersion = "0.1.0";
#endif

}  // namespace

QString CAboutDialog::VersionText() {
    const QString version = QCoreApplication::applicationVersion();
    return QStringLiteral("Version %1")
        .arg(version.isEmpty() ? QString::fromUtf8(kBuildVersion) : version);
}

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Corvane"));

    auto* picture = new QLabel(this);
    picture->setPixmap(QIcon(QStringLiteral(":/corvane/app.svg")).pixmap(64, 64));
    picture->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(QStringLiteral("<b>Corvane</b>"), this);
    QFont nameFont = name->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.5);
    name->setFont(nameFont);
    auto* version = new QLabel(VersionText(), this);
    version->setObjectName(QStringLiteral("VersionLabel"));
    auto* blurb = new QLabel(QStringLiteral("Backups of your folders, files and settings."), this);

    auto* web = new QPushButton(QStringLiteral("Help"), this);
    web->setObjectName(QStringLiteral("WebLink"));
    const QUrl help = HelpUrl();
    web->setEnabled(!help.isEmpty());
    web->setToolTip(help.toDisplayString());
    connect(web, &QPushButton::clicked, this, [help] { QDesktopServices::openUrl(help); });
    // A mail with the version in its subject; the user picks the recipient.
    QUrl mailUrl(QStringLiteral("mailto:"));
    mailUrl.setQuery(QStringLiteral("subject=Corvane %1").arg(VersionText()));
    auto* mail = new QPushButton(QStringLiteral("Mail"), this);
    mail->setObjectName(QStringLiteral("MailLink"));
    mail->setToolTip(QStringLiteral("Write a mail about this version"));
    connect(mail, &QPushButton::clicked, this, [mailUrl] { QDesktopServices::openUrl(mailUrl); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(version);
    text->addWidget(blurb);
    auto* links = new QHBoxLayout;
    links->addWidget(web);
    links->addWidget(mail);
    links->addStretch();
    text->addLayout(links);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

}  // namespace corvane
