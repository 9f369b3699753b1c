// The capture's spool and its save, the reading of a capture file in pieces with its progress and
// cancel, and the opening on a thread of its own: against real files, links, FIFOs, a full disk and a
// program killed while it held a spool.
#include "monitor/capture.h"
#include "monitor/capture_opening.h"
#include "monitor/capture_session.h"
#include "monitor/own_traffic.h"
#include "monitor/pcap.h"
#include "tests/sim/frames.h"
#include "tests/support/small_disk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// Names in the failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

using namespace olv::monitor;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr Micros Start = Micros{1700000000} * 1000000;

// A frame of `size` bytes whose first bytes number it.
Bytes Numbered(uint32_t n, size_t size = 12) {
    Bytes frame(size, 0x55);
    for (int i = 0; i < 4 && size_t(i) < size; ++i)
        frame[size_t(i)] = uint8_t(n >> (8 * i));
    return frame;
}

std::string Records(uint32_t first, uint32_t count, size_t size = 12) {
    std::string out;
    for (uint32_t n = first; n < first + count; ++n) {
        const Bytes f = Numbered(n, size);
        AppendPcapRecord(out, Start + Micros{n} * 1000, f.data(), f.size());
    }
    return out;
}

struct Read {
    PcapCheck check;
    std::vector<std::pair<Micros, Bytes>> records;
};

Read ReadAll(const QString& path) {
    Read read;
    read.check = ReadPcap(path, [&](Micros t, const uint8_t* b, size_t n) {
        read.records.push_back({t, Bytes(b, b + n)});
    });
    return read;
}

class CaptureFiles : public testing::Test {
  protected:
    QString path(const char* name) const { return QDir(dir.path()).filePath(QString::fromLatin1(name)); }
    void write(const QString& file, const std::string& bytes) const {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes.data(), qint64(bytes.size()));
    }
    std::string read(const QString& file) const {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }
    CaptureSession::Options options(int64_t spoolBytes = DefaultSpoolBytes) const {
        return {{dir.path()}, spoolBytes};
    }
    QStringList spools() const {
        return QDir(dir.path()).entryList({".capture-*"}, QDir::Files | QDir::Hidden | QDir::System);
    }
    QTemporaryDir dir;
};

std::string Header() {
    std::string h;
    AppendPcapHeader(h);
    return h;
}

} // namespace

// ---- the reader ----

TEST_F(CaptureFiles, ReadingReportsItsProgressAndStopsWhenAsked) {
    write(path("c.pcap"), Header() + Records(0, 20000));
    const int64_t size = QFileInfo(path("c.pcap")).size();
    std::vector<int64_t> done;
    int64_t handed = 0;
    PcapCheck check = ReadPcap(
        path("c.pcap"), [&](Micros, const uint8_t*, size_t) { ++handed; },
        [&](int64_t d, int64_t total) {
            EXPECT_EQ(total, 2 * size);
            done.push_back(d);
            return true;
        });
    EXPECT_EQ(check.problem, PcapProblem::None);
    EXPECT_EQ(handed, 20000);
    EXPECT_EQ(check.size, size);
    EXPECT_TRUE(check.native);
    ASSERT_GE(done.size(), size_t(2 * (size / 65536)));
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_EQ(done.front(), 0);
    EXPECT_GE(done.back(), size); // the second pass

    // Asked to stop in the second pass: what was handed over is no whole file, and it says so.
    handed = 0;
    check = ReadPcap(
        path("c.pcap"), [&](Micros, const uint8_t*, size_t) { ++handed; },
        [&](int64_t d, int64_t) { return d < size + 100000; });
    EXPECT_EQ(check.problem, PcapProblem::Cancelled);
    EXPECT_GT(handed, 0);
    EXPECT_LT(handed, 20000);
    EXPECT_EQ(PcapProblemText(check), QStringLiteral("Чтение прервано."));
}

