// Fault drills: every fault the virtual instrument can put on the line, against every page that talks
// to it. Each drill arms one fault for exactly the N-th request of an operation, runs the operation
// and checks what the window shows, that it ended within the time-outs, that nothing of the faulty
// reply is taken by the next exchange, and that the same operation succeeds once the fault is gone.
// A second drill pulls the adapter out while the live page polls and puts it back; a third reaches
// the instrument through ser2net and stops and restarts the gateway.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "link/line_port.h"
#include "link/tcp_port.h"
#include "link/termios_port.h"
#include "ui/widgets/caption_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using olv::test::RecordingBoxes;
using olv::test::SimInstrument;

namespace {

// ---- The window on the simulator, with a port that counts its requests ----

// The window's serial port: the program's own port (termios, or TCP for a tcp:// path) whose requests
// are counted. A hook runs just before each request goes out, so that a fault can be put on the line
// for exactly that request.
class DrillPort : public olv::link::Port {
  public:
    DrillPort() {
        auto serial = std::make_unique<olv::link::TermiosPort>();
        serial_ = serial.get();
        line_ =
            std::make_unique<olv::link::LinePort>(std::move(serial), std::make_unique<olv::link::TcpPort>());
    }
    bool open(const std::string& devicePath, const olv::link::LineSettings& line,
              std::string& error) override {
        ++opens;
        return line_->open(devicePath, line, error);
    }
    void close() override { line_->close(); }
    bool isOpen() const override { return line_->isOpen(); }
    bool hungUp() const override { return line_->hungUp(); }
    void purge() override { line_->purge(); }
    void setReadTimeouts(const olv::link::ReadTimeouts& timeouts) override {
        line_->setReadTimeouts(timeouts);
    }
    uint32_t takeLineErrors() override { return line_->takeLineErrors(); }
    size_t write(const uint8_t* bytes, size_t count) override {
        ++requests;
        if (beforeRequest) beforeRequest(requests);
        return line_->write(bytes, count);
    }
    size_t read(uint8_t* bytes, size_t count) override { return line_->read(bytes, count); }
    size_t readFrame(uint8_t* bytes, size_t count, const olv::link::FrameCutter& cut) override {
        return line_->readFrame(bytes, count, cut);
    }
    void raiseLines() override { line_->raiseLines(); }

    // Bytes received and not yet read: what a late or overlong reply left behind.
    size_t waiting() const { return serial_->bytesAvailable(); }

    int requests = 0;
    int opens = 0;
    std::function<void(int request)> beforeRequest;

  private:
    std::unique_ptr<olv::link::LinePort> line_;
    olv::link::TermiosPort* serial_ = nullptr; // owned by line_
};

// A running window talking to the virtual instrument through the symlink the simulator keeps, so that
// the port can be found again after the simulator was unplugged and plugged in. The live value is fixed
// (100, status 0), so a faulty reply is the same bytes every time. Timer1 is stopped: the drills run
// the polling steps themselves, except where they say otherwise.
class DrillWindow {
  public:
    // route, when given, turns the simulator's link into the path the window opens (a gateway's).
    explicit DrillWindow(const std::function<std::string(const std::string& link)>& route = {})
        : previousDir_(QDir::currentPath()) {
        QDir::setCurrent(work_.path());
        std::string link = work_.filePath(QStringLiteral("com1")).toStdString();
        started_ = sim.start({"--quiet", "--link", link, "--value", "100", "--status", "0"});
        if (route) link = route(link);
        olv::test::WriteCrlfFile(QDir(work_.path()).filePath("dev.dat"),
                                 {"[COM_SETTINGS]", "Number=1", "Settings=19200,E,8,2", "[DEVICE]",
                                  "EnableNetAdrr=1", "NetAdrr=1", "[SETTINGS]", "NOfReadings=2",
                                  "TimeOut=300", "[LOG]", "UseLogFile=0", "LogFileName=COM.txt", "[REG]",
                                  "RegFileName=REG.txt"});
        Form1Deps deps;
        auto drillPort = std::make_unique<DrillPort>();
        port = drillPort.get();
        deps.port = std::move(drillPort);
        deps.boxes = &boxes;
        deps.resolvePath = [link](int) { return link; };
        form = std::make_unique<TForm1>(std::move(deps));
        form->Timer1->stop();
        form->Timer2->stop();
        form->Timer2Timer();
        form->Timer3->stop();
        form->Timer3Timer();
    }
    ~DrillWindow() {
        form.reset();
        sim.stop();
        QDir::setCurrent(previousDir_);
    }
    bool started() const { return started_; }
    TForm1* operator->() const { return form.get(); }

    SimInstrument sim;
    RecordingBoxes boxes;
    DrillPort* port = nullptr; // owned by the window
    std::unique_ptr<TForm1> form;

