#pragma once

// "Date pattern settings": writes a date pattern into an archive name. The user picks
// an accuracy ("Time accuracy:") and one of the file name samples ("File name
// sample:"); Save answers the new archive name. The choices and names are
// model/DatePatternSettings; this dialog only shows them.
//
// Main thread only.

#include <QDialog>

#include "model/DatePatternSettings.h"

class QListWidget;

namespace corvane {

class CDatePatternDialog : public QDialog {
    Q_OBJECT

  public:
    // `archiveName` is the name to change; `defaultBase` stands in when its file name
    // holds nothing before the first "#".
    CDatePatternDialog(const QString& archiveName, const QString& defaultBase,
                       QWidget* parent = nullptr);

    // The archive name for the current choice (what Save answers).
    QString ResultArchiveName() const;

    // Runs the dialog modally; true with `result` on Save, false (nothing set) on Cancel.
    static bool Ask(QWidget* parent, const QString& archiveName, const QString& defaultBase,
                    QString& result);

  private:
    void ShowSamples();

    DatePatternSettings m_settings;
    QListWidget* m_accuracies;
    QListWidget* m_samples;
};

}  // namespace corvane
