// The window's wiring: the lists, hints and caption that start-up fills in, every control's signal to
// its handler, and the key filters of the fields.
#include "ui/window/form1.h"

#include "ui/pages/live/live_page.h"
#include "ui/pages/page_link.h"
#include "ui/pages/page_search.h"
#include "ui/pages/page_text.h"
#include "ui/pages/sensor/sensor_page.h"
#include "ui/window/control_makers.h"


#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QValidator>

namespace {

// An editable box whose text must be one of its entries (parity, byte order): a typed character
// that leads to no entry is refused, and a text left unfinished goes back to the entry selected, so
// the box never shows a value that is not in force. A text that spells an entry (in any letter case)
// selects it as a pick does, on Enter or when the box is left.
class EntryOnly : public QValidator {
  public:
    explicit EntryOnly(QComboBox* box) : QValidator(box), box_(box) {}
    State validate(QString& input, int&) const override {
        if (box_->findText(input, Qt::MatchFixedString) >= 0) return Acceptable;
        for (int i = 0; i < box_->count(); ++i)
            if (box_->itemText(i).startsWith(input, Qt::CaseInsensitive)) return Intermediate;
        return Invalid;
    }
    void fixup(QString& input) const override {
        if (box_->currentIndex() >= 0) input = box_->itemText(box_->currentIndex());
    }

  private:
    QComboBox* box_;
};

} // namespace

void TForm1::FillListsHintsAndCaption() {
    setWindowTitle(QStringLiteral("Mod Bus OLV 1.1.3.1"));

    QStringList ports;
    for (int n = 1; n <= 8; ++n)
        ports << QStringLiteral("COM %1").arg(n);
    FillList(ComboBox1, ports);
    FillList(ComboBox2, BaudRateEntries());
    FillList(ComboBox3, Numbers(0, 255, true));
    FillList(ComboBox14, ParityEntries());
    sensor().FillListsAndHints();
    link().FillListsAndHints();
    search().FillListsAndHints();
    text().FillHints();
    live().FillListsAndHints();
    for (QComboBox* box : {ComboBox14, ComboBox15, ComboBox16, ComboBox17})
        if (!box->validator()) box->setValidator(new EntryOnly(box));

    SetHint(ComboBox1, QStringLiteral("Номер порта"));
    SetHint(ComboBox2, QStringLiteral("Скорость обмена"));
    SetHint(ComboBox3, QStringLiteral("Сетевой номер прибора"));
    SetHint(ComboBox14, QStringLiteral("Паритет при обмене с прибором"));
    SetHint(CheckBox7, QStringLiteral("Будем записывать обмен в файл"));
}

template <class Sender, class Signal> void TForm1::On(Sender* sender, Signal signal, void (TForm1::*handler)()) {
    host().On(sender, signal, this, handler);
}

void TForm1::ConnectHandlers() {
    sensor().Wire();
    link().Wire();
    search().Wire();
    text().Wire();
    live().Wire();
    // activated: a pick by the user, also of the entry already selected; never from code.
    for (auto [box, handler] :
         {std::pair{ComboBox1, &TForm1::ComboBox1Change}, std::pair{ComboBox2, &TForm1::ComboBox2Change},
          std::pair{ComboBox3, &TForm1::ComboBox3Change}, std::pair{ComboBox14, &TForm1::ComboBox14Change}})
        On(box, &QComboBox::activated, handler);

    // Enter adds no line to Memo3 (eventFilter).
    Memo3->installEventFilter(this);

    // Ticking from code raises the handler too; the uiBusy guard makes that nothing.
    On(CheckBox7, &QCheckBox::toggled, &TForm1::CheckBox7Click);

    // The page being left is known to the handler; afterwards the new one is the page shown.
    connect(TabbedNotebook1, &QTabWidget::currentChanged, this, [this](int newPage) {
        Guarded(TabbedNotebook1, [this, newPage] {
            bool allowChange = true;
            TabbedNotebook1Change(newPage, allowChange);
        });
        shownPage = newPage;
    });

    for (auto [timer, handler] :
         {std::pair{Timer2, &TForm1::Timer2Timer},
          std::pair{Timer3, &TForm1::Timer3Timer}, std::pair{Timer4, &TForm1::Timer4Timer},
          std::pair{Timer5, &TForm1::Timer5Timer}})
        On(timer, &QTimer::timeout, handler);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QMainWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);

    if (watched == Memo3) return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    return QMainWindow::eventFilter(watched, event);
}
