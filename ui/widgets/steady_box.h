#pragma once

#include <QWidget>

// Holds one control whose text changes often (a reading, a count) and keeps that change from laying
// out the page around it. A label given a new text asks its parent's layout to run again, and from
// there every layout up to the window runs and the notebook repaints all of its page: once a second
// while polling, most of the program's processor time. The box has no layout of its own, so the
// request stops here; the box asks its own parent for room again only when the control no longer fits
// in the place it has (its minimum size, or its height for the box's width, is larger than the box).
// A control that needs less room than before keeps its place, so the page does not shift either.
class SteadyBox : public QWidget {
  public:
    // `control` becomes the box's child and fills it; the box takes the control's size policy and its
    // minimum and maximum sizes as set so far.
    SteadyBox(QWidget* control, QWidget* parent = nullptr);

    QWidget* control() const { return control_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

  protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    bool Outgrown() const; // the control does not fit in the box as it stands
    QWidget* control_;
};
