#pragma once

#include "ui/window/page_host.h"

#include <utility>
#include <vector>

class QAction;
class QWidget;
class TForm1;

// One operation on the instrument at a time. An operation (the start-up read, a page's read or
// write, the search) runs inside one of these: while it lives, the link row, the list of found
// instruments, the pages' command buttons (not "Остановить") and the profile menu are disabled, so
// nothing the user does during its pauses can change its target or start a second operation; at
// its end they are enabled exactly as they were before. A second operation asked for meanwhile
// (started() false) must not run. A close asked for during the operation happens after it.
class InstrumentOperation : public OperationHold {
  public:
    explicit InstrumentOperation(TForm1& form);
    ~InstrumentOperation() override;
    InstrumentOperation(const InstrumentOperation&) = delete;
    InstrumentOperation& operator=(const InstrumentOperation&) = delete;
    bool started() const override { return started_; }

  private:
    TForm1& form_;
    bool started_ = false;
    std::vector<std::pair<QWidget*, bool>> controls_;
    std::vector<std::pair<QAction*, bool>> actions_;
};
