#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace olv::test {

// A Modbus TCP gateway gone wrong, on 127.0.0.1 at a free port, served by a thread of its own: it
// accepts one connection and, once the first request has come, sends well-formed replies of other
// transactions (the last request's transaction plus 0x8000) back to back, as fast as the connection
// takes them, until it is stopped. Requests are read and answered by nothing else. Stopped and joined
// by stop() or the destructor.
//
//     FloodingGateway flood;
//     ... open flood.path(), "mbtcp://127.0.0.1:PORT", and read: every reply is one to skip ...
class FloodingGateway {
  public:
    FloodingGateway(); // fails the current test (ADD_FAILURE) when it cannot listen
    ~FloodingGateway();
    FloodingGateway(const FloodingGateway&) = delete;
    FloodingGateway& operator=(const FloodingGateway&) = delete;

    std::string path() const { return "mbtcp://127.0.0.1:" + std::to_string(port_); }
    void stop();
    // Whole frames handed to the connection so far.
    uint64_t framesSent() const { return frames_.load(); }

  private:
    void run();

    int listener_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1};
    std::atomic<uint64_t> frames_{0};
    std::thread thread_;
};

} // namespace olv::test
