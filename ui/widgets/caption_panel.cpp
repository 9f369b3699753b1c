#include "ui/widgets/caption_panel.h"

#include "ui/widgets/steady_box.h"

#include <QLabel>
#include <QVBoxLayout>

CaptionPanel::CaptionPanel(QWidget* parent) : QFrame(parent) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(6, 4, 6, 4);
    label_ = new QLabel();
    label_->setAlignment(Qt::AlignCenter);
    // The caption changes often (a reading each second): it lays out nothing around it while it fits.
    layout_->addWidget(new SteadyBox(label_, this));
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
