#include "tests/support/child_process.h"

#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace olv::test {

namespace {

bool WriteText(const char* file, const std::string& text) {
    const int fd = ::open(file, O_WRONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (fd >= 0) ::close(fd);
    return ok;
}

// In the child: a mount namespace of its own (as root, or as root of a user namespace of its own) with
// the small tmpfs on the folder, half filled.
std::string MountSmallDisk(const QByteArray& folder, const QByteArray& filler) {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWNS) != 0 &&
        (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !WriteText("/proc/self/setgroups", "deny") ||
         !WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
         !WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")))
        return std::string("no mount namespace for a small tmpfs: ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=16k") != 0)
        return std::string("cannot mount a small tmpfs: ") + std::strerror(errno);
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const std::string half(8192, 'f');
    const bool filled = fd >= 0 && ::write(fd, half.data(), half.size()) == ssize_t(half.size());
    if (fd >= 0) ::close(fd);
    return filled ? "" : "cannot fill the small tmpfs";
}

} // namespace

ChildRun::ChildRun(const std::function<std::string()>& body) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        result_ = "no pipe to a child";
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(out[0]);
        const std::string told = 'R' + body(); // never empty: a child that ends without a word has failed
        [[maybe_unused]] const ssize_t n = ::write(out[1], told.data(), told.size());
        ::_exit(0);
    }
    ::close(out[1]);
    pipe_ = out[0];
    if (pid_ < 0) result_ = "cannot fork";
}

std::string ChildRun::result() {
    if (pid_ <= 0) return result_;
    std::string told;
    char buffer[4096];
    struct pollfd ready {
        pipe_, POLLIN, 0
    };
    ssize_t n = 0;
    bool hung = false;
    while (!(hung = ::poll(&ready, 1, 60000) != 1) && (n = ::read(pipe_, buffer, sizeof buffer)) > 0)
        told.append(buffer, size_t(n));
    ::close(pipe_);
    if (hung) ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    if (hung)
        result_ = "the child hung";
    else if (WIFSIGNALED(status))
        result_ = "the child died of signal " + std::to_string(WTERMSIG(status));
    else
        result_ = told.empty() ? "the child ended without a word" : told.substr(1);
    return result_;
}

std::string RunWithoutRoom(NoRoom how, const NoRoomBody& body) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("room"));
    const QByteArray name = QFile::encodeName(folder);
    const QByteArray filler = name + "/.filler";
    if (!dir.isValid() || ::mkdir(name.constData(), 0755) != 0) return "no folder for the test";
    return ChildRun([&]() -> std::string {
               if (how == NoRoom::FullDisk) {
                   const std::string refused = MountSmallDisk(name, filler);
                   return refused.empty() ? body(folder, [&] { ::unlink(filler.constData()); }) : refused;
               }
               std::signal(SIGXFSZ, SIG_IGN);
               struct rlimit limit {};
               ::getrlimit(RLIMIT_FSIZE, &limit);
               const rlim_t unlimited = limit.rlim_cur;
               limit.rlim_cur = 8192;
               if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return "cannot set a file size limit";
               return body(folder, [&] {
                   limit.rlim_cur = unlimited;
                   ::setrlimit(RLIMIT_FSIZE, &limit);
               });
           })
        .result();
}

} // namespace olv::test
