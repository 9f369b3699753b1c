#pragma once

#include <QFile>
#include <QString>

#include <map>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

namespace olv::test {

// Counts, by name, the files renamed into a folder while it lives (inotify's IN_MOVED_TO): a settings
// file replaced through a temporary file counts one for every replacement. The temporary names of the
// IN_MOVED_FROM events between them keep inotify from merging repeated renames into one event.
class RenameCounter {
  public:
    explicit RenameCounter(const QString& folder) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        ok_ = fd_ >= 0 && ::inotify_add_watch(fd_, QFile::encodeName(folder).constData(),
                                              IN_MOVED_FROM | IN_MOVED_TO) >= 0;
    }
    ~RenameCounter() {
        if (fd_ >= 0) ::close(fd_);
    }
    RenameCounter(const RenameCounter&) = delete;
    RenameCounter& operator=(const RenameCounter&) = delete;

    bool ok() const { return ok_; }

    // The renames into the folder under that name so far.
    int count(const std::string& name) {
        alignas(inotify_event) char buffer[8192];
        ssize_t n = 0;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0)
            for (char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                if (event->len > 0 && (event->mask & IN_MOVED_TO)) ++seen_[event->name];
                p += sizeof(inotify_event) + event->len;
            }
        return seen_[name];
    }

  private:
    int fd_ = -1;
    bool ok_ = false;
    std::map<std::string, int> seen_;
};

} // namespace olv::test
