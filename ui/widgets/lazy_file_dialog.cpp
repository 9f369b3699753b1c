#include "ui/widgets/lazy_file_dialog.h"

#include <QFileDialog>

#include <utility>

LazyFileDialog::LazyFileDialog(std::function<QFileDialog*()> make) : state_(std::make_shared<State>()) {
    state_->make = std::move(make);
}

QFileDialog* LazyFileDialog::get() const {
    if (!state_) return nullptr;
    if (!state_->dialog && state_->make) state_->dialog = state_->make();
    return state_->dialog;
}