  private:
    QString previousDir_;
    QTemporaryDir work_;
    bool started_ = false;
};

// ---- What the window says ----

// Lines of the exchange-state memo.
const QString MemoNoReply = QStringLiteral("Ответа не было.");
const QString MemoLength = QStringLiteral("При приеме не принято ожидаемое число символов.");
const QString MemoAddress =
    QStringLiteral("При приеме в ответе указан адрес не того устройства к которому обращались.");
const QString MemoCrc = QStringLiteral("При приеме в ответе не сошлась контрольная сумма.");
const QString MemoFunction = QStringLiteral("В ответе указан не тот номер команды.");
const QString MemoCode1 = QStringLiteral("Неподдерживаемая функция.");
const QString MemoCode2 = QStringLiteral("Указан адрес который не поддерживается.");
const QString MemoCode3 = QStringLiteral("Неправильные значения данных.");
const QString MemoCode4 = QStringLiteral("Ошибка в работе прибора.");
const QString MemoNormal = QStringLiteral("Нормальный обмен");
// A reply that never came: nothing matches, the address 1 included.
const QStringList MemoSilence{MemoNoReply, MemoLength, MemoAddress, MemoCrc, MemoFunction};

// Message boxes as "caption: text".
const QString BoxLength = QStringLiteral("Ошибка в обмене.: При приеме не принято ожидаемое число символов.");
const QString BoxAddress = QStringLiteral(
    "Ошибка в обмене.: При приеме в ответе указан не адрес того устройства к которому обращались.");
const QString BoxCrc = QStringLiteral("Ошибка в обмене.: При приеме в ответе не сошлась контрольная сумма.");
const QString BoxFunction = QStringLiteral("Ошибка в обмене.: В ответе указан не тот номер команды.");
const QString BoxCode1 = QStringLiteral("Устройство сообщает об ошибке: Неподдерживаемая функция.");
const QString BoxCode2 =
    QStringLiteral("Устройство сообщает об ошибке: Адрес данных выходит за допустимые границы.");
const QString BoxCode3 =
    QStringLiteral("Устройство сообщает об ошибке: Величина данных превышает допустимое значение.");
const QString BoxCode4 =
    QStringLiteral("Устройство сообщает об ошибке: Ошибка в работе адресуемого устройства.");
const QString BoxCode6 = QStringLiteral("Устройство сообщает об ошибке: Ошибка устройства 6");
const QString BoxCannotOpen = QStringLiteral("Ошибка: Невозможно открыть последовательный порт");

const QString SensorRead = QStringLiteral("Результат операции: Данные конфигурации прочитаны.");
const QString SensorAsk = QStringLiteral("Подтвердите действие: Данные конфигурации будут переписаны?.");
const QString SensorWritten = QStringLiteral("Результат операции: Данные конфигурации записаны.");
const QString LinkAsk = QStringLiteral("Подтвердите действие: Вы хотите сменить параметры связи?");
const QString LinkWritten = QStringLiteral("Результат операции: Параметры связи записаны");
const QString TextRead = QStringLiteral("Результат операции: Прочитан текст и обозначения версий из прибора");
const QString TextAsk =
    QStringLiteral("Подтвердите действие: Вы хотите записать новый текст и обозначения версий?");
const QString TextWritten =
    QStringLiteral("Результат операции: Записаны новый текст и обозначения версий в прибор");
const QString SearchDone = QStringLiteral("Ход поиска: Процедура поиска завершена.");

QStringList BoxLines(const RecordingBoxes& boxes) {
    QStringList lines;
    for (const olv::messages::Box& box : boxes.boxes)
        lines << box.caption + QStringLiteral(": ") + box.text;
    return lines;
}

QString MemoText(const QStringList& lines) {
    if (lines == QStringList{MemoNormal}) return MemoNormal;
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral(" \n");
    return text;
}

// ---- The pages ----

// The operations that talk to the instrument: the pages' commands, and the start-up read.
enum Page {
    Live,
    SensorReadPage,
    SensorWritePage,
    LinkWritePage,
    TextReadPage,
    TextWritePage,
    SearchRunPage,
    StartUp
};

// How long a read waits at most at 19200 bit/s with the 300 ms time-out: 12 ms for every byte asked
// (two more than a full reply of N registers) plus the time-out.
constexpr int ReadBudgetMs(int registers) {
    return 12 * (2 * registers + 7) + 300;
}
constexpr int WriteBudgetMs = 12 * 8 + 300;

// Registers read by the requests of each reading operation, in their order.
const std::vector<int> LiveReads{3};
const std::vector<int> SensorReads{6, 4, 4, 8, 4, 8, 5};
const std::vector<int> TextReads{1, 2, 8};                      // versions (two reads), then the text
const std::vector<int> StartUpReads{6, 4, 4, 8, 4, 8, 5, 1, 2}; // the configuration, then the versions

// Length of a full normal reply to the n-th request (1-based) of an operation on the page.
int ReplyLength(Page page, int n) {
    switch (page) {
    case Live:
    case SearchRunPage:
        return 2 * LiveReads[0] + 5;
    case SensorReadPage:
        return 2 * SensorReads[size_t(n - 1)] + 5;
    case TextReadPage:
        return 2 * TextReads[size_t(n - 1)] + 5;
    case StartUp:
        return 2 * StartUpReads[size_t(n - 1)] + 5;
    default:
        return 8;
    }
}

int BudgetMs(Page page, int n) {
    switch (page) {
    case Live:
    case SearchRunPage:
        return ReadBudgetMs(LiveReads[0]);
    case SensorReadPage:
        return ReadBudgetMs(SensorReads[size_t(n - 1)]);
    case TextReadPage:
        return ReadBudgetMs(TextReads[size_t(n - 1)]);
    case StartUp:
        return ReadBudgetMs(StartUpReads[size_t(n - 1)]);
    default:
        return WriteBudgetMs;
    }
}

// What a whole operation may take on top of the faulted request's budget: its other requests, its
// pauses of 100 ms, and room for a busy machine.
int SlackMs(Page page) {
    switch (page) {
    case Live:
        return 1500;
    case SearchRunPage:
        return 1500 + ReadBudgetMs(3); // the probe of the empty address 2 waits its whole budget
    default:
        return 3000;
    }
}

// What a successful run of the operation shows.
QStringList GoodOutcome(Page page) {
    switch (page) {
    case Live:
        return {MemoNormal};
    case SensorReadPage:
        return {SensorRead};
    case SensorWritePage:
        return {SensorAsk, SensorWritten};
    case LinkWritePage:
        return {LinkAsk, LinkWritten};
    case TextReadPage:
        return {TextRead};
    case TextWritePage:
        return {TextAsk, TextWritten};
    case SearchRunPage:
        return {SearchDone};
    case StartUp:
        return {};
    }
    return {};
}

void ShowPage(DrillWindow& w, Page page) {
    static const int index[] = {0, 1, 1, 2, 4, 4, 3, 0};
    w->TabbedNotebook1->setCurrentIndex(index[page]);
    if (page == SearchRunPage) {
        // 19200 bit/s, even parity, addresses 1 and 2: the instrument, then nobody.
        for (QCheckBox* box : {w->CheckBox1, w->CheckBox2, w->CheckBox3, w->CheckBox4, w->CheckBox5,
                               w->CheckBox6, w->CheckBox8, w->CheckBox9, w->CheckBox10})
            box->setChecked(box == w->CheckBox5 || box == w->CheckBox10);
        w->ComboBox12->setCurrentIndex(1);
        w->ComboBox13->setCurrentIndex(2);
    }
}

void RunOperation(DrillWindow& w, Page page) {
    switch (page) {
    case Live:
        w->live().Timer1Timer();
        break;
    case SensorReadPage:
        w->sensor().Button2Click();
        break;
    case SensorWritePage:
        w->sensor().Button3Click();
        break;
    case LinkWritePage:
        w->link().Button1Click();
        break;
    case TextReadPage:
        w->text().Button6Click();
        break;
    case TextWritePage:
        w->text().Button7Click();
        break;
    case SearchRunPage:
        w->search().Button4Click();
        break;
    case StartUp:
        w->pollEnabled = 0;
        w->Timer3Timer();
        QCOMPARE(w->pollEnabled, 1); // polling starts also after a failed read
        break;
    }
}

// What the operation showed: the exchange-state memo for the live page, the message boxes elsewhere.
QString Outcome(DrillWindow& w, Page page) {
    if (page == Live) return w->Memo3->toPlainText();
    return BoxLines(w.boxes).join(u'\n');
}

QString Expected(Page page, const QStringList& outcome) {
    return page == Live ? MemoText(outcome) : outcome.join(u'\n');
}

// Compares texts and, when they differ, shows both readably.
#define COMPARE_TEXT(actual, expected)                                                                       \
    do {                                                                                                     \
        const QString a_ = (actual), e_ = (expected);                                                        \
        QVERIFY2(a_ == e_, qPrintable(QStringLiteral("\n--- shown:\n%1\n--- expected:\n%2").arg(a_, e_)));   \
    } while (false)

// Sends a command to the simulator, which must accept it.
#define SIM(w, line)                                                                                         \
    do {                                                                                                     \
        const std::string reply_ = (w).sim.command(line);                                                    \
        QVERIFY2(reply_.rfind("ok", 0) == 0, reply_.c_str());                                                \
    } while (false)

// The window is idle again: no progress panel left showing, the search over with its controls usable.
void VerifyIdle(DrillWindow& w) {
    QVERIFY(w->Panel3->isHidden());
    QVERIFY(w->Panel4->isHidden());
    QVERIFY(w->Panel5->isHidden());
    QCOMPARE(w->search().searchRunning, 0);
    QVERIFY(w->Button4->isEnabled());
    QVERIFY(w->ComboBox1->isEnabled());
    // The link in force is still the instrument's.
    QCOMPARE(w->linkSettings.address, 1);
    QCOMPARE(w->linkSettings.baudRate, 19200);
    QCOMPARE(w->linkSettings.parity, 2);
}

// The live page after a poll: an old reading is greyed and marked "нет связи" with its age, and the
// status memo takes the exchange's yellow; a good reading restores the large digits and the status.
void VerifyLiveStale(DrillWindow& w, bool stale) {
    QCOMPARE(!w->Label51->isHidden(), stale);
    if (!stale) {
        QCOMPARE(w->Panel1->captionLabel()->font().pointSize(), 48);
        QCOMPARE(w->Memo2->toPlainText(), QStringLiteral("Нормальное измерение"));
        QCOMPARE(TForm1::ColorOf(w->Panel1), QColor(255, 255, 255));
        return;
    }
    if (!w->live().liveMeasured) return; // no reading to be old: the panel says "нет связи" only
    static const QRegularExpression age(QStringLiteral("^нет связи, данные [0-9] с назад$"));
    QVERIFY2(age.match(w->Label51->text()).hasMatch(), qPrintable(w->Label51->text()));
    QCOMPARE(w->Memo2->toPlainText(), QStringLiteral("нет связи"));
    QCOMPARE(TForm1::ColorOf(w->Memo2), QColor(255, 255, 0));
    QCOMPARE(TForm1::ColorOf(w->Panel1), TForm1::ButtonFaceColor());
}

// Makes the next good run distinguishable from anything the faulty one may have left on the line.
void ChangeWhatTheNextRunSees(DrillWindow& w, Page page) {
    switch (page) {
    case Live:
        SIM(w, "value 42");
        break;
    case SensorWritePage:
        w->Edit5->setText(QStringLiteral("151"));
        break;
    case TextWritePage:
        w->Edit8->setText(QStringLiteral("Drill"));
        break;
    case SensorReadPage:
    case StartUp:
        SIM(w, "set model=152");
        break;
    default:
        break;
    }
}

void VerifyNextRun(DrillWindow& w, Page page) {
    switch (page) {
    case Live:
        QCOMPARE(w->Panel1->caption(), QStringLiteral("    42.0000"));
        break;
    case SensorReadPage:
    case StartUp:
        QCOMPARE(w->Edit5->text(), QStringLiteral("152"));
        break;
    case SensorWritePage:
        QCOMPARE(w.sim.command("get 0"), std::string("ok 151"));
        break;
    case TextWritePage:
        QCOMPARE(w.sim.command("get 48"), std::string("ok ") + std::to_string(0x4472)); // "Dr"
        break;
    case SearchRunPage:
        QCOMPARE(w->ListBox1->count(), 1);
        QCOMPARE(w->ListBox1->item(0)->text(), QStringLiteral("Скорость 19200 чет. пар. Сет. номер 1, модель 150, зав. № 123456"));
        break;
    default:
        break;
    }
}

// ---- The table ----

struct Fault {
    QString name;        // simulator fault ("noreply once", "delay 536 once", ...) or "unplug"
    int lateMs = 0;      // after arming, when the last byte of the faulty reply has been sent
    bool leaves = false; // bytes of the faulty reply are still waiting when the operation has ended
};

Fault Once(const QString& name) {
    return {name + QStringLiteral(" once")};
}
Fault DelayJustUnder(Page page, int n) {
    return {QStringLiteral("delay %1 once").arg(BudgetMs(page, n) - 80)};
}
Fault DelayJustOver(Page page, int n) {
    const int delay = BudgetMs(page, n) + 150;
    return {QStringLiteral("delay %1 once").arg(delay), delay + 100, true};
}
// Bytes `ms` apart, more than four times the 12 ms of silence that ends a read. The first bytes show the
// awaited reply has begun, so the read goes on over the gaps (as over a USB adapter's packets) until the
// reply is whole or the read's total time-out passes; the rest then still comes after the operation.
Fault Gaps(Page page, int n, int ms = 50) {
    const int lastByte = ms * (ReplyLength(page, n) - 1);
    return {QStringLiteral("gap %1 once").arg(ms), lastByte + 100, lastByte > BudgetMs(page, n)};
}
Fault Late(Fault fault, bool leaves) {
    fault.leaves = leaves;
    return fault;
}
Fault Unplug() {
    return {QStringLiteral("unplug")};
}

// The n-th write of a write operation: the operation's state read (seven configuration blocks, two
// version reads, the parity) comes first.
constexpr int W(int n) {
    return n + 10;
}

void AddRow(const char* name, Page page, const Fault& fault, int request, const QStringList& outcome,
            bool leaves = false) {
    QTest::addRow("%s", name) << int(page) << fault.name << request << outcome << fault.lateMs
                              << (fault.leaves || leaves);
}

} // namespace

