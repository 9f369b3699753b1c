#include "ui/widgets/caption_panel.h"

#include <QLabel>
#include <QVBoxLayout>

CaptionPanel::CaptionPanel(QWidget* parent) : QFrame(parent) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(6, 4, 6, 4);
    label_ = new QLabel(this);
    label_->setAlignment(Qt::AlignCenter);
    layout_->addWidget(label_);
}

void CaptionPanel::setCaption(const QString& caption) {
    label_->setText(caption);
}

QString CaptionPanel::caption() const {
    return label_->text();
}

void CaptionPanel::addControl(QWidget* control) {
    layout_->addWidget(control);
}
