#include "ui/CDatePatternDialog.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "ui/ModalDialogScope.h"
#include "ui/SaveCancelButtons.h"

namespace corvane {

CDatePatternDialog::CDatePatternDialog(const QString& archiveName, const QString& defaultBase,
                                       QWidget* parent)
    : QDialog(parent), m_settings(archiveName, defaultBase, CurrentLocalTime()) {
    setWindowTitle(QStringLiteral("Date pattern settings"));
    auto* layout = new QVBoxLayout(this);
    m_accuracies = new QListWidget;
    m_accuracies->setObjectName(QStringLiteral("accuracyList"));
    for (const DatePatternSettings::Entry& entry : m_settings.Accuracies()) {
        m_accuracies->addItem(entry.text);
    }
    m_accuracies->setCurrentRow(m_settings.SelectedAccuracy());
    m_samples = new QListWidget;
    m_samples->setObjectName(QStringLiteral("sampleList"));
    layout->addWidget(new QLabel(QStringLiteral("Time accuracy:")));
    layout->addWidget(m_accuracies);
    layout->addWidget(new QLabel(QStringLiteral("File name sample:")));
    layout->addWidget(m_samples);
    layout->addWidget(SaveCancelButtons(*this));
    ShowSamples();

    connect(m_accuracies, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_settings.SelectAccuracy(row, CurrentLocalTime())) {
            ShowSamples();
        }
    });
    connect(m_samples, &QListWidget::currentRowChanged, this,
            [this](int row) { m_settings.SelectSample(row); });
}

void CDatePatternDialog::ShowSamples() {
    const QSignalBlocker quiet(m_samples);
    m_samples->clear();
    for (const DatePatternSettings::Entry& entry : m_settings.Samples()) {
        m_samples->addItem(entry.text);
    }
    m_samples->setCurrentRow(m_settings.SelectedSample());
}

QString CDatePatternDialog::ResultArchiveName() const {
    return m_settings.ResultArchiveName();
}

bool CDatePatternDialog::Ask(QWidget* parent, const QString& archiveName,
                             const QString& defaultBase, QString& result) {
    ModalDialogScope modal;
    CDatePatternDialog dialog(archiveName, defaultBase, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    result = dialog.ResultArchiveName();
    return true;
}

}  // namespace corvane