class FaultDrillTest : public QObject {
    Q_OBJECT

  private slots:
    void faultOnOneRequest_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("request"); // the request of the operation that meets the fault (1 = first)
        QTest::addColumn<QStringList>("outcome"); // memo lines (live page) or message boxes
        QTest::addColumn<int>("lateMs");
        QTest::addColumn<bool>("leaves");

        // The live page meets every fault. Its read of 3 registers expects 11 bytes and asks for 13.
        AddRow("live/no reply", Live, Once("noreply"), 1, MemoSilence);
        AddRow("live/late, just in time", Live, DelayJustUnder(Live, 1), 1, {MemoNormal});
        AddRow("live/late, too late", Live, DelayJustOver(Live, 1), 1, MemoSilence);
        AddRow("live/CRC", Live, Once("crc"), 1, {MemoCrc});
        AddRow("live/last byte cut", Live, Once("truncate 1"), 1, {MemoLength, MemoCrc});
        AddRow("live/only the address", Live, Once("truncate 10"), 1, {MemoLength, MemoCrc, MemoFunction});
        AddRow("live/one byte too many", Live, Once("extra 1"), 1, {MemoLength});
        AddRow("live/three bytes too many", Live, Once("extra 3"), 1, {MemoLength}, true);
        AddRow("live/another address", Live, Once("address 7"), 1, {MemoAddress});
        AddRow("live/another function", Live, Once("function 4"), 1, {MemoFunction});
        AddRow("live/exception 1", Live, Once("exception 1"), 1, {MemoLength, MemoFunction, MemoCode1});
        AddRow("live/exception 2", Live, Once("exception 2"), 1, {MemoLength, MemoFunction, MemoCode2});
        AddRow("live/exception 3", Live, Once("exception 3"), 1, {MemoLength, MemoFunction, MemoCode3});
        AddRow("live/exception 4", Live, Once("exception 4"), 1, {MemoLength, MemoFunction, MemoCode4});
        AddRow("live/exception 6", Live, Once("exception 6"), 1, {MemoLength, MemoFunction});
        AddRow("live/garbage first", Live, Once("garbage 3"), 1,
               {MemoLength, MemoAddress, MemoCrc, MemoFunction}, true);
        AddRow("live/gaps past the time-out", Live, Gaps(Live, 1), 1, {MemoLength, MemoCrc});
        AddRow("live/gaps within the time-out", Live, Gaps(Live, 1, 25), 1, {MemoNormal});
        AddRow("live/unplugged", Live, Unplug(), 1, MemoSilence);

