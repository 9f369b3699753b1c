#include "tests/support/fake_port.h"

#include <algorithm>
#include <cstring>

namespace olv::test {

void FakePort::queueReply(std::vector<uint8_t> bytes, uint32_t lineErrors) {
    replies_.push_back(Reply{std::move(bytes), lineErrors});
}

void FakePort::queueSilence() {
    replies_.push_back(Reply{});
}

bool FakePort::open(const std::string& devicePath, const link::LineSettings& line, std::string& error) {
    calls.push_back("open");
    opens.push_back(OpenCall{devicePath, line});
    if (onOpen) onOpen();
    if (failOpen) {
        opened = false;
        error = openFailure;
        return false;
    }
    opened = true;
    lineHungUp = false;
    return true;
}

void FakePort::close() {
    calls.push_back("close");
    opened = false;
}

void FakePort::purge() {
    calls.push_back("purge");
    if (opened) ++purges;
}

void FakePort::setReadTimeouts(const link::ReadTimeouts& t) {
    calls.push_back("setReadTimeouts");
    timeouts.push_back(t);
}

uint32_t FakePort::takeLineErrors() {
    calls.push_back("takeLineErrors");
    const uint32_t errors = pendingErrors_;
    pendingErrors_ = 0;
    return opened ? errors : 0;
}

size_t FakePort::write(const uint8_t* bytes, size_t count) {
    calls.push_back("write");
    if (!opened) return 0;
    written.emplace_back(bytes, bytes + count);
    return count;
}

size_t FakePort::read(uint8_t* bytes, size_t count) {
    calls.push_back("read");
    if (!opened) return 0;
    readsAsked.push_back(count);
    if (replies_.empty()) return 0;
    Reply reply = std::move(replies_.front());
    replies_.pop_front();
    pendingErrors_ |= reply.lineErrors;
    const size_t n = std::min(count, reply.bytes.size());
    if (n > 0) std::memcpy(bytes, reply.bytes.data(), n);
    return n;
}

size_t FakePort::readAvailable(uint8_t* bytes, size_t count) {
    if (!opened || replies_.empty()) return 0;
    calls.push_back("readAvailable");
    Reply reply = std::move(replies_.front());
    replies_.pop_front();
    pendingErrors_ |= reply.lineErrors;
    const size_t n = std::min(count, reply.bytes.size());
    if (n > 0) std::memcpy(bytes, reply.bytes.data(), n);
    return n;
}

void FakePort::raiseLines() {
    calls.push_back("raiseLines");
    if (opened) ++raiseLinesCalls;
}

} // namespace olv::test
