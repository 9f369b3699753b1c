// The window when its files cannot be written: settings in a folder that became unwritable before
// closing, and an exchange trace that cannot be written.
#include "tests/support/immutable_flag.h"
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "link/crc16.h"
#include "link/result_flags.h"

#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>

#include <optional>
#include <sys/stat.h>
#include <vector>

using olv::test::FormFixture;
using olv::test::ImmutableFlag;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
    const uint16_t crc = olv::link::Crc16(frame.data(), static_cast<int>(frame.size()) - 1);
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

struct Outcome {
    olv::link::ResultFlags flags = 0xFF;
    uint8_t exceptionCode = 0xFF;
    std::vector<uint16_t> values;
    bool operator==(const Outcome&) const = default;
};

// A read of 3 registers and a write of 1 against scripted replies: a good read, an exception reply, a
// good write, silence.
std::vector<Outcome> RunExchanges(FormFixture& f) {
    f.port->queueReply(WithCrc({1, 3, 6, 0x00, 0x40, 0x3F, 0xC0, 0x00, 0x00}));
    f.port->queueReply({0x01, 0x83, 0x02, 0xC0, 0xF1});
    f.port->queueReply(WithCrc({1, 16, 0x00, 0x08, 0x00, 0x01}));
    f.port->queueSilence();
    std::vector<Outcome> outcomes;
    for (int i = 0; i < 2; ++i) {
        Outcome o;
        o.values.assign(3, 0xFFFF);
        o.flags = f->master.readHoldingRegisters(15, 3, o.values.data(), o.exceptionCode);
        outcomes.push_back(o);
    }
    for (int i = 0; i < 2; ++i) {
        const uint16_t word = 0x0102;
        Outcome o;
        o.flags = f->master.writeMultipleRegisters(8, 1, &word, o.exceptionCode);
        outcomes.push_back(o);
    }
    return outcomes;
}

} // namespace

class SettingsFailureTest : public QObject {
    Q_OBJECT

  private slots:
    void unwritableSettingsFolderGivesOneMessageAndTheWindowStillCloses() {
        FormFixture f;
        f->show();
        const QString devDat = f.dir().filePath("dev.dat");
        const QString recent = f.dir().filePath("recent.prf");
        QVERIFY(QFile::exists(devDat));
        QVERIFY(QFile::exists(recent));
        const QByteArray devBefore = ReadAll(devDat);
        const QByteArray recentBefore = ReadAll(recent);
        const size_t boxesAtStart = f.boxes.boxes.size();
        {
            // Folder and files immutable: no temporary file next to them, no rewrite in place.
            std::optional<ImmutableFlag> flags[3];
            flags[0].emplace(devDat);
            flags[1].emplace(recent);
            flags[2].emplace(f.dir().path());
            for (const auto& flag : flags)
                QVERIFY2(flag->ok(), ImmutableFlag::Refused);

            QVERIFY(f->close());
            QVERIFY(!f->isVisible());
            f.form.reset(); // the destroy step saves once more
            QCOMPARE(ReadAll(devDat), devBefore);
            QCOMPARE(ReadAll(recent), recentBefore);
        }
        QCOMPARE(f.boxes.boxes.size(), boxesAtStart + 1);
        const olv::messages::Box& box = f.boxes.boxes.back();
        QCOMPARE(box.caption, QStringLiteral("Ошибка"));
        QVERIFY2(box.text.contains(devDat), qPrintable(box.text));
        QCOMPARE(box.icon, olv::messages::BoxIcon::Warning);
        QCOMPARE(box.buttons, olv::messages::BoxButtons::Ok);
    }

