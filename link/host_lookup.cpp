#include "link/host_lookup.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace olv::link {

namespace {

std::mutex resolverMutex;
HostResolver& Resolver() {
    static HostResolver resolver;
    return resolver;
}

HostResolver CurrentResolver() {
    const std::lock_guard<std::mutex> lock(resolverMutex);
    if (Resolver()) return Resolver();
    return [](const char* host, const char* port, const addrinfo* hints, addrinfo** result) {
        return ::getaddrinfo(host, port, hints, result);
    };
}

// One lookup, shared by the thread that runs it and the caller that waits for it. Whoever lets go of
// it last frees it; a result nobody took is freed with it.
struct Lookup {
    std::string host, port;
    int ready = -1; // eventfd, readable once the lookup has ended
    std::mutex mutex;
    bool done = false;
    int code = 0;
    int systemError = 0;
    addrinfo* result = nullptr;

    ~Lookup() {
        if (result) freeaddrinfo(result);
        if (ready >= 0) ::close(ready);
    }
};

// The lookup under way or ended but not yet taken; only the caller's thread touches this pointer.
std::shared_ptr<Lookup>& Outstanding() {
    static std::shared_ptr<Lookup> lookup;
    return lookup;
}

addrinfo Hints(int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | flags;
    return hints;
}

int Failure(int code, int systemError, std::string& reason) {
    switch (code) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
        reason = gai_strerror(code);
        return HostNotFound;
    case EAI_AGAIN:
    case EAI_FAIL:
        reason = gai_strerror(code);
        return NameServerFailed;
    case EAI_SYSTEM: {
        char buffer[256];
        reason = strerror_r(systemError, buffer, sizeof buffer);
        return HostLookupFailed;
    }
    default:
        reason = gai_strerror(code);
        return HostLookupFailed;
    }
}

std::shared_ptr<Lookup> Start(const std::string& host, const std::string& port) {
    auto lookup = std::make_shared<Lookup>();
    lookup->host = host;
    lookup->port = port;
    lookup->ready = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (lookup->ready < 0) return nullptr;
    HostResolver resolver = CurrentResolver();
    try {
        std::thread([lookup, resolver] {
            const addrinfo hints = Hints(0);
            addrinfo* result = nullptr;
            const int code = resolver(lookup->host.c_str(), lookup->port.c_str(), &hints, &result);
            const int systemError = errno;
            const std::lock_guard<std::mutex> lock(lookup->mutex);
            lookup->done = true;
            lookup->code = code;
            lookup->systemError = systemError;
            lookup->result = code == 0 ? result : nullptr;
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(lookup->ready, &one, sizeof one);
        }).detach();
    } catch (const std::system_error&) {
        return nullptr; // no thread to be had: the lookup fails like one that got no answer
    }
    return lookup;
}

} // namespace

void SetHostResolver(HostResolver resolver) {
    const std::lock_guard<std::mutex> lock(resolverMutex);
    Resolver() = std::move(resolver);
}

int LookUpHost(const std::string& host, const std::string& port, WaitClock::time_point deadline,
               addrinfo** addresses, std::string& reason) {
    *addresses = nullptr;
    // A numeric address needs no name server: getaddrinfo() answers it at once.
    const addrinfo numeric = Hints(AI_NUMERICHOST | AI_NUMERICSERV);
    const int direct = ::getaddrinfo(host.c_str(), port.c_str(), &numeric, addresses);
    if (direct == 0) return 0;
    *addresses = nullptr;
    if (direct != EAI_NONAME) return Failure(direct, errno, reason);

    std::shared_ptr<Lookup>& outstanding = Outstanding();
    if (outstanding && (outstanding->host != host || outstanding->port != port)) {
        const std::lock_guard<std::mutex> lock(outstanding->mutex);
        if (!outstanding->done) {
            reason = "a lookup of " + outstanding->host + " is still under way";
            return HostLookupTimedOut;
        }
    }
    if (!outstanding || outstanding->host != host || outstanding->port != port) outstanding = Start(host, port);
    if (!outstanding) {
        reason = "no thread for the lookup";
        return NameServerFailed;
    }
    const std::shared_ptr<Lookup> lookup = outstanding;
    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(lookup->mutex);
            if (lookup->done) {
                outstanding.reset(); // taken: the next open looks up afresh
                if (lookup->code != 0) return Failure(lookup->code, lookup->systemError, reason);
                *addresses = lookup->result;
                lookup->result = nullptr;
                return 0;
            }
        }
        if (WaitClock::now() >= deadline) break;
        if (WaitForDescriptor(lookup->ready, POLLIN, deadline) < 0 && errno != EINTR) break;
    }
    reason = "no answer from the name server in time";
    return HostLookupTimedOut;
}

} // namespace olv::link
