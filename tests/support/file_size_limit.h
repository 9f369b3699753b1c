#pragma once

#include <csignal>
#include <sys/resource.h>

namespace olv::test {

// Limits the size of every file this process writes (RLIMIT_FSIZE) while it lives. SIGXFSZ is ignored,
// so an oversized write fails with EFBIG instead of ending the process: a full disk, made small.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return ok_; }

  private:
    struct rlimit previous_ {};
    void (*previousHandler_)(int) = SIG_DFL;
    bool ok_ = false;
};

} // namespace olv::test
