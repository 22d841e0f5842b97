#pragma once

// Where the progress operations of Log.h go: the status bar's progress bar, a
// ProgressModel, the terminal. Called on the thread that reports; a target that belongs
// to one thread is made safe for the others by putting a QueuedProgressTarget in front.

#include <QString>

namespace corvane {

class ProgressTarget {
  public:
    virtual ~ProgressTarget() = default;

    // Makes the indicator visible with its position at 0.
    virtual void Show() = 0;
    // Sets the label drawn inside the indicator.
    virtual void SetLabel(const QString& label) = 0;
    // Sets the range; each bound is meant to lie in 0..65535. Ignored while hidden.
    virtual void SetRange(int lower, int upper) = 0;
    // Sets the position. Ignored while hidden.
    virtual void SetPosition(int position) = 0;
    // Hides the indicator.
    virtual void Hide() = 0;
};

}  // namespace corvane
