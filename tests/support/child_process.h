#pragma once

#include <QString>

#include <functional>
#include <string>

namespace olv::test {

// A function run in a child process of its own (forked, so it sees this process's state); what it
// returns, "" when all went well, is told back by result().
class ChildRun {
  public:
    explicit ChildRun(const std::function<std::string()>& body);
    ~ChildRun() { result(); }
    ChildRun(const ChildRun&) = delete;
    ChildRun& operator=(const ChildRun&) = delete;

    // Waits for the child (one that hangs is ended by its pid after a minute): what it returned, or
    // what became of it.
    std::string result();

  private:
    int pid_ = -1;
    int pipe_ = -1;
    std::string result_;
};

// How a folder runs out of room: a full small tmpfs, or a file size limit (RLIMIT_FSIZE, SIGXFSZ ignored).
enum class NoRoom { FullDisk, SizeLimit };

// Runs body in a child process, with a fresh folder in which writes run out of room after a few
// kilobytes: a 16 kB tmpfs, half taken by a filler (mounted in a mount namespace of the child's own, so
// that it goes with the child), or an 8 kB file size limit. giveBack() makes room again (the filler
// goes, the limit is lifted). body returns what went wrong, or "" when all went well; so does this,
// also when the room cannot be made or the child dies.
using NoRoomBody = std::function<std::string(const QString& folder, const std::function<void()>& giveBack)>;
std::string RunWithoutRoom(NoRoom how, const NoRoomBody& body);

} // namespace olv::test
