#pragma once

#include <functional>
#include <memory>

class QFileDialog;

// A file dialog made the first time it is used. Qt's file dialog builds its model, its tool buttons
// and their icons when constructed and writes its state to Qt's settings when destroyed: made at
// start, the window's five dialogs took a third of its start-up. Copies share the one dialog, so a
// copy may stand wherever a QFileDialog* would.
class LazyFileDialog {
  public:
    LazyFileDialog() = default;
    explicit LazyFileDialog(std::function<QFileDialog*()> make);

    QFileDialog* get() const; // the dialog, made now if it was not yet; null when never given a maker
    operator QFileDialog*() const { return get(); }
    QFileDialog* operator->() const { return get(); }
    bool made() const { return state_ && state_->dialog; }

  private:
    struct State {
        std::function<QFileDialog*()> make;
        QFileDialog* dialog = nullptr;
    };
    std::shared_ptr<State> state_;
};
