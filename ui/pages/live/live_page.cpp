// Page 0, "Текущее значение": the live value polled once a second, its building, wiring and handlers.
#include "ui/pages/live/live_page.h"

#include "ui/window/control_makers.h"
#include "ui/window/form1_controls.h"
#include "ui/window/form_fill.h"
#include "ui/window/line_flag.h"
#include "ui/window/page_host.h"

#include "ui/widgets/caption_panel.h"
#include "ui/widgets/quiet_setters.h"
#include "ui/widgets/trend_chart.h"

#include "device/encodings.h"
#include "device/live_value.h"
#include "device/number_text.h"
#include "link/link_settings.h"
#include "link/port_master.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QColor White(255, 255, 255);
const QColor Yellow(255, 255, 0);

// Font size of the value panel: the number large, the message that there is none smaller. The
// caption gets it directly: once the panel carries a style sheet (its colour), a font set on the
// panel no longer reaches the caption, which kept the small size of the first message for good.
void SetPanelPointSize(CaptionPanel* panel, int points) {
    SetPointSizeQuietly(panel, points);
    SetPointSizeQuietly(panel->captionLabel(), points);
}

} // namespace

void Form1Controls::setupLivePage(QWidget* page) {
    auto* grid = new QGridLayout(page);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);

    grid->addWidget(MakeLabel(page, Label2, "Label2", QStringLiteral("Измеренное значение")), 0, 0);
    MakePanel(page, Panel1, "Panel1", QStringLiteral(" "));
    Panel1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    QFont valueFont = Panel1->font();
    valueFont.setPixelSize(13);
    valueFont.setBold(true);
    Panel1->setFont(valueFont);
    // Room for the 48-point digits of a reading; a long message wraps instead of widening the column.
    QFont readingFont = valueFont;
    readingFont.setPointSize(48);
    Panel1->setMinimumHeight(QFontMetrics(readingFont).height() + 12);
    Panel1->captionLabel()->setWordWrap(true);
    // Shown only while the reading on the panel is old: a smaller line under the value.
    Make(Panel1, Label51, "Label51")->setAlignment(Qt::AlignCenter);
    QFont noteFont = QGuiApplication::font();
    noteFont.setPointSize(noteFont.pointSize() + 2);
    Label51->setFont(noteFont);
    Label51->hide();
    Panel1->addControl(Label51);
    grid->addWidget(Panel1, 1, 0);

    // Shown over the value until the first configuration read hides it.
    MakePanel(page, Panel5, "Panel5", QStringLiteral("Panel5"));
    Panel5->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    Panel5->setAutoFillBackground(true);
    Panel5->addControl(MakeProgress(Panel5, ProgressBar3, "ProgressBar3", 100));
    grid->addWidget(Panel5, 1, 0);

    grid->addWidget(MakeLabel(page, Label14, "Label14", QStringLiteral("Результат измерения")), 2, 0);
    Make(page, Memo2, "Memo2")->setPlainText(QStringLiteral(" "));
    grid->addWidget(Memo2, 3, 0);

    grid->addWidget(MakeLabel(page, Label4, "Label4", QStringLiteral("Состояние обмена")), 4, 0);
    Make(page, Memo3, "Memo3")->setPlainText(QStringLiteral(" "));
    Memo3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid->addWidget(Memo3, 5, 0);

    auto* right = new QVBoxLayout();
    right->addWidget(MakeLabel(page, Label35, "Label35", QStringLiteral("Порядок байт")));
    auto* order = new QHBoxLayout();
    order->addWidget(MakeEditableCombo(page, ComboBox17, "ComboBox17", QStringLiteral("ComboBox17")));
    order->addWidget(MakeButton(page, Button9, "Button9", QStringLiteral("Применить")));
    order->addStretch(1);
    right->addLayout(order);
    right->addSpacing(12);
    right->addWidget(MakeLabel(page, Label36, "Label36", QStringLiteral("Запись в файл")));
    right->addWidget(MakeCheckBox(page, CheckBox11, "CheckBox11", QStringLiteral("Записать")));
    right->addSpacing(12);
    right->addWidget(MakeButton(page, Button10, "Button10", QStringLiteral("Спросить")));
    Button10->setVisible(false);
    right->addWidget(MakeLabel(page, Label20, "Label20", QStringLiteral(" ")));
    Label20->setVisible(false);
    setupLiveTrend(page, right);
    grid->addLayout(right, 0, 1, 6, 1);
}

