#pragma once

// Options > "Archive &threads...": how many threads compress the entries of a ZIP
// archive, kept in the user setting that corvane-cli reads too (where --threads does
// not override it). A spin box from 0 to 64, where 0 reads "All cores (N)". A count
// takes effect with the next archive, not the one being written.

#include "ui/CNumberSettingDialog.h"

namespace corvane {

class CArchiveThreadsDialog : public CNumberSettingDialog {
    Q_OBJECT

  public:
    static constexpr int kMostThreads = 64;

    explicit CArchiveThreadsDialog(QWidget* parent = nullptr);

    QSpinBox* ThreadsField() const { return ValueField(); }
};

// Options > "Idle &notice...": after how many days without a run that stored anything a
// run that finds nothing to do raises a desktop notice (0: never), for this window and
// corvane-cli alike.
class CIdleNoticeDialog : public CNumberSettingDialog {
    Q_OBJECT

  public:
    static constexpr int kMostDays = 3650;

    explicit CIdleNoticeDialog(QWidget* parent = nullptr);
};

}  // namespace corvane
