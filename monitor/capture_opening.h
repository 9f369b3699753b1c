#pragma once

#include "monitor/capture.h"
#include "monitor/capture_session.h"
#include "monitor/pcap.h"

#include <QString>

#include <atomic>
#include <memory>
#include <thread>

namespace olv::monitor {

// Reads a capture file into a capture of its own on a thread of its own, so that the window stays
// responsive, shows how far it has come and can stop it. The file is opened, and refused when it is
// no regular file or too large, before the constructor returns: such a refusal is done() at once and
// reads nothing. Otherwise the thread reads it (ReadPcapFrom) through the framing and pairing of the
// capture; the file stays open for the capture's session, which saves from it.
//
// Nothing of the reading is shared with the caller's thread but the progress, the cancel request and
// the end; the capture is handed over by take() once done().
class CaptureOpening {
  public:
    CaptureOpening(const QString& path, const Capture::Settings& settings);
    ~CaptureOpening(); // cancels and waits for the thread
    CaptureOpening(const CaptureOpening&) = delete;
    CaptureOpening& operator=(const CaptureOpening&) = delete;

    // Asks the thread to stop at its next piece of the file (64 kB); it then ends as Cancelled.
    void cancel() { cancelled_ = true; }
    bool done() const { return done_; }
    // 0..1000 of the whole reading (both passes over the file).
    int permille() const { return permille_; }

    struct Result {
        PcapCheck check;
        std::unique_ptr<Capture> capture; // when the check passed: every record added, ended
        OpenedCaptureFile file;           // when the check passed: the file as it was read
    };
    // Waits for the thread, then gives the result (once).
    Result take();

  private:
    void run();

    Result result_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> done_{false};
    std::atomic<int> permille_{0};
    std::thread thread_;
};

} // namespace olv::monitor
