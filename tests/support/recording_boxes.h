#pragma once

#include "messages/message_boxes.h"

#include <deque>
#include <functional>
#include <vector>

namespace olv::test {

// Records every message box and answers questions from a queue (Yes when the queue is empty).
class RecordingBoxes : public link::MessageBoxes {
  public:
    link::BoxAnswer show(const link::Box& box) override {
        boxes.push_back(box);
        if (whileShown) whileShown(box); // as long as a real box would stay open
        if (box.buttons == link::BoxButtons::Ok) return link::BoxAnswer::Ok;
        if (answers.empty()) return link::BoxAnswer::Yes;
        link::BoxAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<link::Box> boxes;
    std::deque<link::BoxAnswer> answers;
    std::function<void(const link::Box&)> whileShown; // runs while the box is "open"
};

} // namespace olv::test
