#include "ui/CSchedulePage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>
#include "ui/TaskPageCheck.h"

namespace corvane {
namespace {

constexpr std::array<const char*, 4> kModeTexts = {
    "Run manually", "Every day", "Each week on the following day(s):", "Once a month on"};
constexpr std::array<const char*, 4> kModeNames = {"manualRadio", "dailyRadio", "weeklyRadio",
                                                   "monthlyRadio"};
// As the program has always spelled them.
constexpr std::array<const char*, 7> kDayTexts = {"Monday", "Tuesday",  "Wednesday", "Thirsday",
                                                  "Friday", "Saturday", "Sunday"};

}  // namespace

CSchedulePage::CSchedulePage(TaskRecord& draft, bool inSheet, QWidget* parent)
    : CTaskPage(draft, inSheet, parent) {
    auto* layout = new QVBoxLayout(this);
    auto* group = new QButtonGroup(this);
    for (size_t mode = 0; mode < m_modes.size(); ++mode) {
        m_modes[mode] = new QRadioButton(QString::fromUtf8(kModeTexts[mode]));
        m_modes[mode]->setObjectName(QString::fromUtf8(kModeNames[mode]));
        group->addButton(m_modes[mode]);
    }
    layout->addWidget(m_modes[kScheduleNone]);
    layout->addWidget(m_modes[kScheduleDaily]);
    layout->addWidget(m_modes[kScheduleWeekly]);
    auto* days = new QGridLayout;
    days->setContentsMargins(20, 0, 0, 0);
    for (size_t day = 0; day < m_days.size(); ++day) {
        m_days[day] = new QCheckBox(QString::fromUtf8(kDayTexts[day]));
        m_days[day]->setObjectName(QStringLiteral("dayCheck%1").arg(day));
        days->addWidget(m_days[day], static_cast<int>(day / 4), static_cast<int>(day % 4));
    }
    layout->addLayout(days);
    auto* monthly = new QHBoxLayout;
    m_dayOfMonth = new QLineEdit;
    m_dayOfMonth->setObjectName(QStringLiteral("monthDayEdit"));
    m_dayOfMonth->setValidator(new QIntValidator(0, 31, m_dayOfMonth));
    m_dayOfMonth->setMaximumWidth(60);
    monthly->addWidget(m_modes[kScheduleMonthly]);
    monthly->addWidget(m_dayOfMonth);
    monthly->addWidget(new QLabel(QStringLiteral("day")));
    monthly->addStretch(1);
    layout->addLayout(monthly);

    auto* form = new QFormLayout;
    m_runTime = new QTimeEdit;
    m_runTime->setObjectName(QStringLiteral("runTimeEdit"));
    m_runTime->setDisplayFormat(QStringLiteral("HH:mm"));
    m_mailAddress = new QLineEdit;
    m_mailAddress->setObjectName(QStringLiteral("mailAddressEdit"));
    m_mailAccount = new QLineEdit;
    m_mailAccount->setObjectName(QStringLiteral("mailAccountEdit"));
    form->addRow(QStringLiteral("Task run time:"), m_runTime);
    form->addRow(new QLabel(QStringLiteral("Notify about critical errors to the address:")));
    form->addRow(m_mailAddress);
    form->addRow(QStringLiteral("Mail account:"), m_mailAccount);
    layout->addLayout(form);
    layout->addStretch(1);
}

QString CSchedulePage::StepTitle() const {
    return QStringLiteral("New backup wizard, step 4/4");
}

QString CSchedulePage::TabLabel() const {
    return QStringLiteral("Scheduling");
}

void CSchedulePage::Load() {
    const ScheduleInput input = ScheduleInputOf(Draft());
    const size_t mode = input.mode >= 0 && static_cast<size_t>(input.mode) < m_modes.size()
                            ? static_cast<size_t>(input.mode)
                            : static_cast<size_t>(kScheduleNone);
    m_modes[mode]->setChecked(true);
    for (size_t day = 0; day < m_days.size(); ++day) {
        m_days[day]->setChecked(input.weekDays[day]);
    }
    m_dayOfMonth->setText(input.dayOfMonth > 0 ? QString::number(input.dayOfMonth) : QString());
    // A task that never had a run time offers now, rounded down to five minutes.
    const CalendarTime runTime = Draft().scheduleStart.IsValid()
                                     ? Draft().scheduleStart
                                     : RoundedRunTime(CurrentLocalTime());
    m_runTime->setTime(QTime(runTime.hour, runTime.minute));
    m_mailAddress->setText(input.mailAddress);
    m_mailAccount->setText(input.mailAccount);
}

ScheduleInput CSchedulePage::Input() const {
    ScheduleInput input;
    for (size_t mode = 0; mode < m_modes.size(); ++mode) {
        if (m_modes[mode]->isChecked()) {
            input.mode = static_cast<qint32>(mode);
        }
    }
    for (size_t day = 0; day < m_days.size(); ++day) {
        input.weekDays[day] = m_days[day]->isChecked();
    }
    input.dayOfMonth = m_dayOfMonth->text().toInt();  // 0 for an empty field
    input.hour = m_runTime->time().hour();
    input.minute = m_runTime->time().minute();
    input.mailAddress = m_mailAddress->text();
    input.mailAccount = m_mailAccount->text();
    return input;
}

void CSchedulePage::Store() {
    StoreSchedulePage(Draft(), Input());
}

bool CSchedulePage::Leave() {
    Store();
    DraftProblem problem;
    return ShowCheckResult(*this, CheckSchedulePage(Input(), &problem), problem);
}

void CSchedulePage::FocusField(DraftField field) {
    if (field == DraftField::kWeekDays) {
        m_days.front()->setFocus();
    } else {
        m_dayOfMonth->setFocus();
    }
}

}  // namespace corvane
