#include "ui/CSoundsDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/SoundSettings.h"
#include "platform/desktop/SoundPlayer.h"
#include "ui/WaitCursor.h"

namespace corvane {
namespace {

const char* const kEventLabels[] = {"Program started", "Task added", "Task completed",
                                    "Task failed", "Shutdown now"};

}  // namespace

CSoundsDialog::CSoundsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Sounds"));
    auto* grid = new QGridLayout;
    for (int event = kFirstSoundEvent; event <= kLastSoundEvent; ++event) {
        Row& row = m_rows[static_cast<size_t>(event - kFirstSoundEvent)];
        const QString number = QString::number(event);
        row.enabled =
            new QCheckBox(QString::fromLatin1(kEventLabels[event - kFirstSoundEvent]), this);
        row.enabled->setObjectName(QStringLiteral("soundEnabled") + number);
        row.enabled->setChecked(IsSoundEnabled(event));
        row.path = new QLineEdit(GetSoundFile(event), this);
        row.path->setObjectName(QStringLiteral("soundPath") + number);
        row.path->setMinimumWidth(260);
        row.browse = new QPushButton(QStringLiteral("..."), this);
        row.browse->setObjectName(QStringLiteral("soundBrowse") + number);
        row.browse->setAutoDefault(false);
        row.browse->setMaximumWidth(row.browse->fontMetrics().horizontalAdvance("...") + 24);
        row.play = new QPushButton(QStringLiteral("Play"), this);
        row.play->setObjectName(QStringLiteral("soundPlay") + number);
        row.play->setAutoDefault(false);
        connect(row.browse, &QPushButton::clicked, this, [this, event] { Browse(event); });
        connect(row.play, &QPushButton::clicked, this, [this, event] { Play(event); });
        const int line = event - kFirstSoundEvent;
        grid->addWidget(row.enabled, line, 0);
        grid->addWidget(row.path, line, 1);
        grid->addWidget(row.browse, line, 2);
        grid->addWidget(row.play, line, 3);
    }
    grid->setColumnStretch(1, 1);

    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    connect(m_save, &QPushButton::clicked, this, &CSoundsDialog::Save);
    connect(m_cancel, &QPushButton::clicked, this, &CSoundsDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
}

const CSoundsDialog::Row* CSoundsDialog::RowOf(int event) const {
    if (event < kFirstSoundEvent || event > kLastSoundEvent) {
        return nullptr;
    }
    return &m_rows[static_cast<size_t>(event - kFirstSoundEvent)];
}

QCheckBox* CSoundsDialog::EnabledBox(int event) const {
    const Row* row = RowOf(event);
    return row != nullptr ? row->enabled : nullptr;
}

QLineEdit* CSoundsDialog::PathField(int event) const {
    const Row* row = RowOf(event);
    return row != nullptr ? row->path : nullptr;
}

QPushButton* CSoundsDialog::BrowseButton(int event) const {
    const Row* row = RowOf(event);
    return row != nullptr ? row->browse : nullptr;
}

QPushButton* CSoundsDialog::PlayButton(int event) const {
    const Row* row = RowOf(event);
    return row != nullptr ? row->play : nullptr;
}

void CSoundsDialog::Browse(int event) {
    const Row* row = RowOf(event);
    // Start where the current file lies, if it has a folder at all.
    const QString current = row->path->text();
    const QString start = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    QFileDialog chooser(this, QStringLiteral("Select sound file"), start,
                        QStringLiteral("WAV Files (*.wav)"));
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    if (chooser.exec() != QDialog::Accepted) {
        return;
    }
    const QStringList chosen = chooser.selectedFiles();
    if (!chosen.isEmpty() && !chosen.first().isEmpty()) {
        row->path->setText(chosen.first());
    }
}

void CSoundsDialog::Play(int event) {
    const QString path = RowOf(event)->path->text();
    if (path.isEmpty()) {
        return;
    }
    WaitCursor wait;
    PlaySoundFileSync(path);
}

void CSoundsDialog::Save() {
    for (int event = kFirstSoundEvent; event <= kLastSoundEvent; ++event) {
        SetSoundFile(event, RowOf(event)->path->text());
    }
    for (int event = kFirstSoundEvent; event <= kLastSoundEvent; ++event) {
        SetSoundEnabled(event, RowOf(event)->enabled->isChecked());
    }
    accept();
}

}  // namespace corvane