        // Sensor configuration read: seven reads back to back; the first failure ends it.
        AddRow("sensor read/no reply at 1", SensorReadPage, Once("noreply"), 1, {BoxLength});
        AddRow("sensor read/too late at 1", SensorReadPage, DelayJustOver(SensorReadPage, 1), 1, {BoxLength});
        AddRow("sensor read/gaps at 2", SensorReadPage, Gaps(SensorReadPage, 2), 2, {BoxLength});
        AddRow("sensor read/exception 2 at 4", SensorReadPage, Once("exception 2"), 4, {BoxCode2});
        AddRow("sensor read/CRC at 5", SensorReadPage, Once("crc"), 5, {BoxCrc});
        AddRow("sensor read/just in time at 6", SensorReadPage, DelayJustUnder(SensorReadPage, 6), 6,
               {SensorRead});
        AddRow("sensor read/garbage at 7", SensorReadPage, Once("garbage 2"), 7, {BoxLength});
        AddRow("sensor read/unplugged at 3", SensorReadPage, Unplug(), 3, {BoxLength});

        // Sensor configuration write: seven writes with pauses. A write asks for the 8 bytes of its reply.
        // Every write operation first reads the instrument (the old values for the journal): a failure
        // there writes nothing.
        AddRow("sensor write/no reply at the read before", SensorWritePage, Once("noreply"), 1,
               {SensorAsk, BoxLength});
        AddRow("sensor write/no reply at 1", SensorWritePage, Once("noreply"), W(1), {SensorAsk, BoxLength});
        AddRow("sensor write/extra bytes at 2", SensorWritePage, Once("extra 3"), W(2),
               {SensorAsk, SensorWritten});
        AddRow("sensor write/exception 3 at 3", SensorWritePage, Once("exception 3"), W(3),
               {SensorAsk, BoxCode3});
        AddRow("sensor write/just in time at 4", SensorWritePage, DelayJustUnder(SensorWritePage, 4), W(4),
               {SensorAsk, SensorWritten});
        // The read-back of the blocks sent follows the failed write at once, and its purge drops what
        // the faulty reply still had to send: nothing is left for the next run.
        AddRow("sensor write/garbage at 5", SensorWritePage, Once("garbage 2"), W(5), {SensorAsk, BoxAddress});
        AddRow("sensor write/too late at 6", SensorWritePage, DelayJustOver(SensorWritePage, 6), W(6),
               {SensorAsk, BoxLength});
        AddRow("sensor write/last byte cut at 7", SensorWritePage, Once("truncate 1"), W(7),
               {SensorAsk, BoxLength});
        AddRow("sensor write/unplugged at 4", SensorWritePage, Unplug(), W(4), {SensorAsk, BoxLength});

