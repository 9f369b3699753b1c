#include "ui/window/qt_message_boxes.h"

#include <QMessageBox>

using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;

namespace {

QMessageBox::Icon IconOf(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::Error:
        return QMessageBox::Critical;
    case BoxIcon::Warning:
        return QMessageBox::Warning;
    case BoxIcon::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

BoxAnswer Unanswered(const olv::messages::Box& box) {
    return box.buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
}

} // namespace

BoxAnswer QtMessageBoxes::show(const olv::messages::Box& box) {
    if (dismissed_) return Unanswered(box);

    QMessageBox message(IconOf(box.icon), box.caption, box.text, QMessageBox::NoButton, owner_.data());
    message.setWindowModality(Qt::ApplicationModal);
    if (!box.detail.isEmpty()) message.setInformativeText(box.detail);
    if (!box.details.isEmpty()) message.setDetailedText(box.details);
    if (box.buttons == BoxButtons::YesNo) {
        message.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        message.setDefaultButton(QMessageBox::Yes);
        message.setEscapeButton(QMessageBox::No);
    } else {
        message.setStandardButtons(QMessageBox::Ok);
        message.setEscapeButton(QMessageBox::Ok);
    }

    open_.append(&message);
    const int pressed = message.exec();
    open_.removeAll(&message);

    if (box.buttons == BoxButtons::Ok) return BoxAnswer::Ok;
    return pressed == QMessageBox::Yes && !dismissed_ ? BoxAnswer::Yes : BoxAnswer::No;
}

void QtMessageBoxes::dismissAll() {
    dismissed_ = true;
    for (const QPointer<QMessageBox>& message : open_)
        if (message) message->done(QMessageBox::No);
}
