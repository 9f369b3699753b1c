#pragma once

#include <functional>

// One of the design's flags (uiBusy, pollEnabled, operationRunning, listening) as a view of the line's
// state: it reads as 0 or 1, and an assignment asks the window to change the state. A view without a
// setter cannot be assigned.
class LineFlag {
  public:
    explicit LineFlag(std::function<int()> get, std::function<void(int)> set = {})
        : get_(std::move(get)), set_(std::move(set)) {}
    LineFlag(const LineFlag&) = delete;
    LineFlag& operator=(const LineFlag&) = delete;

    operator int() const { return get_(); }
    LineFlag& operator=(int value) {
        set_(value);
        return *this;
    }

  private:
    std::function<int()> get_;
    std::function<void(int)> set_;
};
