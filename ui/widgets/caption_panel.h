#pragma once

#include <QFrame>
#include <QString>

class QLabel;
class QVBoxLayout;

// A panel with a centred caption, optionally above other controls (a progress bar).
class CaptionPanel : public QFrame {
  public:
    explicit CaptionPanel(QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const;
    QLabel* captionLabel() const { return label_; }
    // Adds a control under the caption.
    void addControl(QWidget* control);

  private:
    QLabel* label_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
};