LivePage::LivePage(PageHost& host, LiveHost& window, Form1Controls& ui, olv::device::LiveTrend::Clock clock)
    : liveTrend(std::move(clock)), host(host), window(window), ui(ui) {
    // The units of the value transmitted, under the large value; empty while unknown.
    Label56 = new QLabel(ui.Panel1);
    Label56->setObjectName(QStringLiteral("Label56"));
    Label56->setTextFormat(Qt::PlainText);
    Label56->setAlignment(Qt::AlignCenter);
    QFont unitsFont = Label56->font();
    unitsFont.setPointSize(unitsFont.pointSize() + 4);
    unitsFont.setBold(true);
    Label56->setFont(unitsFont);
    ui.Panel1->addControl(Label56);
}

void LivePage::FillListsAndHints() {
    FillList(ui.ComboBox17, ByteOrderEntries());
    SetHint(ui.ComboBox17, QStringLiteral("Порядок байт в плавающем числе"));
    SetHint(ui.Button9, QStringLiteral("Сменить порядок байт в плавающем числе при приеме"));
    SetHint(ui.CheckBox11, QStringLiteral("Будем записывать результат измерения в файл"));
}

void LivePage::Wire() {
    // activated: a pick by the user, also of the entry already selected; never from code.
    host.On(ui.ComboBox31, &QComboBox::activated, this, &LivePage::ComboBox31Change);
    for (auto [button, handler] :
         {std::pair{ui.Button9, &LivePage::Button9Click}, std::pair{ui.Button10, &LivePage::Button10Click},
          std::pair{ui.Button31, &LivePage::Button31Click}, std::pair{ui.Button32, &LivePage::SaveLiveTrend}})
        host.On(button, &QPushButton::clicked, this, handler);
    // Ticking from code raises the handler too.
    host.On(ui.CheckBox11, &QCheckBox::toggled, this, &LivePage::CheckBox11Click);
    host.On(ui.Timer1, &QTimer::timeout, this, &LivePage::Timer1Timer);
}

// Every 1000 ms: one polling step (of the live page, or of the calibration while it runs).
void LivePage::Timer1Timer() {
    PollLiveValue();
    window.PollCalibration();
}

// Reads and shows the live value and the exchange state while polling is on and page 0 is shown.
void LivePage::PollLiveValue() {
    // Not inside another operation's pauses either: its link may be at another address or rate.
    // Nor while the previous poll still waits for its reply (a tick runs inside that wait).
    if (!window.PollEnabled() || host.LineBusy() || ui.TabbedNotebook1->currentIndex() != 0) return;
    window.ReconnectIfLost();

    uint8_t exceptionCode = 0;
    const olv::link::ResultFlags flags = ReadLiveValue(exceptionCode);
    const bool succeeded = olv::link::Succeeded(flags, exceptionCode);
    if (!succeeded) {
        window.ShowExchangeState(flags, exceptionCode);
        // The previous reading stays, marked as old. Before any read has succeeded there is none: the
        // panel keeps its blank rather than presenting the initial zero as a normal measurement.
        if (liveMeasured) ShowLiveValue();
        ShowStaleValue();
    } else {
        ShowLiveValue();
        window.ShowExchangeState(0, 0);
    }
    FeedLiveTrend(succeeded);
    // Only a measurement that happened is logged: a failed read has no new one, and an implausible
    // one has no number to record.
    if (olv::device::ShouldLogMeasurement(succeeded, live)) LogMeasurement();
}

olv::link::ResultFlags LivePage::ReadLiveValue(uint8_t& exceptionCode) {
    const olv::link::ResultFlags flags =
        olv::device::ReadLiveValue(host.Master(), host.Link().byteOrder, live, exceptionCode);
    if (olv::link::Succeeded(flags, exceptionCode)) {
        window.FollowShownInstrument();
        liveMeasured = true;
        liveMeasuredAt = std::chrono::steady_clock::now();
    }
    return flags;
}

// Takes the byte order of ComboBox17 for the live value and for the communication page.
void LivePage::Button9Click() {
    // The box is editable: a typed text that spells an entry stands for that entry; any other text
    // changes nothing.
    const int order = ui.ComboBox17->findText(ui.ComboBox17->currentText().trimmed(), Qt::MatchFixedString);
    if (order < 0) return;
    ui.ComboBox17->setCurrentIndex(order);
    host.Link().byteOrder = order;
    host.PendingLink().pendingByteOrder = order;
}

