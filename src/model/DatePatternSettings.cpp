#include "model/DatePatternSettings.h"

namespace corvane {

namespace {

// The date of a sample for an accuracy, as the samples show it (year with four
// digits), or the pattern that the archive name gets for it.
QString SampleDate(qint32 accuracy, const CalendarTime& now) {
    const int year = now.year;
    const int month = now.month;
    const int day = now.day;
    const int hour = now.hour;
    const int minute = now.minute;
    switch (accuracy) {
        case kAccuracyMinute:
            return QString::asprintf("%.4d_%.2d_%.2d-%.2d_%.2d", year, month, day, hour, minute);
        case kAccuracyHour:
            return QString::asprintf("%.4d_%.2d_%.2d-%.2dh", year, month, day, hour);
        case kAccuracyDay:
            return QString::asprintf("%.4d_%.2d_%.2d", year, month, day);
        case kAccuracyMonth:
            return QString::asprintf("%.4d_%.2d", year, month);
        default:
            return QString();
    }
}

QString PatternFor(qint32 accuracy) {
    switch (accuracy) {
        case kAccuracyMinute:
            return QStringLiteral("#YY_#MM_#DD-#HH_#MIN");
        case kAccuracyHour:
            return QStringLiteral("#YY_#MM_#DD-#HHh");
        case kAccuracyDay:
            return QStringLiteral("#YY_#MM_#DD");
        case kAccuracyMonth:
            return QStringLiteral("#YY_#MM");
        default:
            return QString();
    }
}

}  // namespace

DatePatternSettings::DatePatternSettings(const QString& archiveName, const QString& defaultBase,
                                         const CalendarTime& now)
    : m_accuracies{{QStringLiteral("None"), kAccuracyNone},
                   {QStringLiteral("Minute"), kAccuracyMinute},
                   {QStringLiteral("Hour"), kAccuracyHour},
                   {QStringLiteral("Day"), kAccuracyDay},
                   {QStringLiteral("Month"), kAccuracyMonth}} {
    // File name and extension as a path splitter makes them: the folder part ends at
    // the last "/", the extension starts at the last "." of the file name.
    const QString fileName = archiveName.mid(archiveName.lastIndexOf(u'/') + 1);
    const qsizetype dot = fileName.lastIndexOf(u'.');
    QString name = dot < 0 ? fileName : fileName.left(dot);
    m_extension = dot < 0 ? QString() : fileName.mid(dot);

    const qsizetype hash = name.indexOf(u'#');
    if (hash >= 0) {
        name.truncate(hash);
    }
    qsizetype end = name.size();
    while (end > 0 && name[end - 1].isSpace()) {
        --end;
    }
    name.truncate(end);
    m_base = name.isEmpty() ? defaultBase : name;

    FillSamples(now);
}

bool DatePatternSettings::SelectAccuracy(int index, const CalendarTime& now) {
    if (index < 0 || index >= static_cast<int>(m_accuracies.size())) {
        return false;
    }
    m_selectedAccuracy = index;
    FillSamples(now);
    return true;
}

bool DatePatternSettings::SelectSample(int index) {
    if (index < 0 || index >= static_cast<int>(m_samples.size())) {
        return false;
    }
    m_selectedSample = index;
    return true;
}

void DatePatternSettings::FillSamples(const CalendarTime& now) {
    const qint32 accuracy = m_accuracies[m_selectedAccuracy].code;
    m_samples.clear();
    if (accuracy == kAccuracyNone) {
        m_samples.push_back({m_base + m_extension, kSampleWithBase});
    } else {
        const QString date = SampleDate(accuracy, now);
        m_samples.push_back({m_base + u' ' + date + m_extension, kSampleWithBase});
        m_samples.push_back({date + m_extension, kSampleWithoutBase});
    }
    m_selectedSample = 0;
}

QString DatePatternSettings::ResultArchiveName() const {
    const qint32 accuracy = m_accuracies[m_selectedAccuracy].code;
    if (accuracy == kAccuracyNone) {
        return m_base + m_extension;
    }
    const QString pattern = PatternFor(accuracy) + m_extension;
    if (m_samples[m_selectedSample].code == kSampleWithoutBase) {
        return pattern;
    }
    return m_base + u' ' + pattern;
}

}  // namespace corvane
