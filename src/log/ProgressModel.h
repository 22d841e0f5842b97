#pragma once

// The state of the progress indicator and what it draws: a range, a position inside it,
// a label and a visible flag. The status bar's progress bar keeps one and draws its
// Text() over FilledWidth() pixels; tests and the terminal use it directly.
//
// Not thread-safe: a model belongs to the thread that made it. To report into it from
// other threads, register a QueuedProgressTarget made on that thread.

#include <QString>

#include "log/ProgressTarget.h"

namespace corvane {

// Largest bound of a range: the bounds travel as two 16-bit halves.
inline constexpr int kMaxProgressBound = 65535;

class ProgressModel : public ProgressTarget {
  public:
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }
    int Position() const { return m_position; }
    int Step() const { return m_step; }
    bool ShowsText() const { return m_showText; }
    const QString& Label() const { return m_label; }
    bool IsVisible() const { return m_visible; }

    // ProgressTarget. Show sets the position to 0; SetRange limits each bound to
    // 0..kMaxProgressBound; SetRange and SetPosition do nothing while hidden. The
    // position always stays inside the range (a position outside it moves to the
    // nearer bound), as a progress bar keeps it.
    void Show() override;
    void SetLabel(const QString& label) override;
    void SetRange(int lower, int upper) override;
    void SetPosition(int position) override;
    void Hide() override;

    void SetShowText(bool on) { m_showText = on; }

    // Percentage done, truncated: (position - lower) * 100 / (upper - lower); 0 unless
    // lower < upper.
    int Percent() const;
    // The text drawn inside the indicator: "label: N%", or "N%" when the label is
    // empty; empty unless lower < upper and show-text is on.
    QString Text() const;
    // Pixels filled from the left in an indicator `width` pixels wide, truncated; 0
    // unless lower < upper.
    int FilledWidth(int width) const;

  private:
    void PlacePosition(int position);

    int m_lower = 0;
    int m_upper = 100;
    int m_position = 0;
    int m_step = 1;
    bool m_showText = true;
    QString m_label;
    bool m_visible = false;
};

}  // namespace corvane