// What is refused says why: no regular file, or too large with its size and the limit.
TEST_F(CaptureFiles, RefusalsGiveTheirReason) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.pcap"));
    for (const QString& name : {path("fifo"), path("folder.pcap"), QStringLiteral("/dev/null")}) {
        const PcapCheck check = ReadPcap(name, {});
        EXPECT_EQ(check.problem, PcapProblem::Unreadable) << name.toStdString();
        EXPECT_EQ(PcapProblemText(check),
                  QStringLiteral("Это не обычный файл (папка, канал или устройство)."));
    }
    EXPECT_EQ(
        PcapProblemText(ReadPcap(path("missing"), {})),
        QStringLiteral("Файл не удалось прочитать: %1.").arg(QString::fromLocal8Bit(std::strerror(ENOENT))));

    write(path("huge.pcap"), Header());
    ASSERT_EQ(::truncate(QFile::encodeName(path("huge.pcap")).constData(), MaxCaptureFileSize + 1), 0);
    int calls = 0;
    const PcapCheck check = ReadPcap(path("huge.pcap"), {}, [&](int64_t, int64_t) { return ++calls, true; });
    EXPECT_EQ(check.problem, PcapProblem::TooLarge);
    EXPECT_EQ(calls, 0); // refused before anything was read
    EXPECT_EQ(PcapProblemText(check),
              QStringLiteral(
                  "Файл слишком велик: 2,0 ГБ (2\u00A0147\u00A0483\u00A0649 байт), а программа открывает "
                  "файлы не больше 2,0 ГБ (2\u00A0147\u00A0483\u00A0648 байт)."));
}

// A marker is a record of no bytes: it is handed over as such, counted, and nothing before it is
// paired with anything after it.
TEST_F(CaptureFiles, MarkerOfDroppedFramesEndsThePairing) {
    std::string file = Header();
    const Bytes request = olv::test::ReadRequest(1, 15, 3);
    const Bytes reply = olv::test::WithCrc({1, 3, 6, 0, 0, 0x3F, 0x9E, 0x04, 0x19});
    AppendPcapRecord(file, Start, request.data(), request.size());
    AppendPcapMarker(file, Start + 1000, 123456);
    AppendPcapRecord(file, Start + 2000, reply.data(), reply.size());
    write(path("m.pcap"), file);
    const Read read = ReadAll(path("m.pcap"));
    EXPECT_EQ(read.check.problem, PcapProblem::None);
    EXPECT_EQ(read.check.droppedFrames, 123456);
    ASSERT_EQ(read.records.size(), 3u);
    EXPECT_TRUE(read.records[1].second.empty());

    Capture capture({19200, 1000, 0, 10});
    for (const auto& [time, bytes] : read.records)
        capture.addRecord(time, bytes.data(), bytes.size());
    capture.end();
    ASSERT_EQ(capture.endSequence(), 2);
    EXPECT_EQ(capture.row(0)->latency, -1); // the reply is not taken for its
    EXPECT_EQ(capture.row(1)->latency, -1);
}

// ---- the spool ----

