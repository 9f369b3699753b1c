// The monitor's words for the instrument's registers, and its capture files.
#include "monitor/capture.h"
#include "monitor/pcap.h"
#include "tests/sim/frames.h"
#include "tests/support/pty_peer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace olv::monitor;
using Bytes = std::vector<uint8_t>;

namespace {

struct RegistersCase {
    int start;
    std::vector<uint16_t> words;
    DecodeContext context;
    const char* text;
};

class DescribeRegistersTest : public testing::TestWithParam<RegistersCase> {};

TEST_P(DescribeRegistersTest, SpeaksTheInstrumentsWords) {
    const RegistersCase& c = GetParam();
    EXPECT_EQ(DescribeRegisters(c.start, c.words.data(), static_cast<int>(c.words.size()), c.context),
              QString::fromUtf8(c.text));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Map, DescribeRegistersTest, testing::Values(
    // 1.2345 is 3F 9E 04 19; each byte order puts the bytes elsewhere.
    RegistersCase{15, {0, 0x3F9E, 0x0419}, {0, 1}, "статус: Нормальное измерение; значение: 1.2345 МПа"},
    RegistersCase{16, {0x0419, 0x3F9E}, {1, -1}, "значение: 1.2345"},
    RegistersCase{16, {0x9E3F, 0x1904}, {2, 10}, "значение: 1.2345 psi"},
    RegistersCase{16, {0x1904, 0x9E3F}, {3, 0}, "значение: 1.2345 %"},
    RegistersCase{16, {0x7FC0, 0}, {0, 1}, "значение: не число (0x7FC0 0x0000, порядок 0 1 2 3)"},
    RegistersCase{15, {0x0440}, {}, "статус: 0x0440 Давление ниже НПИ.Обрыв , отказ сенсора."},
    RegistersCase{8, {0x0503, 0x0904, 0x0005, 2}, {}, "связь: адрес 5, скорость 9600 бит/с; настройка: "
                  "демпфирование 64, единицы кг/см2; рег. 10: 0x0005; порядок байт: 1 0 3 2"},
    RegistersCase{8, {0x0107}, {}, "связь: адрес 1, скорость код 7"},
    RegistersCase{1034, {1}, {}, "паритет: нечетный"},
    RegistersCase{0, {150, 2, 0x8000, 1, 9, 0x0F37}, {}, "модель: 150; код модели: 2; заводской номер: "
                  "-2147483647; рег. 4: 0x0009; дата выпуска: 15.3.2007"},
    RegistersCase{17, {0x1234, 0xC144, 0}, {}, "рег. 17: 0x1234; максимум диапазона: -12.2500"},
    RegistersCase{48, {0x4865, 0x6C6C, 0x6F00, 0, 0, 0, 0, 0, 0, 0}, {}, "текст: «Hello»; рег. 56..57: 0x0000 0x0000"},
    RegistersCase{58, {0, 0x3F80, 0}, {}, "единицы датчика: нет; смещение: 1.0000"}));
// clang-format on

struct FrameCase {
    Bytes adu;
    Direction direction;
    Span span;
    const char* function;
    const char* registers;
    const char* text;
    bool write;
    bool lineChange;
};

class DescribeFrameTest : public testing::TestWithParam<FrameCase> {};

TEST_P(DescribeFrameTest, NamesFunctionRegistersAndWrites) {
    const FrameCase& c = GetParam();
    const Meaning m = DescribeFrame(c.adu.data(), c.adu.size(), c.direction, c.span, {});
    EXPECT_EQ(m.function, QString::fromUtf8(c.function));
    EXPECT_EQ(m.registers, QString::fromUtf8(c.registers));
    EXPECT_EQ(m.text, QString::fromUtf8(c.text));
    EXPECT_EQ(m.write, c.write);
    EXPECT_EQ(m.lineChange, c.lineChange);
}

using D = Direction;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Frames, DescribeFrameTest, testing::Values(
    FrameCase{{1, 3, 0, 15, 0, 3}, D::Request, {15, 3}, "3 чтение регистров", "15..17", "", false, false},
    FrameCase{{1, 3, 2, 0, 1}, D::Reply, {11, 1}, "3 чтение регистров", "11", "порядок байт: 2 3 0 1", false, false},
    FrameCase{{1, 3, 2, 0, 1}, D::Reply, {}, "3 чтение регистров", "?", "0x0001", false, false},
    FrameCase{{1, 16, 0, 8, 0, 1, 2, 5, 3}, D::Request, {8, 1}, "16 запись регистров", "8",
              "связь: адрес 5, скорость 9600 бит/с", true, true},
    FrameCase{{1, 16, 0, 48, 0, 8}, D::Reply, {}, "16 запись регистров", "48..55", "запись принята", true, false},
    FrameCase{{1, 6, 4, 10, 0, 2}, D::Request, {1034, 1}, "6 запись регистра", "1034", "паритет: четный", true, true},
    FrameCase{{1, 0x83, 2}, D::Reply, {15, 3}, "131 исключение", "15..17",
              "исключение 2: Указан адрес который не поддерживается.", false, false},
    FrameCase{{1, 43, 14, 1}, D::Request, {}, "43", "", "данные: 0E 01", false, false}));
