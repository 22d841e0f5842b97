#pragma once

// The progress bar of the status bar: a bar that draws its own text ("label: N%", or
// "N%" without a label) centred over it, in two colours so that the text stays readable
// over the filled and the empty part alike. Nothing at all is drawn unless lower <
// upper.
//
// It is the window's ProgressTarget: the progress operations of log/Log.h drive it
// (behind a QueuedProgressTarget, since it lives on the main thread). Show and Hide also
// show and hide the widget; the range and the position are ignored while it is hidden,
// as the progress operations promise.
//
// Main thread only.

#include <QColor>
#include <QWidget>
#include <optional>

#include "log/ProgressModel.h"
#include "log/ProgressTarget.h"

namespace corvane {

class CLabelProgressCtrl : public QWidget, public ProgressTarget {
    Q_OBJECT

  public:
    explicit CLabelProgressCtrl(QWidget* parent = nullptr);

    // ProgressTarget.
    void Show() override;
    void SetLabel(const QString& label) override;
    void SetRange(int lower, int upper) override;
    void SetPosition(int position) override;
    void Hide() override;

    // The state the bar draws (range, position, label, visible flag, text).
    const ProgressModel& Model() const { return m_model; }
    // True between Show and Hide, whether or not the window around it is visible.
    bool IsShown() const { return m_model.IsVisible(); }

    // The usual progress bar operations. Each answers the position before the change.
    // StepIt advances by the step and starts over at the lower bound once it passes
    // the upper one; OffsetPos moves by `delta` and stays inside the range.
    int SetStep(int step);
    int Step() const { return m_step; }
    int StepIt();
    int OffsetPos(int delta);

    void SetShowText(bool on);

    // Colours; an invalid QColor returns to the default (bar: the palette's highlight,
    // background: the palette's base). The text colour, when set, is used over both
    // parts; unset, the text over the filled part takes the background colour and over
    // the empty part the bar colour.
    void SetBarColour(const QColor& colour);
    void SetBackgroundColour(const QColor& colour);
    void SetTextColour(const QColor& colour);
    QColor BarColour() const;
    QColor BackgroundColour() const;

    QSize sizeHint() const override;

  signals:
    // Show (true) and Hide (false) of the progress operations.
    void ShownChanged(bool shown);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    ProgressModel m_model;
    int m_step = 1;
    std::optional<QColor> m_barColour;
    std::optional<QColor> m_backColour;
    std::optional<QColor> m_textColour;
};

}  // namespace corvane
