#pragma once

#include <cstdio>
#include <cstdlib>

namespace olv::fuzz {

// A broken invariant is a crash for libFuzzer: it keeps the input and reports it.
inline void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

} // namespace olv::fuzz
