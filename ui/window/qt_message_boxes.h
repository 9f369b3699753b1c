#pragma once

#include "messages/message_boxes.h"

#include <QList>
#include <QPointer>

class QMessageBox;
class QWidget;

// The program's message boxes as modal QMessageBox boxes owned by the main window.
class QtMessageBoxes : public olv::messages::MessageBoxes {
  public:
    explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}

    void setOwner(QWidget* owner) { owner_ = owner; }
    olv::messages::BoxAnswer show(const olv::messages::Box& box) override;

    // The program is closing: every open box is closed (a question counts as answered No) and no
    // further box is shown.
    void dismissAll();
    bool dismissed() const { return dismissed_; }

  private:
    QPointer<QWidget> owner_;
    bool dismissed_ = false;
    QList<QPointer<QMessageBox>> open_;
};