        // Communication settings: byte order, then address and rate, then parity, one register each.
        AddRow("link/CRC at the read before", LinkWritePage, Once("crc"), 10, {LinkAsk, BoxCrc});
        AddRow("link/exception 3 at 1", LinkWritePage, Once("exception 3"), W(1), {LinkAsk, BoxCode3});
        AddRow("link/no reply at 2", LinkWritePage, Once("noreply"), W(2), {LinkAsk, BoxLength});
        AddRow("link/too late at 2", LinkWritePage, DelayJustOver(LinkWritePage, 2), W(2),
               {LinkAsk, BoxLength});
        AddRow("link/another function at 3", LinkWritePage, Once("function 4"), W(3), {LinkAsk, BoxFunction});
        AddRow("link/CRC at 3", LinkWritePage, Once("crc"), W(3), {LinkAsk, BoxCrc});
        AddRow("link/unplugged at 2", LinkWritePage, Unplug(), W(2), {LinkAsk, BoxLength});

        // Text and versions read: two version reads, then the text, which is read whatever they gave.
        AddRow("text read/no reply at 1", TextReadPage, Once("noreply"), 1, {BoxLength, TextRead});
        AddRow("text read/CRC at 2", TextReadPage, Once("crc"), 2, {BoxCrc, TextRead});
        AddRow("text read/exception 6 at 2", TextReadPage, Once("exception 6"), 2, {BoxCode6, TextRead});
        AddRow("text read/exception 2 at 3", TextReadPage, Once("exception 2"), 3, {BoxCode2});
        AddRow("text read/too late at 3", TextReadPage, DelayJustOver(TextReadPage, 3), 3, {BoxLength});
        // The text read follows the failed versions read at once, while the slow reply is still coming:
        // what it gets is the rest of that reply, which it refuses rather than taking it for the text.
        AddRow("text read/gaps at 1", TextReadPage, Late(Gaps(TextReadPage, 1, 80), false), 1,
               {BoxLength, BoxLength});
        AddRow("text read/gaps within the time-out at 1", TextReadPage, Gaps(TextReadPage, 1), 1, {TextRead});

