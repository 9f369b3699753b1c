// The instrument the window shows: one identity (port, address, model and serial number) to which
// every page's data belongs. Another instrument's data goes back to "Данных нет" with a note of whom
// it was read from; the trend keeps it as an earlier series of its own.
#include "ui/window/shown_instrument.h"

#include "ui/pages/live/live_page.h"
#include "ui/pages/page_search.h"
#include "ui/pages/sensor/sensor_page.h"

#include "ui/window/edit_marking.h"
#include "ui/window/form1_controls.h"
#include "ui/window/form_fill.h"
#include "ui/window/line_flag.h"
#include "ui/window/link_health_line.h"
#include "ui/window/page_host.h"

#include "link/link_settings.h"

#include <QBoxLayout>
#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

#include <algorithm>
#include <initializer_list>

namespace {

constexpr int LivePageIndex = 0;
constexpr int SensorPageIndex = 1;
constexpr int LinkPageIndex = 2;
constexpr int TextPageIndex = 4;

QLabel* MakeNote(QWidget* page, const char* name) {
    auto* label = new QLabel(page);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #806000;"));
    label->hide();
    return label;
}

// The note goes above the page's fields, where it is read before them.
void PutOnTop(QWidget* page, QWidget* widget) {
    if (auto* column = qobject_cast<QBoxLayout*>(page->layout())) column->insertWidget(0, widget);
}

} // namespace

ShownInstrumentNotes::ShownInstrumentNotes(PageHost& host, Form1Controls& ui, SensorPage& sensor,
                                           const SearchPage& search, LivePage& live, LinkHealthLine& health)
    : host(host), ui(ui), sensor(sensor), search(search), live(live), health(health) {}

void ShownInstrumentNotes::BuildShownInstrumentNotes() {
    Label53 = MakeNote(ui.TabbedNotebook1->widget(SensorPageIndex), "Label53");
    PutOnTop(ui.TabbedNotebook1->widget(SensorPageIndex), Label53);
    Label54 = MakeNote(ui.TabbedNotebook1->widget(LinkPageIndex), "Label54");
    PutOnTop(ui.TabbedNotebook1->widget(LinkPageIndex), Label54);
    Label55 = MakeNote(ui.TabbedNotebook1->widget(TextPageIndex), "Label55");
    PutOnTop(ui.TabbedNotebook1->widget(TextPageIndex), Label55);
}

void ShownInstrumentNotes::StampPages(unsigned pages, std::optional<int64_t> atMs) {
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(atMs ? *atMs : host.NowMs());
    for (int page = 0; page < int(pageReadAt.size()); ++page) {
        if (!((pages >> page) & 1u)) continue;
        pageReadAt[size_t(page)] = at;
        QLabel* note = page == SensorPageIndex ? Label53
                       : page == LinkPageIndex ? Label54
                       : page == TextPageIndex ? Label55
                                               : nullptr;
        if (note) note->hide(); // what the page shows is the instrument's now
    }
}

void ShownInstrumentNotes::FollowShownInstrument() {
    // A search moves the link over the addresses it probes; the instrument shown is the one before.
    if (search.searchRunning) return;
    const olv::device::InstrumentIdentity old = shownInstrument.current();
    // The device or gateway the port was last opened on (linkPath), not what the settings say now:
    // the port is what the readings came through.
    const QString& path = health.linkPath;
    // The first port opened names the instrument the pages are about; nothing was shown of another.
    if (shownInstrument.address(host.Link().portNumber, path, host.Link().address) !=
            olv::device::IdentityChange::None &&
        old.portNumber != 0)
        ForgetShownInstrument(old);
}

void ShownInstrumentNotes::NoteInstrumentRead(const olv::device::RegisterImage& words, unsigned keptPages) {
    FollowShownInstrument();
    const olv::device::InstrumentIdentity old = shownInstrument.current();
    const olv::device::InstrumentIdentity read = olv::device::WithImageIdentity(old, words);
    if (shownInstrument.identified(*read.model, *read.serial) != olv::device::IdentityChange::None)
        ForgetShownInstrument(old, keptPages);
}

