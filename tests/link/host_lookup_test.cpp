// The lookup of a gateway's host name against a resolver that does not answer: bounded by the connect
// time-out, and never more than one lookup under way.
#include "link/host_lookup.h"
#include "link/tcp_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include <netdb.h>

using namespace olv::link;

TEST(HostLookup, ANameServerThatDoesNotAnswerHoldsTheOpenNoLongerThanTheConnectTimeOut) {
    std::mutex mutex;
    std::condition_variable answer;
    bool released = false;
    std::atomic<int> lookups{0};
    SetHostResolver([&](const char*, const char*, const addrinfo*, addrinfo**) {
        ++lookups;
        std::unique_lock<std::mutex> lock(mutex);
        answer.wait(lock, [&] { return released; });
        return EAI_NONAME;
    });
    LineSettings line;
    line.connectTimeoutMs = 300;
    TcpPort port;
    std::string reason;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(port.open("tcp://gateway.test:502", line, reason));
        EXPECT_EQ(errno, HostLookupTimedOut);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(250));
        EXPECT_LT(took, std::chrono::seconds(3));
    }
    EXPECT_EQ(lookups.load(), 1) << "the second open waits for the lookup already under way";

    {
        const std::lock_guard<std::mutex> lock(mutex);
        released = true;
    }
    answer.notify_all();
    // The late answer of that lookup is the next open's.
    EXPECT_FALSE(port.open("tcp://gateway.test:502", line, reason));
    EXPECT_EQ(errno, HostNotFound);
    EXPECT_EQ(lookups.load(), 1);
    SetHostResolver({});
}