TEST_F(CaptureFiles, SpoolIsPrivateLockedAndGoesWithItsSession) {
    QString name;
    {
        CaptureSession session(options());
        ASSERT_FALSE(session.failed());
        name = session.spoolPath();
        EXPECT_TRUE(QFileInfo(name).fileName().startsWith(".capture-"));
        EXPECT_EQ(QFileInfo(name).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(name).constData(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(RemoveStaleSpools({dir.path()}), QStringList{}); // it is held
        EXPECT_TRUE(QFile::exists(name));
    }
    EXPECT_FALSE(QFile::exists(name));
    EXPECT_EQ(spools(), QStringList{});
}

// A link planted under the spool's name, to a file of the user's, is never followed: the frames go to
// the spool's own descriptor and the save has them; the file behind the link is as it was.
TEST_F(CaptureFiles, LinkPlantedUnderTheSpoolsNameIsNeverFollowed) {
    write(path("victim"), "mine");
    CaptureSession session(options());
    ASSERT_TRUE(session.append(Records(0, 5)));
    const QByteArray name = QFile::encodeName(session.spoolPath());
    ASSERT_EQ(::rename(name.constData(), QFile::encodeName(path("moved")).constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(path("victim")).constData(), name.constData()), 0);
    ASSERT_TRUE(session.append(Records(5, 5)));
    QString reason;
    ASSERT_TRUE(session.save(path("saved.pcap"), reason)) << reason.toStdString();
    EXPECT_EQ(read(path("victim")), "mine");
    EXPECT_EQ(read(path("saved.pcap")), Header() + Records(0, 10));
}

// Spools whose program is gone are removed at start; a held one, a link named like one, another
// user's and any other file stay.
TEST_F(CaptureFiles, StaleSpoolsOfProgramsThatAreGoneAreRemoved) {
    // A program that made its spool and was killed: its lock went with it.
    int ready[2], hold[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(hold), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CaptureSession session(options());
        const QByteArray name = QFile::encodeName(session.spoolPath());
        (void)!::write(ready[1], name.constData(), size_t(name.size()));
        ::close(ready[1]);
        char c;
        (void)!::read(hold[0], &c, 1);
        ::kill(::getpid(), SIGKILL);
    }
    ::close(ready[1]);
    char buffer[4096];
    const ssize_t n = ::read(ready[0], buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    const QString killed = QFile::decodeName(QByteArray(buffer, int(n)));
    EXPECT_EQ(RemoveStaleSpools({dir.path()}), QStringList{}); // alive, holding its lock
    ASSERT_EQ(::write(hold[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(QFile::exists(killed));

    write(path(".capture-oldver.pcap"), Header()); // left by an earlier version
    write(path(".capture-others.spool"), Header());
    ASSERT_EQ(::chown(QFile::encodeName(path(".capture-others.spool")).constData(), 4321, 4321), 0)
        << "giving a file to another user needs root";
    write(path("target"), "t");
    ASSERT_EQ(::symlink("target", QFile::encodeName(path(".capture-linked.spool")).constData()), 0);
    write(path("line.pcap"), Header());
    CaptureSession live(options());

    QStringList removed = RemoveStaleSpools({dir.path(), QDir::tempPath() + "/olv-no-such-folder"});
    removed.sort();
    QStringList gone{path(".capture-oldver.pcap"), killed};
    gone.sort();
    EXPECT_EQ(removed, gone);
    QStringList left = spools();
    left.sort();
    QStringList expected{".capture-linked.spool", ".capture-others.spool",
                         QFileInfo(live.spoolPath()).fileName()};
    expected.sort();
    EXPECT_EQ(left, expected);
    EXPECT_EQ(read(path("target")), "t");
    EXPECT_TRUE(QFile::exists(path("line.pcap")));
}

TEST_F(CaptureFiles, FolderThatTakesNoSpoolGivesWayToTheNext) {
    QTemporaryDir second;
    write(path("no-folder"), "x"); // a name that is no folder takes no spool, whoever runs the test
    CaptureSession session({{path("no-folder"), second.path()}, DefaultSpoolBytes});
    EXPECT_FALSE(session.failed());
    EXPECT_EQ(QFileInfo(session.spoolPath()).absolutePath(), QFileInfo(second.path()).absoluteFilePath());
    CaptureSession none({{path("no-folder")}, DefaultSpoolBytes});
    EXPECT_TRUE(none.failed());
    EXPECT_EQ(none.error(), ENOTDIR);
    EXPECT_TRUE(none.failureToReport());
    EXPECT_FALSE(none.failureToReport()); // once
    EXPECT_FALSE(none.append(Records(0, 1)));
    QString reason;
    EXPECT_FALSE(none.save(path("x.pcap"), reason));
    EXPECT_TRUE(reason.startsWith(QStringLiteral("файл для кадров записи не был создан")))
        << reason.toStdString();
}

// The ring drops its oldest block when full; the save begins with a marker of what was dropped and
// holds the newest frames in order; neither the spool nor the save outgrows the bound.
TEST_F(CaptureFiles, RingKeepsTheNewestFramesAndMarksWhereOldOnesWent) {
    CaptureSession session(options(4 * 256 * 1024)); // four blocks of 256 kB
    const int64_t capacity = session.spoolCapacity();
    EXPECT_EQ(capacity, 24 + 4 * 256 * 1024);
    uint32_t next = 0;
    for (int batch = 0; batch < 120; ++batch) {
        ASSERT_TRUE(session.append(Records(next, 500)));
        next += 500;
        ASSERT_LE(QFileInfo(session.spoolPath()).size(), capacity);
    }
    ASSERT_GT(session.droppedFrames(), 0);
    QString reason;
    ASSERT_TRUE(session.save(path("saved.pcap"), reason)) << reason.toStdString();
    const Read read = ReadAll(path("saved.pcap"));
    ASSERT_EQ(read.check.problem, PcapProblem::None);
    EXPECT_EQ(read.check.droppedFrames, session.droppedFrames());
    ASSERT_GT(read.records.size(), 1u);
    EXPECT_TRUE(read.records.front().second.empty());
    const uint32_t first = next - uint32_t(read.records.size() - 1);
    EXPECT_EQ(int64_t(first), session.droppedFrames()); // nothing lost but what was counted
    EXPECT_EQ(read.records[0].first, Start + Micros{first - 1} * 1000);
    for (size_t i = 1; i < read.records.size(); ++i)
        ASSERT_EQ(read.records[i].second, Numbered(first + uint32_t(i - 1))) << i;
    EXPECT_LE(QFileInfo(path("saved.pcap")).size(), capacity + 16);
    // Three of four blocks at least are kept.
    EXPECT_GE(QFileInfo(path("saved.pcap")).size(), 24 + 16 + 3 * 256 * 1024 - 28);
}

// An opened file is saved from itself: its records (re-encoded when written in another byte order or
// with nanoseconds), then what came after; the ring leaves room for the file within the bound.
TEST_F(CaptureFiles, OpenedFileBeginsTheSaveAndBoundsTheRing) {
    // Big-endian, nanoseconds: one frame at 1700000000.000005.
    std::string big;
    for (uint32_t v : {0xA1B23C4Du, 0x00020004u, 0u, 0u, 65535u, 147u})
        for (int i = 3; i >= 0; --i)
            big.push_back(char(v >> (8 * i)));
    for (uint32_t v : {1700000000u, 5000u, 3u, 3u})
        for (int i = 3; i >= 0; --i)
            big.push_back(char(v >> (8 * i)));
    big += "\x01\x02\x03";
    write(path("big.pcap"), big);
    const int fd = ::open(QFile::encodeName(path("big.pcap")).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    CaptureSession session(options(), OpenedCaptureFile(fd, int64_t(big.size()), false));
    ASSERT_TRUE(session.append(Records(0, 2)));
    QString reason;
    ASSERT_TRUE(session.save(path("saved.pcap"), reason)) << reason.toStdString();
    const Bytes three{1, 2, 3};
    std::string expected = Header();
    AppendPcapRecord(expected, Start + 5, three.data(), three.size());
    EXPECT_EQ(read(path("saved.pcap")), expected + Records(0, 2));

    // A file changed since it was opened is not taken for what was read.
    write(path("big.pcap"), big + "x");
    EXPECT_FALSE(session.save(path("saved.pcap"), reason));
    EXPECT_EQ(reason, QStringLiteral("файл, из которого запись была открыта, с тех пор изменился"));

    // A file just under the limit leaves the ring what remains of it, so that the save stays openable.
    const int64_t near = MaxCaptureFileSize - 3 * 256 * 1024;
    CaptureSession bounded(options(), OpenedCaptureFile(::dup(fd), near, true));
    EXPECT_LE(near + 16 + bounded.spoolCapacity() - 24, MaxCaptureFileSize);
    EXPECT_EQ(bounded.spoolCapacity(), 24 + 2 * 256 * 1024);
    // One with no room left for a block: every frame after it is dropped, and counted.
    CaptureSession full(options(), OpenedCaptureFile(::dup(fd), MaxCaptureFileSize - 100, true));
    EXPECT_EQ(full.spoolCapacity(), 24);
    ASSERT_TRUE(full.append(Records(0, 7)));
    EXPECT_EQ(full.droppedFrames(), 7);
}

TEST_F(CaptureFiles, SaveToAFifoOrAFolderIsRefusedWithItsReason) {
    CaptureSession session(options());
    ASSERT_TRUE(session.append(Records(0, 2)));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.pcap")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("dir.pcap"));
    for (const char* name : {"fifo.pcap", "dir.pcap"}) {
        QString reason;
        EXPECT_FALSE(session.save(path(name), reason));
        EXPECT_EQ(reason, QStringLiteral("это не обычный файл (папка, канал или устройство)")) << name;
    }
    EXPECT_FALSE(QFileInfo(path("fifo.pcap")).isFile());
}

// A full disk: the spool fails once and stays failed; what it held before saves as a whole file.
TEST_F(CaptureFiles, SpoolOnAFullDiskFailsOnceAndKeepsWhatItHad) {
    olv::test::SmallDisk disk;
    ASSERT_TRUE(disk.ok()) << "a tmpfs of its own needs root";
    CaptureSession session({{disk.path()}, DefaultSpoolBytes});
    ASSERT_FALSE(session.failed());
    ASSERT_TRUE(session.append(Records(0, 10)));
    EXPECT_FALSE(session.append(Records(10, 1000)));
    EXPECT_TRUE(session.failed());
    EXPECT_EQ(session.error(), ENOSPC);
    EXPECT_TRUE(session.failureToReport());
    EXPECT_FALSE(session.failureToReport());
    disk.giveBack();
    EXPECT_FALSE(session.append(Records(1010, 1)));
    QString reason;
    ASSERT_TRUE(session.save(path("saved.pcap"), reason)) << reason.toStdString();
    EXPECT_EQ(read(path("saved.pcap")), Header() + Records(0, 10));
}

// Random and extreme records through the ring: whatever was appended, the save reads back as a
// capture the program opens, its frames the newest ones in order.
TEST_F(CaptureFiles, RandomRecordsThroughASmallRingSaveAsAnOpenableFile) {
    std::mt19937 random(99);
    CaptureSession session(options(2 * 256 * 1024));
    uint32_t next = 0;
    for (int batch = 0; batch < 200; ++batch) {
        std::string records;
        for (int k = int(random() % 50); k > 0; --k, ++next) {
            const size_t size = random() % 10 == 0 ? 1 + random() % 65535 : 1 + random() % 300;
            const Bytes f = Numbered(next, std::max<size_t>(size, 4));
            AppendPcapRecord(records, Start + next, f.data(), f.size());
        }
        ASSERT_TRUE(session.append(records));
    }
    QString reason;
    ASSERT_TRUE(session.save(path("saved.pcap"), reason));
    const Read read = ReadAll(path("saved.pcap"));
    ASSERT_EQ(read.check.problem, PcapProblem::None);
    const size_t frames = read.records.size() - (session.droppedFrames() > 0 ? 1 : 0);
    EXPECT_EQ(int64_t(frames) + session.droppedFrames(), int64_t(next));
    for (size_t i = read.records.size() - frames; i < read.records.size(); ++i) {
        const uint32_t n = next - uint32_t(read.records.size() - i);
        ASSERT_EQ(read.records[i].first, Start + n);
        ASSERT_EQ(Bytes(read.records[i].second.begin(), read.records[i].second.begin() + 4),
                  Bytes(Numbered(n, 4)));
    }
}

// ---- opening on a thread of its own ----

namespace {

CaptureOpening::Result Opened(CaptureOpening& opening) {
    while (!opening.done())
        std::this_thread::yield();
    return opening.take();
}

} // namespace

TEST_F(CaptureFiles, OpeningReadsTheFileIntoACaptureOfItsOwnWithoutSpoolingIt) {
    std::string file = Header();
    Capture direct({19200, 1000, 0, 100});
    for (uint32_t n = 0; n < 300; ++n) {
        const Bytes f = n % 2 ? olv::test::WithCrc({1, 3, 6, 0, 0, 0x3F, 0x9E, 0x04, 0x19})
                              : olv::test::ReadRequest(1, 15, 3);
        AppendPcapRecord(file, Start + Micros{n} * 20000, f.data(), f.size());
        direct.addRecord(Start + Micros{n} * 20000, f.data(), f.size());
    }
    direct.end();
    AppendPcapMarker(file, Start + 7000000, 42);
    write(path("c.pcap"), file);

    CaptureOpening opening(path("c.pcap"), {19200, 1000, 0, 100});
    CaptureOpening::Result result = Opened(opening);
    ASSERT_EQ(result.check.problem, PcapProblem::None);
    ASSERT_TRUE(result.capture);
    EXPECT_EQ(opening.permille(), 1000);
    EXPECT_EQ(result.capture->endSequence(), direct.endSequence());
    EXPECT_EQ(result.capture->counters().total.unanswered, direct.counters().total.unanswered);
    EXPECT_EQ(result.capture->counters().droppedFrames, 42);
    EXPECT_TRUE(result.capture->spool().empty()); // the file holds them
    EXPECT_EQ(result.file.size, int64_t(file.size()));
    // Frames added afterwards are spooled again, for the session.
    const Bytes f = olv::test::ReadRequest(1, 15, 3);
    result.capture->addRecord(Start + 9000000, f.data(), f.size());
    EXPECT_FALSE(result.capture->spool().empty());
    EXPECT_EQ(spools(), QStringList{}); // and nothing was copied anywhere
}

TEST_F(CaptureFiles, OpeningCancelledEndsWithoutACapture) {
    write(path("c.pcap"), Header() + Records(0, 400000)); // 11 MB
    CaptureOpening opening(path("c.pcap"), {});
    opening.cancel();
    const CaptureOpening::Result result = Opened(opening);
    EXPECT_EQ(result.check.problem, PcapProblem::Cancelled);
    EXPECT_FALSE(result.capture);
    EXPECT_LT(result.file.fd, 0);
    // Destroyed while it reads: it stops and waits for its thread.
    { CaptureOpening abandoned(path("c.pcap"), {}); }
}

// ---- The program's own exchanges, apart per port ----

namespace {

void OwnRead(Capture& capture, const Bytes& request, const Bytes& reply, olv::link::ResultFlags flags) {
    olv::link::ExchangeRecord record;
    record.request = request.data();
    record.requestLength = request.size();
    record.reply = reply.data();
    record.replyLength = reply.size();
    record.flags = flags;
    capture.addOwn(record, Start, Start + 20000);
}

PortTraffic NewTraffic(const QString&) {
    return PortTraffic{{}, std::make_unique<Capture>(Capture::Settings{}), nullptr};
}

} // namespace

TEST(OwnTraffic, EachPortCountsItsOwnExchangesAndTheOldestPortGoesBeyondTheBound) {
    OwnTraffic traffic;
    const QString com1 = TrafficPortName(1, "/dev/ttyUSB0");
    const QString gateway = TrafficPortName(1, "tcp://10.0.0.5:502"); // COM1 assigned to a gateway since
    EXPECT_EQ(com1, QStringLiteral("COM1 /dev/ttyUSB0"));
    EXPECT_EQ(TrafficPortName(3, ""), QStringLiteral("COM3"));

    const Bytes request = olv::test::WithCrc({0x01, 0x03, 0x00, 0x0F, 0x00, 0x03});
    const Bytes reply = olv::test::WithCrc({0x01, 0x03, 0x06, 0, 0, 0x42, 0xC8, 0, 0});
    Capture* first = traffic.of(com1, NewTraffic).capture.get();
    OwnRead(*first, request, reply, 0);
    OwnRead(*first, request, reply, 0);
    Capture* second = traffic.of(gateway, NewTraffic).capture.get();
    OwnRead(*second, request, {}, olv::link::NoReply);
    EXPECT_EQ(traffic.of(com1, NewTraffic).capture.get(), first); // the same capture again
    EXPECT_EQ(first->counters().total.frames, 4);
    EXPECT_EQ(first->counters().byAddress[1].unanswered, 0);
    EXPECT_EQ(second->counters().total.frames, 1);
    EXPECT_EQ(second->counters().byAddress[1].unanswered, 1);
    EXPECT_EQ(traffic.ports(), (QStringList{gateway, com1})); // the one used last at the end

    for (int port = 2; port < 2 + int(OwnTraffic::MaxPorts) - 1; ++port)
        traffic.of(TrafficPortName(port, ""), NewTraffic);
    EXPECT_EQ(traffic.ports().size(), qsizetype(OwnTraffic::MaxPorts));
    EXPECT_FALSE(traffic.find(gateway)); // the one used longest ago went
    EXPECT_EQ(traffic.find(com1)->capture.get(), first);
}
