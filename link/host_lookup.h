#pragma once

#include "link/descriptor_wait.h"

#include <functional>
#include <string>

struct addrinfo;

namespace olv::link {

// Reason codes of a failed host lookup, given in errno after a failed open of a TCP port. They lie
// above every errno value of the system so that OpenFailureReason can tell them apart.
enum HostLookupFailure : int {
    HostNotFound = 0x10001,    // the name server knows no such name (EAI_NONAME, EAI_NODATA)
    NameServerFailed = 0x10002, // the name server did not answer or failed (EAI_AGAIN, EAI_FAIL)
    HostLookupTimedOut = 0x10003, // no answer within the time the connect may take
    HostLookupFailed = 0x10004,   // any other failure of the lookup
};

// The addresses of host:port for a TCP connect (any family, stream sockets), found before the
// deadline. A numeric address is taken at once. A name is looked up by getaddrinfo() on a thread of
// its own while this waits for it through WaitForDescriptor, so a window waiting here keeps painting;
// a lookup that overruns the deadline is abandoned (its thread ends by itself whenever the resolver
// returns, and frees what it found). At most one lookup is under way at a time: asked again for the
// same name while it runs, this waits for that one; asked for another name, it fails as timed out
// without starting a second.
//
// On success *addresses holds the list (freeaddrinfo() it) and the result is 0; otherwise one of the
// codes above, and `reason` has the resolver's own words.
int LookUpHost(const std::string& host, const std::string& port, WaitClock::time_point deadline,
               addrinfo** addresses, std::string& reason);

// The resolver the lookup thread calls, getaddrinfo() unless replaced (tests give one that never
// answers). An empty function puts getaddrinfo() back.
using HostResolver = std::function<int(const char* host, const char* port, const addrinfo* hints, addrinfo** result)>;
void SetHostResolver(HostResolver resolver);

} // namespace olv::link