// clang-format on

// ---- Capture files --------------------------------------------------------------------------------

class PcapTest : public testing::Test {
  protected:
    QString path(const char* name) const { return QDir(dir.path()).filePath(QString::fromLatin1(name)); }
    void write(const QString& file, const std::string& bytes) const {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    // The file of a capture of the given RTU frames, each ending 20 ms after the one before.
    std::string captureOf(const std::vector<Bytes>& frames) const {
        Capture capture({19200, 1000, 0, 10});
        Micros t = Micros{1700000000} * 1000000 + 123456;
        for (const Bytes& f : frames)
            capture.addRecord(t += 20000, f.data(), f.size());
        std::string file;
        AppendPcapHeader(file);
        return file + capture.spool();
    }
    QTemporaryDir dir;
};

TEST_F(PcapTest, WrittenFramesReadBackEqualHereAndInTshark) {
    const std::vector<Bytes> frames{olv::test::ReadRequest(1, 15, 3),
                                    olv::test::WithCrc({1, 3, 6, 0, 0, 0x3F, 0x9E, 0x04, 0x19}),
                                    {0x55, 0x55, 0x55}};
    write(path("c.pcap"), captureOf(frames));

    std::string expected, ours;
    Micros t = Micros{1700000000} * 1000000 + 123456;
    for (const Bytes& f : frames) {
        t += 20000;
        expected += std::to_string(t / 1000000) + "." + std::to_string(t % 1000000) + "000\t" +
                    QByteArray(reinterpret_cast<const char*>(f.data()), static_cast<qsizetype>(f.size()))
                        .toHex()
                        .toStdString() +
                    "\n";
    }
    const PcapCheck check = ReadPcap(path("c.pcap"), [&](Micros time, const uint8_t* b, size_t n) {
        ours +=
            std::to_string(time / 1000000) + "." + std::to_string(time % 1000000) + "000\t" +
            QByteArray(reinterpret_cast<const char*>(b), static_cast<qsizetype>(n)).toHex().toStdString() +
            "\n";
    });
    EXPECT_EQ(check.problem, PcapProblem::None);
    EXPECT_EQ(ours, expected);

    olv::test::ChildProcess tshark;
    ASSERT_TRUE(tshark.start({"/usr/bin/tshark", "-r", path("c.pcap").toStdString(), "-T", "fields", "-e",
                              "frame.time_epoch", "-e", "data"}))
        << "tshark is needed (scripts/packages.sh installs it)";
    ASSERT_TRUE(tshark.waitForLine("\t555555", std::chrono::seconds(60))) << tshark.output();
    std::string seen;
    for (const QString& line : QString::fromStdString(tshark.output()).split(u'\n'))
        if (!line.isEmpty() && line[0].isDigit()) seen += line.toStdString() + "\n";
    EXPECT_EQ(seen, expected);
}

struct RefusedCase {
    const char* name;
    std::string bytes;
    PcapProblem problem;
    int64_t records;
};

std::string Header(uint32_t magic, uint32_t link, bool bigEndian = false) {
    std::string h;
    for (uint32_t v : {magic, 0x00040002u, 0u, 0u, 65535u, link})
        for (int i = 0; i < 4; ++i)
            h.push_back(static_cast<char>(v >> (8 * (bigEndian ? 3 - i : i))));
    if (bigEndian) std::swap(h[4], h[6]), std::swap(h[5], h[7]); // the version is two 16-bit fields
    return h;
}

std::string Record(uint32_t length, size_t present, bool bigEndian = false, uint32_t original = 0,
                   uint32_t fraction = 5000) {
    std::string r;
    for (uint32_t v : {1700000000u, fraction, length, original > 0 ? original : length})
        for (int i = 0; i < 4; ++i)
            r.push_back(static_cast<char>(v >> (8 * (bigEndian ? 3 - i : i))));
    return r + std::string(present, '\x01');
}

class PcapRefusal : public PcapTest, public testing::WithParamInterface<RefusedCase> {};

TEST_P(PcapRefusal, TellsWhyAndHandsNothingOver) {
    write(path("f.pcap"), GetParam().bytes);
    int64_t handed = 0;
    const PcapCheck check = ReadPcap(path("f.pcap"), [&](Micros, const uint8_t*, size_t) { ++handed; });
    EXPECT_EQ(check.problem, GetParam().problem);
    EXPECT_EQ(handed, GetParam().problem == PcapProblem::None ? GetParam().records : 0);
    EXPECT_EQ(PcapProblemText(check).isEmpty(), GetParam().problem == PcapProblem::None);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, PcapRefusal, testing::Values(
    RefusedCase{"Empty", "", PcapProblem::NotPcap, 0},
    RefusedCase{"Text", std::string(40, 'x'), PcapProblem::NotPcap, 0},
    RefusedCase{"Ethernet", Header(0xA1B2C3D4, 1) + Record(8, 8), PcapProblem::OtherLinkType, 0},
    RefusedCase{"CutInARecord", Header(0xA1B2C3D4, 147) + Record(8, 8) + Record(8, 3), PcapProblem::Truncated, 0},
    RefusedCase{"CutInARecordHeader", Header(0xA1B2C3D4, 147) + Record(8, 8).substr(0, 10), PcapProblem::Truncated, 0},
    RefusedCase{"HugeRecord", Header(0xA1B2C3D4, 147) + Record(70000, 8), PcapProblem::NotPcap, 0},
    RefusedCase{"IncludedAboveOriginal", Header(0xA1B2C3D4, 147) + Record(8, 8) + Record(9, 9, false, 8),
                PcapProblem::NotPcap, 0},
    RefusedCase{"StampFractionOfASecond", Header(0xA1B2C3D4, 147) + Record(8, 8, false, 8, 1000000),
                PcapProblem::NotPcap, 0},
    RefusedCase{"BigEndianNanoseconds", Header(0xA1B23C4D, 147, true) + Record(8, 8, true) + Record(5, 5, true),
                PcapProblem::None, 2}),
    [](const auto& info) { return info.param.name; });
// clang-format on

// A record header no writer makes is named, with what is wrong with it: the user can tell a damaged
// file from one of something else.
TEST_F(PcapTest, RecordHeaderNoWriterMakesIsNamedWithItsFault) {
    const struct {
        std::string bytes;
        const char* text;
    } rows[] = {
        {Header(0xA1B2C3D4, 147) + Record(8, 8) + Record(9, 9, false, 8),
         "Это не файл записи обмена (pcap): в записи 2 сохранено 9 байт, больше, чем было в кадре (8)."},
        {Header(0xA1B23C4D, 147, true) + Record(70000, 8, true),
         "Это не файл записи обмена (pcap): в записи 1 — 70000 байт, а записей длиннее 65535 байт не бывает."},
        {Header(0xA1B2C3D4, 147) + Record(8, 8, false, 8, 1000000),
         "Это не файл записи обмена (pcap): у записи 1 доля секунды в метке времени (1000000) не меньше "
         "секунды."},
        {std::string(40, 'x'), "Это не файл записи обмена (pcap)."},
    };
    for (const auto& row : rows) {
        write(path("f.pcap"), row.bytes);
        EXPECT_EQ(PcapProblemText(ReadPcap(path("f.pcap"), {})), QString::fromUtf8(row.text));
    }
}

// The copy of an opened file's records keeps what its markers say (none dropped stays none), and a
// frame timed before a file's first stamp of 0 is written as a stamp a reader takes.
TEST_F(PcapTest, CopiedMarkersKeepTheirCountAndStampsStayReadable) {
    std::string file = Header(0xA1B2C3D4, 147) + Record(8, 8);
    AppendPcapMarker(file, 1700000001000000, 1);
    file += Record(0, 0); // a marker of no frames
    write(path("in.pcap"), file);
    const int in = ::open(path("in.pcap").toLocal8Bit().constData(), O_RDONLY);
    const int out = ::open(path("out.pcap").toLocal8Bit().constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    std::string header;
    AppendPcapHeader(header);
    ASSERT_EQ(::write(out, header.data(), header.size()), static_cast<ssize_t>(header.size()));
    EXPECT_TRUE(CopyPcapRecords(in, out));
    ::close(in);
    ::close(out);
    const PcapCheck copied = ReadPcap(path("out.pcap"), {});
    EXPECT_EQ(copied.problem, PcapProblem::None);
    EXPECT_EQ(copied.records, 3);
    EXPECT_EQ(copied.droppedFrames, 1);

    Capture capture({19200, 1000, 0, 10});
    Bytes noiseAndReply = olv::test::WithCrc({1, 3, 2, 0, 0});
    noiseAndReply.insert(noiseAndReply.begin(), {0x55, 0x55});
    capture.addRecord(0, noiseAndReply.data(), noiseAndReply.size()); // the noise ended before 0
    AppendPcapMarker(capture.spool(), -5, 2);
    write(path("spool.pcap"), header + capture.spool());
    std::vector<Micros> times;
    const PcapCheck spooled =
        ReadPcap(path("spool.pcap"), [&](Micros time, const uint8_t*, size_t) { times.push_back(time); });
    EXPECT_EQ(spooled.problem, PcapProblem::None);
    EXPECT_EQ(times, (std::vector<Micros>{0, 0, 0}));
}

TEST_F(PcapTest, FifoAndHugeFileAreRefusedUnread) {
    ASSERT_EQ(mkfifo(path("fifo").toLocal8Bit().constData(), 0600), 0);
    EXPECT_EQ(ReadPcap(path("fifo"), {}).problem, PcapProblem::Unreadable);
    write(path("huge.pcap"), Header(0xA1B2C3D4, 147));
    ASSERT_EQ(truncate(path("huge.pcap").toLocal8Bit().constData(), MaxCaptureFileSize + 1), 0);
    EXPECT_EQ(ReadPcap(path("huge.pcap"), {}).problem, PcapProblem::TooLarge);
}

TEST_F(PcapTest, CopyBeyondTheFileSizeLimitLeavesTheTargetAlone) {
    write(path("spool"), std::string(4096, 's'));
    write(path("saved.pcap"), "old");
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool copied = CopyFileReplacing(path("spool"), path("saved.pcap"));
    const int error = errno;
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(copied);
    EXPECT_EQ(error, EFBIG);
    QFile saved2(path("saved.pcap"));
    ASSERT_TRUE(saved2.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved2.readAll(), QByteArray("old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // no temporary file left
    EXPECT_TRUE(CopyFileReplacing(path("spool"), path("saved.pcap")));
}

} // namespace
