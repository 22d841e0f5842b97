#pragma once

// The schedule page: "New backup wizard, step 4/4" and the "Scheduling" tab of the task
// settings sheet. How often the task runs ("Run manually", every day, on week days, once
// a month on a day), when ("Task run time:"), and whom to mail about critical errors.
// A Linux schedule runs as the user, so no logon data is asked for; the task's stored
// scheduler account is kept as it is.
//
// Main thread only.

#include <array>

#include "ui/CTaskPage.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QTimeEdit;

namespace corvane {

class CSchedulePage : public CTaskPage {
    Q_OBJECT

  public:
    CSchedulePage(TaskRecord& draft, bool inSheet, QWidget* parent = nullptr);

    QString StepTitle() const override;
    QString TabLabel() const override;
    void Load() override;
    void Store() override;
    bool Leave() override;
    void FocusField(DraftField field) override;

  private:
    ScheduleInput Input() const;

    std::array<QRadioButton*, 4> m_modes{};  // indexed by the schedule mode
    std::array<QCheckBox*, 7> m_days{};      // Monday first
    QLineEdit* m_dayOfMonth;
    QTimeEdit* m_runTime;
    QLineEdit* m_mailAddress;
    QLineEdit* m_mailAccount;
};

}  // namespace corvane