    void fifosAsSettingsTraceAndLogDoNotHoldTheWindowUp() {
        // A FIFO without a writer blocks a plain open for reading, and one without a reader blocks a
        // plain open for writing: the window would hang before it shows, or at the first poll.
        olv::test::SimFormFixture::Options options;
        options.prepare = [](const QDir& dir) {
            QFile::remove(dir.filePath("dev.dat"));
            for (const char* name : {"dev.dat", "COM.txt", "izm.txt"})
                QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(name)).constData(), 0644), 0);
        };
        olv::test::SimFormFixture f(options);
        QVERIFY(f.started());
        // The refused write-back of dev.dat was reported once; the link has the file's defaults (COM1,
        // 19200 bit/s, even parity, address 1, the trace on into COM.txt), the log the profile's (on,
        // into izm.txt).
        QCOMPARE(f.boxes.boxes.size(), size_t(1));
        QVERIFY(f.boxes.boxes[0].text.contains(QStringLiteral("dev.dat")));
        QCOMPARE(f->linkSettings.address, 1);
        QCOMPARE(f->linkSettings.parity, 2);
        QCOMPARE(f->linkSettings.traceEnabled, 1);
        QCOMPARE(f->linkSettings.traceFileName, QStringLiteral("COM.txt"));
        QCOMPARE(f->live().logEnabled, 1);
        QCOMPARE(f->live().logFileName, QStringLiteral("izm.txt"));
        f->Timer1->stop();
        f.settle();
        QCOMPARE(f.boxes.boxes.size(), size_t(1)); // the start-up read went through
        f->TabbedNotebook1->setCurrentIndex(0);
        f->live().Timer1Timer();
        QCOMPARE(f->Memo3->toPlainText(), QStringLiteral("Нормальный обмен"));

        QVERIFY(f->close());
        f.form.reset();
        QCOMPARE(f.boxes.boxes.size(), size_t(2)); // closing: the refused dev.dat once more
        for (const char* name : {"dev.dat", "COM.txt", "izm.txt"}) {
            struct stat st {};
            QCOMPARE(::lstat(QFile::encodeName(f.dir().filePath(name)).constData(), &st), 0);
            QVERIFY2(S_ISFIFO(st.st_mode), name);
        }
        QVERIFY(QFile::exists(f.dir().filePath("recent.prf")));
    }

    void unwritableTraceLeavesTheTransactionsAsTheyAre_data() {
        QTest::addColumn<QString>("traceFile");
        QTest::newRow("device full") << QStringLiteral("/dev/full");
        QTest::newRow("no such folder") << QStringLiteral("/nonexistent-olv-folder/COM.txt");
        QTest::newRow("immutable folder") << QStringLiteral("locked/COM.txt");
        QTest::newRow("immutable file") << QStringLiteral("locked-trace.txt");
        QTest::newRow("a folder as the file") << QStringLiteral(".");
    }
    void unwritableTraceLeavesTheTransactionsAsTheyAre() {
        QFETCH(QString, traceFile);
        FormFixture f;
        f->linkSettings.address = 1;
        f->linkSettings.traceEnabled = 0;
        const std::vector<Outcome> untraced = RunExchanges(f);

        QVERIFY(f.dir().mkdir("locked"));
        QFile lockedFile(f.dir().filePath("locked-trace.txt"));
        QVERIFY(lockedFile.open(QIODevice::WriteOnly));
        lockedFile.close();
        ImmutableFlag lockedDir(f.dir().filePath("locked"));
        ImmutableFlag lockedTrace(f.dir().filePath("locked-trace.txt"));
        QVERIFY2(!traceFile.startsWith("locked") || (lockedDir.ok() && lockedTrace.ok()),
                 ImmutableFlag::Refused);

        f->linkSettings.traceEnabled = 1;
        f->linkSettings.traceFileName = traceFile;
        const size_t writesBefore = f.port->written.size();
        const std::vector<Outcome> traced = RunExchanges(f);
        QVERIFY(traced == untraced);
        QCOMPARE(f.port->written.size(), writesBefore + 4); // every request still went out
        QCOMPARE(untraced[0].flags, olv::link::ResultFlags(0));
        QCOMPARE(untraced[1].flags, olv::link::ResultFlags(0x1A));
        QCOMPARE(QFileInfo(f.dir().filePath("locked-trace.txt")).size(), qint64(0));
        QVERIFY(!QFile::exists(f.dir().filePath("locked/COM.txt")));
    }
};

OLV_UI_TEST_MAIN(SettingsFailureTest)
#include "settings_failure_test.moc"
