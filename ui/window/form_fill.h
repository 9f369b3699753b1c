#pragma once

#include "ui/window/line_flag.h"

#include <QString>

namespace olv::messages {
class MessageBoxes;
}

// Sets uiBusy while a page's fields are filled from code, so their change handlers do not take the
// fill for an edit; the previous value comes back (a fill during the settling keeps uiBusy at 1).
class BusyWhileFilling {
  public:
    explicit BusyWhileFilling(LineFlag& flag) : flag_(flag), previous_(flag) { flag_ = 1; }
    ~BusyWhileFilling() { flag_ = previous_; }
    BusyWhileFilling(const BusyWhileFilling&) = delete;
    BusyWhileFilling& operator=(const BusyWhileFilling&) = delete;

  private:
    LineFlag& flag_;
    int previous_;
};

// The first field of a page that does not convert ends its collect with two boxes: what is wrong with
// the input (the field's caption in its detail), then that nothing will be written.
void ReportUnconvertible(olv::messages::MessageBoxes& boxes, bool integerField, const QString& fieldCaption);

// A field that has nothing to send (a list with no entry selected, a text field with no data yet):
// which field, then that nothing will be written.
void ReportNothingToSend(olv::messages::MessageBoxes& boxes, const QString& fieldCaption);

// A value that converts but that the instrument must not be given (a range minimum not below its
// maximum, a date that does not exist): why, with the field's caption in its detail, then that nothing
// will be written.
void ReportRefusedValue(olv::messages::MessageBoxes& boxes, const QString& sentence, const QString& fieldCaption);

// Whether an edit field shows the placeholder of a field with no data ("Данных нет", in some fields
// after a blank), which is not a value of the instrument's.
bool ShowsPlaceholder(const QString& text);
