#pragma once

#include "messages/message_boxes.h"

#include <deque>
#include <functional>
#include <vector>

namespace olv::test {

// Records every message box and answers questions from a queue (Yes when the queue is empty).
class RecordingBoxes : public messages::MessageBoxes {
  public:
    messages::BoxAnswer show(const messages::Box& box) override {
        boxes.push_back(box);
        if (whileShown) whileShown(box); // as long as a real box would stay open
        if (box.buttons == messages::BoxButtons::Ok) return messages::BoxAnswer::Ok;
        if (answers.empty()) return messages::BoxAnswer::Yes;
        messages::BoxAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<messages::Box> boxes;
    std::deque<messages::BoxAnswer> answers;
    std::function<void(const messages::Box&)> whileShown; // runs while the box is "open"
};

} // namespace olv::test
