#include "ui/widgets/steady_box.h"

#include <QEvent>
#include <QResizeEvent>

SteadyBox::SteadyBox(QWidget* control, QWidget* parent) : QWidget(parent), control_(control) {
    control_->setParent(this);
    setSizePolicy(control_->sizePolicy());
    setMinimumSize(control_->minimumSize()); // what was set on the control holds for the box
    setMaximumSize(control_->maximumSize());
    control_->setGeometry(rect());
}

QSize SteadyBox::sizeHint() const {
    return control_->sizeHint();
}

QSize SteadyBox::minimumSizeHint() const {
    return control_->minimumSizeHint();
}

bool SteadyBox::hasHeightForWidth() const {
    return control_->hasHeightForWidth();
}

int SteadyBox::heightForWidth(int width) const {
    return control_->heightForWidth(width);
}

bool SteadyBox::Outgrown() const {
    const QSizePolicy policy = sizePolicy();
    const QSize minimum = control_->minimumSizeHint();
    if (policy.horizontalPolicy() != QSizePolicy::Ignored && minimum.width() > width()) return true;
    if (policy.verticalPolicy() == QSizePolicy::Ignored) return false;
    if (minimum.height() > height()) return true;
    return control_->hasHeightForWidth() && control_->heightForWidth(width()) > height();
}

bool SteadyBox::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::LayoutRequest: // the control's hints changed
        if (Outgrown()) updateGeometry();
        return true;
    case QEvent::Show: // a change made while hidden posted nothing
        if (Outgrown()) updateGeometry();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void SteadyBox::resizeEvent(QResizeEvent* event) {
    control_->setGeometry(QRect(QPoint(), event->size()));
    QWidget::resizeEvent(event);
}
