#pragma once

// The logic of the "Date pattern settings" dialog, without widgets: it offers the
// accuracies of a date pattern ("None", "Minute", "Hour", "Day", "Month"), shows file
// name samples for the chosen one and builds the new archive name from the choice.
//
// The archive name given at construction is split into a base and an extension: the
// extension includes its dot (".zip"); a folder part is dropped; the base is the file
// name cut before its first "#", without trailing blanks, or the default base when
// that leaves nothing.
//
// A plain value object for the main thread's dialog; the clock is passed in, so the
// samples are those of the time the caller names.

#include <QString>
#include <QtGlobal>
#include <vector>

#include "model/CalendarTime.h"

namespace corvane {

// Accuracy codes, equal to their places in the accuracy list.
enum DatePatternAccuracy : qint32 {
    kAccuracyNone = 0,
    kAccuracyMinute = 1,
    kAccuracyHour = 2,
    kAccuracyDay = 3,
    kAccuracyMonth = 4,
};

// Sample codes: the name with the base before the date, or the date alone.
enum DatePatternSampleKind : qint32 { kSampleWithBase = 0, kSampleWithoutBase = 1 };

class DatePatternSettings {
  public:
    // One line of a list: its text and its code.
    struct Entry {
        QString text;
        qint32 code = 0;

        bool operator==(const Entry&) const = default;
    };

    // Selects "None" and fills the samples for `now`.
    DatePatternSettings(const QString& archiveName, const QString& defaultBase,
                        const CalendarTime& now);

    const QString& Base() const { return m_base; }
    const QString& Extension() const { return m_extension; }

    // The accuracy list, "None" 0 … "Month" 4, in that order.
    const std::vector<Entry>& Accuracies() const { return m_accuracies; }
    int SelectedAccuracy() const { return m_selectedAccuracy; }
    // Selects an accuracy by its place in the list, refills the samples for `now` and
    // selects the first sample. False (and nothing changes) for a place outside the list.
    bool SelectAccuracy(int index, const CalendarTime& now);

    // The samples of the selected accuracy: one for "None", else the name with the base
    // (code 0) and without it (code 1).
    const std::vector<Entry>& Samples() const { return m_samples; }
    int SelectedSample() const { return m_selectedSample; }
    // False (and nothing changes) for a place outside the list.
    bool SelectSample(int index);

    // The archive name that "Save" returns for the current choice, e.g. "Docs
    // #YY_#MM_#DD.zip" for "Day" with the base, "#YY_#MM_#DD.zip" without it.
    QString ResultArchiveName() const;

  private:
    void FillSamples(const CalendarTime& now);

    QString m_base;
    QString m_extension;
    std::vector<Entry> m_accuracies;
    int m_selectedAccuracy = 0;
    std::vector<Entry> m_samples;
    int m_selectedSample = 0;
};

}  // namespace corvane
