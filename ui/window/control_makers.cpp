#include "ui/window/control_makers.h"

#include "ui/widgets/caption_panel.h"

#include "device/register_map.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QValidator>

#include <algorithm>

const QString NoData = QStringLiteral("Данных нет");

namespace {

// Limits what the user can type or paste into a field to a number of characters, like the length
// limit of a native edit control: text set from code is shown whole (the initial "Данных нет" and the
// values the pages show are longer than some limits), and a text that is already too long can still be
// shortened. An insertion that would go past the limit keeps as many of its first characters as fit.
class LengthLimit : public QValidator {
  public:
    LengthLimit(QLineEdit* edit, int limit) : QValidator(edit), edit_(edit), limit_(limit) {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { shown_ = text; });
        shown_ = edit->text();
    }
    State validate(QString& input, int& position) const override {
        if (input.size() <= limit_ || input.size() < shown_.size()) return Acceptable;
        // Text set from code resets the field's modified state before it is validated; what the user
        // typed or pasted leaves it set.
        if (!edit_->isModified()) return Invalid;
        // The edit replaced shown_[prefix, shown_.size() - suffix) by input[prefix, input.size() - suffix).
        qsizetype prefix = 0;
        while (prefix < shown_.size() && prefix < input.size() && shown_[prefix] == input[prefix])
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < shown_.size() - prefix && suffix < input.size() - prefix &&
               shown_[shown_.size() - 1 - suffix] == input[input.size() - 1 - suffix])
            ++suffix;
        const qsizetype inserted = input.size() - prefix - suffix;
        const qsizetype room = limit_ - (input.size() - inserted);
        if (room <= 0 && inserted > 0 && prefix + suffix == shown_.size()) return Invalid; // nothing fits
        const qsizetype kept = std::clamp<qsizetype>(room, 0, inserted);
        input.remove(prefix + kept, inserted - kept);
        position = static_cast<int>(prefix + kept);
        return Acceptable;
    }
    int limit() const { return limit_; }

  private:
    QLineEdit* edit_;
    int limit_;
    QString shown_;
};

} // namespace

QLabel* MakeLabel(QWidget* parent, QLabel*& member, const char* name, const QString& caption) {
    Make(parent, member, name)->setText(caption);
    return member;
}

QPushButton* MakeButton(QWidget* parent, QPushButton*& member, const char* name, const QString& caption) {
    Make(parent, member, name)->setText(caption);
    member->setAutoDefault(false);
    return member;
}

QCheckBox* MakeCheckBox(QWidget* parent, QCheckBox*& member, const char* name, const QString& caption) {
    Make(parent, member, name)->setText(caption);
    return member;
}

QLineEdit* MakeEdit(QWidget* parent, QLineEdit*& member, const char* name, const QString& text, int maxLength) {
    Make(parent, member, name);
    member->setText(text);
    if (maxLength > 0) {
        member->setValidator(new LengthLimit(member, maxLength));
        member->setProperty("lengthLimit", maxLength);
    }
    return member;
}

QComboBox* MakeList(QWidget* parent, QComboBox*& member, const char* name) {
    Make(parent, member, name)->setEditable(false);
    member->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    member->setMaxVisibleItems(16);
    return member;
}

QComboBox* MakeEditableCombo(QWidget* parent, QComboBox*& member, const char* name, const QString& text) {
    Make(parent, member, name)->setEditable(true);
    member->setInsertPolicy(QComboBox::NoInsert);
    member->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    member->setMaxVisibleItems(16);
    member->setEditText(text);
    return member;
}

QProgressBar* MakeProgress(QWidget* parent, QProgressBar*& member, const char* name, int maximum) {
    Make(parent, member, name)->setRange(0, maximum);
    member->setValue(0);
    return member;
}

CaptionPanel* MakePanel(QWidget* parent, CaptionPanel*& member, const char* name, const QString& caption) {
    Make(parent, member, name)->setCaption(caption);
    return member;
}

// Replaces the entries of a list, leaving no entry selected and the design text (if any) showing.

void FillList(QComboBox* box, const QStringList& entries) {
    const QString designText = box->isEditable() ? box->currentText() : QString();
    box->clear();
    box->addItems(entries);
    box->setCurrentIndex(-1);
    if (box->isEditable()) box->setEditText(designText);
}

QStringList Numbers(int first, int last, bool threeWide) {
    QStringList entries;
    for (int n = first; n <= last; ++n)
        entries << (threeWide ? QStringLiteral("%1").arg(n, 3, 10, QLatin1Char(' ')) : QString::number(n));
    return entries;
}

void SetHint(QWidget* control, const QString& hint, bool displayed) {
    control->setProperty("hint", hint);
    control->setToolTip(displayed ? hint : QString());
}

QStringList BaudRateEntries() {
    QStringList rates;
    for (int rate : olv::device::BaudRates)
        rates << QString::number(rate);
    return rates;
}

QStringList ParityEntries() {
    return {QStringLiteral("Нет"), QStringLiteral("Нечетный"), QStringLiteral("Четный")};
}

QStringList ByteOrderEntries() {
    return {QStringLiteral("0 1 2 3"), QStringLiteral("2 3 0 1"), QStringLiteral("1 0 3 2"),
            QStringLiteral("3 2 1 0")};
}
