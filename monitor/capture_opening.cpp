#include "monitor/capture_opening.h"

#include "files/plain_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olv::monitor {

CaptureOpening::CaptureOpening(const QString& path, const Capture::Settings& settings) {
    const int fd = files::OpenPlainFile(path, O_RDONLY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        result_.check.problem = PcapProblem::Unreadable;
        result_.check.error = errno;
        if (fd >= 0) ::close(fd);
        done_ = true;
        return;
    }
    result_.file = OpenedCaptureFile(fd, st.st_size, false);
    result_.check.size = st.st_size;
    if (st.st_size > MaxCaptureFileSize) {
        result_.check.problem = PcapProblem::TooLarge;
        result_.file = OpenedCaptureFile{};
        done_ = true;
        return;
    }
    result_.capture = std::make_unique<Capture>(settings);
    // The file holds its records already: they are not spooled again.
    result_.capture->setSpooling(false);
    thread_ = std::thread([this] { run(); });
}

CaptureOpening::~CaptureOpening() {
    cancel();
    if (thread_.joinable()) thread_.join();
}

void CaptureOpening::run() {
    Capture& capture = *result_.capture;
    const PcapCheck check = ReadPcapFrom(
        result_.file.fd,
        [&capture](Micros time, const uint8_t* bytes, size_t size) { capture.addRecord(time, bytes, size); },
        [this](int64_t done, int64_t total) {
            permille_ = total > 0 ? static_cast<int>(done * 1000 / total) : 0;
            return !cancelled_;
        });
    result_.check = check;
    if (check.problem == PcapProblem::None) {
        capture.end();
        capture.noteDropped(check.droppedFrames);
        capture.setSpooling(true);
        result_.file.size = check.size;
        result_.file.native = check.native;
    } else {
        result_.capture.reset();
        result_.file = OpenedCaptureFile{};
    }
    permille_ = 1000;
    done_ = true;
}

CaptureOpening::Result CaptureOpening::take() {
    if (thread_.joinable()) thread_.join();
    return std::move(result_);
}

} // namespace olv::monitor