// "Записать" on the live page: the measurement log is switched at once, so the next good poll is
// logged (or not).
void LivePage::CheckBox11Click() {
    logEnabled = ui.CheckBox11->isChecked() ? 1 : 0;
}

// One polling step on request (the button is hidden).
void LivePage::Button10Click() {
    PollLiveValue();
}

// Shows the last reading: value panel, status memo and their colours.
void LivePage::ShowLiveValue() {
    ui.Label51->hide();
    if (memoOfReading) {
        SetPlainTextQuietly(ui.Memo2, memoOfReading->first);
        SetColor(ui.Memo2, memoOfReading->second);
        memoOfReading.reset();
    }
    ShowUnitsOfValue();
    SetStyleSheetQuietly(ui.Panel1->captionLabel(), QString());
    if (live.liveImplausible) {
        SetPanelPointSize(ui.Panel1, 24);
        ui.Panel1->setCaption(QStringLiteral("Неправильный формат числа"));
    } else {
        SetPanelPointSize(ui.Panel1, 48);
        ui.Panel1->setCaption(olv::device::FormatValue(live.liveValue));
    }

    if (live.liveStatus == 0) {
        if (live.liveImplausible) {
            SetColor(ui.Panel1, Yellow); // Memo2 is left as it was
        } else {
            SetColor(ui.Panel1, White);
            SetPlainTextQuietly(ui.Memo2, olv::device::NormalStatusText());
            SetColor(ui.Memo2, ButtonFaceColor());
        }
        return;
    }
    SetColor(ui.Panel1, Yellow);
    SetColor(ui.Memo2, Yellow);
    // The texts of the set bits with nothing between them; the memo's word wrap breaks the lines.
    SetPlainTextQuietly(ui.Memo2, olv::device::StatusText(live.liveStatus));
}

// A poll failed: the reading shown is no longer measured. The value is greyed with how old it is, and
// the status memo says that there is no link, in the colour of the exchange state.
void LivePage::ShowStaleValue() {
    if (!liveMeasured) {
        ui.Label51->setText(olv::device::StaleReadingText(std::nullopt));
        ui.Label51->show();
        return;
    }
    ui.Label51->setText(olv::device::StaleReadingText(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - liveMeasuredAt)));
    ui.Label51->show();
    SetStyleSheetQuietly(ui.Panel1->captionLabel(), QStringLiteral("color: #808080;"));
    SetColor(ui.Panel1, ButtonFaceColor());
    if (!memoOfReading) memoOfReading.emplace(ui.Memo2->toPlainText(), ColorOf(ui.Memo2));
    SetPlainTextQuietly(ui.Memo2, QStringLiteral("нет связи"));
    SetColor(ui.Memo2, ColorOf(ui.Memo3));
}

// Appends the last reading to the measurement log when the log is switched on. A relative name is
// taken from the working directory; a file that cannot be opened is skipped without a message.
void LivePage::LogMeasurement() {
    if (!logEnabled) return;
    olv::device::AppendMeasurementLog(logFileName, live);
}

void LivePage::ShowUnitsOfValue() {
    Label56->setText(liveMeasured && !live.liveImplausible ? TrendUnits() : QString());
}

void LivePage::ForgetReading(const olv::device::InstrumentIdentity& old, const std::optional<QDateTime>& at) {
    liveMeasured = false;
    live = {};
    SetStyleSheetQuietly(ui.Panel1->captionLabel(), QString());
    ui.Panel1->setCaption(QStringLiteral(" "));
    SetColor(ui.Panel1, QColor(255, 255, 255));
    SetPlainTextQuietly(ui.Memo2, QStringLiteral(" "));
    memoOfReading.reset(); // the old instrument's
    ShowUnitsOfValue();
    SetColor(ui.Memo2, ButtonFaceColor());
    if (at) {
        ui.Label51->setText(olv::device::LastReadNote(old, *at));
        ui.Label51->show();
    } else {
        ui.Label51->hide();
    }

    // The trend: the old readings become an earlier series under the old instrument's name now, not
    // at the next poll, and the figures under the chart are the new one's (none yet).
    const olv::device::TrendSource source{window.ShownIdentity(), host.Link().byteOrder, QString()};
    const olv::device::TrendChange change = liveTrend.add(source, false, live);
    ui.Chart1->follow(liveTrend, change);
    ui.Label40->setText(olv::device::TrendStatsText(liveTrend.stats(), TrendUnits()));
}