void ShownInstrumentNotes::ForgetShownInstrument(const olv::device::InstrumentIdentity& old,
                                                 unsigned keptPages) {
    const auto kept = [keptPages](int page) { return (keptPages >> page) & 1u; };
    const auto noteOf = [&](int page, QLabel* note) {
        const std::optional<QDateTime>& at = pageReadAt[size_t(page)];
        if (!note) return;
        if (at) {
            note->setText(olv::device::LastReadNote(old, *at));
            note->show();
        } else {
            note->hide();
        }
    };

    // Values the user changed and has not written are the user's, not the old instrument's: they stay
    // (to be written into this one, as a copy by hand), marked by the note.
    const auto edited = [](std::initializer_list<QWidget*> fields) {
        return std::any_of(fields.begin(), fields.end(),
                           [](QWidget* field) { return EditMarking::ColorOf(field) == QColor(0, 255, 255); });
    };
    const auto keepEdits = [&](int page, QLabel* note) {
        const std::optional<QDateTime>& at = pageReadAt[size_t(page)];
        note->setText((at ? olv::device::LastReadNote(old, *at) : olv::device::IdentityText(old)) +
                      QStringLiteral("; поля изменены и не записаны"));
        note->show();
        pageReadAt[size_t(page)].reset();
    };
    if (!kept(SensorPageIndex) &&
        edited({ui.Edit1, ui.Edit2, ui.Edit3, ui.Edit4, ui.Edit5, ui.Edit6, ui.Edit7, ui.ComboBox4,
                ui.ComboBox5, ui.ComboBox6, ui.ComboBox7, ui.ComboBox8, ui.ComboBox11})) {
        keepEdits(SensorPageIndex, Label53);
    } else if (!kept(SensorPageIndex)) {
        {
            const BusyWhileFilling busy(host.UiBusy());
            const QString none = QStringLiteral("Данных нет");
            for (QLineEdit* field : {ui.Edit5, ui.Edit1, ui.Edit2, ui.Edit3, ui.Edit4})
                field->setText(none);
            for (QLineEdit* field : {ui.Edit6, ui.Edit7})
                field->setText(QStringLiteral(" ") + none);
            for (QComboBox* list :
                 {ui.ComboBox4, ui.ComboBox5, ui.ComboBox6, ui.ComboBox7, ui.ComboBox8, ui.ComboBox11})
                list->setCurrentIndex(-1);
            // The units of the value transmitted were the old instrument's.
            ui.Label20->setText(QStringLiteral(" "));
        }
        sensor.SetConfigFieldsNormal();
        noteOf(SensorPageIndex, Label53);
        pageReadAt[SensorPageIndex].reset();
    }
    if (!kept(LinkPageIndex)) {
        // The byte order box showed the old instrument's: the link's own now.
        {
            const BusyWhileFilling busy(host.UiBusy());
            ui.ComboBox16->setCurrentIndex(host.Link().byteOrder);
        }
        EditMarking::SetNormal(ui.ComboBox16);
        noteOf(LinkPageIndex, Label54);
        pageReadAt[LinkPageIndex].reset();
    }
    if (!kept(TextPageIndex) && edited({ui.Edit8, ui.Edit9, ui.Edit10, ui.Edit11})) {
        keepEdits(TextPageIndex, Label55);
    } else if (!kept(TextPageIndex)) {
        {
            const BusyWhileFilling busy(host.UiBusy());
            for (QLineEdit* field : {ui.Edit8, ui.Edit9, ui.Edit10, ui.Edit11})
                field->setText(QStringLiteral("Данных нет"));
        }
        for (QLineEdit* field : {ui.Edit8, ui.Edit9, ui.Edit10, ui.Edit11})
            EditMarking::SetNormal(field);
        noteOf(TextPageIndex, Label55);
        pageReadAt[TextPageIndex].reset();
    }

    // The live value: blank as before the first reading, the line under it telling what it was.
    if (!kept(LivePageIndex)) {
        live.ForgetReading(old, pageReadAt[LivePageIndex]);
        pageReadAt[LivePageIndex].reset();
    }

    // The health line's counts were of the exchanges with the old instrument.
    health.ForgetCounts();
}