        // Text and versions write: the model number, the two versions, then the text.
        AddRow("text write/exception 2 at the read before", TextWritePage, Once("exception 2"), 8,
               {TextAsk, BoxCode2});
        AddRow("text write/exception 4 at 1", TextWritePage, Once("exception 4"), W(1), {TextAsk, BoxCode4});
        AddRow("text write/another address at 2", TextWritePage, Once("address 9"), W(2),
               {TextAsk, BoxAddress});
        AddRow("text write/exception 1 at 3", TextWritePage, Once("exception 1"), W(3), {TextAsk, BoxCode1});
        AddRow("text write/unplugged at 3", TextWritePage, Unplug(), W(3), {TextAsk, BoxLength});

        // Search over addresses 1 and 2: a probe that fails is not listed and not reported.
        AddRow("search/no reply", SearchRunPage, Once("noreply"), 1, {SearchDone});
        AddRow("search/CRC", SearchRunPage, Once("crc"), 1, {SearchDone});
        // The late reply comes during the probe of address 2, which refuses it for its address.
        AddRow("search/too late", SearchRunPage, Late(DelayJustOver(SearchRunPage, 1), false), 1, {SearchDone});
        AddRow("search/exception 2", SearchRunPage, Once("exception 2"), 1, {SearchDone});
        AddRow("search/garbage first", SearchRunPage, Once("garbage 3"), 1, {SearchDone});
        // The port cannot be opened for the next probe: the search ends there.
        AddRow("search/unplugged", SearchRunPage, Unplug(), 1, {BoxCannotOpen, BoxCannotOpen, SearchDone});

