#pragma once

#include "link/message_boxes.h"

#include <deque>
#include <vector>

namespace olv::test {

// Records every message box and answers questions from a queue (Yes when the queue is empty).
class RecordingBoxes : public link::MessageBoxes {
public:
    link::BoxAnswer show(const link::Box& box) override {
        boxes.push_back(box);
        if (box.buttons == link::BoxButtons::Ok) return link::BoxAnswer::Ok;
        if (answers.empty()) return link::BoxAnswer::Yes;
        link::BoxAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<link::Box> boxes;
    std::deque<link::BoxAnswer> answers;
};

} // namespace olv::test
