#pragma once

#include "monitor/pcap.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace olv::monitor {

class Capture;

// The spool's bound when the settings give none: some days of a busy line.
inline constexpr int64_t DefaultSpoolBytes = int64_t{256} << 20;
// The bounds a setting is held to: the smallest that still holds some hours, the largest with which
// every saved file stays one the program opens.
inline constexpr int64_t FewestSpoolBytes = int64_t{16} << 20;
inline constexpr int64_t MostSpoolBytes = int64_t{2000} << 20;

// A capture file kept open since it was read: what it held then begins every save of its capture, so
// it is never copied while it is only read.
struct OpenedCaptureFile {
    OpenedCaptureFile() = default;
    OpenedCaptureFile(int fd, int64_t size, bool native) : fd(fd), size(size), native(native) {}
    OpenedCaptureFile(OpenedCaptureFile&& other) noexcept;
    OpenedCaptureFile& operator=(OpenedCaptureFile&& other) noexcept;
    ~OpenedCaptureFile();

    int fd = -1;
    int64_t size = 0;    // when it was read
    bool native = false; // records can be copied as they are (PcapCheck::native)
};

// The file of one capture, in which every RTU frame the table may no longer keep is spooled for a
// later save, and the save itself.
//
// The spool is made by a private exclusive create (O_EXCL, O_NOFOLLOW, owner-only permissions) as a
// hidden ".capture-XXXXXX.spool" in the first folder that takes one, and that one descriptor serves
// it for its whole life: nothing is ever opened by its name again, so nothing planted under the name
// can be followed. The descriptor holds an exclusive lock (flock) while the program lives, which tells
// a spool in use from one a killed program left (RemoveStaleSpools). The spool is removed with the
// session.
//
// The spool is a ring of a bounded size, in blocks of whole records: when the newest block is full the
// oldest one is dropped, and a save puts a marker (AppendPcapMarker) where its frames were. A save is
// never larger than MaxCaptureFileSize, so the program opens every file it saves.
//
// A spool that fails (no folder takes one, a full disk) stays failed: the frames after the failure
// are not kept, which failureToReport() tells once.
class CaptureSession {
  public:
    struct Options {
        QStringList folders;                    // where the spool may be made, in order
        int64_t spoolBytes = DefaultSpoolBytes; // the ring's bound
    };

    // A session for a new capture.
    explicit CaptureSession(const Options& options);
    // A session for a capture read from `base`: a save begins with its records. The ring is bounded
    // further so that the two together stay within MaxCaptureFileSize.
    CaptureSession(const Options& options, OpenedCaptureFile base);
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // The capture's records added since the last call into the spool; the capture's spool() is
    // emptied. False when the spool is (now or before) failed.
    bool take(Capture& capture);
    // Records as AppendPcapRecord makes them (whole records, little-endian, microseconds).
    bool append(const std::string& records);

    bool failed() const { return failed_; }
    int error() const { return error_; } // errno of the failure
    // True once after the spool failed: the window says so once per capture.
    bool failureToReport();
    // The spool's name (empty when none could be made): for messages only, it is never opened.
    const QString& spoolPath() const { return path_; }

    // Frames the ring dropped to stay within its bound.
    int64_t droppedFrames() const { return dropped_; }
    // Bytes the spool's file takes on the disk at most: header and ring.
    int64_t spoolCapacity() const;

    // Writes the capture as a pcap file whole under `path` (a temporary file renamed over it): the
    // base's records, a marker of the frames dropped, the ring's records, oldest first. False with the
    // reason in words (a full disk, a name that is no regular file, a base file changed since).
    bool save(const QString& path, QString& reason) const;

  private:
    struct Block {
        int64_t used = 0;    // bytes of whole records
        int64_t frames = 0;  // records in it
        Micros lastTime = 0; // of its last record
    };
    void create(const QStringList& folders);
    void fail(int error);
    bool writeTo(int fd) const;

    int fd_ = -1;
    QString path_;
    bool failed_ = false;
    bool failureReported_ = false;
    int error_ = 0;
    int64_t blockSize_ = 0;
    std::vector<Block> blocks_;
    size_t current_ = 0;
    bool wrapped_ = false;
    int64_t dropped_ = 0;
    Micros droppedUntil_ = 0; // the time of the last frame dropped
    OpenedCaptureFile base_;
};

// At start: removes the spools in these folders that the program that made them no longer holds
// (killed, or ended without removing them): those of this user whose lock can be had at once. A spool
// a running program holds is left alone. Returns the names of those removed, for the trace.
QStringList RemoveStaleSpools(const QStringList& folders);

} // namespace olv::monitor