        // Start-up read: the configuration (seven reads), then the versions, read whatever the first gave.
        AddRow("start-up/no reply at 1", StartUp, Once("noreply"), 1, {BoxLength});
        AddRow("start-up/unplugged at 4", StartUp, Unplug(), 4, {BoxLength, BoxLength});
        AddRow("start-up/exception 2 at 8", StartUp, Once("exception 2"), 8, {BoxCode2});
        AddRow("start-up/CRC at 9", StartUp, Once("crc"), 9, {BoxCrc});
    }

    void faultOnOneRequest() {
        QFETCH(int, page);
        QFETCH(QString, fault);
        QFETCH(int, request);
        QFETCH(QStringList, outcome);
        QFETCH(int, lateMs);
        QFETCH(bool, leaves);
        const Page p = Page(page);

        DrillWindow w;
        QVERIFY(w.started());
        QCOMPARE(BoxLines(w.boxes), QStringList());
        ShowPage(w, p);

        // The fault is put on the line just before the chosen request goes out.
        const bool unplug = fault == QStringLiteral("unplug");
        const std::string command = unplug ? "unplug" : "fault " + fault.toStdString();
        std::string armed;
        QElapsedTimer sinceArmed;
        w.port->requests = 0;
        w.port->beforeRequest = [&](int n) {
            if (n != request) return;
            armed = w.sim.command(command);
            sinceArmed.start();
        };

        QElapsedTimer step;
        step.start();
        RunOperation(w, p);
        const qint64 took = step.elapsed();
        w.port->beforeRequest = nullptr;

        QVERIFY2(armed.rfind("ok", 0) == 0, armed.c_str());
        COMPARE_TEXT(Outcome(w, p), Expected(p, outcome));
        const int bound = BudgetMs(p, request) + SlackMs(p);
        QVERIFY2(took < bound, qPrintable(QStringLiteral("took %1 ms, at most %2").arg(took).arg(bound)));
        VerifyIdle(w);
        if (p == Live) {
            QCOMPARE(TForm1::ColorOf(w->Memo3),
                     outcome == QStringList{MemoNormal} ? TForm1::ButtonFaceColor() : QColor(255, 255, 0));
            VerifyLiveStale(w, outcome != QStringList{MemoNormal});
        }
        if (p == SearchRunPage) QCOMPARE(w->ListBox1->count(), 0);

        // The fault goes away; the adapter comes back and is picked again in the top row.
        QCOMPARE(w.sim.command("fault clear"), std::string("ok faults cleared"));
        if (unplug) {
            QCOMPARE(w.sim.command("replug").rfind("ok /dev/", 0), size_t(0));
            emit w->ComboBox1->activated(0);
        }
        // Whatever the faulty reply still had to send arrives before the next run...
        if (lateMs > 0 && sinceArmed.elapsed() < lateMs) QTest::qWait(int(lateMs - sinceArmed.elapsed()));
        // ...and waits in the port, where the next request's purge has to drop it.
        if (leaves) QVERIFY2(w.port->waiting() > 0, "the faulty reply left nothing behind");

        ChangeWhatTheNextRunSees(w, p);
        w.boxes.boxes.clear();
        step.restart();
        RunOperation(w, p);
        COMPARE_TEXT(Outcome(w, p), Expected(p, GoodOutcome(p)));
        QVERIFY2(step.elapsed() < BudgetMs(p, 1) + SlackMs(p), qPrintable(QString::number(step.elapsed())));
        VerifyNextRun(w, p);
        VerifyIdle(w);
        if (p == Live) VerifyLiveStale(w, false);
    }

    void unpluggedAdapterKeepsPollingQuietAndComesBackByItself() {
        DrillWindow w;
        QVERIFY(w.started());
        w->TabbedNotebook1->setCurrentIndex(0);
        w->Timer1->start(1000);
        QTRY_COMPARE_WITH_TIMEOUT(w->Memo3->toPlainText(), MemoNormal, 3000);
        QCOMPARE(w->Panel1->caption(), QStringLiteral("   100.0000"));

        // Pulled out: every poll fails at once, without a message box and without spinning.
        QCOMPARE(w.sim.command("unplug"), std::string("ok unplugged"));
        SIM(w, "value 42");
        const int before = w.port->requests;
        const auto cpuSeconds = [] {
            timespec t{};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
            return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
        };
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = cpuSeconds();
        QTest::qWait(3000);
        VerifyLiveStale(w, true); // the last good reading is a few seconds old
        QVERIFY2(w->Label52->text().contains(QStringLiteral(" · порт закрыт · ")),
                 qPrintable(w->Label52->text()));
        const double cpu = cpuSeconds() - cpuBefore;
        const double share = cpu / (double(wall.elapsed()) / 1000.0);
        QVERIFY2(share < 0.5,
                 qPrintable(QStringLiteral("%1 s of CPU in %2 ms").arg(cpu).arg(wall.elapsed())));
        QVERIFY2(w.port->requests - before >= 2, qPrintable(QString::number(w.port->requests - before)));
        COMPARE_TEXT(w->Memo3->toPlainText(), MemoText(MemoSilence));
        QCOMPARE(w->Panel1->caption(), QStringLiteral("   100.0000")); // the last reading stays
        QCOMPARE(BoxLines(w.boxes), QStringList());

        // Picking the port while the adapter is still out says so once; polling goes on failing.
        emit w->ComboBox1->activated(0);
        QCOMPARE(BoxLines(w.boxes), QStringList{BoxCannotOpen});
        const int closedBefore = w.port->requests;
        const double cpuClosed = cpuSeconds();
        wall.restart();
        QTest::qWait(1500);
        QVERIFY(cpuSeconds() - cpuClosed < 0.5 * double(wall.elapsed()) / 1000.0);
        QVERIFY(w.port->requests > closedBefore);
        COMPARE_TEXT(w->Memo3->toPlainText(), MemoText(MemoSilence));
        QCOMPARE(w.boxes.boxes.size(), size_t(1));

        // Plugged in again: without any click the port is reopened quietly and the polls succeed.
        const int opensBefore = w.port->opens;
        QCOMPARE(w.sim.command("replug").rfind("ok /dev/", 0), size_t(0));
        QTRY_COMPARE_WITH_TIMEOUT(w->Memo3->toPlainText(), MemoNormal, 5000);
        QCOMPARE(w->Panel1->caption(), QStringLiteral("    42.0000"));
        VerifyLiveStale(w, false);
        QVERIFY2(w->Label52->text().contains(QStringLiteral(" · обмен · ")), qPrintable(w->Label52->text()));
        QCOMPARE(w.boxes.boxes.size(), size_t(1));
        QCOMPARE(w.port->opens, opensBefore + 1); // the attempts while out were quiet; one open now
        QCOMPARE(w->linkSettings.baudRate, 19200);
    }

    void quietAttemptsWhileOutAreOncePerPollAndShowNothing() {
        DrillWindow w;
        QVERIFY(w.started());
        w->TabbedNotebook1->setCurrentIndex(0);
        QCOMPARE(w.sim.command("unplug"), std::string("ok unplugged"));
        const int opensBefore = w.port->opens;
        // Polls at the timer's pace: each finds the adapter missing and tries once, quietly.
        for (int tick = 0; tick < 3; ++tick) {
            w->live().Timer1Timer();
            QTest::qWait(1000);
        }
        QVERIFY2(w.port->opens - opensBefore >= 2 && w.port->opens - opensBefore <= 3,
                 qPrintable(QString::number(w.port->opens - opensBefore)));
        QCOMPARE(BoxLines(w.boxes), QStringList());
        // Back again: the next operation, a configuration read, reopens it first and succeeds.
        QCOMPARE(w.sim.command("replug").rfind("ok /dev/", 0), size_t(0));
        ShowPage(w, SensorReadPage);
        QTest::qWait(1000);
        RunOperation(w, SensorReadPage);
        COMPARE_TEXT(Outcome(w, SensorReadPage), Expected(SensorReadPage, GoodOutcome(SensorReadPage)));
    }

    // The instrument behind ser2net: the same frames over TCP to the gateway, which puts them on the
    // simulator's line. A stopped gateway costs no CPU and is found again once it runs again.
    void pollsReadsAndWritesThroughASer2netGateway() {
        olv::test::Ser2net gateway;
        bool gatewayStarted = false;
        DrillWindow w([&](const std::string& link) {
            gatewayStarted = gateway.start(link);
            return gateway.path();
        });
        QVERIFY(w.started());
        QVERIFY2(gatewayStarted, gateway.log().c_str());
        QCOMPARE(w->linkSettings.baudRate, 19200);
        QCOMPARE(BoxLines(w.boxes), QStringList()); // the start-up read went through the gateway
        // The gateway's rate and parity are its own: the status bar names the path and the address.
        QVERIFY2(
            w->Label52->text().startsWith(QStringLiteral("COM1 %1 · адрес 1 · ").arg(gateway.path().c_str())),
            qPrintable(w->Label52->text()));

        w->TabbedNotebook1->setCurrentIndex(0);
        w->Timer1->start(1000);
        QTRY_COMPARE_WITH_TIMEOUT(w->Memo3->toPlainText(), MemoNormal, 3000);
        QCOMPARE(w->Panel1->caption(), QStringLiteral("   100.0000"));
        w->Timer1->stop();
        for (Page p : {SensorReadPage, SensorWritePage}) {
            ShowPage(w, p);
            ChangeWhatTheNextRunSees(w, p);
            w.boxes.boxes.clear();
            RunOperation(w, p);
            COMPARE_TEXT(Outcome(w, p), Expected(p, GoodOutcome(p)));
            VerifyNextRun(w, p);
        }

        // The gateway stops: polls fail at once, quietly, without spinning.
        w.boxes.boxes.clear();
        w->TabbedNotebook1->setCurrentIndex(0);
        w->Timer1->start(1000);
        gateway.stop();
        const auto cpuSeconds = [] {
            timespec t{};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
            return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
        };
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = cpuSeconds();
        QTest::qWait(3000);
        const double cpu = cpuSeconds() - cpuBefore;
        QVERIFY2(cpu < 0.5 * double(wall.elapsed()) / 1000.0,
                 qPrintable(QStringLiteral("%1 s of CPU in %2 ms").arg(cpu).arg(wall.elapsed())));
        COMPARE_TEXT(w->Memo3->toPlainText(), MemoText(MemoSilence));
        QCOMPARE(BoxLines(w.boxes), QStringList());

        // It runs again on the same port: the window connects by itself and polls succeed.
        SIM(w, "value 42");
        QVERIFY2(gateway.start(w.sim.path()), gateway.log().c_str());
        QTRY_COMPARE_WITH_TIMEOUT(w->Memo3->toPlainText(), MemoNormal, 5000);
        QCOMPARE(w->Panel1->caption(), QStringLiteral("    42.0000"));
        QCOMPARE(BoxLines(w.boxes), QStringList());
    }
};

OLV_UI_TEST_MAIN(FaultDrillTest)
#include "fault_drill_test.moc"
